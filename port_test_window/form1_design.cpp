#include "form1_design.h"

#include "bit_indicator.h"
#include "design_units.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace form1 {

namespace {

constexpr const char *InHexTip = "Lee el estado del  pto paralelo en la dirección HEX indicada";
constexpr const char *OutHexTip =
    "Envía el valor especificado a la direccion Hex del pto paralelo: 0378-037F...";
constexpr const char *InDecTip = "Lee el estado del  pto paralelo en la dirección DEC indicada";
constexpr const char *OutDecTip =
    "Envía el valor especificado a la dirección decimal del pto paralelo: 888-889...";

using design::bindTo;
using design::Black;
using design::LightGrey;
using design::White;
using design::Yellow;
using Row = std::array<Control, 8>;

// The indicators stand 360 twips apart, bit 0 leftmost, each row under the pin numbers.
constexpr Row indicatorRow(int first, int top)
{
    Row row{};
    // clang-format off
    for (int bit = 0; bit < 8; ++bit)
        row[bit] = {"Label3", first + bit, bindTo<&Form1Ui::Label3>, Kind::Indicator, "",
                    1080 + 360 * bit, top, 165, 195, LightGrey, false, nullptr};
    // clang-format on
    return row;
}

template <std::size_t... N>
constexpr auto joined(const std::array<Control, N> &...parts)
{
    std::array<Control, (N + ...)> all{};
    auto next = all.begin();
    ((next = std::ranges::copy(parts, next).out), ...);
    return all;
}

// clang-format off
constexpr auto Controls = joined(
    std::to_array<Control>({
    // name          index binding                         kind                 caption                                left  top   width height colour    wrap   tooltip
    {"Command1",     -1, bindTo<&Form1Ui::Command1>,    Kind::PushButton,    "in Hex",                                360, 1080, 1455, 615, Black,     false, InHexTip},
    {"Command2",     -1, bindTo<&Form1Ui::Command2>,    Kind::PushButton,    "out HEX",                              2400, 1080, 1575, 615, Black,     false, OutHexTip},
    {"Text1",        -1, bindTo<&Form1Ui::Text1>,       Kind::TextBox,       "",                                      720,  600,  975, 375, Black,     false, nullptr},
    {"Text2",        -1, bindTo<&Form1Ui::Text2>,       Kind::TextBox,       "",                                     2400,  600,  615, 375, Black,     false, nullptr},
    {"Label1",       -1, bindTo<&Form1Ui::Label1>,      Kind::Label,         "Dirección Dec/Hex del puerto activo",   480,  120, 1455, 375, Yellow,    true,  nullptr},
    {"Label2",       -1, bindTo<&Form1Ui::Label2>,      Kind::Label,         "Valor enviado",                        2400,  240, 1095, 255, Yellow,    false, nullptr},
    {"Command3",     -1, bindTo<&Form1Ui::Command3>,    Kind::PushButton,    "in Dec",                                360, 1800, 1455, 615, Black,     false, InDecTip},
    {"Command4",     -1, bindTo<&Form1Ui::Command4>,    Kind::PushButton,    "out DEC",                              2400, 1800, 1575, 615, Black,     false, OutDecTip},
    {"Text3",        -1, bindTo<&Form1Ui::Text3>,       Kind::OutputBox,     "",                                     3120,  600,  855, 375, Black,     false, nullptr},
    }),
    indicatorRow(0, 2760),
    std::to_array<Control>({
    {"Label4",       -1, bindTo<&Form1Ui::Label4>,      Kind::AutoSizeLabel, "Valor",                                 600, 2760,  360, 195, Yellow,    false, nullptr},
    {"Label5",       -1, bindTo<&Form1Ui::Label5>,      Kind::Label,         "Estado del puerto",                     240, 3240,  900, 435, Yellow,    true,  nullptr},
    }),
    indicatorRow(8, 3360),
    std::to_array<Control>({
    {"Text4",        -1, bindTo<&Form1Ui::Text4>,       Kind::OutputBox,     "",                                     1680, 3720,  855, 375, Black,     false, nullptr},
    {"Label7",       -1, bindTo<&Form1Ui::Label7>,      Kind::Label,         "Label7",                                720, 3720,  975, 735, Yellow,    true,  nullptr},
    {"Text5",        -1, bindTo<&Form1Ui::Text5>,       Kind::OutputBox,     "",                                     2760, 3720,  855, 375, Black,     false, nullptr},
    {"Command6",      0, bindTo<&Form1Ui::Command6>,    Kind::PushButton,    "+",                                    4080,  600,  255, 255, Black,     false, nullptr},
    {"Command7",     -1, bindTo<&Form1Ui::Command7>,    Kind::PushButton,    "-",                                    4080,  840,  255, 255, Black,     false, nullptr},
    {"CommandInfo",  -1, bindTo<&Form1Ui::CommandInfo>, Kind::PictureButton, "",                                     3720, 4200,  615, 615, Black,     false, "Información sobre pto paralelo"},
    {"Label6",       -1, bindTo<&Form1Ui::Label6>,      Kind::AutoSizeLabel, "Pin",                                   720, 3000,  225, 195, Yellow,    false, nullptr},
    {"Label8",        0, bindTo<&Form1Ui::Label8>,      Kind::Label,         "2",                                    1065, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        1, bindTo<&Form1Ui::Label8>,      Kind::Label,         "3",                                    1440, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        2, bindTo<&Form1Ui::Label8>,      Kind::Label,         "4",                                    1800, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        3, bindTo<&Form1Ui::Label8>,      Kind::Label,         "5",                                    2160, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        4, bindTo<&Form1Ui::Label8>,      Kind::Label,         "6",                                    2520, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        5, bindTo<&Form1Ui::Label8>,      Kind::Label,         "7",                                    2880, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        6, bindTo<&Form1Ui::Label8>,      Kind::Label,         "8",                                    3240, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        7, bindTo<&Form1Ui::Label8>,      Kind::Label,         "9",                                    3600, 3030,  135, 255, White,     false, nullptr},
    }));
// clang-format on

QLabel *makeLabel(const Control &c, QWidget *form)
{
    auto *label = new QLabel(QString::fromUtf8(c.caption), form);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, design::colourFromWord(c.colour));
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(c.wrap);
    return label;
}

