#include "widget_test_support.h"

#include "port_error.h"

#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <stdexcept>

namespace {

using port::PortAccess;
using Kind = PortAccess::Kind;
using Accesses = std::vector<PortAccess>;

// A machine whose every access first runs a check of the test's, which throws what it wants;
// what it reads is 0Fh.
using Check = std::function<void(port::PortError::Access, std::uint16_t address)>;
std::unique_ptr<port::PortDriver> scripted(Check check)
{
    struct ScriptedPort : port::PortDriver
    {
        Check check;
        PortValue read(std::uint16_t address) override
        {
            check(port::PortError::Access::Read, address);
            return 0x0F;
        }
        void write(std::uint16_t address, PortValue) override
        {
            check(port::PortError::Access::Write, address);
        }
    };
    auto driver = std::make_unique<ScriptedPort>();
    driver->check = std::move(check);
    return driver;
}

// Every address is reached but one.
Check unreachable(std::uint16_t address)
{
    return [address](port::PortError::Access access, std::uint16_t reached) {
        if (reached == address)
            throw port::PortError(access, reached, {"ninguna vía llega a esta dirección", "", 0});
    };
}

TEST_F(Form1Test, StartsOnAddress888WithTheValueZeroAndThePortRead)
{
    auto machine = std::make_unique<port::SimulatedPort>(true);
    machine->write(888, 0x05);
    machine->clearAccesses();
    openForm(std::move(machine));

    EXPECT_EQ(text("Text1")->text(), "888");
    EXPECT_EQ(text("Text2")->text(), "0");
    EXPECT_EQ(row(0), "BBBBBBBB");
    EXPECT_EQ(text("Text3")->text(), "00000000");
    EXPECT_EQ(text("Text4")->text(), " 5");
    EXPECT_EQ(row(8), "RBRBBBBB");
    EXPECT_EQ(text("Text5")->text(), "10100000");
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 5}, {Kind::Read, 888, 5}}));
    EXPECT_EQ(control("Label3_0")->accessibleDescription(), "0, apagado (negro)");
    EXPECT_EQ(control("Label3_8")->accessibleDescription(), "1, encendido (rojo)");
}

TEST_F(Form1Test, ShowsTheValueKeyByKeyWithBitZeroLeftmost)
{
    const std::pair<const char *, const char *> cases[] = {
        {"1", "10000000"},   {"5", "10100000"},    {"6", "01100000"},     {"128", "00000001"},
        {"255", "11111111"}, {" 255", "11111111"}, {"255.6", "00000000"}, {"256", "00000000"},
        {"-1", "11111111"},  {"", "00000000"},     {"abc", "00000000"},   {"&H0F", "11110000"},
    };
    for (const auto &[typed, bits] : cases) {
        port->clearAccesses();
        typeValue(QString::fromLatin1(typed));
        EXPECT_EQ(text("Text3")->text(), bits) << typed;
        EXPECT_EQ(row(0), QString::fromLatin1(bits).replace(u'1', u'R').replace(u'0', u'B'))
            << typed;
        EXPECT_EQ(reads(888), int(port->accesses().size())) << typed;
    }
    // Each keystroke's refresh reads port 888 twice: the number, then the bits.
    port->write(888, 0x81);
    port->clearAccesses();
    QTest::keyClick(text("Text2"), Qt::Key_2);
    EXPECT_EQ(text("Text3")->text(), "01001111"); // &H0F2
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 0x81}, {Kind::Read, 888, 0x81}}));
}

TEST_F(Form1Test, LeavingAFieldRefreshesAndTypingAnAddressTouchesNoPort)
{
    showAndActivate();
    text("Text1")->setFocus();
    text("Text1")->selectAll();
    port->clearAccesses();
    QTest::keyClicks(text("Text1"), QStringLiteral("3BC"));
    EXPECT_TRUE(port->accesses().empty());
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 888");
    port->write(888, 3);
    port->clearAccesses();
    QTest::keyClick(text("Text1"), Qt::Key_Tab); // to the value field
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 3BC");
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 3}, {Kind::Read, 888, 3}}));
    EXPECT_EQ(text("Text4")->text(), " 3");

    port->write(888, 4);
    port->clearAccesses();
    QTest::keyClick(text("Text2"), Qt::Key_Tab);
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 4}, {Kind::Read, 888, 4}}));
    EXPECT_EQ(text("Text5")->text(), "00100000");
}

