// The stand-in host's services the controller relies on: the recursive
// mutex, and time with a speed factor that never jumps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

#include "host/kx_thread.h"
#include "host/kx_time.h"

namespace {

TEST(HostThreads, RecursiveMutex) {
    pthread_mutexCS_t m;
    ASSERT_EQ(pthread_mutexCS_init(&m), 0);
    {
        CKxMutexLock outer(m);
        CKxMutexLock inner(m);  // the owner may lock again
    }
    // Another thread can take it once both are released.
    std::atomic<bool> taken{false};
    std::thread other([&] {
        CKxMutexLock lock(m);
        taken = true;
    });
    other.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(pthread_mutexCS_destroy(&m), 0);
}

TEST(HostTime, SpeedFactorWithoutJumps) {
    const double speed = host::TimeSpeed();
    const double before = KX_GetTimeCounter();
    host::SetTimeSpeed(1000.0);
    const double fast = KX_GetTimeCounter();
    EXPECT_GE(fast, before);
    EXPECT_LT(fast - before, 100.0);  // no jump when the factor changes
    const auto t0 = std::chrono::steady_clock::now();
    host::Sleep(2000);  // 2 s of host time, 2 ms of real time
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_GE(KX_GetTimeCounter() - fast, 2000.0);
    host::SetTimeSpeed(speed);
    const double slow = KX_GetTimeCounter();
    EXPECT_GE(slow, fast + 2000.0);  // never backward
    // Nonsense factors are refused.
    host::SetTimeSpeed(0.0);
    host::SetTimeSpeed(-5.0);
    host::SetTimeSpeed(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(host::TimeSpeed(), speed);
}

}  // namespace
