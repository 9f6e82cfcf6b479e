// A model of the board's motion processor: its registers, its profile
// generator and its limit inputs, advancing cycle by cycle with the clock.
//
// Units are the processor's own: positions in steps, velocities in steps per
// cycle and accelerations in steps per cycle squared, both with 16 fraction
// bits. Internally positions carry 16 fraction bits too, so all motion is
// integer arithmetic and runs the same on every machine.
//
// What the model does:
// - Profile parameters (mode, position, velocity, acceleration, deceleration,
//   jerk, start velocity, stop mode) are buffered and take effect at Update,
//   or at MultiUpdate for the axes in its mask, in the same cycle.
// - Profile mode 1 is velocity mode: the axis ramps to the signed velocity.
//   Any other mode positions with a trapezoidal profile (jerk is kept, not
//   used) to the target.
// - A buffered stop mode wins over a move at Update: 1 stops at once, 2
//   decelerates to rest; either ends with motion complete. It is used once.
// - Limit switches sit at configurable step positions; their inputs are
//   active low and reported through the signal sense mask. Running into an
//   active switch sets its limit event, and an event action (set with
//   SetEventAction, events 1 positive limit, 2 negative limit) stops the axis:
//   action 3 smoothly, any other non-zero action at once.
// - Update refuses with 13 while a limit event is pending, and with 14 (and
//   the limit event set) for a move into an active switch.
// - Reset returns every axis to its power-up state.
// - Every other command is accepted; values set are remembered and read back
//   by the matching Get command.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "cmotion/link_packet.h"
#include "cmotion/link_status_bits.h"
#include "sim/sim_clock.h"

namespace sim {

using cmotion::kActivityInMotion;
using cmotion::kEventMotionComplete;
using cmotion::kEventNegativeLimit;
using cmotion::kEventPositiveLimit;
using cmotion::kSignalNegativeLimit;
using cmotion::kSignalPositiveLimit;

inline constexpr std::uint16_t kEventPositiveLimitCode = 1;  // SetEventAction event numbers
inline constexpr std::uint16_t kEventNegativeLimitCode = 2;
inline constexpr std::uint16_t kActionSmoothStop = 3;

struct BoardConfig {
    std::uint16_t family = 5;
    std::uint16_t motorType = 3;
    std::uint16_t axes = 4;  // 1 to 4
    std::uint16_t chipCount = 0;
    std::uint16_t custom = 0;
    std::uint16_t versionMajor = 1;
    std::uint16_t versionMinor = 2;
    std::uint32_t sampleTimeMicros = 100;  // one profile cycle
};

struct LimitSwitches {
    bool hasNegative = false;
    bool hasPositive = false;
    std::int32_t negative = 0;  // active at or below this step count
    std::int32_t positive = 0;  // active at or above this step count
};

struct Profile {
    std::uint16_t mode = 0;
    std::int32_t position = 0;
    std::int32_t velocity = 0;
    std::uint32_t acceleration = 0;
    std::uint32_t deceleration = 0;
    std::uint32_t jerk = 0;
    std::uint32_t startVelocity = 0;
};

// Steps to the model's fixed point (16 fraction bits) and back, rounding
// toward minus infinity; multiplication and division, since shifting a
// negative value is not defined in C++17.
constexpr std::int64_t kFixedOne = 65536;
constexpr std::int64_t ToFixed(std::int32_t steps) {
    return static_cast<std::int64_t>(steps) * kFixedOne;
}
constexpr std::int64_t FloorSteps(std::int64_t fixed) {
    return fixed / kFixedOne - ((fixed % kFixedOne) < 0 ? 1 : 0);
}

struct AxisState {
    Profile buffered;
    Profile active;
    std::uint16_t bufferedStopMode = 0;
    std::int64_t position = 0;  // steps, fixed point
    std::int64_t velocity = 0;  // steps per cycle, fixed point, signed
    bool moving = false;        // a trajectory is under way
    bool stopping = false;      // decelerating to rest after a stop
    std::uint16_t events = 0;
    std::uint16_t signalSense = 0;
    // When motion complete was last raised, on the simulator's clock (the
    // start of the cycle in which the axis came to rest).
    std::int64_t completedAtMicros = -1;
    LimitSwitches limits;
    // Values of commands the model does not act on, by Set opcode; for
    // commands with a selector, by (opcode << 16 | selector).
    std::map<std::uint32_t, std::vector<std::uint16_t>> remembered;

    // Where count 0 lies on the stage, in steps from where it lay when the
    // simulator started: a reset starts the count again at 0 wherever the
    // axis stands, but the stage stays where it is. Only the simulator's
    // own control channel shows it (the board has no such register).
    std::int64_t countOriginSteps = 0;

    // Where the axis physically stands, in steps of the first power-up's
    // frame, whatever resets came since.
    std::int64_t PhysicalSteps() const { return FloorSteps(position) + countOriginSteps; }

    // The processor's 32-bit count wraps like the hardware's.
    std::int32_t CommandedSteps() const {
        return cmotion::SignedFromBits(
            static_cast<std::uint32_t>(FloorSteps(position) & 0xFFFFFFFF));
    }
};

struct ExecResult {
    std::uint8_t status = 0;
    std::uint16_t reply[3] = {};
};

class MotionProcessor {
  public:
    MotionProcessor(const BoardConfig& config, const Clock& clock);

    // Executes one sound request packet's command.
    ExecResult Execute(std::uint8_t axis, std::uint8_t opcode, const std::uint16_t* data,
                       std::size_t dataWords, std::size_t replyWords);

    // Back to power-up state, as Reset does. The limit switches stay where
    // they are on the stage (they are the machine's, not the processor's):
    // since every counter restarts at 0 where its axis stands, their counts
    // move by as much.
    void PowerUp();
    // The same from outside the command stream (the board's power went and
    // came back), at the present cycle.
    void PowerCut();

    // Switches at counts of the present origin.
    void SetLimitSwitches(int axis, const LimitSwitches& limits);
    // Puts an axis at a count at once, as if it had been moved by hand:
    // something the host only learns by reading the position.
    void MoveByHand(int axis, std::int32_t steps);
    // The axis as of now (the model is advanced to the clock first).
    AxisState Axis(int axis);
    std::uint64_t Cycle();
    const BoardConfig& config() const { return m_config; }

  private:
    void AdvanceToNow();
    void StepOneCycle(AxisState& a);
    std::int64_t SteadyCycles(const AxisState& a) const;
    void CheckLimits(AxisState& a);
    void Complete(AxisState& a);
    std::uint8_t DoUpdate(AxisState& a);
    bool PositiveActive(const AxisState& a) const;
    bool NegativeActive(const AxisState& a) const;
    std::uint16_t SignalStatus(const AxisState& a) const;

    std::mutex m_mutex;
    BoardConfig m_config;
    const Clock& m_clock;
    std::uint64_t m_cycle = 0;  // cycles elapsed since start
    std::vector<AxisState> m_axes;
};

}  // namespace sim
