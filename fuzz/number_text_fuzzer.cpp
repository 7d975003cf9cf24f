// Any bytes, read as UTF-16, Latin-1 and UTF-8 texts and as a raw number: reading a text never
// fails and always gives a finite number, narrowing either returns the number rounded half to
// even or throws OverflowError, and every number written reads back.
#include "number_text.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstring>

using namespace number_text;

namespace {

void check(bool ok, const char *what, double x)
{
    if (!ok)
        qFatal("number_text: %s (%.17g)", what, x);
}

// The integer's range is -max - 1 to max.
bool narrowsRight(double x, auto narrow, double max)
{
    // Half to even, worked out another way than with the rounding mode the code uses: a half is
    // rounded to the nearest even number, twice the nearest whole number to x / 2 (both exact).
    const double rounded = x - std::floor(x) != 0.5 ? std::round(x) : 2 * std::round(x / 2);
    const bool fits = rounded >= -max - 1 && rounded <= max; // false for NaN
    try {
        return narrow(x) == rounded && fits;
    } catch (const OverflowError &) {
        return !fits;
    }
}

void checkNumber(double x, bool read = false)
{
    check(!read || std::isfinite(x), "TextValue gave a number that is not finite", x);
    check(narrowsRight(x, RoundToInt16, 32767) && narrowsRight(x, RoundToInt32, 2147483647),
          "narrowing is wrong", x);
    // Written with 15 significant digits, a number comes back within half a unit of the 15th
    // (and one of the double's own).
    for (const std::string &text : {NumberText(x), PlainNumberText(x)})
        check(!std::isfinite(x) || std::fabs(TextValue(text) - x) <= 5.3e-15 * std::fabs(x),
              "a written number does not read back", x);
}

} // namespace

// There are few enough 16-bit numbers to write and read back them all once.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (int whole = -32768; whole <= 32767; ++whole)
        check(TextValue(NumberText(whole)) == whole, "a 16-bit number does not read back", whole);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Copied, so that the bytes are aligned for 16-bit units and never a null pointer. The bytes
    // as they are, and as UTF-16 and Latin-1 texts that a window passes on in UTF-8.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto *utf16 = reinterpret_cast<const char16_t *>(bytes.constData());
    checkNumber(TextValue(std::string_view(bytes.constData(), size)), true);
    for (const QString &text :
         {QString::fromUtf16(utf16, bytes.size() / 2), QString::fromLatin1(bytes)})
        checkNumber(TextValue(text.toStdString()), true);
    double x = 0; // the first bytes as a number too: any bit pattern, NaN and the infinities
    std::memcpy(&x, bytes.constData(), size < sizeof x ? size : sizeof x);
    checkNumber(x);
    return 0;
}
