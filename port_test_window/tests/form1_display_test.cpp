#include "widget_test_support.h"

namespace {

using Kind = port::PortAccess::Kind;
using Accesses = std::vector<port::PortAccess>;

TEST_F(Form1Test, StartsOnAddress888WithTheValueZeroAndThePortRead)
{
    port->write(888, 0x05);
    port->clearAccesses();
    openForm();

    EXPECT_EQ(port::currentDriver(), port); // the window reads the simulated port, nothing else
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
        EXPECT_EQ(writes(), 0);
    }
    // Each keystroke's refresh reads port 888 twice: the number, then the bits.
    port->write(888, 0x81);
    port->clearAccesses();
    QTest::keyClick(text("Text2"), Qt::Key_2);
    EXPECT_EQ(text("Text3")->text(), "01001111"); // &H0F2
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 0x81}, {Kind::Read, 888, 0x81}}));
    EXPECT_EQ(text("Text4")->text(), " 129");
    EXPECT_EQ(row(8), "RBBBBBBR");
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

    QTest::keyClick(text("Text2"), Qt::Key_9); // 9999999999 no longer fits 32 bits
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(text("Text2")->text(), "9999999999"); // nothing the user typed is lost
    EXPECT_EQ(text("Text3")->text(), shownBits);
    EXPECT_TRUE(port->accesses().empty());
    const QString reason = text("Text2")->toolTip();
    EXPECT_TRUE(reason.contains("«9999999999»") && reason.contains("-2147483648 a 2147483647"))
        << reason.toStdString();
    EXPECT_NE(text("Text2")->palette().color(QPalette::Base),
              form->palette().color(QPalette::Base));

    // Leaving the field neither opens a dialog nor starts a loop of refreshes.
    QTest::keyClick(text("Text2"), Qt::Key_Tab);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), control("Command3"));

    text("Text2")->setFocus();
    QTest::keyClick(text("Text2"), Qt::Key_End);
    QTest::keyClick(text("Text2"), Qt::Key_Backspace);
    EXPECT_TRUE(text("Text2")->toolTip().isEmpty());
    EXPECT_EQ(text("Text2")->palette().color(QPalette::Base),
              text("Text1")->palette().color(QPalette::Base));
}

TEST_F(Form1Test, TabVisitsTheControlsInDesignOrderAndFieldsPressNoButton)
{
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    for (const char *name : {"Command2", "Text1", "Text2", "Command3", "Command4", "Command6_0",
                             "Command7", "CommandInfo", "Command1"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
    for (const char *output : {"Text3", "Text4", "Text5"}) {
        QTest::mouseClick(text(output), Qt::LeftButton);
        EXPECT_NE(QApplication::focusWidget(), text(output));
    }
    // Enter and Escape in a field press nothing and close nothing.
    for (const char *field : {"Text1", "Text2"}) {
        text(field)->setFocus();
        port->clearAccesses();
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(text(field), key);
        EXPECT_EQ(QApplication::focusWidget(), text(field));
        EXPECT_TRUE(port->accesses().empty()) << field;
    }
    EXPECT_TRUE(form->isVisible());
}

} // namespace
