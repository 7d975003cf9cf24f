#include "pulse_train.h"

#include "port_error.h"

#include <algorithm>
#include <array>
#include <vector>

namespace timing {

namespace {

Nanoseconds timedWrite(port::Session &port, Clock &clock, std::uint16_t address, std::uint8_t value)
{
    const Nanoseconds before = clock.now();
    port.write(address, value);
    return before + (clock.now() - before) / 2;
}

} // namespace

Nanoseconds measureWrite(port::Session &port, Clock &clock, std::uint16_t address,
                         std::uint8_t value)
{
    std::array<Nanoseconds, 9> costs{};
    for (Nanoseconds &cost : costs) {
        const Nanoseconds before = clock.now();
        port.write(address, value);
        cost = clock.now() - before;
    }
    std::sort(costs.begin(), costs.end());
    return costs[costs.size() / 2];
}

std::optional<std::string> whyNot(const Pulse &pulse, Nanoseconds writeCost)
{
    // The fall's write cannot start before the rise's has ended, nor the next rise's before the
    // fall's.
    if (pulse.width < writeCost)
        return "el ancho más corto que permite este camino al puerto es "
               + durationTextUp(writeCost) + " (lo que tarda una escritura en él)";
    if (pulse.count > 1 && pulse.period < pulse.width + writeCost)
        return "con un ancho de " + durationTextUp(pulse.width)
               + ", el periodo más corto que funciona es " + durationTextUp(pulse.width + writeCost)
               + " (el ancho y una escritura en el puerto)";
    return std::nullopt;
}

PulseReport runPulses(port::Session &port, Clock &clock, const Pulse &pulse, Nanoseconds writeCost,
                      const CancelFlag &cancel)
{
    const port::Action train = port.beginAction();
    // A write is started half its cost early, so that its middle falls on the deadline.
    const Nanoseconds half = writeCost / 2;
    const Nanoseconds first = clock.now() + writeCost;
    std::vector<Nanoseconds> widths, periods;
    std::optional<Nanoseconds> lastRise;
    PulseReport report;
    try {
        for (long i = 0; i < pulse.count; ++i) {
            if (!clock.waitUntil(first + pulse.period * i - half, cancel)) {
                report.cancelled = true;
                break;
            }
            const Nanoseconds rise = timedWrite(port, clock, pulse.address, pulse.value);
            const bool waited = clock.waitUntil(rise + pulse.width - half, cancel);
            const Nanoseconds fall = timedWrite(port, clock, pulse.address, pulse.idle);
            ++report.pulses;
            if (!waited) {
                // Cut short: the line is back at idle, and this width is not one that was asked
                // for.
                report.cancelled = true;
                break;
            }
            widths.push_back(fall - rise);
            if (lastRise)
                periods.push_back(rise - *lastRise);
            lastRise = rise;
        }
    } catch (const port::PortError &) {
        // A write that failed mid-train may have left the pulse's value on the line: one try to
        // put the idle value back before the failure is said.
        try {
            port.write(pulse.address, pulse.idle);
        } catch (const port::PortError &) {
        }
        throw;
    }
    report.width = figuresOf(widths, pulse.width);
    report.period = figuresOf(periods, pulse.period);
    return report;
}

} // namespace timing
