#include "sim/motion_processor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"
#include "sim/command_shapes.h"

namespace sim {
namespace {

using cmotion::Opcode;

constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

std::uint32_t Join(const std::uint16_t* words) {
    return cmotion::JoinWords(words[0], words[1]);
}

void Put32(ExecResult& r, std::uint32_t value) {
    r.reply[0] = static_cast<std::uint16_t>(value >> 16);
    r.reply[1] = static_cast<std::uint16_t>(value & 0xFFFF);
}

std::int64_t Sign(std::int64_t v) {
    return (v > 0) - (v < 0);
}
std::int64_t Abs(std::int64_t v) {
    return v < 0 ? -v : v;
}

// Rate of change for speeding up or slowing down; a zero deceleration falls
// back to the acceleration, and a zero rate to the smallest step, so that no
// profile stalls for ever.
std::int64_t Rate(std::uint32_t rate, std::uint32_t fallback) {
    if (rate != 0) return rate;
    if (fallback != 0) return fallback;
    return 1;
}

// For every GetX the opcode of SetX and back, by name; 0 where there is none.
struct Counterparts {
    std::array<std::uint8_t, 256> setterOf{};
    std::array<std::uint8_t, 256> getterOf{};
};

const Counterparts& CounterpartTable() {
    static const Counterparts table = [] {
        Counterparts t;
        for (unsigned int get = 0; get < 256; ++get) {
            const char* name = cmotion::kOpcodeTable[get].name;
            if (std::strncmp(name, "Get", 3) != 0) continue;
            for (unsigned int set = 0; set < 256; ++set) {
                const char* other = cmotion::kOpcodeTable[set].name;
                if (std::strncmp(other, "Set", 3) == 0 && std::strcmp(other + 3, name + 3) == 0) {
                    t.setterOf[get] = static_cast<std::uint8_t>(set);
                    t.getterOf[set] = static_cast<std::uint8_t>(get);
                }
            }
        }
        return t;
    }();
    return table;
}

// A Set whose Get asks with a selector word (SetHoldingCurrent(selector,
// value), SetEventAction(event, action)) keeps one value per selector.
bool HasSelector(std::uint8_t setOpcode) {
    const std::uint8_t getter = CounterpartTable().getterOf[setOpcode];
    return getter != 0 && ShapeOf(setOpcode).dataWords >= 2 && ShapeOf(getter).dataWords >= 1;
}

std::uint32_t RememberKey(std::uint8_t setOpcode, std::uint16_t selector) {
    return (static_cast<std::uint32_t>(setOpcode) << 16) | (HasSelector(setOpcode) ? selector : 0u);
}

}  // namespace

MotionProcessor::MotionProcessor(const BoardConfig& config, const Clock& clock)
    : m_config(config), m_clock(clock) {
    m_config.axes = std::min<std::uint16_t>(std::max<std::uint16_t>(m_config.axes, 1), 4);
    if (m_config.sampleTimeMicros == 0) m_config.sampleTimeMicros = 1;
    m_axes.resize(m_config.axes);
    m_cycle = static_cast<std::uint64_t>(std::max<std::int64_t>(m_clock.NowMicros(), 0)) /
              m_config.sampleTimeMicros;
}

void MotionProcessor::Complete(AxisState& a) {
    a.events |= kEventMotionComplete;
    a.completedAtMicros = static_cast<std::int64_t>(m_cycle) * m_config.sampleTimeMicros;
}

void MotionProcessor::MoveByHand(int axis, std::int32_t steps) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    if (axis >= 0 && axis < static_cast<int>(m_axes.size())) m_axes[axis].position = ToFixed(steps);
}

