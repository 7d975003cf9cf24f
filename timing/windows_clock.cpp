#include "windows_clock.h"
#include "system_clock.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

namespace timing {

namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION: mingw-w64's headers lack it.
constexpr unsigned long HighResolutionTimer = 0x2;
// A wait is cut into pieces no longer than this, to see a cancel flag that a console control
// handler sets from its own thread: no signal ends a wait here, as EINTR does on Linux.
constexpr Nanoseconds LongestSleep = std::chrono::milliseconds(20);

void *createTimer(unsigned long flags)
{
    return ::CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
}

} // namespace

WindowsClock::WindowsClock()
    : WindowsClock(createTimer)
{}

WindowsClock::WindowsClock(const TimerFactory &createTimer)
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    m_frequency = std::max<long long>(frequency.QuadPart, 1);
    m_timer = createTimer(HighResolutionTimer);
    m_highResolution = m_timer != nullptr;
    if (!m_timer)
        m_timer = createTimer(0);
    // How late a short wait wakes here, with the tick a train would have: the worst of a few,
    // with room, is spun instead of slept.
    const TrainScope train(*this);
    const CancelFlag never{false};
    Nanoseconds worst{0};
    for (int i = 0; i < 5; ++i) {
        const Nanoseconds deadline = now() + std::chrono::microseconds(500);
        waitUntil(deadline, never);
        worst = std::max(worst, now() - deadline);
    }
    m_spinMargin = std::clamp<Nanoseconds>(worst * 3 / 2, std::chrono::microseconds(50),
                                           std::chrono::milliseconds(3));
}

WindowsClock::~WindowsClock()
{
    if (m_timer)
        ::CloseHandle(m_timer);
}

Nanoseconds WindowsClock::now()
{
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    // In two parts, since the count times 10^9 overflows after a few days of uptime.
    const long long seconds = counter.QuadPart / m_frequency;
    const long long rest = counter.QuadPart % m_frequency;
    return Nanoseconds(seconds * 1'000'000'000 + rest * 1'000'000'000 / m_frequency);
}

bool WindowsClock::waitUntil(Nanoseconds deadline, const CancelFlag &cancel)
{
    return spinWait(
        deadline, m_spinMargin, cancel, [this] { return now(); },
        [this](Nanoseconds wake) {
            if (!m_timer)
                return;
            // Relative (negative, in 100 ns units): absolute times of a waitable timer are
            // on the wall clock, which may be set back or forth while a train runs.
            LARGE_INTEGER due{};
            due.QuadPart =
                -std::max<long long>(std::min(wake - now(), LongestSleep).count() / 100, 1);
            if (::SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE))
                ::WaitForSingleObject(m_timer, INFINITE);
        });
}

namespace {

class TrainClock : public WindowsClock
{
    const TrainScope m_train{*this};
};

} // namespace

std::unique_ptr<Clock> trainClock()
{
    return std::make_unique<TrainClock>();
}

std::string requestRealtime()
{
    // The real-time class needs the right to raise priorities, which Windows then silently
    // withholds: the high class is what an ordinary user is given.
    if (::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS)
        && ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST))
        return {};
    return "sin prioridad alta: Windows la negó (error " + std::to_string(::GetLastError())
           + "). Con el equipo ocupado, los tiempos pueden alargarse.";
}

WindowsClock::TrainScope::TrainScope(const WindowsClock &clock)
    : m_raised(!clock.m_highResolution && ::timeBeginPeriod(1) == TIMERR_NOERROR)
{}

WindowsClock::TrainScope::~TrainScope()
{
    if (m_raised)
        ::timeEndPeriod(1);
}

} // namespace timing
