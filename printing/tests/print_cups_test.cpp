#include "form_ayuda.h"
#include "info_test_support.h"
#include "private_cups.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// The information window, loaded from a file of numbered lines, printing to a private print
// server whose default queue captures each job's document.
class PrintThroughCups : public InTemporaryDirectory
{
protected:
    static void SetUpTestSuite()
    {
        cups = new PrivateCups;
        startError = cups->start();
    }

    static void TearDownTestSuite()
    {
        delete cups;
        cups = nullptr;
    }

    void SetUp() override
    {
        InTemporaryDirectory::SetUp();
        ASSERT_TRUE(startError.isEmpty()) << startError.toStdString();
        QFile::remove(cups->capturedDocument());
    }

    void load(int lineCount)
    {
        QByteArray file;
        for (int i = 1; i <= lineCount; ++i)
            file += QStringLiteral("Línea %1 de la ayuda\r\n").arg(i).toUtf8();
        writeInfoFile(file);
        form = std::make_unique<FormAyuda>();
        form->setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
        form->Form_Load();
        form->show();
    }

    void clickPrint()
    {
        QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("CommandImprimir")),
                          Qt::LeftButton);
    }

    static PrivateCups *cups;
    static QString startError;
    std::unique_ptr<FormAyuda> form;
    QStringList errors;
};

PrivateCups *PrintThroughCups::cups = nullptr;
QString PrintThroughCups::startError;

TEST_F(PrintThroughCups, OneClickPrintsTheEditedTextAndThePictureAsOneJob)
{
    load(3);
    auto *text = form->findChild<QPlainTextEdit *>(QStringLiteral("TextInfo"));
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral("Nota del tecnico"));

    clickPrint();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    ASSERT_TRUE(cups->waitForJobs());
    const QString document = cups->capturedDocument();
    EXPECT_EQ(pdfPageCount(document), 2);
    const QString printed = pdfText(document, 1, 1);
    EXPECT_TRUE(printed.contains(QStringLiteral(
        "Línea 1 de la ayuda\nLínea 2 de la ayuda\nLínea 3 de la ayuda\nNota del tecnico")))
        << printed.toStdString();
    EXPECT_TRUE(pdfText(document, 2, 2).trimmed().isEmpty());
}

TEST_F(PrintThroughCups, ALongTextPrintsOnMorePagesBeforeThePicture)
{
    load(200);
    clickPrint();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    ASSERT_TRUE(cups->waitForJobs());
    const int pages = pdfPageCount(cups->capturedDocument());
    EXPECT_GE(pages, 3);
    EXPECT_TRUE(pdfText(cups->capturedDocument(), pages - 1, pages - 1)
                    .contains(QStringLiteral("Línea 200 de la ayuda")));
}

TEST_F(PrintThroughCups, AJobTheQueueRefusesIsReportedWithTheSystemsReason)
{
    load(3);
    ASSERT_TRUE(cups->admin(
        QStringLiteral("cupsreject"),
        {QStringLiteral("-r"), QStringLiteral("sin papel"), QStringLiteral("captura")}));
    clickPrint();
    ASSERT_TRUE(cups->admin(QStringLiteral("cupsaccept"), {QStringLiteral("captura")}));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(
        errors[0].startsWith(QStringLiteral("La impresora «captura» no ha aceptado el trabajo: ")))
        << errors[0].toStdString();
}

TEST_F(PrintThroughCups, WithNoDefaultPrinterNothingIsPrintedAndTheUserIsTold)
{
    load(3);
    ASSERT_TRUE(
        cups->admin(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("captura")}));
    clickPrint();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(
        errors[0].startsWith(QStringLiteral("No hay ninguna impresora predeterminada instalada")))
        << errors[0].toStdString();
    EXPECT_TRUE(form->isVisible());
}

} // namespace
