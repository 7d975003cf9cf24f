#include "field_error.h"

#include "field_text.h"

using namespace field_text;

namespace {

std::string describe(const QString &action, const QString &fieldText, const OverflowError &overflow,
                     int bits)
{
    return QStringLiteral(
               "No se puede %1 «%2»: el número %3 está fuera del rango de %4 bits, de %5 a %6.")
        .arg(action, fieldText, PlainNumberText(overflow.number()))
        .arg(bits)
        .arg(overflow.min())
        .arg(overflow.max())
        .toStdString();
}

} // namespace

FieldError::FieldError(const QString &action, const QString &fieldText,
                       const OverflowError &overflow, int bits)
    : std::runtime_error(describe(action, fieldText, overflow, bits))
{}