TEST_F(Form1Test, AValueBeyondThirtyTwoBitsIsMarkedInTheFieldWithoutADialog)
{
    showAndActivate();
    typeValue(QStringLiteral("999999999")); // still fits 32 bits
    const QString shownBits = text("Text3")->text();
    port->clearAccesses();

    QTest::keyClick(text("Text2"), Qt::Key_9);      // 9999999999 no longer fits 32 bits
    EXPECT_EQ(text("Text2")->text(), "9999999999"); // nothing the user typed is lost
    EXPECT_EQ(text("Text3")->text(), shownBits);
    EXPECT_TRUE(port->accesses().empty());
    const QString reason = text("Text2")->toolTip();
    EXPECT_TRUE(reason.contains("«9999999999»") && reason.contains("-2147483648 a 2147483647"))
        << reason.toStdString();
    EXPECT_NE(text("Text2")->palette().color(QPalette::Base),
              form->palette().color(QPalette::Base));

    // Leaving the field opens no dialog either.
    QTest::keyClick(text("Text2"), Qt::Key_Tab);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    text("Text2")->setFocus();
    QTest::keyClick(text("Text2"), Qt::Key_End);
    QTest::keyClick(text("Text2"), Qt::Key_Backspace);
    EXPECT_TRUE(text("Text2")->toolTip().isEmpty());
    EXPECT_EQ(text("Text2")->palette().color(QPalette::Base),
              text("Text1")->palette().color(QPalette::Base));
}

TEST_F(Form1Test, TabVisitsTheControlsInDesignOrder)
{
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    for (const char *name : {"Command2", "Text1", "Text2", "Command3", "Command4", "Command6_0",
                             "Command7", "CommandInfo", "Command1"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
}

TEST_F(Form1Test, WritesTakeTheValueAsDecimalRoundedHalfToEvenWithoutCuttingIt)
{
    const struct
    {
        const char *button, *address, *value;
        std::uint16_t port;
        PortValue sent;
    } cases[] = {
        {"Command4", "888", "2.5", 888, 2},   {"Command4", "888", "3.5", 888, 4},
        {"Command4", "888", "300", 888, 300}, {"Command4", "&H378", "10", 888, 10},
        {"Command2", "FFFF", "1", 0xFFFF, 1}, {"Command2", "378", "-1", 888, -1},
        {"Command2", "378", "&H10", 888, 16}, {"Command4", "-1", " 7", 0xFFFF, 7},
    };
    for (const auto &c : cases) {
        enter(c.address, c.value);
        click(c.button);
        EXPECT_EQ(port->accesses().front(), (PortAccess{Kind::Write, c.port, c.sent})) << c.value;
        EXPECT_EQ(reads(888), int(port->accesses().size()) - 1) << c.address << " " << c.value;
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
}

// The reads put the reading in the value field; each change of the field refreshes the display,
// even to the same text, and "in Dec" reads port 888 once more of its own, which a probe on the
// port sees. Plus and minus step without limit, each a change and a refresh.
TEST_F(Form1Test, ReadsAndStepsSetTheValueWithTheReadsAPortProbeSees)
{
    port->write(888, 0x5A);
    const struct
    {
        const char *button, *address, *before, *after;
        std::uint16_t firstRead;
        int reads888;
    } cases[] = {
        {"Command1", "888", "0", " 255", 2184, 4},   {"Command1", "888", " 255", " 255", 2184, 4},
        {"Command3", "378", "0", " 255", 378, 5},    {"Command3", "&H378", "0", " 90", 888, 6},
        {"Command6_0", "0", "", " 1", 888, 4},       {"Command7", "0", "", "-1", 888, 4},
        {"Command6_0", "0", "2.5", " 3.5", 888, 4},  {"Command6_0", "0", "255", " 256", 888, 4},
        {"Command7", "0", "1.5", "0.5", 888, 4},     {"Command7", "0", "-.5", "-1.5", 888, 4},
        {"Command6_0", "0", "12abc", " 13", 888, 4},
    };
    for (const auto &c : cases) {
        enter(c.address, c.before);
        click(c.button);
        EXPECT_EQ(text("Text2")->text().toStdString(), c.after) << c.button << " on " << c.before;
        EXPECT_EQ(port->accesses().front().address, c.firstRead) << c.button << " " << c.address;
        EXPECT_EQ(reads(888), c.reads888) << c.button << " " << c.address << " " << c.before;
        EXPECT_EQ(port->accesses().size(), std::size_t(c.reads888 + (c.firstRead != 888)));
        EXPECT_TRUE(errors.isEmpty());
    }
    EXPECT_EQ(text("Text4")->text(), " 90");
}

// An overflow stops the action where it happens and is reported once, naming the typed text;
// the steps that ran stay done.
TEST_F(Form1Test, AnOverflowStopsTheActionAndIsReportedOnceWithTheTypedText)
{
    const struct
    {
        const char *button, *address, *value, *message, *valueAfter;
    } cases[] = {
        {"Command3", "70000", "5",
         "No se puede leer la dirección «70000»: el número 70000 está fuera del rango de 16 bits, "
         "de -32768 a 32767.",
         "5"},
        // Both out of range: the value is converted first, so it is the one named.
        {"Command4", "70000", "40000", "No se puede enviar el valor «40000»", "40000"},
        {"Command2", "10000", "1", "dirección hexadecimal «10000»: el número 65536", "1"},
        // The field's change and the button's own refresh both fail: one message.
        {"Command6_0", "888", "2147483647", "« 2147483648»", " 2147483648"},
    };
    for (const auto &c : cases) {
        enter(c.address, c.value);
        click(c.button);
        ASSERT_EQ(errors.size(), 1) << c.button;
        EXPECT_TRUE(errors[0].contains(QString::fromUtf8(c.message))) << errors[0].toStdString();
        EXPECT_TRUE(port->accesses().empty()) << c.button;
        EXPECT_EQ(text("Text2")->text(), c.valueAfter);
    }
}

// The real message box opens once, and taking the focus from a field is no leaving of it.
TEST_F(Form1Test, TheMessageBoxOpensOnceAndIsNoLeavingOfTheField)
{
    auto machine = std::make_unique<port::SimulatedPort>(true);
    port = machine.get();
    form = std::make_unique<Form1>(port::Session(std::move(machine))); // the real message box
    showAndActivate();
    enter("70000", "5");
    text("Text1")->setFocus();

    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &closer, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++boxes;
            EXPECT_EQ(box->windowTitle(), "Velmora");
            box->accept();
        }
    });
    closer.start(20);
    control<QPushButton>("Command3")->click(); // as a shortcut would: the focus stays in the field
    QTest::qWait(100);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(port->accesses().empty());
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 888");
}

