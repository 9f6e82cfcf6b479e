// The plug-in's sleeps: never shorter than asked, and a wake ends a wait at
// once. Under Wine this runs the Windows path (a high-resolution waitable
// timer, or Sleep with the timer resolution raised).
#include "platform/wait_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

TEST(WaitTimer, SleepsAsAskedAndAWakeEndsAWaitAtOnce) {
    const platform::WaitTimerKind kind = platform::CurrentWaitTimerKind();
    std::printf("wait timer: %s\n", platform::WaitTimerKindName(kind));
#ifdef _WIN32
    EXPECT_NE(kind, platform::WaitTimerKind::SystemClock);
#else
    EXPECT_EQ(kind, platform::WaitTimerKind::SystemClock);
#endif
    platform::TimerResolutionScope scope;  // raised and lowered in pairs
    for (double ms : {0.5, 2.0, 10.0}) {
        SCOPED_TRACE(ms);
        const Clock::time_point t0 = Clock::now();
        platform::PreciseSleep(ms);
        // Timers may fire a fraction of a tick early on some systems.
        EXPECT_GE(MsSince(t0), ms - 0.5);
    }
    // Not a time at all: no wait, and no undefined conversion.
    for (double odd : {std::numeric_limits<double>::quiet_NaN(), -5.0, 0.0}) {
        const Clock::time_point t0 = Clock::now();
        platform::PreciseSleep(odd);
        EXPECT_LT(MsSince(t0), 1000.0);
    }

    platform::WakeableWait wait;
    EXPECT_FALSE(wait.WaitFor(5));
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wait.Wake();
    });
    const Clock::time_point t0 = Clock::now();
    EXPECT_TRUE(wait.WaitFor(30000));
    EXPECT_LT(MsSince(t0), 10000.0);  // woken, not timed out
    waker.join();
    // A wake stays until Reset: the next wait ends at once.
    EXPECT_TRUE(wait.WaitFor(30000));
    wait.Reset();
    EXPECT_FALSE(wait.WaitFor(1));
}

}  // namespace