void MotionProcessor::PowerUp() {
    // The counters restart at 0 where each axis stands; the switches are on
    // the stage, not in the counter, so their counts move by as much.
    const auto shifted = [](std::int32_t at, std::int32_t origin) {
        const std::int64_t v = static_cast<std::int64_t>(at) - origin;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -2147483647 - 1, 2147483647));
    };
    for (AxisState& a : m_axes) {
        LimitSwitches limits = a.limits;
        const std::int32_t origin = a.CommandedSteps();
        limits.negative = shifted(limits.negative, origin);
        limits.positive = shifted(limits.positive, origin);
        const std::int64_t physical = a.PhysicalSteps();
        a = AxisState{};
        a.limits = limits;
        a.countOriginSteps = physical;
    }
}

void MotionProcessor::PowerCut() {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    PowerUp();
}

void MotionProcessor::SetLimitSwitches(int axis, const LimitSwitches& limits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    if (axis >= 0 && axis < static_cast<int>(m_axes.size())) m_axes[axis].limits = limits;
}

AxisState MotionProcessor::Axis(int axis) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    return m_axes.at(static_cast<std::size_t>(axis));
}

std::uint64_t MotionProcessor::Cycle() {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    return m_cycle;
}

bool MotionProcessor::PositiveActive(const AxisState& a) const {
    return a.limits.hasPositive && a.CommandedSteps() >= a.limits.positive;
}

bool MotionProcessor::NegativeActive(const AxisState& a) const {
    return a.limits.hasNegative && a.CommandedSteps() <= a.limits.negative;
}

std::uint16_t MotionProcessor::SignalStatus(const AxisState& a) const {
    // Active-low inputs: a pressed switch reads 0 before the sense mask.
    std::uint16_t raw = 0;
    if (!PositiveActive(a)) raw |= kSignalPositiveLimit;
    if (!NegativeActive(a)) raw |= kSignalNegativeLimit;
    return raw ^ a.signalSense;
}

// How many cycles the axis can be advanced by adding its velocity, with no
// change of velocity and no limit switch reached on the way.
std::int64_t MotionProcessor::SteadyCycles(const AxisState& a) const {
    if (!a.moving) return kForever;
    // A move whose speed is 0 never gets anywhere: nothing changes until the
    // next command, however long the host waits (a positioning move already
    // at its target still arrives in its next cycle).
    if (!a.stopping && a.velocity == 0 && a.active.velocity == 0 &&
        (a.active.mode == 1 || ToFixed(a.active.position) != a.position))
        return kForever;
    if (a.stopping || a.velocity == 0) return 1;
    const std::int64_t speed = Abs(a.velocity);
    std::int64_t cycles = kForever;
    if (a.active.mode == 1) {
        if (a.velocity != static_cast<std::int64_t>(a.active.velocity)) return 1;
    } else {
        if (speed != Abs(static_cast<std::int64_t>(a.active.velocity))) return 1;
        const std::int64_t remaining = Abs(ToFixed(a.active.position) - a.position);
        const double decel =
            static_cast<double>(Rate(a.active.deceleration, a.active.acceleration));
        const double brake =
            static_cast<double>(speed) * static_cast<double>(speed) / (2.0 * decel);
        const double free =
            static_cast<double>(remaining) - brake - 2.0 * static_cast<double>(speed);
        if (free <= static_cast<double>(speed)) return 1;
        cycles = static_cast<std::int64_t>(free / static_cast<double>(speed));
    }
    // Stop short of any switch in the direction of travel.
    const std::int64_t here = a.position;
    if (a.velocity > 0 && a.limits.hasPositive) {
        const std::int64_t to = ToFixed(a.limits.positive) - here;
        cycles = std::min(cycles, to / speed - 1);
    }
    if (a.velocity < 0 && a.limits.hasNegative) {
        const std::int64_t to = here - ToFixed(a.limits.negative);
        cycles = std::min(cycles, to / speed - 1);
    }
    return std::max<std::int64_t>(cycles, 1);
}

