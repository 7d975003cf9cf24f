#pragma once

#include "number_text.h"

#include <QString>

// The number texts at the window's edge: the fields hold QString, the number texts UTF-8.
namespace field_text {

using number_text::OverflowError;
using number_text::RoundToInt16;
using number_text::RoundToInt32;

inline const QString HexPrefix = QString::fromLatin1(number_text::HexPrefix);

inline double TextValue(const QString &text)
{
    return number_text::TextValue(text.toStdString());
}

inline QString NumberText(double x)
{
    return QString::fromStdString(number_text::NumberText(x));
}

inline QString PlainNumberText(double x)
{
    return QString::fromStdString(number_text::PlainNumberText(x));
}

} // namespace field_text
