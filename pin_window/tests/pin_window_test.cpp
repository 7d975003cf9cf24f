#include "form1.h"
#include "inpout.h"
#include "pin_window.h"
#include "port_error.h"
#include "simulated_port.h"

#ifdef __linux__
#include "fake_parport.h"
#include "routing_port.h"
#include "temp_dir.h"
#endif

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Kind = port::PortAccess::Kind;

// A port that fails every access once it is held by another driver, or as nothing expects
// once broken.
class FailingPort : public port::SimulatedPort
{
public:
    bool held = false;
    bool broken = false;

    PortValue read(std::uint16_t address) override
    {
        if (broken)
            throw std::logic_error("estado imposible");
        if (held)
            throw error(address);
        return SimulatedPort::read(address);
    }
    void write(std::uint16_t address, PortValue value) override
    {
        if (broken)
            throw std::logic_error("estado imposible");
        if (held)
            throw error(address);
        SimulatedPort::write(address, value);
    }

private:
    static port::PortError error(std::uint16_t address)
    {
        return {port::PortError::Access::Read, address, {"el puerto está ocupado", "ciérrelo"}};
    }
};

// The test's own port, lent to the window's session, so that the test sees what it was sent.
class Borrowed : public port::PortDriver
{
public:
    explicit Borrowed(port::PortDriver &driver)
        : m_driver(driver)
    {}
    PortValue read(std::uint16_t address) override { return m_driver.read(address); }
    void write(std::uint16_t address, PortValue value) override { m_driver.write(address, value); }
    void endAction() override { m_driver.endAction(); }

private:
    port::PortDriver &m_driver;
};

