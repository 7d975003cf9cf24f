#include "pin_window.h"
#include "simulated_port.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// The pin window as a person has it, on a simulated port of its own, for one second of
// its event loop per iteration: Google Benchmark's CPU time over the real time is the share of a
// core it takes. range(0): 1 on screen (sampling at 20 Hz), 0 minimised.
void BM_PinWindowSecond(benchmark::State &state)
{
    auto owned = std::make_unique<port::SimulatedPort>(true);
    port::SimulatedPort &simulated = *owned;
    port::Session session(std::move(owned));
    PinWindow window{pins::PinPort(session)};
    window.setErrorReporter([](QWidget *, const QString &) { std::abort(); });
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::abort();
    if (state.range(0) == 0)
        window.showMinimized();
    QTest::qWait(200);
    long reads = 0;
    for (auto _ : state) {
        const long before = long(simulated.count(port::PortAccess::Kind::Read, 888));
        // Idle in the event loop as the program is (QTest::qWait would poll every 10 ms).
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        reads += long(simulated.count(port::PortAccess::Kind::Read, 888)) - before;
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(double(reads) / double(state.iterations()));
    state.counters["timer"] = window.sampling() ? 1 : 0;
}
BENCHMARK(BM_PinWindowSecond)
    ->ArgName("shown")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
