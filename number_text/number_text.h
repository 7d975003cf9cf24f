#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The number texts, without Qt: texts are UTF-8. A window converts its strings at its own edge.
namespace number_text {

// Put before a text that is to be read as hexadecimal.
inline constexpr char HexPrefix[] = "&H";

// A number that does not fit the integer it is narrowed to. The message is in Spanish and names
// the number and the range.
class OverflowError : public std::overflow_error
{
public:
    OverflowError(double number, std::int64_t min, std::int64_t max);

    double number() const { return m_number; }
    std::int64_t min() const { return m_min; }
    std::int64_t max() const { return m_max; }

private:
    double m_number;
    std::int64_t m_min;
    std::int64_t m_max;
};

// Reads the number a text begins with, as leniently as a person types it: blanks, tabs and line
// feeds are ignored wherever they stand, "&H" and "&O" introduce hexadecimal and octal digits,
// and reading stops at the first character that cannot continue the number. Never fails: a text
// without a number reads as 0. Only the point is a decimal separator.
double TextValue(std::string_view text);

// The digits of base 2, 8, 10 or 16 (either case) that text begins with: their value, which
// saturates at the largest double, and how many there are.
struct Digits
{
    double value = 0;
    std::size_t count = 0;
};
Digits LeadingDigits(std::string_view text, int base);

// Round half to even, then narrow; a result outside the range throws OverflowError.
std::int16_t RoundToInt16(double x);
std::int32_t RoundToInt32(double x);

// A number as the fields show it: a blank where a non-negative number's sign would go, no zero
// before the point (0.5 is " .5"), at most 15 significant digits.
std::string NumberText(double x);

// A number without the sign position and with a zero before the point (0.5 is "0.5"), at most 15
// significant digits. The separator is always the point, so that TextValue reads it back.
std::string PlainNumberText(double x);

// The low eight bits of a number as binary digits, in the order asked for.
enum class BitOrder { LowFirst, HighFirst };
std::string BitText(std::int32_t number, BitOrder order);

} // namespace number_text
