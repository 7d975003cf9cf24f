#pragma once

#include "clock.h"
#include "statistics.h"

#include "port_session.h"

#include <cstdint>
#include <optional>
#include <string>

namespace timing {

struct Pulse
{
    std::uint16_t address = 0;
    std::uint8_t value = 0;
    std::uint8_t idle = 0;
    Nanoseconds width{0};
    long count = 1;
    Nanoseconds period{0}; // from one rise to the next; unused for a single pulse
};

struct PulseReport
{
    Figures width;
    Figures period; // count 0 for a single pulse
    long pulses = 0;
    bool cancelled = false;
};

// What one write of value to address takes on this path: the median of a few. It writes the
// value, so the caller passes the one the register is to hold (the idle value).
Nanoseconds measureWrite(port::Session &port, Clock &clock, std::uint16_t address,
                         std::uint8_t value);

// Why the pulse cannot be given on a path whose write takes writeCost, with the smallest width or
// period that works, in Spanish; nothing when it can.
std::optional<std::string> whyNot(const Pulse &pulse, Nanoseconds writeCost);

// The train, as one action of the session: value, the width, idle, and
// again at the period, the rises at absolute deadlines from the first. An edge is placed at the
// middle of its write, which is all that can be known of when the write reached the port; the
// achieved widths and periods are measured between those middles. Cancelling ends the train
// with idle written. Port errors pass through as port::PortError.
PulseReport runPulses(port::Session &port, Clock &clock, const Pulse &pulse, Nanoseconds writeCost,
                      const CancelFlag &cancel);

} // namespace timing
