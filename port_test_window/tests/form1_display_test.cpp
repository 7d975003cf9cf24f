#include "widget_test_support.h"

#include <QToolTip>

namespace {

using Kind = port::PortAccess::Kind;

TEST_F(Form1Test, StartsOnAddress888WithTheValueZeroAndThePortRead)
{
    port->write(888, 0x05);
    port->clearAccesses();
    form = std::make_unique<Form1>();

    EXPECT_EQ(port::currentDriver(), port); // the window reads the simulated port, nothing else
    EXPECT_EQ(text("Text1")->text(), "888");
    EXPECT_EQ(text("Text2")->text(), "0");
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 888");
    EXPECT_EQ(row(0), "BBBBBBBB");
    EXPECT_EQ(text("Text3")->text(), "00000000");
    EXPECT_EQ(text("Text4")->text(), " 5");
    EXPECT_EQ(row(8), "RBRBBBBB");
    EXPECT_EQ(text("Text5")->text(), "10100000");
    EXPECT_EQ(port->accesses(),
              (std::vector<port::PortAccess>{{Kind::Read, 888, 5}, {Kind::Read, 888, 5}}));
}

TEST_F(Form1Test, ShowsTheValueKeyByKeyWithBitZeroLeftmost)
{
    struct Case
    {
        const char *typed;
        const char *bits;
    };
    const Case cases[] = {
        {"1", "10000000"},   {"5", "10100000"},    {"6", "01100000"},     {"128", "00000001"},
        {"255", "11111111"}, {" 255", "11111111"}, {"255.6", "00000000"}, {"256", "00000000"},
        {"-1", "11111111"},  {"", "00000000"},     {"abc", "00000000"},   {"&H0F", "11110000"},
    };
    for (const Case &c : cases) {
        typeValue(QString::fromLatin1(c.typed));
        EXPECT_EQ(text("Text3")->text(), c.bits) << c.typed;
        QString colours = QString::fromLatin1(c.bits);
        colours.replace(u'1', u'R').replace(u'0', u'B');
        EXPECT_EQ(row(0), colours) << c.typed;
    }

    typeValue(QString());
    QTest::keyClick(text("Text2"), Qt::Key_1);
    EXPECT_EQ(text("Text3")->text(), "10000000");
    QTest::keyClick(text("Text2"), Qt::Key_2);
    EXPECT_EQ(text("Text3")->text(), "00110000");
}

TEST_F(Form1Test, EachRefreshReadsPort888TwiceAndWritesNothing)
{
    typeValue(QStringLiteral("7"));
    port->clearAccesses();
    QTest::keyClick(text("Text2"), Qt::Key_3);
    EXPECT_EQ(reads(888), 2);
    EXPECT_EQ(port->accesses().size(), 2u);

    port->write(888, 0x81);
    port->clearAccesses();
    form->ActualizarPantalla();
    EXPECT_EQ(reads(888), 2);
    EXPECT_EQ(text("Text4")->text(), " 129");
    EXPECT_EQ(text("Text5")->text(), "10000001");
    EXPECT_EQ(row(8), "RBBBBBBR");
}

TEST_F(Form1Test, AValueBeyondThirtyTwoBitsIsMarkedInTheFieldWithoutADialog)
{
    showAndActivate();
    typeValue(QStringLiteral("999999999")); // still fits 32 bits
    const QString shownBits = text("Text3")->text();
    const QString shownRow = row(0);
    port->clearAccesses();

    QTest::keyClick(text("Text2"), Qt::Key_9); // 9999999999 no longer fits 32 bits
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(text("Text2")->text(), "9999999999"); // nothing the user typed is lost
    EXPECT_EQ(text("Text3")->text(), shownBits);
    EXPECT_EQ(row(0), shownRow);
    EXPECT_EQ(port->accesses().size(), 0u);
    const QString reason = text("Text2")->toolTip();
    EXPECT_TRUE(reason.contains(QStringLiteral("«9999999999»"))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QStringLiteral("-2147483648 a 2147483647")))
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
    EXPECT_EQ(text("Text3")->text(), shownBits);
    EXPECT_EQ(text("Text2")->palette().color(QPalette::Base),
              text("Text1")->palette().color(QPalette::Base));
}

TEST_F(Form1Test, TabVisitsTheControlsInDesignOrderAndSkipsOutputs)
{
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    const char *order[] = {"Command2",   "Text1",    "Text2",       "Command3", "Command4",
                           "Command6_0", "Command7", "CommandInfo", "Command1"};
    for (const char *name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
    for (const char *output : {"Text3", "Text4", "Text5"}) {
        QTest::mouseClick(text(output), Qt::LeftButton);
        EXPECT_NE(QApplication::focusWidget(), text(output));
        EXPECT_FALSE(text(output)->isEnabled());
    }
}

TEST_F(Form1Test, EnterAndEscapeInAFieldPressNothing)
{
    showAndActivate();
    for (const char *field : {"Text1", "Text2"}) {
        text(field)->setFocus();
        port->clearAccesses();
        QTest::keyClick(text(field), Qt::Key_Return);
        QTest::keyClick(text(field), Qt::Key_Enter);
        QTest::keyClick(text(field), Qt::Key_Escape);
        EXPECT_EQ(QApplication::focusWidget(), text(field));
        EXPECT_EQ(port->accesses().size(), 0u) << field;
    }
    EXPECT_TRUE(form->isVisible());
    for (QPushButton *button : form->findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
}

TEST_F(Form1Test, IndicatorsTellScreenReadersWhichBitTheyShow)
{
    typeValue(QStringLiteral("1"));
    const auto *first = control<BitIndicator>("Label3_0");
    const auto *portLast = control<BitIndicator>("Label3_15");
    EXPECT_EQ(first->accessibleName(), "Valor, bit 0 (pin 2)");
    EXPECT_EQ(first->accessibleDescription(), "1, encendido (rojo)");
    EXPECT_EQ(portLast->accessibleName(), "Estado del puerto, bit 7 (pin 9)");
    EXPECT_EQ(portLast->accessibleDescription(), "0, apagado (negro)");
}

} // namespace
