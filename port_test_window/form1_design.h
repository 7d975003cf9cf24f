#pragma once

#include <array>
#include <span>

#include <QtGlobal>

class BitIndicator;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
struct Form1Ui;

namespace form1 {

enum class Kind {
    PushButton,
    PictureButton,
    TextBox,   // editable, single line
    OutputBox, // disabled: shows text, takes no focus, cannot be edited
    Label,
    AutoSizeLabel, // a one-line label sized to its text
    Indicator,
};

inline constexpr int ClientWidth = 4440;
inline constexpr int ClientHeight = 4890;

struct Control
{
    const char *name;
    int index; // -1 outside a control array
    void (*bind)(Form1Ui &ui, QWidget *widget, int index);
    Kind kind;
    const char *caption;          // UTF-8
    int left, top, width, height; // twips
    quint32 colour;               // text colour of labels; indicators start grey, with no reading
    bool wrap;
    const char *tooltip; // UTF-8, or nullptr
};

// The window's controls in tab order.
std::span<const Control> design();

} // namespace form1

// The controls of the port test window, built from the design table.
struct Form1Ui
{
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QLineEdit *Text3 = nullptr;
    std::array<BitIndicator *, 16> Label3{};
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *Text5 = nullptr;
    std::array<QPushButton *, 1> Command6{};
    QPushButton *Command7 = nullptr;
    QPushButton *CommandInfo = nullptr;
    QLabel *Label6 = nullptr;
    std::array<QLabel *, 8> Label8{};

    void setupUi(QWidget *form);
};
