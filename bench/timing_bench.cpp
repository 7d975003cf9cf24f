#include "fast_sampler.h"
#include "monotonic_clock.h"
#include "pulse_train.h"
#include "simulated_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;
using timing::Nanoseconds;

timing::MonotonicClock &monotonic()
{
    static timing::MonotonicClock clock;
    return clock;
}

const timing::CancelFlag never{false};

// A train as `velmora pulse --simulated` gives it: widths of 100 µs, 1 ms and 10 ms at twice
// their width, about a second of pulses each run; the error figures come from the train's own
// measurement around the writes.
void BM_PulseTrain(benchmark::State &state)
{
    const Nanoseconds width = std::chrono::microseconds(state.range(0));
    port::Session port(std::make_unique<port::SimulatedPort>());
    auto &clock = monotonic();
    const timing::Pulse pulse{888, 0xFF, 0x00, width, long(500ms / width), width * 2};
    const Nanoseconds cost = timing::measureWrite(port, clock, 888, 0x00);
    timing::PulseReport report;
    for (auto _ : state)
        report = timing::runPulses(port, clock, pulse, cost, never);
    state.counters["width_err_p50_ns"] = double(report.width.errorP50.count());
    state.counters["width_err_p99_ns"] = double(report.width.errorP99.count());
    state.counters["period_err_p50_ns"] = double(report.period.errorP50.count());
    state.counters["period_err_p99_ns"] = double(report.period.errorP99.count());
}
BENCHMARK(BM_PulseTrain)
    ->ArgName("width_us")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The floor of a pulse: its two writes back to back, nothing between.
void BM_TwoBareWrites(benchmark::State &state)
{
    port::SimulatedPort port;
    for (auto _ : state) {
        port.write(888, 0xFF);
        port.write(888, 0x00);
    }
}
BENCHMARK(BM_TwoBareWrites);

// The floor of a wait: clock_nanosleep alone to absolute deadlines a width apart (with the same
// minimum timer slack), how late it wakes.
void BM_SleepAlone(benchmark::State &state)
{
    monotonic();
    const Nanoseconds width = std::chrono::microseconds(state.range(0));
    std::vector<Nanoseconds> late;
    for (auto _ : state) {
        Nanoseconds deadline = monotonic().now();
        for (long i = 0; i < long(500ms / width / 2); ++i) {
            deadline += width;
            const timespec at{time_t(deadline.count() / 1'000'000'000),
                              long(deadline.count() % 1'000'000'000)};
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
            late.push_back(monotonic().now() - deadline);
        }
    }
    const timing::Figures f = timing::figuresOf(late, 0ns);
    state.counters["late_p50_ns"] = double(f.errorP50.count());
    state.counters["late_p99_ns"] = double(f.errorP99.count());
}
BENCHMARK(BM_SleepAlone)
    ->ArgName("width_us")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

struct Discard : timing::SampleSink
{
    void sample(std::int64_t, const port::Registers &) override {}
};

// `--fast` sampling for 100 ms a run, against the same three reads in a bare loop.
void BM_FastSampler(benchmark::State &state)
{
    port::Session port(std::make_unique<port::SimulatedPort>());
    Discard sink;
    double perSecond = 0;
    for (auto _ : state)
        perSecond = timing::sampleFast(port, monotonic(), 888, 100ms, never, sink).perSecond();
    state.counters["samples_per_s"] = perSecond;
}
BENCHMARK(BM_FastSampler)->Unit(benchmark::kMillisecond);

void BM_BareReadLoop(benchmark::State &state)
{
    port::Session port(std::make_unique<port::SimulatedPort>());
    for (auto _ : state)
        benchmark::DoNotOptimize(timing::readRegisters(port, 888));
    state.counters["samples_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareReadLoop);

} // namespace

int main(int argc, char *argv[])
{
    std::fprintf(stderr, "spin margin %lld ns; %s\n", (long long)monotonic().spinMargin().count(),
                 [] {
                     static const std::string note = timing::requestRealtime();
                     return note.empty() ? "real-time scheduling" : note.c_str();
                 }());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
