#pragma once

#include "clock.h"

#include <functional>

namespace timing {

// QueryPerformanceCounter, waited on with a waitable timer and the last stretch spun, as the
// Linux clock does. The high-resolution timer (Windows 10 1803 and later) wakes within a fraction
// of a millisecond; where it is refused, a plain timer is used, which wakes only on the system's
// timer tick (15.6 ms unless raised): a train holds a TrainScope to raise the tick to 1 ms while it
// runs, and gives it back after, since a raised tick costs the whole machine power.
class WindowsClock : public Clock
{
public:
    // Makes a waitable timer with CreateWaitableTimerExW's flags, or returns nullptr: tests
    // refuse the high-resolution flag with it.
    using TimerFactory = std::function<void *(unsigned long flags)>;

    WindowsClock();
    explicit WindowsClock(const TimerFactory &createTimer);
    ~WindowsClock() override;
    WindowsClock(const WindowsClock &) = delete;
    WindowsClock &operator=(const WindowsClock &) = delete;

    Nanoseconds now() override;
    bool waitUntil(Nanoseconds deadline, const CancelFlag &cancel) override;

    bool highResolution() const { return m_highResolution; }
    Nanoseconds spinMargin() const { return m_spinMargin; }

    class TrainScope
    {
    public:
        explicit TrainScope(const WindowsClock &clock);
        ~TrainScope();
        TrainScope(const TrainScope &) = delete;
        TrainScope &operator=(const TrainScope &) = delete;

    private:
        bool m_raised = false;
    };

private:
    void *m_timer = nullptr;
    bool m_highResolution = false;
    long long m_frequency = 1;
    Nanoseconds m_spinMargin{0};
};

} // namespace timing