QPushButton *makeButton(const Control &c, QWidget *form)
{
    auto *button = new QPushButton(QString::fromUtf8(c.caption), form);
    // Enter in a field must not press anything: no button is a default one.
    button->setAutoDefault(false);
    button->setDefault(false);
    if (c.kind == Kind::PictureButton) {
        button->setIcon(QIcon(QStringLiteral(":/art/question-32.png")));
        button->setIconSize(QSize(32, 32));
    }
    return button;
}

QLineEdit *makeTextBox(const Control &c, QWidget *form)
{
    auto *box = new QLineEdit(form);
    box->setEnabled(c.kind == Kind::TextBox);
    return box;
}

QString bitName(int index)
{
    const int bit = index % 8;
    const QString row = index < 8 ? QStringLiteral("Valor") : QStringLiteral("Estado del puerto");
    return QStringLiteral("%1, bit %2 (pin %3)").arg(row).arg(bit).arg(bit + 2);
}

} // namespace

std::span<const Control> design()
{
    return Controls;
}

} // namespace form1

void Form1Ui::setupUi(QWidget *form)
{
    using form1::Control;
    using form1::Kind;

    design::build(
        *this, form, form1::design(),
        [](const Control &c, QWidget *parent) -> QWidget * {
            switch (c.kind) {
            case Kind::PushButton:
            case Kind::PictureButton:
                return form1::makeButton(c, parent);
            case Kind::TextBox:
            case Kind::OutputBox:
                return form1::makeTextBox(c, parent);
            case Kind::Label:
            case Kind::AutoSizeLabel:
                return form1::makeLabel(c, parent);
            case Kind::Indicator:
                break;
            }
            auto *indicator = new BitIndicator(parent);
            indicator->setBitName(form1::bitName(c.index));
            return indicator;
        },
        [](const Control &c, QWidget *widget) {
            if (c.kind == Kind::AutoSizeLabel)
                widget->resize(widget->sizeHint().width(), widget->height());
            if (c.tooltip)
                widget->setToolTip(QString::fromUtf8(c.tooltip));
        });

    // The two fields are known by their captions, to screen readers as to sighted users.
    for (const auto &[caption, field] : {std::pair{Label1, Text1}, std::pair{Label2, Text2}}) {
        caption->setBuddy(field);
        field->setAccessibleName(caption->text());
    }
}
