#include "form1.h"
#include "form_ayuda.h"
#include "info_test_support.h"
#include "inpout.h"
#include "simulated_port.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <new>
#include <utility>

namespace {

// The port test window, shown and active in a fresh current directory, whose errors are collected
// instead of shown.
class CommandInfoTest : public InTemporaryDirectory
{
protected:
    void SetUp() override
    {
        InTemporaryDirectory::SetUp();
        auto owned = std::make_unique<port::SimulatedPort>(true);
        port = owned.get();
        port::installDriver(std::move(owned));
        form = std::make_unique<Form1>();
        form->setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
        activate(form.get());
    }

    void TearDown() override
    {
        for (FormAyuda *window : ayudas())
            delete window;
        form.reset();
        InTemporaryDirectory::TearDown();
    }

    static void activate(QWidget *window)
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    void clickInfo() const
    {
        QTest::mouseClick(form->findChild<QPushButton *>(u"CommandInfo"_qs), Qt::LeftButton);
    }

    // Every information window that exists: loaded, shown or not.
    static QList<FormAyuda *> ayudas()
    {
        QList<FormAyuda *> found;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *ayuda = qobject_cast<FormAyuda *>(window))
                found << ayuda;
        }
        return found;
    }

    // The one information window, after a click that should have shown it.
    static FormAyuda *shownAyuda()
    {
        const QList<FormAyuda *> windows = ayudas();
        EXPECT_EQ(windows.size(), 1);
        if (windows.size() != 1)
            return nullptr;
        EXPECT_TRUE(windows.front()->isVisible());
        return windows.front();
    }

    static QPlainTextEdit *textInfo(FormAyuda *ayuda)
    {
        return ayuda->findChild<QPlainTextEdit *>(u"TextInfo"_qs);
    }

    // The user closes the window with its title-bar button.
    static void closeByUser(FormAyuda *ayuda)
    {
        ayuda->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    port::SimulatedPort *port = nullptr;
    std::unique_ptr<Form1> form;
    QStringList errors;
};

TEST_F(CommandInfoTest, OpensTheTextBesideTheMainWindowWithoutTouchingThePort)
{
    writeInfoFile("PUERTO PARALELO\r\nDirecciones 378, 278, 3BC\r\n");
    port->clearAccesses();

    clickInfo();

    FormAyuda *ayuda = shownAyuda();
    ASSERT_NE(ayuda, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(ayuda));
    EXPECT_EQ(textInfo(ayuda)->toPlainText(), u"PUERTO PARALELO\nDirecciones 378, 278, 3BC\n"_qs);
    EXPECT_TRUE(textInfo(ayuda)->isEnabled());
    EXPECT_EQ(ayuda->parentWidget(), nullptr);
    EXPECT_TRUE(port->accesses().empty());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    const QRect main = form->frameGeometry();
    const QRect beside = ayuda->frameGeometry();
    EXPECT_FALSE(beside.intersects(main));
    EXPECT_EQ(beside.left(), main.right() + 1);
    EXPECT_EQ(beside.top(), main.top());
    EXPECT_TRUE(form->screen()->availableGeometry().contains(beside));
}

TEST_F(CommandInfoTest, WhileOpenAClickOnlyBringsTheWindowBackAndReadsNothing)
{
    writeInfoFile("primera versión\r\n");
    clickInfo();
    QPointer<FormAyuda> first = shownAyuda();
    ASSERT_FALSE(first.isNull());
    textInfo(first)->moveCursor(QTextCursor::End);
    QTest::keyClicks(textInfo(first), u"nota del tecnico"_qs);
    const QPoint placed = first->pos();
    first->move(placed + QPoint(-40, 30)); // the user moves it

    writeInfoFile("segunda versión\r\n");
    activate(form.get());
    clickInfo();

    EXPECT_EQ(shownAyuda(), first.data());
    EXPECT_TRUE(QTest::qWaitForWindowActive(first));
    EXPECT_EQ(textInfo(first)->toPlainText(), u"primera versión\nnota del tecnico"_qs);
    EXPECT_EQ(first->pos(), placed + QPoint(-40, 30));
}

