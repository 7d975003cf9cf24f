#include "widget_test_support.h"

#include <QMessageBox>
#include <QTimer>

namespace {

using port::PortAccess;
using Kind = PortAccess::Kind;

class Form1Commands : public Form1Test
{
protected:
    void enter(const char *address, const char *value)
    {
        text("Text1")->setText(QString::fromLatin1(address));
        text("Text2")->setText(QString::fromLatin1(value));
        port->clearAccesses();
        errors.clear();
    }
};

TEST_F(Form1Commands, WritesTakeTheValueAsDecimalRoundedHalfToEvenWithoutCuttingIt)
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
        const std::vector<PortAccess> expected{
            {Kind::Write, c.port, c.sent}, {Kind::Read, 888, 0}, {Kind::Read, 888, 0}};
        EXPECT_EQ(port->accesses().size(), 3u) << c.button << " " << c.address << " " << c.value;
        EXPECT_EQ(port->accesses().front(), expected.front()) << c.address << " " << c.value;
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
}

// The reads put the reading in the value field; each change of the field refreshes the display,
// even to the same text, and "in Dec" reads port 888 once more of its own, which a probe on the
// port sees. Plus and minus step without limit, each a change and a refresh.
TEST_F(Form1Commands, ReadsAndStepsSetTheValueWithTheReadsAPortProbeSees)
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
        EXPECT_EQ(writes(), 0);
        EXPECT_TRUE(errors.isEmpty());
    }
    EXPECT_EQ(text("Text4")->text(), " 90");
}

// An overflow stops the action where it happens and is reported once, naming the typed text;
// the steps that ran stay done.
TEST_F(Form1Commands, AnOverflowStopsTheActionAndIsReportedOnceWithTheTypedText)
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

TEST_F(Form1Commands, TheMessageBoxOpensOnceAndStartsNoLoopOfFocusEvents)
{
    form = std::make_unique<Form1>(); // with its own reporter: the real message box
    showAndActivate();
    enter("70000", "99999999999");
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
    click("Command3");
    QTest::qWait(200);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(form->isVisible());
}

} // namespace
