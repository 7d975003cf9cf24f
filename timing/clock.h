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

} // namespace timing
