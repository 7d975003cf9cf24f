#pragma once

#include <QColor>
#include <QObject>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <span>

class QWidget;

// The units the windows' designs are written in: positions and sizes in twips, colours as words.
namespace design {

inline constexpr int TwipsPerPixel = 15;

// Colour words: blue * 65536 + green * 256 + red.
inline constexpr quint32 Teal = 0x808000;
inline constexpr quint32 Yellow = 0x00FFFF;
inline constexpr quint32 White = 0xFFFFFF;
inline constexpr quint32 LightGrey = 0xC0C0C0;
inline constexpr quint32 Red = 0x0000FF;
inline constexpr quint32 Black = 0x000000;

inline QColor colourFromWord(quint32 word)
{
    return QColor(int(word & 0xFF), int(word >> 8 & 0xFF), int(word >> 16 & 0xFF));
}

inline QRect pixels(int left, int top, int width, int height)
{
    return QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                 height / TwipsPerPixel);
}

// Where a design row's widget is kept: bindTo<&Ui::Member> stores it in that member of the
// window's Ui struct, or, for a control array, at the row's index.
template <typename>
struct MemberOf;
template <typename Class, typename Type>
struct MemberOf<Type Class::*>
{
    using Ui = Class;
    using Slot = Type;
};

// A row whose kind makes another widget than its member holds binds nothing (a null member), and
// an index outside its control array throws, both at the window's set-up.
template <auto Member>
void bindTo(typename MemberOf<decltype(Member)>::Ui &ui, QWidget *widget, int index)
{
    using Slot = typename MemberOf<decltype(Member)>::Slot;
    if constexpr (requires { typename Slot::value_type; })
        (ui.*Member).at(std::size_t(index)) = qobject_cast<typename Slot::value_type>(widget);
    else
        ui.*Member = qobject_cast<Slot>(widget);
}

// Builds a window from its design table, the one way both windows are built. In the table's
// order, which is the order focus follows, each row's widget is made by make(row, form), bound
// to its member of ui, named after the row (Name_index within a control array), placed in twips,
// and then handed to finish(row, widget) for what only its kind needs.
template <typename Ui, typename Row, typename Make, typename Finish>
void build(Ui &ui, QWidget *form, std::span<const Row> rows, Make make, Finish finish)
{
    for (const Row &row : rows) {
        QWidget *widget = make(row, form);
        int index = -1;
        if constexpr (requires { row.index; })
            index = row.index;
        row.bind(ui, widget, index);
        const QString name = QString::fromLatin1(row.name);
        widget->setObjectName(index < 0 ? name : name + u'_' + QString::number(index));
        widget->setGeometry(pixels(row.left, row.top, row.width, row.height));
        finish(row, widget);
    }
}

} // namespace design
