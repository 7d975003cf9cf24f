#include "form1.h"
#include "form_ayuda.h"
#include "info_test_support.h"
#include "simulated_port.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <new>

namespace {

// The port test window, shown in a fresh current folder, its errors collected.
class Form1Help : public InTemporaryDirectory
{
protected:
    Form1Help()
    {
        form.setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
        form.show();
    }
    ~Form1Help() override { qDeleteAll(ayudas()); }

    void clickInfo()
    {
        QTest::mouseClick(form.findChild<QPushButton *>(u"CommandInfo"_qs), Qt::LeftButton);
    }

    // Every help window there is, shown or not.
    static QList<FormAyuda *> ayudas()
    {
        QList<FormAyuda *> found;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *ayuda = qobject_cast<FormAyuda *>(window))
                found << ayuda;
        }
        return found;
    }

    Form1 form{port::Session(std::make_unique<port::SimulatedPort>())};
    QStringList errors;
};

TEST_F(Form1Help, OpensBesideTheMainWindowComesBackAsItWasWhileOpenAndReadsAfreshOnceClosed)
{
    writeInfoFile("PUERTO PARALELO\r\nDirecciones 378, 278, 3BC\r\n");
    clickInfo();
    const QPointer<FormAyuda> ayuda = ayudas().value(0);
    ASSERT_TRUE(ayuda && QTest::qWaitForWindowActive(ayuda));
    auto *text = ayuda->findChild<QPlainTextEdit *>(u"TextInfo"_qs);
    EXPECT_EQ(text->toPlainText(), u"PUERTO PARALELO\nDirecciones 378, 278, 3BC\n"_qs);
    EXPECT_TRUE(ayuda->findChild<QWidget *>(u"Image1"_qs)->isVisible());
    EXPECT_EQ(ayuda->parentWidget(), nullptr);
    EXPECT_EQ(ayuda->frameGeometry().topLeft(), form.frameGeometry().topRight() + QPoint(1, 0));

    // What a right click sends; its menu takes the focus, but it is part of the help window.
    const QPoint inside(20, 20);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, inside,
                                 text->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(text->viewport(), &rightClick);
    QWidget *menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(
        QTest::qWaitFor([menu] { return QGuiApplication::focusWindow() == menu->windowHandle(); }));
    EXPECT_TRUE(text->isEnabled());
    menu->close();

    QTest::keyClicks(text, u"nota: "_qs);
    writeInfoFile("segunda versión\r\n");
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_FALSE(text->isEnabled());
    clickInfo();
    EXPECT_EQ(ayudas(), QList<FormAyuda *>{ayuda.data()});
    EXPECT_TRUE(QTest::qWaitForWindowActive(ayuda));
    emit qApp->focusWindowChanged(nullptr); // another application takes over: no change
    EXPECT_TRUE(text->isEnabled());
    EXPECT_EQ(text->toPlainText(), u"nota: PUERTO PARALELO\nDirecciones 378, 278, 3BC\n"_qs);

    ayuda->close(); // as its title bar's button does: it goes, and the next click loads anew
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(ayuda.isNull());
    clickInfo();
    ASSERT_EQ(ayudas().size(), 1);
    EXPECT_EQ(ayudas()[0]->findChild<QPlainTextEdit *>()->toPlainText(), u"segunda versión\n"_qs);
}

TEST_F(Form1Help, EachFailedLoadIsReportedOnceAndTheNextClickTriesAgain)
{
    const std::function<QString()> failures[] = {
        {}, // the usual reader, and the file is not there
        []() -> QString { throw std::bad_alloc(); },
        []() -> QString { throw 7; },
    };
    for (const auto &failure : failures) {
        FormAyuda::setTextSource(failure);
        clickInfo();
    }
    FormAyuda::setTextSource(nullptr);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[0].startsWith(u"No se encontró el archivo de información"_qs));
    const QString unexpected =
        u"Algo falló de forma inesperada al abrir la información del puerto: %1."_qs;
    EXPECT_TRUE(errors[1].startsWith(unexpected.arg(u"no hay memoria suficiente"_qs)));
    EXPECT_TRUE(errors[2].startsWith(unexpected.arg(u"un error desconocido"_qs)));
    EXPECT_TRUE(ayudas().isEmpty());
    writeInfoFile("ahora sí\r\n");
    clickInfo();
    EXPECT_EQ(ayudas().size(), 1);
    EXPECT_EQ(errors.size(), 3);
}

} // namespace
