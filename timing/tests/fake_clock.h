#pragma once

#include "clock.h"
#include "port_error.h"
#include "simulated_port.h"

#include <vector>

// Time that moves only when told: by a wait (to its deadline, plus how late each wake-up comes,
// in turn from a list) and by the port's accesses (their cost each).
class FakeClock : public timing::Clock
{
public:
    timing::Nanoseconds t{1'000'000'000};
    timing::Nanoseconds t0{0};
    std::vector<timing::Nanoseconds> lateness{timing::Nanoseconds(0)};
    std::size_t waits = 0;

    timing::Nanoseconds now() override { return t; }
    bool waitUntil(timing::Nanoseconds deadline, const timing::CancelFlag &cancel) override
    {
        if (cancel)
            return false;
        t = std::max(t, deadline) + lateness[waits++ % lateness.size()];
        return true;
    }
};

// The simulated port with a cost per access on the fake clock, the writes kept with the middle
// of their time, and optionally Ctrl-C pressed at the nth write.
class TimedPort : public port::SimulatedPort
{
public:
    struct Write
    {
        timing::Nanoseconds at;
        PortValue value;
    };

    TimedPort(FakeClock &clock, timing::Nanoseconds cost)
        : m_clock(clock)
        , m_cost(cost)
    {}

    std::vector<Write> writes;
    int actionsEnded = 0; // a shared port given back
    timing::CancelFlag cancel{false};
    std::size_t cancelAtWrite = 0;
    std::size_t failAtWrite = 0; // that write, counted as writes are, fails and changes nothing

    PortValue read(std::uint16_t address) override
    {
        m_clock.t += m_cost;
        return SimulatedPort::read(address);
    }
    void write(std::uint16_t address, PortValue value) override
    {
        if (writes.size() + 1 == failAtWrite) {
            failAtWrite = 0;
            throw port::PortError(port::PortError::Access::Write, address,
                                  {"el ayudante terminó", "vuelva a intentarlo"});
        }
        writes.push_back({m_clock.t + m_cost / 2, value});
        m_clock.t += m_cost;
        SimulatedPort::write(address, value);
        if (writes.size() == cancelAtWrite)
            cancel = true;
    }
    void endAction() override { ++actionsEnded; }

private:
    FakeClock &m_clock;
    timing::Nanoseconds m_cost;
};