// One cycle of the profile generator. Positions advance by the mean of the
// velocity at the start and at the end of the cycle, so that a ramp covers
// exactly the distance of a constant acceleration.
void MotionProcessor::StepOneCycle(AxisState& a) {
    if (!a.moving) return;
    const Profile& p = a.active;
    const std::int64_t before = a.velocity;
    const auto advance = [&] { a.position += (before + a.velocity) / 2; };
    if (a.stopping) {
        const std::int64_t dec = Rate(p.deceleration, p.acceleration);
        a.velocity = Sign(a.velocity) * std::max<std::int64_t>(Abs(a.velocity) - dec, 0);
        advance();
        if (a.velocity == 0) {
            a.moving = false;
            a.stopping = false;
            Complete(a);
        }
    } else if (p.mode == 1) {
        // Velocity mode: ramp toward the signed velocity, speeding up with the
        // acceleration and slowing down with the deceleration.
        const std::int64_t target = p.velocity;
        const bool speedingUp =
            a.velocity == 0 || (Sign(target) == Sign(a.velocity) && Abs(target) > Abs(a.velocity));
        const std::int64_t rate = speedingUp ? Rate(p.acceleration, p.deceleration)
                                             : Rate(p.deceleration, p.acceleration);
        if (a.velocity < target) {
            a.velocity = std::min(a.velocity + rate, target);
        } else if (a.velocity > target) {
            a.velocity = std::max(a.velocity - rate, target);
        }
        advance();
        if (a.velocity == 0 && target == 0) {
            a.moving = false;
            Complete(a);
        }
    } else {
        // Positioning: a trapezoid.
        const std::int64_t target = ToFixed(p.position);
        const std::int64_t remaining = target - a.position;
        const std::int64_t dir = Sign(remaining);
        const std::int64_t acc = Rate(p.acceleration, p.deceleration);
        const std::int64_t dec = Rate(p.deceleration, p.acceleration);
        if (a.velocity != 0 && Sign(a.velocity) != dir) {
            // Still running the other way: brake first.
            a.velocity = Sign(a.velocity) * std::max<std::int64_t>(Abs(a.velocity) - dec, 0);
            advance();
        } else if (remaining == 0) {
            a.velocity = 0;
            a.moving = false;
            Complete(a);
        } else {
            const std::int64_t distance = Abs(remaining);
            const std::int64_t maxSpeed = Abs(static_cast<std::int64_t>(p.velocity));
            const std::int64_t speedBefore = Abs(a.velocity);
            // The highest speed at the end of this cycle that still lets the
            // axis stop at the target: what remains after the cycle,
            // distance - (before + v) / 2, must hold the ramp down v^2 / 2d.
            const double d = static_cast<double>(dec);
            const double room =
                static_cast<double>(distance) - static_cast<double>(speedBefore) / 2.0;
            const double brakeLimit =
                room > 0 ? (-d + std::sqrt(d * d + 8.0 * d * room)) / 2.0 : 0.0;
            std::int64_t speed = std::min(speedBefore + acc, maxSpeed);
            speed = std::min<std::int64_t>(speed, static_cast<std::int64_t>(brakeLimit));
            // A zero velocity never gets anywhere (the move stays under way,
            // as on the real part); otherwise the last fraction of a step is
            // always covered.
            if (maxSpeed > 0) speed = std::max<std::int64_t>(speed, 1);
            if ((speedBefore + speed) / 2 >= distance ||
                (speed <= 1 && speedBefore <= 1 && maxSpeed > 0)) {
                a.position = target;
                a.velocity = 0;
                a.moving = false;
                Complete(a);
            } else {
                a.velocity = dir * speed;
                advance();
            }
        }
    }
    CheckLimits(a);
}