class PinWindowTest : public testing::Test
{
protected:
    void open(port::PortDriver &driver) { open(std::make_unique<Borrowed>(driver)); }
    void open(std::unique_ptr<port::PortDriver> driver)
    {
        session.emplace(std::move(driver));
        window = std::make_unique<PinWindow>(pins::PinPort(*session));
        window->setErrorReporter([this](QWidget *, const QString &message) { errors << message; });
        QComboBox *choice = window->findChild<QComboBox *>(QStringLiteral("PortChoice"));
        choice->setEditText(QStringLiteral("378"));
        emit choice->lineEdit()->editingFinished();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QWidget *pin(int number) const
    {
        return window->findChild<QWidget *>(QStringLiteral("Pin%1").arg(number));
    }

    // The window goes first: closing it may still report.
    port::SimulatedPort simulated{true};
    QStringList errors;
    std::optional<port::Session> session;
    std::unique_ptr<PinWindow> window;
};

TEST_F(PinWindowTest, AClickOrSpaceTogglesAnOutputAndTheRegisterFollows)
{
    open(simulated);
    EXPECT_EQ(pin(2)->accessibleName(), "Pin 2, D0, salida, bajo");
    EXPECT_EQ(pin(2)->geometry().topLeft(), QPoint(8, 64)) << "where the e2e test clicks";
    QTest::mouseClick(pin(2), Qt::LeftButton);
    EXPECT_EQ(simulated.read(888), 1);
    EXPECT_EQ(pin(2)->accessibleName(), "Pin 2, D0, salida, alto");
    pin(2)->setFocus();
    QTest::keyClick(pin(2), Qt::Key_Down);
    ASSERT_TRUE(pin(3)->hasFocus());
    QTest::keyClick(pin(3), Qt::Key_Space);
    EXPECT_EQ(simulated.read(888), 3);
    QTest::mouseClick(pin(1), Qt::LeftButton); // nStrobe, inverted by the port
    EXPECT_EQ(simulated.read(890), 1);
    EXPECT_EQ(pin(1)->accessibleName(), "Pin 1, nStrobe, salida, bajo");

    // Inputs, and the data lines once the switch makes them inputs, do not toggle.
    QTest::mouseClick(pin(11), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QWidget *>(QStringLiteral("DataInputs")), Qt::LeftButton);
    EXPECT_EQ(simulated.read(890), 0x21);
    simulated.clearAccesses();
    QTest::mouseClick(pin(2), Qt::LeftButton);
    EXPECT_EQ(simulated.count(Kind::Write, 888), 0);
    EXPECT_EQ(pin(2)->accessibleName(), "Pin 2, D0, entrada, alto");
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
}

TEST_F(PinWindowTest, SamplesOnlyWhileOnScreenEachSampleOneReadOfEachRegister)
{
    open(simulated);
    ASSERT_TRUE(window->sampling());
    simulated.clearAccesses();
    QTest::qWait(6 * PinWindow::SampleInterval);
    const int samples = simulated.count(Kind::Read, 888);
    EXPECT_GE(samples, 2);
    EXPECT_EQ(simulated.count(Kind::Read, 889), samples);
    EXPECT_EQ(simulated.count(Kind::Read, 890), samples);
    EXPECT_EQ(int(simulated.accesses().size()), 3 * samples);

    for (const bool minimise : {true, false}) {
        if (minimise)
            window->showMinimized();
        else
            window->hide();
        QApplication::processEvents();
        simulated.clearAccesses();
        QTest::qWait(6 * PinWindow::SampleInterval);
        EXPECT_FALSE(window->sampling()) << (minimise ? "minimised" : "hidden");
        EXPECT_TRUE(simulated.accesses().empty()) << (minimise ? "minimised" : "hidden");
        window->showNormal();
        EXPECT_TRUE(window->sampling());
    }
}

TEST_F(PinWindowTest, AFailedSampleGreysThePinsWithTheReasonAndOpensNoBox)
{
    static FailingPort failing;
    open(failing);
    EXPECT_EQ(pin(11)->accessibleName(), "Pin 11, Busy, entrada, alto");
    failing.held = true;
    window->sampleNow();
    EXPECT_EQ(pin(11)->accessibleName(), "Pin 11, Busy, sin lectura");
    EXPECT_TRUE(pin(11)->accessibleDescription().contains("el puerto está ocupado"));
    EXPECT_TRUE(window->findChild<QLabel *>(QStringLiteral("State"))
                    ->text()
                    .startsWith("Sin lectura de 378h"));
    QTest::mouseClick(pin(2), Qt::LeftButton); // no level read, nothing to toggle
    EXPECT_TRUE(errors.isEmpty());

    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SelfTest")), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("No se pudo probar el puerto 378h con el conector"));
}

TEST_F(PinWindowTest, TheSelfTestMarksEveryPinOfTheLoopbackPlugAsPassing)
{
    port::SimulatedPort looped(false, {selftest::knownPlugs().front().wires.begin(),
                                       selftest::knownPlugs().front().wires.end()});
    open(looped);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SelfTest")), Qt::LeftButton);
    for (const int number : {2, 3, 4, 5, 6, 10, 11, 12, 13, 15})
        EXPECT_TRUE(pin(number)->accessibleDescription().startsWith("Prueba: pasa")) << number;
    EXPECT_EQ(pin(7)->accessibleDescription(), "Prueba: sin cable en el conector");
    EXPECT_TRUE(
        window->findChild<QLabel *>(QStringLiteral("State"))->text().startsWith("Conector: "));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();

    // Where every read gives FFh there is no port, and the box says so rather than a blank reason.
    window->findChild<QComboBox *>(QStringLiteral("PortChoice"))->setEditText("278h");
    emit window->findChild<QComboBox *>(QStringLiteral("PortChoice"))
        ->lineEdit()
        ->editingFinished();
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SelfTest")), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("278h con el conector: todas las lecturas dan FFh"));
    window.reset();
}

// What no handler expected is said once through the window's error display, the sampling
// stopped rather than saying it at every tick, and the window goes on.
TEST_F(PinWindowTest, AnUnexpectedErrorIsSaidOnceAndTheWindowGoesOn)
{
    static FailingPort failing;
    open(failing);
    failing.broken = true;
    window->sampleNow();
    EXPECT_FALSE(window->sampling());
    QTest::mouseClick(pin(2), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SelfTest")), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 3) << errors.join(u'\n').toStdString();
    EXPECT_TRUE(errors[0].contains("al leer las patillas de 378h: estado imposible"));
    EXPECT_TRUE(errors[1].contains("al cambiar la patilla 2")
                && errors[2].contains("al probar con el conector"));
}

#ifdef __linux__
// Through ppdev a control read gives the driver's copy of what was written, which would pass
// any latch: the window says that part was not tested.
TEST_F(PinWindowTest, ThroughPpdevTheSelfTestSaysTheControlLatchWasNotTested)
{
    TempDir root;
    root.write("proc/sys/dev/parport/parport0/base-addr", "888\t0\n");
    static FakeParport device;
    const auto none = [](auto &...) { return nullptr; }; // no direct access, no helper
    std::string whyNot;
    open(port::RoutingPort::open({root.str() + "/proc", root.str() + "/dev", root.str() + "/sys",
                                  "", device.calls(root.str() + "/dev/parport0"), none, none},
                                 whyNot));
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("SelfTest")), Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    EXPECT_TRUE(window->findChild<QLabel *>(QStringLiteral("State"))
                    ->text()
                    .contains("Registro de control sin probar"));
}
#endif

TEST_F(PinWindowTest, ATypedBaseIsReadInHexadecimalAndANonAddressIsSaidOnce)
{
    open(simulated);
    QComboBox *choice = window->findChild<QComboBox *>(QStringLiteral("PortChoice"));
    for (const auto &[typed, base] : {std::pair{"278", 0x278}, std::pair{"3BCh  LPT1", 0x3BC}}) {
        choice->setEditText(QString::fromUtf8(typed));
        emit choice->lineEdit()->editingFinished();
        EXPECT_EQ(window->base(), base) << typed;
    }
    choice->setEditText(QStringLiteral("FFFF"));
    emit choice->lineEdit()->editingFinished();
    EXPECT_FALSE(window->base());
    EXPECT_FALSE(window->sampling());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("No se pudo elegir el puerto «FFFF»"));
}

TEST(MainWindowPins, F2OpensThePinWindowBesideTheMainWindow)
{
    Form1 form{port::Session(std::make_unique<port::SimulatedPort>())};
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F2);
    PinWindow *pins = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<PinWindow *>(window); found && found->isVisible())
            pins = found;
    ASSERT_NE(pins, nullptr);
    EXPECT_TRUE(pins->sampling());
    EXPECT_EQ(pins->windowTitle(), "Pines del puerto");
    EXPECT_EQ(form.actions().value(0)->text(), "Pines del puerto") << "in the context menu";
    pins->close();
}

} // namespace
