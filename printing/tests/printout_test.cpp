#include "info_printout.h"

#include "info_test_support.h"
#include "private_cups.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

namespace {

// The printout written to a PDF file on an A4 page whose printable area starts 10 mm in.
class Printout : public InTemporaryDirectory
{
protected:
    QString print(const QString &text)
    {
        const QString pdf = directory.filePath(QStringLiteral("printout.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QFont font(QStringLiteral("Courier New"));
        font.setPointSizeF(8.25);
        paintPrintout(printer, text, font, picture);
        return pdf;
    }

    // The box around everything that is not white on a page, rendered at 96 dpi.
    QRect inkOnPage(const QString &pdf, int page) const
    {
        const QString prefix = directory.filePath(QStringLiteral("page"));
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"),
                           QString::number(page), QStringLiteral("-l"), QString::number(page),
                           QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, prefix});
        const QImage image(prefix + QStringLiteral(".png"));
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 240)
                    ink |= QRect(x, y, 1, 1);
        return ink;
    }

    // A picture of the connector picture's size that is dark to its edges, so that the ink on
    // the page shows exactly where it lies.
    QImage picture = [] {
        QImage image(530, 269, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        return image;
    }();
};

QStringList numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("Línea %1 del texto: ñandú, pin %2").arg(i).arg(i % 25 + 1);
    return lines;
}

TEST_F(Printout, AShortTextOnOnePageAndThePictureOnTheNextAtItsOwnSize)
{
    const QStringList lines = numberedLines(5);
    const QString pdf = print(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    ASSERT_EQ(pdfPageCount(pdf), 2);

    const QString firstPage = pdfText(pdf, 1, 1);
    qsizetype at = 0;
    for (const QString &line : lines) {
        at = firstPage.indexOf(line, at);
        EXPECT_GE(at, 0) << line.toStdString();
    }
    EXPECT_TRUE(pdfText(pdf, 2, 2).trimmed().isEmpty());

    // 1500 twips from the printable area's corner (10 mm in): 100 + 37.8 pixels at 96 dpi.
    const QRect ink = inkOnPage(pdf, 2);
    EXPECT_NEAR(ink.left(), 137.8, 1.5);
    EXPECT_NEAR(ink.top(), 137.8, 1.5);
    EXPECT_NEAR(ink.width(), 530, 2);
    EXPECT_NEAR(ink.height(), 269, 2);
}

TEST_F(Printout, ALongTextGoesOnOntoMorePagesWithEveryLineInOrder)
{
    const QStringList lines = numberedLines(300);
    const QString pdf = print(lines.join(QStringLiteral("\n")));
    const int pages = pdfPageCount(pdf);
    ASSERT_GT(pages, 3);

    const QString text = pdfText(pdf, 1, pages - 1);
    qsizetype at = 0;
    for (const QString &line : lines) {
        at = text.indexOf(line + u'\n', at);
        ASSERT_GE(at, 0) << line.toStdString();
    }
    EXPECT_TRUE(pdfText(pdf, pages, pages).trimmed().isEmpty()); // the picture's page
    EXPECT_FALSE(inkOnPage(pdf, pages).isEmpty());
}

TEST_F(Printout, ALineWiderThanThePageWrapsWithNothingCutOff)
{
    QString wide;
    for (int i = 0; i < 40; ++i)
        wide += QStringLiteral("%1ABCDEFGHI").arg(i % 10);
    const QString pdf = print(QStringLiteral("antes\r\n") + wide + QStringLiteral("\r\ndespués"));
    ASSERT_EQ(pdfPageCount(pdf), 2);

    QString text = pdfText(pdf, 1, 1);
    EXPECT_GT(text.count(u'\n'), 3); // the wide line took more than one printed line
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    EXPECT_EQ(text, QStringLiteral("antes") + wide + QStringLiteral("después"));
}

} // namespace
