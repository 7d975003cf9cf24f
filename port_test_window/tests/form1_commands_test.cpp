#include "widget_test_support.h"

#include <QMessageBox>
#include <QTimer>

#include <clocale>

namespace {

using port::PortAccess;
using Kind = PortAccess::Kind;
using Accesses = std::vector<PortAccess>;

class Form1Commands : public Form1Test
{
protected:
    void enter(const QString &address, const QString &value)
    {
        text("Text1")->setText(address);
        text("Text2")->setText(value);
        port->clearAccesses();
    }

    void click(const char *button)
    {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }
};

TEST_F(Form1Commands, OutHexSendsTheValueToTheHexAddressAndShowsThePort)
{
    enter(QStringLiteral("378"), QStringLiteral("255"));
    click("Command2");
    EXPECT_EQ(port->accesses(),
              (Accesses{{Kind::Write, 888, 255}, {Kind::Read, 888, 255}, {Kind::Read, 888, 255}}));
    EXPECT_EQ(row(0), "RRRRRRRR");
    EXPECT_EQ(row(8), "RRRRRRRR");
    EXPECT_EQ(text("Text4")->text(), " 255");
    EXPECT_EQ(text("Text5")->text(), "11111111");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Form1Commands, WritesTakeTheValueAsDecimalRoundedHalfToEvenWithoutCuttingIt)
{
    struct Case
    {
        const char *button, *address, *value;
        std::uint16_t port;
        PortValue sent;
    };
    const Case cases[] = {
        {"Command4", "888", "2.5", 888, 2},   {"Command4", "888", "3.5", 888, 4},
        {"Command4", "888", "300", 888, 300}, {"Command4", "&H378", "10", 888, 10},
        {"Command2", "FFFF", "1", 0xFFFF, 1}, {"Command2", "378", "-1", 888, -1},
        {"Command2", "378", "&H10", 888, 16}, {"Command4", "-1", " 7", 0xFFFF, 7},
    };
    for (const Case &c : cases) {
        enter(QString::fromLatin1(c.address), QString::fromLatin1(c.value));
        click(c.button);
        ASSERT_FALSE(port->accesses().empty());
        EXPECT_EQ(port->accesses().front(), (PortAccess{Kind::Write, c.port, c.sent}))
            << c.button << " " << c.address << " " << c.value;
        EXPECT_EQ(reads(888), 2) << c.address;
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Form1Commands, ReadsPutTheReadingInTheValueFieldWithTheRefreshesAPortProbeSees)
{
    // in Hex: the typed port once, then port 888 four times (the field's change, then the
    // button's own refresh).
    enter(QStringLiteral("888"), QStringLiteral("0"));
    click("Command1");
    const Accesses inHex{{Kind::Read, 2184, 255},
                         {Kind::Read, 888, 0},
                         {Kind::Read, 888, 0},
                         {Kind::Read, 888, 0},
                         {Kind::Read, 888, 0}};
    EXPECT_EQ(port->accesses(), inHex);
    EXPECT_EQ(text("Text2")->text(), " 255");

    // The same reading again leaves the text as it was; the port still sees the same accesses.
    port->clearAccesses();
    click("Command1");
    EXPECT_EQ(port->accesses(), inHex);

    // in Dec reads port 888 once more, between the two refreshes.
    port->write(888, 0x5A);
    enter(QStringLiteral("378"), QStringLiteral("0"));
    click("Command3");
    EXPECT_EQ(port->accesses().front(), (PortAccess{Kind::Read, 378, 255}));
    EXPECT_EQ(reads(888), 5);
    EXPECT_EQ(port->accesses().size(), 6u);
    EXPECT_EQ(text("Text4")->text(), " 90");

    enter(QStringLiteral("&H378"), QStringLiteral("0"));
    click("Command3");
    EXPECT_EQ(port->accesses().front(), (PortAccess{Kind::Read, 888, 0x5A}));
    EXPECT_EQ(text("Text2")->text(), " 90");
    EXPECT_EQ(row(0), "BRBRRBRB");
}

TEST_F(Form1Commands, PlusAndMinusStepTheValueWithoutLimit)
{
    struct Case
    {
        const char *button, *before, *after;
    };
    const Case cases[] = {
        {"Command6_0", "", " 1"},      {"Command7", "", "-1"},      {"Command6_0", "2.5", " 3.5"},
        {"Command6_0", "255", " 256"}, {"Command7", "0", "-1"},     {"Command7", "1.5", "0.5"},
        {"Command6_0", "-1", " 0"},    {"Command7", "-.5", "-1.5"}, {"Command6_0", "12abc", " 13"},
    };
    for (const Case &c : cases) {
        enter(QStringLiteral("888"), QString::fromLatin1(c.before));
        click(c.button);
        EXPECT_EQ(text("Text2")->text().toStdString(), c.after) << c.button << " on " << c.before;
        EXPECT_EQ(reads(888), 4) << c.button << " on " << c.before;
        EXPECT_EQ(writes(), 0);
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Form1Commands, MinusWritesANumberTheToolReadsBackUnderSpanishSettings)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    // Windows' C library names it in words.
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8") && !std::setlocale(LC_ALL, "Spanish_Spain.1252"))
        GTEST_SKIP() << "no Spanish locale on this machine";
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    enter(QStringLiteral("888"), QStringLiteral("1.5"));
    click("Command7");
    EXPECT_EQ(text("Text2")->text(), "0.5");
    port->clearAccesses();
    click("Command4");
    EXPECT_EQ(port->accesses().front(), (PortAccess{Kind::Write, 888, 0})); // 0.5 halves to 0
    EXPECT_EQ(text("Text3")->text(), "00000000");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(Form1Commands, AnOverflowStopsTheActionAndIsReportedOnceWithTheTypedText)
{
    enter(QStringLiteral("70000"), QStringLiteral("5"));
    click("Command3");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "No se puede leer la dirección «70000»: el número 70000 está fuera del "
                         "rango de 16 bits, de -32768 a 32767.");
    EXPECT_TRUE(port->accesses().empty());
    EXPECT_EQ(text("Text2")->text(), "5");

    // Both out of range: the value is converted first, so it is the one named; nothing is sent.
    errors.clear();
    enter(QStringLiteral("70000"), QStringLiteral("40000"));
    click("Command4");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("No se puede enviar el valor «40000»"))
        << errors[0].toStdString();
    EXPECT_TRUE(port->accesses().empty());

    errors.clear();
    enter(QStringLiteral("10000"), QStringLiteral("1"));
    click("Command2");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("dirección hexadecimal «10000»: el número 65536"))
        << errors[0].toStdString();
    EXPECT_EQ(writes(), 0);

