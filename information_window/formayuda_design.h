#pragma once

#include <QtGlobal>

#include <span>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;
struct FormAyudaUi;

namespace formayuda {

enum class Kind {
    TextBox,       // multi-line, both scroll bars, a set font
    PictureButton, // an icon instead of a caption
    Image,         // a picture stretched to the box
};

inline constexpr int ClientWidth = 7215;
inline constexpr int ClientHeight = 6960;

struct Control
{
    const char *name;
    void (*bind)(FormAyudaUi &ui, QWidget *widget, int index);
    Kind kind;
    int left, top, width, height; // twips
    bool visible;
    const char *picture;  // resource path; for a picture button, with %1 for the icon size
    const char *font;     // text boxes only
    double fontPointSize; // text boxes only
};

// The window's controls in tab order; a picture takes no part in it.
std::span<const Control> design();

} // namespace formayuda

// The controls of the information window, built from the design table.
struct FormAyudaUi
{
    QPlainTextEdit *TextInfo = nullptr;
    QPushButton *CommandImprimir = nullptr;
    QLabel *Image1 = nullptr;

    void setupUi(QWidget *form);
};
