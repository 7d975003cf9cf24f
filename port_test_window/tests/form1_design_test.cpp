#include "widget_test_support.h"

namespace {

struct Expected
{
    const char *name, *kind;
    int x, y, width, height; // pixels; an auto-sized label's width is its text's
    const char *caption;     // nullptr: the control shows no caption of its own
    QColor text;             // labels' text colour
};

const QColor Yellow(255, 255, 0), White(255, 255, 255);

// The window's design, written out: every control in tab order but the indicators, below.
const Expected Design[] = {
    {"Command1", "QPushButton", 24, 72, 97, 41, "in Hex", {}},
    {"Command2", "QPushButton", 160, 72, 105, 41, "out HEX", {}},
    {"Text1", "QLineEdit", 48, 40, 65, 25, nullptr, {}},
    {"Text2", "QLineEdit", 160, 40, 41, 25, nullptr, {}},
    {"Label1", "QLabel", 32, 8, 97, 25, "Dirección Dec/Hex del puerto activo", Yellow},
    {"Label2", "QLabel", 160, 16, 73, 17, "Valor enviado", Yellow},
    {"Command3", "QPushButton", 24, 120, 97, 41, "in Dec", {}},
    {"Command4", "QPushButton", 160, 120, 105, 41, "out DEC", {}},
    {"Text3", "QLineEdit", 208, 40, 57, 25, nullptr, {}},
    {"Label4", "QLabel", 40, 184, -1, 13, "Valor", Yellow},
    {"Label5", "QLabel", 16, 216, 60, 29, "Estado del puerto", Yellow},
    {"Text4", "QLineEdit", 112, 248, 57, 25, nullptr, {}},
    {"Label7", "QLabel", 48, 248, 65, 49, "Lectura del puerto 888", Yellow},
    {"Text5", "QLineEdit", 184, 248, 57, 25, nullptr, {}},
    {"Command6_0", "QPushButton", 272, 40, 17, 17, "+", {}},
    {"Command7", "QPushButton", 272, 56, 17, 17, "-", {}},
    {"CommandInfo", "QPushButton", 248, 280, 41, 41, "", {}},
    {"Label6", "QLabel", 48, 200, -1, 13, "Pin", Yellow},
    {"Label8_0", "QLabel", 71, 202, 9, 17, "2", White},
    {"Label8_1", "QLabel", 96, 202, 9, 17, "3", White},
    {"Label8_2", "QLabel", 120, 202, 9, 17, "4", White},
    {"Label8_3", "QLabel", 144, 202, 9, 17, "5", White},
    {"Label8_4", "QLabel", 168, 202, 9, 17, "6", White},
    {"Label8_5", "QLabel", 192, 202, 9, 17, "7", White},
    {"Label8_6", "QLabel", 216, 202, 9, 17, "8", White},
    {"Label8_7", "QLabel", 240, 202, 9, 17, "9", White},
};

TEST_F(Form1Test, WindowMatchesItsDesign)
{
    EXPECT_EQ(form->windowTitle(), "Velmora");
    EXPECT_EQ(form->size(), QSize(296, 326));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_FALSE(form->windowIcon().isNull());
    // The layout is fixed in pixels: with this font every caption fits its box.
    EXPECT_EQ(form->font().family(), "Liberation Sans");
    EXPECT_EQ(form->font().pixelSize(), 10);
    EXPECT_FALSE(control<QPushButton>("CommandInfo")->icon().isNull());

    for (const Expected &e : Design) {
        SCOPED_TRACE(e.name);
        QWidget *widget = control(e.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), e.kind);
        const QRect expected(e.x, e.y, e.width < 0 ? widget->width() : e.width, e.height);
        EXPECT_EQ(widget->geometry(), expected);
        if (const auto *label = qobject_cast<QLabel *>(widget)) {
            EXPECT_EQ(label->text(), e.caption);
            EXPECT_EQ(label->palette().color(QPalette::WindowText), e.text);
        } else if (const auto *button = qobject_cast<QPushButton *>(widget)) {
            EXPECT_EQ(button->text(), e.caption);
        }
    }

    // The indicators: bit 0 leftmost, 24 pixels apart, the value's row above the port's.
    for (int i = 0; i < 16; ++i) {
        const QWidget *indicator = control(QStringLiteral("Label3_%1").arg(i));
        ASSERT_NE(indicator, nullptr) << i;
        EXPECT_STREQ(indicator->metaObject()->className(), "BitIndicator");
        EXPECT_EQ(indicator->geometry(), QRect(72 + 24 * (i % 8), i < 8 ? 184 : 224, 11, 13)) << i;
    }

    // The two blanks in the read buttons' tooltips are the window's own wording.
    const std::pair<const char *, const char *> tooltips[] = {
        {"Command1", "Lee el estado del  pto paralelo en la dirección HEX indicada"},
        {"Command2",
         "Envía el valor especificado a la direccion Hex del pto paralelo: 0378-037F..."},
        {"Command3", "Lee el estado del  pto paralelo en la dirección DEC indicada"},
        {"Command4",
         "Envía el valor especificado a la dirección decimal del pto paralelo: 888-889..."},
        {"CommandInfo", "Información sobre pto paralelo"},
    };
    // The fields and indicators are known by their captions, to screen readers as to sighted users.
    EXPECT_EQ(text("Text1")->accessibleName(), "Dirección Dec/Hex del puerto activo");
    EXPECT_EQ(text("Text2")->accessibleName(), "Valor enviado");
    EXPECT_EQ(control<QLabel>("Label1")->buddy(), text("Text1"));
    EXPECT_EQ(control<QLabel>("Label2")->buddy(), text("Text2"));
    EXPECT_EQ(control("Label3_0")->accessibleName(), "Valor, bit 0 (pin 2)");
    EXPECT_EQ(control("Label3_15")->accessibleName(), "Estado del puerto, bit 7 (pin 9)");
    for (const Expected &e : Design) {
        const auto *tip = std::ranges::find_if(
            tooltips, [&](auto &t) { return t.first == QLatin1StringView(e.name); });
        EXPECT_EQ(control(e.name)->toolTip(),
                  tip == std::end(tooltips) ? QString() : QString::fromUtf8(tip->second))
            << e.name;
    }
}

} // namespace
