// Time as the simulated processor sees it: real time (optionally sped up, for
// fast tests of long waits) or a manual clock that tests move by hand.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sim {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t NowMicros() const = 0;
};

// Microseconds since construction, times `speed`.
class RealClock final : public Clock {
  public:
    explicit RealClock(double speed = 1.0) : m_speed(speed > 0 ? speed : 1.0) {}
    std::int64_t NowMicros() const override {
        const auto elapsed = std::chrono::steady_clock::now() - m_start;
        return static_cast<std::int64_t>(
            std::chrono::duration<double, std::micro>(elapsed).count() * m_speed);
    }
    double speed() const { return m_speed; }

  private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    double m_speed;
};

class ManualClock final : public Clock {
  public:
    std::int64_t NowMicros() const override { return m_now.load(); }
    void Advance(std::int64_t micros) { m_now += micros; }
    void Set(std::int64_t micros) { m_now = micros; }

  private:
    std::atomic<std::int64_t> m_now{0};
};

}  // namespace sim
