#pragma once

#include "duration.h"

#include <atomic>

namespace timing {

// Set from a signal handler (Ctrl-C) to end what is running: lock-free, so the handler may.
using CancelFlag = std::atomic<bool>;
static_assert(CancelFlag::is_always_lock_free);

// Monotonic time and waits to absolute deadlines on it. Absolute, so that late wake-ups do not
// add up over a long train. Tests give a clock of their own.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual Nanoseconds now() = 0;
    // Returns at the deadline (true), or earlier when cancel is set (false).
    virtual bool waitUntil(Nanoseconds deadline, const CancelFlag &cancel) = 0;
};

// The wait of a real clock: sleeps (sleepUntil, told when to wake) while more than margin is
// left, and spins the rest, since a sleep may wake that late. A sleep that wakes early, or is
// cut short to look at the flag, is slept again. True at the deadline, false once cancel is set.
template <typename Now, typename SleepUntil>
bool spinWait(Nanoseconds deadline, Nanoseconds margin, const CancelFlag &cancel, Now &&now,
              SleepUntil &&sleepUntil)
{
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        const Nanoseconds left = deadline - now();
        if (left <= Nanoseconds(0))
            return true;
        if (left > margin)
            sleepUntil(deadline - margin);
    }
}

} // namespace timing
