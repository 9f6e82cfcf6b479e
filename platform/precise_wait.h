// Waiting until a moment to within a few microseconds, for programs that pace
// bytes as a serial line would. A timed sleep alone wakes tens of
// microseconds late (timer slack, scheduling), so the last stretch is spent
// spinning. Only for the far side of a line, never for the plug-in's waits.
#pragma once

#include <chrono>
#include <thread>

namespace platform {

inline void PreciseWaitUntil(std::chrono::steady_clock::time_point deadline) {
    constexpr auto kSpin = std::chrono::microseconds(100);
    if (std::chrono::steady_clock::now() < deadline - kSpin)
        std::this_thread::sleep_until(deadline - kSpin);
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace platform