TEST_F(CommandInfoTest, AfterClosingTheNextClickReadsTheFileAfresh)
{
    writeInfoFile("primera versión\r\n");
    clickInfo();
    QPointer<FormAyuda> first = shownAyuda();
    ASSERT_FALSE(first.isNull());
    QTest::keyClicks(textInfo(first), u"editado "_qs);

    closeByUser(first);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(ayudas().isEmpty());

    writeInfoFile("segunda versión\r\n");
    clickInfo();
    FormAyuda *second = shownAyuda();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(textInfo(second)->toPlainText(), u"segunda versión\n"_qs);
}

TEST_F(CommandInfoTest, TheTextGreysOutWhileTheMainWindowIsActive)
{
    writeInfoFile("texto\r\n");
    clickInfo();
    FormAyuda *ayuda = shownAyuda();
    ASSERT_NE(ayuda, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(ayuda));
    EXPECT_TRUE(textInfo(ayuda)->isEnabled());

    activate(form.get());
    EXPECT_FALSE(textInfo(ayuda)->isEnabled());

    // Another application taking over leaves the program without an active window: no change.
    emit qApp->focusWindowChanged(nullptr);
    EXPECT_FALSE(textInfo(ayuda)->isEnabled());

    activate(ayuda);
    EXPECT_TRUE(textInfo(ayuda)->isEnabled());
    emit qApp->focusWindowChanged(nullptr);
    EXPECT_TRUE(textInfo(ayuda)->isEnabled());
}

TEST_F(CommandInfoTest, AMissingFileIsReportedOnceAndTheNextClickTriesAgain)
{
    clickInfo();

    ASSERT_EQ(errors.size(), 1);
    // Every place it was looked for is named: here, the installed data folder and the program's.
    const QString program = QCoreApplication::applicationDirPath();
    EXPECT_EQ(errors.front(),
              u"No se encontró el archivo de información «VelmoraInfo.txt» en ninguna de estas "
              u"carpetas: «%1», «%2», «%3». Póngalo en una de ellas, o reinstale Velmora, y vuelva "
              u"a pulsar el botón."_qs.arg(
                  QDir::toNativeSeparators(QDir::currentPath()),
                  QDir::toNativeSeparators(QDir::cleanPath(program + u"/../share/velmora"_qs)),
                  QDir::toNativeSeparators(program)));
    EXPECT_TRUE(ayudas().isEmpty());
    EXPECT_TRUE(form->isVisible());

    writeInfoFile("ahora sí\r\n");
    clickInfo();
    FormAyuda *ayuda = shownAyuda();
    ASSERT_NE(ayuda, nullptr);
    EXPECT_EQ(textInfo(ayuda)->toPlainText(), u"ahora sí\n"_qs);
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(CommandInfoTest, AnythingThrownWhileLoadingIsReportedOnceAndTheProgramGoesOn)
{
    const std::pair<std::function<QString()>, QString> cases[] = {
        {[]() -> QString { throw std::bad_alloc(); }, u"no hay memoria suficiente"_qs},
        {[]() -> QString { throw 7; }, u"un error desconocido"_qs},
    };
    for (const auto &[source, reason] : cases) {
        FormAyuda::setTextSource(source);
        errors.clear();
        clickInfo();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].startsWith(
            u"Algo falló de forma inesperada al abrir la información del puerto: %1."_qs.arg(
                reason)))
            << errors[0].toStdString();
    }
    FormAyuda::setTextSource(nullptr);
    writeInfoFile("texto\r\n");
    clickInfo();
    EXPECT_NE(shownAyuda(), nullptr);
}

TEST_F(CommandInfoTest, TheWindowOutlivesTheMainWindowAndThenEndsTheProgram)
{
    writeInfoFile("texto\r\n");
    clickInfo();
    QPointer<FormAyuda> ayuda = shownAyuda();
    ASSERT_FALSE(ayuda.isNull());
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);

    // Windows close inside the program's event loop, where closing the last one ends it.
    bool outlived = false;
    QTimer::singleShot(0, ayuda, [&] {
        form->close();
        outlived = !ayuda.isNull() && ayuda->isVisible() && lastWindowClosed.isEmpty();
        if (outlived)
            ayuda->close();
        if (!outlived || lastWindowClosed.isEmpty())
            QCoreApplication::exit(1); // the program would not end on its own
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(outlived);
    EXPECT_EQ(lastWindowClosed.count(), 1);
}

} // namespace
