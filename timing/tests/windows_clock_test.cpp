// The Windows clock under wine: a wait never returns before its deadline, with the high-resolution
// timer and with the plain one that a Windows older than 10 1803 leaves it.
#include "windows_clock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

void expectWaitsReachDeadlines(timing::WindowsClock &clock)
{
    const timing::CancelFlag go{false};
    const timing::WindowsClock::TrainScope train(clock);
    for (const auto wait : {std::chrono::microseconds(0), std::chrono::microseconds(300),
                            std::chrono::microseconds(2500), std::chrono::microseconds(30'000)}) {
        const timing::Nanoseconds deadline = clock.now() + wait;
        EXPECT_TRUE(clock.waitUntil(deadline, go));
        EXPECT_GE(clock.now(), deadline) << wait.count() << " µs";
    }
    const timing::CancelFlag cancelled{true};
    EXPECT_FALSE(clock.waitUntil(clock.now() + std::chrono::seconds(5), cancelled));
}

TEST(WindowsClock, WaitsEndAtOrAfterTheirDeadlineWithEitherTimer)
{
    timing::WindowsClock clock;
    expectWaitsReachDeadlines(clock);

    std::vector<unsigned long> asked;
    timing::WindowsClock plain([&asked](unsigned long flags) -> void * {
        asked.push_back(flags);
        if (flags & 0x2) {
            ::SetLastError(ERROR_INVALID_PARAMETER); // what Windows before 10 1803 answers
            return nullptr;
        }
        return ::CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
    });
    EXPECT_EQ(asked, (std::vector<unsigned long>{0x2, 0}));
    EXPECT_FALSE(plain.highResolution());
    expectWaitsReachDeadlines(plain);
}

} // namespace