void MotionProcessor::CheckLimits(AxisState& a) {
    const auto hit = [&](std::uint16_t event, std::uint16_t code) {
        a.events |= event;
        auto it =
            a.remembered.find(RememberKey(static_cast<std::uint8_t>(Opcode::SetEventAction), code));
        const std::uint16_t action = it == a.remembered.end() ? 0 : it->second.at(1);
        if (action == 0) return;
        if (action == kActionSmoothStop) {
            a.stopping = true;
        } else {
            a.velocity = 0;
            a.moving = false;
            a.stopping = false;
        }
    };
    if (!a.moving) return;
    if (a.velocity > 0 && PositiveActive(a)) hit(kEventPositiveLimit, kEventPositiveLimitCode);
    if (a.velocity < 0 && NegativeActive(a)) hit(kEventNegativeLimit, kEventNegativeLimitCode);
}

void MotionProcessor::AdvanceToNow() {
    const std::uint64_t now =
        static_cast<std::uint64_t>(std::max<std::int64_t>(m_clock.NowMicros(), 0)) /
        m_config.sampleTimeMicros;
    while (m_cycle < now) {
        std::int64_t bulk = static_cast<std::int64_t>(now - m_cycle);
        for (const AxisState& a : m_axes) bulk = std::min(bulk, SteadyCycles(a));
        if (bulk > 1) {
            for (AxisState& a : m_axes) {
                if (a.moving) a.position += a.velocity * bulk;
            }
        } else {
            bulk = 1;
            for (AxisState& a : m_axes) StepOneCycle(a);
        }
        m_cycle += static_cast<std::uint64_t>(bulk);
    }
}

std::uint8_t MotionProcessor::DoUpdate(AxisState& a) {
    if (a.bufferedStopMode != 0) {
        const std::uint16_t mode = a.bufferedStopMode;
        a.bufferedStopMode = 0;
        if (mode == 1 || !a.moving) {
            a.velocity = 0;
            a.moving = false;
            a.stopping = false;
            Complete(a);
        } else {
            a.stopping = true;
        }
        return cmotion::kLinkOk;
    }
    if (a.events & (kEventPositiveLimit | kEventNegativeLimit))
        return cmotion::kLinkMoveWithLimitPending;
    a.active = a.buffered;
    const std::int64_t dir = a.active.mode == 1 ? Sign(a.active.velocity)
                                                : Sign(ToFixed(a.active.position) - a.position);
    if (dir > 0 && PositiveActive(a)) {
        a.events |= kEventPositiveLimit;
        return cmotion::kLinkMoveIntoLimit;
    }
    if (dir < 0 && NegativeActive(a)) {
        a.events |= kEventNegativeLimit;
        return cmotion::kLinkMoveIntoLimit;
    }
    a.stopping = false;
    a.moving = dir != 0 || a.velocity != 0;
    if (!a.moving) Complete(a);
    return cmotion::kLinkOk;
}

