#pragma once

#include <QString>

#include <stdexcept>

namespace number_text {
class OverflowError;
}

// A field whose number does not fit where it is needed. The message, in Spanish, says what could
// not be done, the text that was typed and the allowed range.
class FieldError : public std::runtime_error
{
public:
    FieldError(const QString &action, const QString &fieldText,
               const number_text::OverflowError &overflow, int bits);

    QString message() const { return QString::fromUtf8(what()); }
};