TEST_F(Form1Test, AnUnreadablePort888ShowsNoReadingAndIsSaidOnceAtStartAndAtEachClick)
{
    // Typing refreshes quietly: a port that stops answering shows no reading, not its last bits.
    std::uint16_t refused = 1; // none of this window's addresses, at first
    const Check refusing = [&](port::PortError::Access access, std::uint16_t address) {
        unreachable(refused)(access, address);
    };
    openForm(scripted(refusing));
    refused = 888;
    typeValue(QStringLiteral("12"));
    EXPECT_EQ(text("Text3")->text(), "00110000"); // the value is shown all the same
    EXPECT_TRUE(text("Text4")->text().isEmpty());
    EXPECT_TRUE(text("Text5")->text().isEmpty());
    EXPECT_EQ(row(8), "????????");
    EXPECT_TRUE(errors.isEmpty());

    openForm(scripted(refusing));
    EXPECT_TRUE(errors.isEmpty()); // not before the window is up
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("No se pudo leer el puerto 888 (378h): ninguna vía llega"))
        << errors[0].toStdString();

    // A click says it once, however many reads failed inside it, and a failed read writes
    // nothing into the value field.
    click("Command6_0");
    EXPECT_EQ(text("Text2")->text(), " 1");
    ASSERT_EQ(errors.size(), 2);
    click("Command3"); // in Dec from 888
    EXPECT_EQ(text("Text2")->text(), " 1");
    text("Text1")->setText(QStringLiteral("278"));
    click("Command2"); // out HEX to 278h is reached, the refresh after it is not
    ASSERT_EQ(errors.size(), 4);
    EXPECT_EQ(errors[3], errors[0]);
    refused = 632;
    click("Command2");
    ASSERT_EQ(errors.size(), 5);
    EXPECT_TRUE(errors[4].startsWith("No se pudo escribir en el puerto 632 (278h)"))
        << errors[4].toStdString();
    // The port doctor's word on the address, where it has one, instead of the driver's reason.
    form->session().setAdvisor([](std::uint16_t, const port::PortFailure &) {
        return port::PortFailure{"sin el grupo lp", "Únase a él.", 0};
    });
    click("Command2");
    EXPECT_EQ(errors.value(5),
              "No se pudo escribir en el puerto 632 (278h): sin el grupo lp.\n\nÚnase a él.");
}

TEST_F(Form1Test, AnUnexpectedErrorIsReportedOnceByItsTextAndTheWindowGoesOn)
{
    openForm(scripted([](auto, auto) { throw std::runtime_error("lectura rota"); }));
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Algo falló de forma inesperada al iniciar: lectura rota."))
        << errors[0].toStdString();

    // The click's refresh of the changed value meets the fault first; the click says it once.
    showAndActivate();
    click("Command6_0");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].startsWith("Algo falló de forma inesperada al pulsar «+»: lectura rota."))
        << errors[1].toStdString();
    EXPECT_EQ(text("Text2")->text(), " 1");
    EXPECT_TRUE(form->isVisible());

    // Leaving a field is a boundary of its own.
    text("Text1")->setFocus();
    control<QPushButton>("Command1")->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[2].startsWith("Algo falló de forma inesperada al actualizar la ventana"))
        << errors[2].toStdString();

    // Met only by the refresh that setting the value makes, it is said by the click all the same.
    int faults = 0;
    openForm(scripted([&](auto, auto) {
        if (faults-- > 0)
            throw std::runtime_error("una vez");
    }));
    faults = 1;
    click("Command6_0");
    ASSERT_EQ(errors.size(), 4);
    EXPECT_TRUE(errors[3].startsWith("Algo falló de forma inesperada al actualizar la ventana: "
                                     "una vez."))
        << errors[3].toStdString();
}

} // namespace
