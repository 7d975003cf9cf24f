#pragma once

#include <QtGlobal>

#include <array>
#include <span>

class BitIndicator;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

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

// Colour words: blue * 65536 + green * 256 + red.
inline constexpr quint32 Teal = 0x808000;
inline constexpr quint32 Yellow = 0x00FFFF;
inline constexpr quint32 White = 0xFFFFFF;
inline constexpr quint32 LightGrey = 0xC0C0C0;
inline constexpr quint32 Red = 0x0000FF;
inline constexpr quint32 Black = 0x000000;

inline constexpr int TwipsPerPixel = 15;
inline constexpr int ClientWidth = 4440;
inline constexpr int ClientHeight = 4890;

struct Control
{
    const char *name;
    int index; // -1 outside a control array
    Kind kind;
    const char *caption;          // UTF-8
    int left, top, width, height; // twips
    quint32 colour;               // text colour of labels, back colour of indicators
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
