#include "number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace number_text;

namespace {

constexpr double Max = std::numeric_limits<double>::max();

TEST(TextValue, ReadsTheNumberATextBeginsWith)
{
    // Decimal, as leniently as a person types it; then hexadecimal and octal, up to 16 and 32 bits
    // signed and beyond that unsigned.
    // clang-format off
    const std::pair<const char *, double> cases[] = {
        {"", 0}, {"abc", 0}, {"-", 0}, {"+", 0}, {".", 0}, {"255", 255}, {" 255", 255},
        {"1 2\t3\n", 123}, {"12abc", 12}, {"24 horas", 24}, {"0,5", 0}, {"0.5", 0.5},
        {".5", 0.5}, {"-.5", -0.5}, {"+7", 7}, {"--7", 0}, {"1e3", 1000}, {"1E+3", 1000},
        {"1d3", 1000}, {"25E-1", 2.5}, {"1e", 1}, {"1e+", 1}, {"2.5.3", 2.5},
        {"12\u20ac", 12}, {"1\r2", 1}, {"\u00bd", 0}, {"-0", 0},
        {"&H378", 888}, {"&h888", 2184}, {"&H", 0}, {"&H37G", 55}, {"&H7FFF", 32767},
        {"&H8000", -32768}, {"&HFFFF", -1}, {"&hffff", -1}, {"&H0000FFFF", -1},
        {"&H10000", 65536}, {"&H7FFFFFFF", 2147483647}, {"&H80000000", -2147483648.0},
        {"&HFFFFFFFF", -1}, {"&H100000000", 4294967296.0}, {"& H 3 78", 888}, {"&O17", 15},
        {"&o77777", 32767}, {"&O100000", -32768}, {"&O177777", -1}, {"&O200000", 65536},
        {"&O37777777777", -1}, {"&O8", 0}, {"&X12", 0}, {"&", 0},
        // Finite beyond the range of a double.
        {"1e999", Max}, {"-1e999", -Max}, {"1e-999", 0},
        {"0.00000000000000000000000000000001e-300", 0},
    };
    // clang-format on
    for (const auto &[text, value] : cases)
        EXPECT_EQ(TextValue(text), value) << text;
    EXPECT_EQ(TextValue(std::string(400, '9')), Max);
    EXPECT_TRUE(std::isfinite(TextValue("&H" + std::string(300, 'F'))));
}

TEST(RoundToInt, HalvesGoToEvenAndTheEdgesOverflowNamingTheNumberAndTheRange)
{
    const std::pair<double, std::int32_t> int16Cases[] = {
        {2.5, 2},     {3.5, 4},         {-2.5, -2},       {0.5, 0},           {1.5, 2},
        {255.6, 256}, {32767.4, 32767}, {32766.5, 32766}, {-32768.5, -32768}, {-32767.5, -32768},
    };
    for (const auto &[x, expected] : int16Cases)
        EXPECT_EQ(RoundToInt16(x), expected) << x;
    for (const double x : {32767.5, -32768.6, 70000.0, -1e300})
        EXPECT_THROW(RoundToInt16(x), OverflowError) << x;
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt32(2147483646.5), 2147483646);
    EXPECT_EQ(RoundToInt32(-2147483648.5), -2147483648LL);
    for (const double x : {2147483647.5, -2147483648.6, 2147483648.0, std::nan("")})
        EXPECT_THROW(RoundToInt32(x), OverflowError) << x;
    try {
        RoundToInt16(70000);
        FAIL() << "no overflow";
    } catch (const OverflowError &e) {
        EXPECT_STREQ(e.what(), "El número 70000 está fuera del rango admitido, de -32768 a 32767.");
    }
}

TEST(NumberTexts, WriteWithOrWithoutTheSignPosition)
{
    const struct
    {
        double x;
        const char *numberText, *plainText;
    } cases[] = {
        {0, " 0", "0"},
        {-0.0, " 0", "0"},
        {255, " 255", "255"},
        {-1, "-1", "-1"},
        {0.5, " .5", "0.5"},
        {-0.5, "-.5", "-0.5"},
        {3.5, " 3.5", "3.5"},
        {1.1 + 1, " 2.1", "2.1"},
        {0.1 + 0.2, " .3", "0.3"},
        {2147483648.0, " 2147483648", "2147483648"},
        {123456789012345, " 123456789012345", "123456789012345"},
        {1e15, " 1E+15", "1E+15"},
        {1234567890123456789.0, " 1.23456789012346E+18", "1.23456789012346E+18"},
        {0.0001, " .0001", "0.0001"},
        {0.00001, " 1E-05", "1E-05"},
        {-1.5e-7, "-1.5E-07", "-1.5E-07"},
        {9.9999999999999999, " 10", "10"},
        {std::numeric_limits<double>::max(), " 1.79769313486232E+308", "1.79769313486232E+308"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(NumberText(c.x), c.numberText) << c.x;
        EXPECT_EQ(PlainNumberText(c.x), c.plainText) << c.x;
    }
}

TEST(NumberTexts, IgnoreTheRegionalSeparator)
{
    // The fields must show the number the port gets: a regional comma would read back as 0.
    const auto previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    // Windows' C library names it in words.
    if (!std::setlocale(LC_NUMERIC, "es_ES.UTF-8")
        && !std::setlocale(LC_NUMERIC, "Spanish_Spain.1252"))
        GTEST_SKIP() << "no Spanish locale on this machine";
    EXPECT_EQ(PlainNumberText(0.5), "0.5");
    EXPECT_EQ(NumberText(-2.5), "-2.5");
    EXPECT_EQ(TextValue(PlainNumberText(1.5 - 1)), 0.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
