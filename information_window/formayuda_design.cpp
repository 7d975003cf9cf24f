#include "formayuda_design.h"

#include "design_units.h"
#include "fixed_window.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

namespace formayuda {

namespace {

constexpr const char *PrinterIcon = ":/information_window/art/printer-%1.png";
constexpr const char *ConnectorPicture = ":/information_window/art/connector.jpg";

using design::bindTo;

// clang-format off
constexpr Control Controls[] = {
    // name              binding                                 kind                 left   top  width height visible picture           font           size
    {"TextInfo",        bindTo<&FormAyudaUi::TextInfo>,        Kind::TextBox,        120,  240, 6975, 3495, true,  nullptr,          "Courier New", 8.25},
    {"CommandImprimir", bindTo<&FormAyudaUi::CommandImprimir>, Kind::PictureButton, 6480, 6240,  615,  615, true,  PrinterIcon,      nullptr,       0},
    {"Image1",          bindTo<&FormAyudaUi::Image1>,          Kind::Image,          120, 3840, 6255, 2955, false, ConnectorPicture, nullptr,       0},
};
// clang-format on

QPlainTextEdit *makeTextBox(const Control &c, QWidget *form)
{
    auto *box = new QPlainTextEdit(form);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every other field of the program.
    box->setTabChangesFocus(true);
    QFont font(QString::fromLatin1(c.font));
    font.setPointSizeF(c.fontPointSize);
    font.setStyleHint(QFont::TypeWriter);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    box->setFont(font);
    return box;
}

QPushButton *makePictureButton(const Control &c, QWidget *form)
{
    auto *button = new QPushButton(form);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setIcon(iconInSizes(QString::fromLatin1(c.picture)));
    button->setIconSize(QSize(32, 32));
    return button;
}

QLabel *makeImage(const Control &c, QWidget *form)
{
    auto *image = new QLabel(form);
    image->setPixmap(QPixmap(QString::fromLatin1(c.picture)));
    image->setScaledContents(true);
    return image;
}

} // namespace

std::span<const Control> design()
{
    return Controls;
}

} // namespace formayuda

void FormAyudaUi::setupUi(QWidget *form)
{
    using formayuda::Control;
    using formayuda::Kind;

    design::build(
        *this, form, formayuda::design(),
        [](const Control &c, QWidget *parent) -> QWidget * {
            switch (c.kind) {
            case Kind::TextBox:
                return formayuda::makeTextBox(c, parent);
            case Kind::PictureButton:
                return formayuda::makePictureButton(c, parent);
            case Kind::Image:
                break;
            }
            return formayuda::makeImage(c, parent);
        },
        [](const Control &c, QWidget *widget) {
            if (!c.visible)
                widget->hide();
        });
}
