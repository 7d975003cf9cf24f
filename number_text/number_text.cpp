#include "number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace number_text {

namespace {

constexpr int SignificantDigits = 15;

bool isDigit(char c, int base)
{
    if (base <= 10)
        return c >= '0' && c < '0' + base;
    if (c >= '0' && c <= '9')
        return true;
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// The ASCII characters of the text with blanks, tabs and line feeds removed. Anything outside
// ASCII can only end a number, so each of its bytes becomes a character that no number contains.
std::string compact(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '\x01');
    }
    return out;
}

// Hexadecimal and octal digits give a 16-bit pattern up to FFFF and a 32-bit pattern up to
// FFFFFFFF, so that &HFFFF is -1 like the port address it names. Larger values are kept as they
// are, so that narrowing them reports an overflow rather than reaching a wrapped address.
double radixValue(const std::string &s, std::size_t pos, int base)
{
    const double value = LeadingDigits(std::string_view(s).substr(pos), base).value;
    if (value <= 0xFFFF)
        return value >= 0x8000 ? value - 0x10000 : value;
    if (value <= 0xFFFFFFFFu)
        return value >= 0x80000000u ? value - 4294967296.0 : value;
    return value;
}

std::size_t skipDigits(const std::string &s, std::size_t pos)
{
    while (pos < s.size() && isDigit(s[pos], 10))
        ++pos;
    return pos;
}

double decimalValue(const std::string &s)
{
    std::size_t pos = 0;
    const bool negative = pos < s.size() && s[pos] == '-';
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        ++pos;
    const std::size_t mantissaStart = pos;
    const std::size_t intEnd = skipDigits(s, pos);
    std::size_t end = intEnd;
    std::size_t fracEnd = intEnd;
    if (end < s.size() && s[end] == '.')
        end = fracEnd = skipDigits(s, end + 1);
    const bool hasDigits = intEnd > mantissaStart || fracEnd > intEnd + 1;
    if (!hasDigits)
        return 0;

    std::string number(s, mantissaStart, end - mantissaStart);
    long exponent = 0;
    if (end < s.size() && (s[end] == 'e' || s[end] == 'E' || s[end] == 'd' || s[end] == 'D')) {
        std::size_t expPos = end + 1;
        const bool expNegative = expPos < s.size() && s[expPos] == '-';
        if (expPos < s.size() && (s[expPos] == '+' || s[expPos] == '-'))
            ++expPos;
        const std::size_t expEnd = skipDigits(s, expPos);
        if (expEnd > expPos) {
            for (std::size_t i = expPos; i < expEnd && exponent < 100000; ++i)
                exponent = exponent * 10 + (s[i] - '0');
            if (expNegative)
                exponent = -exponent;
            number += 'e';
            number += std::to_string(exponent);
        }
    }

    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: tell which by where the first significant digit
        // stands. Too large saturates, so that every number the program handles stays finite.
        const auto firstSignificant = number.find_first_of("123456789");
        const auto point = number.find('.');
        const long intDigits =
            static_cast<long>(point == std::string::npos ? intEnd - mantissaStart : point);
        const long position = intDigits - static_cast<long>(firstSignificant) + exponent;
        value = position > 0 ? std::numeric_limits<double>::max() : 0.0;
    }
    if (negative)
        value = -value;
    return value == 0 ? 0.0 : value; // no negative zero
}

std::int64_t roundToRange(double x, std::int64_t min, std::int64_t max)
{
    const double rounded = std::nearbyint(x); // the default rounding mode: half to even
    if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max)))
        throw OverflowError(x, min, max);
    return static_cast<std::int64_t>(rounded);
}

// The at most 15 significant digits of x, trailing zeros dropped, and the decimal exponent of
// the first one: 1234.5 gives "12345" and 3.
struct Significant
{
    std::string digits;
    int exponent = 0;
};

Significant significantDigits(double x)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                      std::chars_format::scientific, SignificantDigits - 1);
    const char *e = std::find(buffer, result.ptr, 'e');
    Significant d;
    d.digits.reserve(SignificantDigits);
    for (const char *p = buffer; p != e; ++p) {
        if (*p != '.')
            d.digits.push_back(*p);
    }
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    const char *exponent = e + 1;
    if (exponent != result.ptr && *exponent == '+')
        ++exponent;
    std::from_chars(exponent, result.ptr, d.exponent);
    return d;
}

std::string formatNumber(double x, bool zeroBeforePoint)
{
    if (x == 0 || std::isnan(x))
        return "0";
    const Significant d = significantDigits(x);
    std::string out = x < 0 ? "-" : "";
    const int count = static_cast<int>(d.digits.size());

    // Like a pocket calculator, very large and very small numbers switch to an exponent.
    if (d.exponent >= SignificantDigits || d.exponent < -4) {
        out += d.digits[0];
        if (count > 1)
            out.append(1, '.').append(d.digits, 1);
        const int magnitude = std::abs(d.exponent);
        out += d.exponent < 0 ? "E-" : "E+";
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
        return out;
    }
    if (d.exponent < 0) {
        if (zeroBeforePoint)
            out += '0';
        out.append(1, '.').append(static_cast<std::size_t>(-d.exponent - 1), '0').append(d.digits);
        return out;
    }
    const int intDigits = d.exponent + 1;
    if (count <= intDigits)
        return out.append(d.digits).append(static_cast<std::size_t>(intDigits - count), '0');
    return out.append(d.digits, 0, intDigits).append(1, '.').append(d.digits, intDigits);
}

} // namespace

OverflowError::OverflowError(double number, std::int64_t min, std::int64_t max)
    : std::overflow_error("El número " + PlainNumberText(number)
                          + " está fuera del rango admitido, de " + std::to_string(min) + " a "
                          + std::to_string(max) + ".")
    , m_number(number)
    , m_min(min)
    , m_max(max)
{}

double TextValue(std::string_view text)
{
    const std::string s = compact(text);
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return radixValue(s, 2, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return radixValue(s, 2, 8);
        return 0;
    }
    return decimalValue(s);
}

std::int16_t RoundToInt16(double x)
{
    return static_cast<std::int16_t>(roundToRange(x, std::numeric_limits<std::int16_t>::min(),
                                                  std::numeric_limits<std::int16_t>::max()));
}

std::int32_t RoundToInt32(double x)
{
    return static_cast<std::int32_t>(roundToRange(x, std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max()));
}

Digits LeadingDigits(std::string_view text, int base)
{
    Digits d;
    for (; d.count < text.size() && isDigit(text[d.count], base); ++d.count)
        d.value = std::min(d.value * base + digitValue(text[d.count]),
                           std::numeric_limits<double>::max());
    return d;
}

std::string NumberText(double x)
{
    const std::string text = formatNumber(x, false);
    return text[0] == '-' ? text : ' ' + text;
}

std::string PlainNumberText(double x)
{
    return formatNumber(x, true);
}

std::string BitText(std::int32_t number, BitOrder order)
{
    std::string bits(8, '0');
    for (int bit = 0; bit < 8; ++bit) {
        if (number & (1 << bit))
            bits[std::size_t(order == BitOrder::LowFirst ? bit : 7 - bit)] = '1';
    }
    return bits;
}

} // namespace number_text
