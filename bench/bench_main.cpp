#include "inpout.h"
#include "simulated_port.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char *argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    // No benchmark may reach the machine's ports: the simulated port is in place before any
    // window binds a driver, and an attempt to open the hardware ends the run.
    port::installDriver(std::make_unique<port::SimulatedPort>());
    port::setHardwareOpener([](std::string &) -> std::unique_ptr<port::PortDriver> {
        std::fputs("a benchmark tried to open the hardware ports\n", stderr);
        std::abort();
    });

    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
