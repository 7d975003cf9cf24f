#include "form1_design.h"

#include "bit_indicator.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <utility>

namespace form1 {

namespace {

constexpr const char *InHexTip = "Lee el estado del  pto paralelo en la dirección HEX indicada";
constexpr const char *OutHexTip =
    "Envía el valor especificado a la direccion Hex del pto paralelo: 0378-037F...";
constexpr const char *InDecTip = "Lee el estado del  pto paralelo en la dirección DEC indicada";
constexpr const char *OutDecTip =
    "Envía el valor especificado a la dirección decimal del pto paralelo: 888-889...";

// clang-format off
constexpr Control Controls[] = {
    // name          index kind                 caption                                left  top   width height colour    wrap   tooltip
    {"Command1",     -1, Kind::PushButton,    "in Hex",                                360, 1080, 1455, 615, Black,     false, InHexTip},
    {"Command2",     -1, Kind::PushButton,    "out HEX",                              2400, 1080, 1575, 615, Black,     false, OutHexTip},
    {"Text1",        -1, Kind::TextBox,       "",                                      720,  600,  975, 375, Black,     false, nullptr},
    {"Text2",        -1, Kind::TextBox,       "",                                     2400,  600,  615, 375, Black,     false, nullptr},
    {"Label1",       -1, Kind::Label,         "Dirección Dec/Hex del puerto activo",   480,  120, 1455, 375, Yellow,    true,  nullptr},
    {"Label2",       -1, Kind::Label,         "Valor enviado",                        2400,  240, 1095, 255, Yellow,    false, nullptr},
    {"Command3",     -1, Kind::PushButton,    "in Dec",                                360, 1800, 1455, 615, Black,     false, InDecTip},
    {"Command4",     -1, Kind::PushButton,    "out DEC",                              2400, 1800, 1575, 615, Black,     false, OutDecTip},
    {"Text3",        -1, Kind::OutputBox,     "",                                     3120,  600,  855, 375, Black,     false, nullptr},
    {"Label3",        0, Kind::Indicator,     "",                                     1080, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        1, Kind::Indicator,     "",                                     1440, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        2, Kind::Indicator,     "",                                     1800, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        3, Kind::Indicator,     "",                                     2160, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        4, Kind::Indicator,     "",                                     2520, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        5, Kind::Indicator,     "",                                     2880, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        6, Kind::Indicator,     "",                                     3240, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label3",        7, Kind::Indicator,     "",                                     3600, 2760,  165, 195, LightGrey, false, nullptr},
    {"Label4",       -1, Kind::AutoSizeLabel, "Valor",                                 600, 2760,  360, 195, Yellow,    false, nullptr},
    {"Label5",       -1, Kind::Label,         "Estado del puerto",                     240, 3240,  900, 435, Yellow,    true,  nullptr},
    {"Label3",        8, Kind::Indicator,     "",                                     1080, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",        9, Kind::Indicator,     "",                                     1440, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       10, Kind::Indicator,     "",                                     1800, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       11, Kind::Indicator,     "",                                     2160, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       12, Kind::Indicator,     "",                                     2520, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       13, Kind::Indicator,     "",                                     2880, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       14, Kind::Indicator,     "",                                     3240, 3360,  165, 195, LightGrey, false, nullptr},
    {"Label3",       15, Kind::Indicator,     "",                                     3600, 3360,  165, 195, LightGrey, false, nullptr},
    {"Text4",        -1, Kind::OutputBox,     "",                                     1680, 3720,  855, 375, Black,     false, nullptr},
    {"Label7",       -1, Kind::Label,         "Label7",                                720, 3720,  975, 735, Yellow,    true,  nullptr},
    {"Text5",        -1, Kind::OutputBox,     "",                                     2760, 3720,  855, 375, Black,     false, nullptr},
    {"Command6",      0, Kind::PushButton,    "+",                                    4080,  600,  255, 255, Black,     false, nullptr},
    {"Command7",     -1, Kind::PushButton,    "-",                                    4080,  840,  255, 255, Black,     false, nullptr},
    {"CommandInfo",  -1, Kind::PictureButton, "",                                     3720, 4200,  615, 615, Black,     false, "Información sobre pto paralelo"},
    {"Label6",       -1, Kind::AutoSizeLabel, "Pin",                                   720, 3000,  225, 195, Yellow,    false, nullptr},
    {"Label8",        0, Kind::Label,         "2",                                    1065, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        1, Kind::Label,         "3",                                    1440, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        2, Kind::Label,         "4",                                    1800, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        3, Kind::Label,         "5",                                    2160, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        4, Kind::Label,         "6",                                    2520, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        5, Kind::Label,         "7",                                    2880, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        6, Kind::Label,         "8",                                    3240, 3030,  135, 255, White,     false, nullptr},
    {"Label8",        7, Kind::Label,         "9",                                    3600, 3030,  135, 255, White,     false, nullptr},
};
// clang-format on

QRect pixels(const Control &c)
{
    return QRect(c.left / TwipsPerPixel, c.top / TwipsPerPixel, c.width / TwipsPerPixel,
                 c.height / TwipsPerPixel);
}

QString objectName(const Control &c)
{
    const QString name = QString::fromLatin1(c.name);
    return c.index < 0 ? name : name + u'_' + QString::number(c.index);
}

QLabel *makeLabel(const Control &c, QWidget *form)
{
    auto *label = new QLabel(QString::fromUtf8(c.caption), form);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colourFromWord(c.colour));
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
    using form1::Kind;

    // Widgets are created in tab order, which is the order focus follows.
    for (const form1::Control &c : form1::design()) {
        const QString name = QString::fromLatin1(c.name);
        QWidget *widget = nullptr;
        switch (c.kind) {
        case Kind::PushButton:
        case Kind::PictureButton: {
            QPushButton *button = form1::makeButton(c, form);
            if (name == u"Command6")
                Command6[c.index] = button;
            widget = button;
            break;
        }
        case Kind::TextBox:
        case Kind::OutputBox:
            widget = form1::makeTextBox(c, form);
            break;
        case Kind::Label:
        case Kind::AutoSizeLabel: {
            QLabel *label = form1::makeLabel(c, form);
            if (name == u"Label8")
                Label8[c.index] = label;
            widget = label;
            break;
        }
        case Kind::Indicator: {
            auto *indicator = new BitIndicator(form);
            indicator->setBackColor(c.colour);
            indicator->setBitName(form1::bitName(c.index));
            Label3[c.index] = indicator;
            widget = indicator;
            break;
        }
        }
        widget->setObjectName(form1::objectName(c));
        widget->setGeometry(form1::pixels(c));
        if (c.kind == Kind::AutoSizeLabel)
            widget->resize(widget->sizeHint().width(), widget->height());
        if (c.tooltip)
            widget->setToolTip(QString::fromUtf8(c.tooltip));
    }

    Command1 = form->findChild<QPushButton *>(QStringLiteral("Command1"));
    Command2 = form->findChild<QPushButton *>(QStringLiteral("Command2"));
    Command3 = form->findChild<QPushButton *>(QStringLiteral("Command3"));
    Command4 = form->findChild<QPushButton *>(QStringLiteral("Command4"));
    Command7 = form->findChild<QPushButton *>(QStringLiteral("Command7"));
    CommandInfo = form->findChild<QPushButton *>(QStringLiteral("CommandInfo"));
    Text1 = form->findChild<QLineEdit *>(QStringLiteral("Text1"));
    Text2 = form->findChild<QLineEdit *>(QStringLiteral("Text2"));
    Text3 = form->findChild<QLineEdit *>(QStringLiteral("Text3"));
    Text4 = form->findChild<QLineEdit *>(QStringLiteral("Text4"));
    Text5 = form->findChild<QLineEdit *>(QStringLiteral("Text5"));
    Label1 = form->findChild<QLabel *>(QStringLiteral("Label1"));
    Label2 = form->findChild<QLabel *>(QStringLiteral("Label2"));
    Label4 = form->findChild<QLabel *>(QStringLiteral("Label4"));
    Label5 = form->findChild<QLabel *>(QStringLiteral("Label5"));
    Label6 = form->findChild<QLabel *>(QStringLiteral("Label6"));
    Label7 = form->findChild<QLabel *>(QStringLiteral("Label7"));

    // The two fields are known by their captions, to screen readers as to sighted users.
    for (const auto &[caption, field] : {std::pair{Label1, Text1}, std::pair{Label2, Text2}}) {
        caption->setBuddy(field);
        field->setAccessibleName(caption->text());
    }
}
