#include "monotonic_clock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace timing {

namespace {

timespec toTimespec(Nanoseconds t)
{
    return {time_t(t.count() / 1'000'000'000), long(t.count() % 1'000'000'000)};
}

} // namespace

MonotonicClock::MonotonicClock()
{
    // 1 ns is the least slack the kernel takes; 0 would mean "back to the default".
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // How late a short sleep wakes here: the worst of a few, with room, is spun instead of slept.
    Nanoseconds worst{0};
    for (int i = 0; i < 5; ++i) {
        const Nanoseconds deadline = now() + std::chrono::microseconds(200);
        const timespec at = toTimespec(deadline);
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        worst = std::max(worst, now() - deadline);
    }
    m_spinMargin = std::clamp<Nanoseconds>(worst * 3 / 2, std::chrono::microseconds(20),
                                           std::chrono::microseconds(500));
}

Nanoseconds MonotonicClock::now()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return Nanoseconds(std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec);
}

bool MonotonicClock::waitUntil(Nanoseconds deadline, const CancelFlag &cancel)
{
    // A signal (Ctrl-C) ends the sleep with EINTR; the wait then sees the flag.
    return spinWait(
        deadline, m_spinMargin, cancel, [this] { return now(); },
        [](Nanoseconds wake) {
            const timespec at = toTimespec(wake);
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        });
}

std::unique_ptr<Clock> trainClock()
{
    return std::make_unique<MonotonicClock>();
}

std::string requestRealtime()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_RTPRIO, &limit);
    // A low priority is enough to come before every ordinary process; higher ones are the
    // kernel's own threads'.
    const int priority = std::clamp<int>(int(std::min<rlim_t>(limit.rlim_cur, 10)), 1, 10);
    sched_param param{};
    param.sched_priority = priority;
    if (::sched_setscheduler(0, SCHED_FIFO, &param) == 0)
        return {};
    if (limit.rlim_cur == 0)
        return "sin planificación de tiempo real: su usuario no la tiene (RLIMIT_RTPRIO es 0; "
               "se concede en /etc/security/limits.conf, como «@velmora-port - rtprio 10»). Con "
               "el equipo ocupado, los tiempos pueden alargarse.";
    return std::string("sin planificación de tiempo real: el sistema la negó (")
           + std::strerror(errno) + "). Con el equipo ocupado, los tiempos pueden alargarse.";
}

} // namespace timing