    // The change of the field and the button's own refresh both fail on 2147483648: one message,
    // and the step that ran (the new text) stays.
    errors.clear();
    enter(QStringLiteral("888"), QStringLiteral("2147483647"));
    click("Command6_0");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("« 2147483648»")) << errors[0].toStdString();
    EXPECT_EQ(text("Text2")->text(), " 2147483648");
    EXPECT_TRUE(port->accesses().empty());
    EXPECT_FALSE(text("Text2")->toolTip().isEmpty());
}

TEST_F(Form1Commands, TheMessageBoxOpensOnceAndStartsNoLoopOfFocusEvents)
{
    form = std::make_unique<Form1>(); // with its own reporter: the real message box
    showAndActivate();
    enter(QStringLiteral("70000"), QStringLiteral("99999999999"));
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

TEST_F(Form1Commands, LeavingTheAddressFieldRelabelsTheReadingOfPort888)
{
    showAndActivate();
    text("Text1")->setFocus();
    text("Text1")->selectAll();
    QTest::keyClicks(text("Text1"), QStringLiteral("3BC"));
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 888"); // not while typing
    port->clearAccesses();
    QTest::keyClick(text("Text1"), Qt::Key_Tab);
    EXPECT_EQ(control<QLabel>("Label7")->text(), "Lectura del puerto 3BC");
    EXPECT_EQ(port->accesses(), (Accesses{{Kind::Read, 888, 0}, {Kind::Read, 888, 0}}));
}

TEST_F(Form1Commands, SpaceOnAFocusedButtonRunsIt)
{
    showAndActivate();
    enter(QStringLiteral("378"), QStringLiteral("41"));
    for (int i = 0; i < 6; ++i) // in Hex → out HEX → fields → in Dec → out DEC → +
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), control("Command6_0"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(text("Text2")->text(), " 42");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(text("Text2")->text(), "41");
}

} // namespace