ExecResult MotionProcessor::Execute(std::uint8_t axis, std::uint8_t opcode,
                                    const std::uint16_t* data, std::size_t dataWords,
                                    std::size_t replyWords) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceToNow();
    ExecResult r;
    if (axis >= m_axes.size()) {
        r.status = cmotion::kLinkInvalidAxis;
        return r;
    }
    AxisState& a = m_axes[axis];
    const std::uint16_t d0 = dataWords > 0 ? data[0] : 0;
    switch (static_cast<Opcode>(opcode)) {
        case Opcode::Nop:
            break;
        case Opcode::GetVersion:
            r.reply[0] = static_cast<std::uint16_t>(
                ((m_config.family & 0xF) << 12) | ((m_config.motorType & 0xF) << 8) |
                ((m_config.axes & 0xF) << 4) | (m_config.chipCount & 0xF));
            r.reply[1] = static_cast<std::uint16_t>(((m_config.custom & 0xFF) << 8) |
                                                    ((m_config.versionMajor & 0xF) << 4) |
                                                    (m_config.versionMinor & 0xF));
            break;
        case Opcode::Reset:
            PowerUp();
            break;
        case Opcode::GetSampleTime:
            Put32(r, m_config.sampleTimeMicros);
            break;
        case Opcode::GetTime:
            Put32(r, static_cast<std::uint32_t>(m_cycle));
            break;
        case Opcode::Update:
            r.status = DoUpdate(a);
            break;
        case Opcode::MultiUpdate:
            // Every axis of the mask takes its parameters in this same cycle.
            for (std::size_t n = 0; n < m_axes.size(); ++n) {
                if (!(d0 & (1u << n))) continue;
                const std::uint8_t status = DoUpdate(m_axes[n]);
                if (r.status == 0) r.status = status;
            }
            break;
        case Opcode::SetProfileMode:
            a.buffered.mode = d0;
            break;
        case Opcode::GetProfileMode:
            r.reply[0] = a.buffered.mode;
            break;
        case Opcode::SetPosition:
            a.buffered.position = cmotion::SignedFromBits(Join(data));
            break;
        case Opcode::GetPosition:
            Put32(r, static_cast<std::uint32_t>(a.buffered.position));
            break;
        case Opcode::SetVelocity:
            a.buffered.velocity = cmotion::SignedFromBits(Join(data));
            break;
        case Opcode::GetVelocity:
            Put32(r, static_cast<std::uint32_t>(a.buffered.velocity));
            break;
        case Opcode::SetAcceleration:
            a.buffered.acceleration = Join(data);
            break;
        case Opcode::GetAcceleration:
            Put32(r, a.buffered.acceleration);
            break;
        case Opcode::SetDeceleration:
            a.buffered.deceleration = Join(data);
            break;
        case Opcode::GetDeceleration:
            Put32(r, a.buffered.deceleration);
            break;
        case Opcode::SetJerk:
            a.buffered.jerk = Join(data);
            break;
        case Opcode::GetJerk:
            Put32(r, a.buffered.jerk);
            break;
        case Opcode::SetStartVelocity:
            a.buffered.startVelocity = Join(data);
            break;
        case Opcode::GetStartVelocity:
            Put32(r, a.buffered.startVelocity);
            break;
        case Opcode::SetStopMode:
            a.bufferedStopMode = d0;
            break;
        case Opcode::GetStopMode:
            r.reply[0] = a.bufferedStopMode;
            break;
        case Opcode::GetCommandedPosition:
        case Opcode::GetActualPosition:
            Put32(r, static_cast<std::uint32_t>(a.CommandedSteps()));
            break;
        case Opcode::GetCommandedVelocity:
        case Opcode::GetActualVelocity:
            Put32(r, static_cast<std::uint32_t>(static_cast<std::int32_t>(a.velocity)));
            break;
        case Opcode::GetEventStatus:
            r.reply[0] = a.events;
            break;
        case Opcode::ResetEventStatus:
            a.events &= d0;
            break;
        case Opcode::GetActivityStatus:
            r.reply[0] = a.moving ? kActivityInMotion : 0;
            break;
        case Opcode::SetSignalSense:
            a.signalSense = d0;
            break;
        case Opcode::GetSignalSense:
            r.reply[0] = a.signalSense;
            break;
        case Opcode::GetSignalStatus:
            r.reply[0] = SignalStatus(a);
            break;
        default: {
            const char* name = cmotion::GetOpcodeName(opcode);
            if (std::strncmp(name, "Set", 3) == 0) {
                a.remembered[RememberKey(opcode, d0)].assign(data, data + dataWords);
            } else if (const std::uint8_t setter = CounterpartTable().setterOf[opcode]) {
                auto it = a.remembered.find(RememberKey(setter, d0));
                if (it != a.remembered.end()) {
                    const std::size_t skip = HasSelector(setter) ? 1 : 0;
                    for (std::size_t i = 0; i < replyWords && skip + i < it->second.size(); ++i) {
                        r.reply[i] = it->second[skip + i];
                    }
                }
            }
            break;
        }
    }
    return r;
}

}  // namespace sim
