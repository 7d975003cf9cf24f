#pragma once

#include "clock.h"
#include "system_clock.h"

namespace timing {

// CLOCK_MONOTONIC, waited on with clock_nanosleep to absolute deadlines. The process's timer
// slack goes to its minimum (otherwise every wake-up may come 50 µs late), and the last stretch
// before a deadline, shorter than a wake-up is late here (measured at construction), is spun.
class MonotonicClock : public Clock
{
public:
    MonotonicClock();

    Nanoseconds now() override;
    bool waitUntil(Nanoseconds deadline, const CancelFlag &cancel) override;

    Nanoseconds spinMargin() const { return m_spinMargin; }

private:
    Nanoseconds m_spinMargin{0};
};

} // namespace timing
