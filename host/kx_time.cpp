#include "host/kx_time.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Host time is piecewise linear in real time: from the last change of speed
// it runs on at the new speed, so it never jumps and never runs backward.
struct TimeBase {
    std::mutex mutex;
    Clock::time_point realAt = Clock::now();
    double hostAtMs = 0.0;
    double speed = 1.0;
};

TimeBase& Base() {
    static TimeBase base;
    return base;
}

double HostNowLocked(const TimeBase& b, Clock::time_point now) {
    return b.hostAtMs + std::chrono::duration<double, std::milli>(now - b.realAt).count() * b.speed;
}

}  // namespace

double KX_GetTimeCounter() {
    TimeBase& b = Base();
    std::lock_guard<std::mutex> lock(b.mutex);
    return HostNowLocked(b, Clock::now());
}

namespace host {

void Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms / TimeSpeed()));
}

void SetTimeSpeed(double speed) {
    // Only sane factors: time never stands still or runs backward.
    if (!(speed >= 0.001 && speed <= 100000.0)) return;
    TimeBase& b = Base();
    std::lock_guard<std::mutex> lock(b.mutex);
    const Clock::time_point now = Clock::now();
    b.hostAtMs = HostNowLocked(b, now);
    b.realAt = now;
    b.speed = speed;
}

double TimeSpeed() {
    TimeBase& b = Base();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.speed;
}

}  // namespace host
