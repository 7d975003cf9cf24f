// Any bytes, read as UTF-16, Latin-1 and UTF-8 texts and as raw numbers: reading a text never
// fails and always gives a finite number, narrowing either returns the rounded number or throws
// the overflow error, and every number written reads back.
#include "number_text.h"

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, double x, double got)
{
    std::fprintf(stderr, "number_text: %s (input %.17g, got %.17g)\n", what, x, got);
    std::abort();
}

// Half to even, written out step by step rather than with the rounding mode the code uses.
double roundHalfEven(double x)
{
    const double below = std::floor(x);
    const double fraction = x - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

template <typename Int, typename Narrow>
void checkNarrowing(double x, Narrow narrow)
{
    const double min = std::numeric_limits<Int>::min();
    const double max = std::numeric_limits<Int>::max();
    const double rounded = std::isfinite(x) ? roundHalfEven(x) : x;
    const bool fits = rounded >= min && rounded <= max; // false for NaN
    try {
        const Int result = narrow(x);
        if (!fits)
            fail("narrowing returned a number outside the range", x, result);
        if (double(result) != rounded)
            fail("narrowing returned another number than the rounded one", x, result);
    } catch (const OverflowError &) {
        if (fits)
            fail("narrowing threw for a number in range", x, rounded);
    } catch (...) {
        fail("narrowing threw something other than OverflowError", x, rounded);
    }
}

void checkNumber(double x)
{
    checkNarrowing<std::int16_t>(x, RoundToInt16);
    checkNarrowing<std::int32_t>(x, RoundToInt32);
}

void checkWholeReadBack(std::int16_t whole)
{
    const double back = TextValue(NumberText(whole));
    if (back != whole)
        fail("NumberText of a 16-bit number does not read back exactly", whole, back);
}

// Written with 15 significant digits, a number comes back within half a unit of the 15th.
void checkReadBack(double x, const QString &text, const char *writer)
{
    const double back = TextValue(text);
    const double tolerance = 5e-15 * std::fabs(x) + DBL_EPSILON * std::fabs(x);
    if (!(std::fabs(back - x) <= tolerance)) {
        std::fprintf(stderr, "number_text: %s wrote \"%s\"\n", writer, qPrintable(text));
        fail("a written number does not read back", x, back);
    }
}

void checkText(QStringView text)
{
    const double value = TextValue(text);
    if (!std::isfinite(value))
        fail("TextValue gave a number that is not finite", 0, value);
    checkNumber(value);
    checkReadBack(value, NumberText(value), "NumberText");
    checkReadBack(value, PlainNumberText(value), "PlainNumberText");
}

} // namespace

// There are few enough 16-bit numbers to try them all once.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (int whole = std::numeric_limits<std::int16_t>::min();
         whole <= std::numeric_limits<std::int16_t>::max(); ++whole)
        checkWholeReadBack(std::int16_t(whole));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto *chars = reinterpret_cast<const char *>(data);

    // Copied, since the bytes need not be aligned for 16-bit units.
    std::vector<char16_t> utf16(size / 2);
    if (!utf16.empty())
        std::memcpy(utf16.data(), data, utf16.size() * sizeof(char16_t));
    checkText(QStringView(utf16.data(), qsizetype(utf16.size())));
    checkText(QString::fromLatin1(chars, qsizetype(size)));
    checkText(QString::fromUtf8(chars, qsizetype(size)));

    // The first bytes as numbers too: any bit pattern, NaN and the infinities included.
    std::uint8_t raw[8] = {};
    if (size > 0)
        std::memcpy(raw, data, std::min(size, sizeof raw));
    std::int16_t whole;
    std::memcpy(&whole, raw, sizeof whole);
    checkWholeReadBack(whole);
    double x;
    std::memcpy(&x, raw, sizeof x);
    checkNumber(x);
    if (std::isfinite(x)) {
        checkReadBack(x, NumberText(x), "NumberText");
        checkReadBack(x, PlainNumberText(x), "PlainNumberText");
    }
    return 0;
}
