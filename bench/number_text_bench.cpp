// The number texts as the window uses them, through its edge: QString in and out.
#include "field_text.h"

#include <QString>
#include <benchmark/benchmark.h>

#include <array>

using namespace field_text;

namespace {

// What the fields hold: the start-up value, a port reading as the read buttons write it, a
// hexadecimal address as the hex buttons pass it, a fraction and a large exponent.
struct Typed
{
    const char16_t *text;
    bool hexadecimal;
};
constexpr std::array<Typed, 5> Texts = {{
    {u"0", false},
    {u" 255", false},
    {u"&H378", true},
    {u"-1234.5678", false},
    {u"1.5E+300", false},
}};

void BM_TextValue(benchmark::State &state)
{
    const QString text = QString::fromUtf16(Texts[state.range(0)].text);
    for (auto _ : state)
        benchmark::DoNotOptimize(TextValue(text));
}

// Qt's own reading of the same text: toDouble, or toInt in base 16 for the hexadecimal digits.
void BM_TextValueBaseline(benchmark::State &state)
{
    const Typed &typed = Texts[state.range(0)];
    const QString text = QString::fromUtf16(typed.text);
    const QStringView digits = typed.hexadecimal ? QStringView(text).sliced(2) : QStringView(text);
    for (auto _ : state) {
        if (typed.hexadecimal)
            benchmark::DoNotOptimize(digits.toInt(nullptr, 16));
        else
            benchmark::DoNotOptimize(digits.trimmed().toDouble());
    }
}

constexpr std::array<double, 5> Numbers = {0, 255, -1, 0.5, -1234.5678};

void BM_NumberText(benchmark::State &state)
{
    const double x = Numbers[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(NumberText(x));
}

void BM_PlainNumberText(benchmark::State &state)
{
    const double x = Numbers[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainNumberText(x));
}

// Qt's own shortest text of at most 15 significant digits.
void BM_NumberTextBaseline(benchmark::State &state)
{
    const double x = Numbers[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(QString::number(x, 'g', 15));
}

BENCHMARK(BM_TextValue)->DenseRange(0, int(Texts.size()) - 1)->ArgName("text");
BENCHMARK(BM_TextValueBaseline)->DenseRange(0, int(Texts.size()) - 1)->ArgName("text");
BENCHMARK(BM_NumberText)->DenseRange(0, int(Numbers.size()) - 1)->ArgName("number");
BENCHMARK(BM_PlainNumberText)->DenseRange(0, int(Numbers.size()) - 1)->ArgName("number");
BENCHMARK(BM_NumberTextBaseline)->DenseRange(0, int(Numbers.size()) - 1)->ArgName("number");

} // namespace
