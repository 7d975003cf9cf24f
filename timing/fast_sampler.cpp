#include "fast_sampler.h"

#include <algorithm>
#include <optional>

namespace timing {

port::Registers readRegisters(port::Session &port, std::uint16_t base)
{
    port::Registers r;
    r.data = static_cast<std::uint8_t>(port.read(base));
    r.status = static_cast<std::uint8_t>(port.read(std::uint16_t(base + 1)));
    r.control = static_cast<std::uint8_t>(port.read(std::uint16_t(base + 2)));
    return r;
}

SamplingReport sampleFast(port::Session &port, Clock &clock, std::uint16_t base,
                          Nanoseconds duration, const CancelFlag &cancel, SampleSink &sink)
{
    const port::Action whole = port.beginAction();
    SamplingReport report;
    std::optional<port::Registers> last;
    const Nanoseconds start = clock.now();
    Nanoseconds previous = start;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) {
            report.cancelled = true;
            break;
        }
        // A sample's time is that of its first read: the one the two after it follow closest.
        const Nanoseconds at = clock.now();
        if (at - start >= duration)
            break;
        const port::Registers now = readRegisters(port, base);
        report.longestGap = std::max(report.longestGap, at - previous);
        previous = at;
        ++report.samples;
        if (!last || now != *last) {
            report.changes += last ? 1 : 0;
            sink.sample((at - start).count() / 1000, now);
            last = now;
        }
    }
    report.elapsed = clock.now() - start;
    sink.finish(report.elapsed.count() / 1000);
    return report;
}

} // namespace timing
