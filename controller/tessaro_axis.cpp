#include "controller/tessaro_axis.h"

#include <algorithm>
#include <cmath>

#include "cmotion/link_commands.h"
#include "controller/controller_clock.h"
#include "controller/line_retry.h"
#include "controller/tessaro_controller.h"
#include "controller/unit_conversion.h"

namespace tessaro {
namespace {

using namespace cmotion;

// Runs the steps in order until one fails; the first error, or 0.
template <typename... Steps>
std::uint16_t Sequence(Steps... steps) {
    std::uint16_t code = kLinkOk;
    ((code == kLinkOk ? (code = steps(), 0) : 0), ...);
    return code;
}

}  // namespace

CTessaroAxis::CTessaroAxis(const CLinkAxisHandle& board, std::uint16_t axis,
                           CTessaroController* controller)
    : m_pController(controller) {
    if (!m_pController) {
        m_handle = board;
        m_handle.m_uAxis = axis;
        return;
    }
    CKxMutexLock lock(m_pController->m_lock);
    CopyAxisHandle(board, &m_handle, axis);
}

AxisControllerLock::AxisControllerLock(const CTessaroAxis& axis) {
    if (!axis.m_pController) return;
    m_pMutex = &axis.m_pController->m_lock;
    pthread_mutexCS_lock(m_pMutex);
}

AxisControllerLock::~AxisControllerLock() {
    if (m_pMutex) pthread_mutexCS_unlock(m_pMutex);
}

bool CTessaroAxis::Closing() const {
    return m_pController && m_pController->IsClosing();
}

bool CTessaroAxis::CommandsRefused() const {
    return m_pController && m_pController->RefusesCommands();
}

std::uint8_t CTessaroAxis::PositionDoubtNow() {
    if (!positionTrusted) return kDoubtFlagged;
    if (!m_pController) return kNoDoubt;
    if (Closing()) return doubtAtClose;
    // The count of this moment either way: a save writes the latest place.
    bool moving = false;
    if (ReadMotionState(&moving) != kLinkOk) return kDoubtLineLost;
    return moving ? kDoubtMoving : kNoDoubt;
}

std::uint16_t CTessaroAxis::WaitForRest(double ms, bool* moving) {
    const double t0 = KX_GetTimeCounter();
    for (;;) {
        std::uint16_t activity = 0;
        const std::uint16_t code = GetActivityStatus(&activity);
        if (code != kLinkOk) return code;
        *moving = (activity & kActivityInMotion) != 0;
        if (!*moving || KX_GetTimeCounter() - t0 > ms) return kLinkOk;
        SleepHostMs(10);
    }
}

std::uint16_t CTessaroAxis::ReadMotionState(bool* moving) {
    AxisControllerLock lock(*this);
    std::uint16_t activity = 0;
    bool changed = false;
    std::uint16_t code = GetActivityStatus(&activity);
    if (code == kLinkOk) code = RefreshPosition(&changed);
    *moving = (activity & kActivityInMotion) != 0;
    return code;
}

template <typename Command>
std::uint16_t CTessaroAxis::Locked(Command command) {
    if (!m_pController) return kLinkInvalidAxis;
    if (CommandsRefused()) return kLinkNotConnected;
    CKxMutexLock lock(m_pController->m_lock);
    return command();
}

std::uint16_t CTessaroAxis::GetPhaseCounts() const {
    return static_cast<std::uint16_t>(microsteps * 4u);
}

std::uint32_t CTessaroAxis::GetStepsPerRevolution() const {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(GetPhaseCounts()) * poleCount / 4);
}

double CTessaroAxis::GetStepsPerRevolutionF() const {
    return static_cast<double>(static_cast<std::uint64_t>(GetPhaseCounts()) * poleCount) * 0.25;
}

double CTessaroAxis::GetCyclesPerSecond() const {
    return 1000000.0 / m_uSampleTime_us;
}

double CTessaroAxis::GetUnitsPerStep() const {
    return 1.0 /
           (static_cast<double>(static_cast<std::uint64_t>(GetPhaseCounts()) * poleCount) * 0.25) *
           calibration_umPerRevolution;
}

double CTessaroAxis::GetStepsPerUnit() const {
    return static_cast<double>(static_cast<std::uint64_t>(GetPhaseCounts()) * poleCount) *
           (1.0 / calibration_umPerRevolution) * 0.25;
}

std::int64_t CTessaroAxis::VelocityToCounts(double revolutionsPerSecond) const {
    // With no sample time known yet the cycle rate is infinite and every speed
    // is 0 counts; the division by the float cycle rate stays defined.
    return TruncToInt64(GetStepsPerRevolutionF() / GetCyclesPerSecond() * revolutionsPerSecond *
                        65536.0);
}

// The acceleration divides by the float cycle rate, the deceleration by the
// integer quotient 1000000 / sample time (0 when no sample time is known:
// the float division then gives infinity, saturated).
std::int64_t CTessaroAxis::AccelerationRegister(double revolutionsPerSecond2) const {
    return TruncToInt64(GetStepsPerRevolutionF() / GetCyclesPerSecond() * revolutionsPerSecond2 *
                        65536.0);
}

std::int64_t CTessaroAxis::DecelerationRegister(double revolutionsPerSecond2) const {
    const std::uint32_t c = m_uSampleTime_us ? 1000000u / m_uSampleTime_us : 0u;
    return TruncToInt64(static_cast<double>(GetStepsPerRevolution()) / static_cast<double>(c) *
                        revolutionsPerSecond2 * 65536.0);
}

std::uint32_t CTessaroAxis::RateSent(std::int64_t reg) {
    return Low32(TruncToInt64(static_cast<double>(Low32(reg)) * 0.01));
}

double CTessaroAxis::MoveSeconds(double steps, double revolutionsPerSecond) const {
    // In processor cycles, with its units: a trapezoid, or a triangle when
    // the distance is too short to reach the speed. A rate of 0 falls back
    // to the other one, and both 0 to the smallest step, as the processor
    // does.
    const double v =
        std::abs(static_cast<double>(Saturate32(VelocityToCounts(revolutionsPerSecond)))) / 65536.0;
    double up = RateSent(AccelerationRegister(acceleration_revolutionPerSecond2));
    double down = RateSent(DecelerationRegister(deceleration_revolutionPerSecond2));
    if (up == 0.0) up = down;
    if (down == 0.0) down = up;
    if (up == 0.0) up = down = 1.0;
    up /= 65536.0;
    down /= 65536.0;
    const double d = std::abs(steps);
    if (d == 0.0) return 0.0;
    if (!(v > 0.0) || m_uSampleTime_us == 0) return HUGE_VAL;
    const double ramps = v * v / 2.0 * (1.0 / up + 1.0 / down);
    double cycles;
    if (d >= ramps) {
        cycles = d / v + v / (2.0 * up) + v / (2.0 * down);
    } else {
        const double peak = std::sqrt(2.0 * d / (1.0 / up + 1.0 / down));
        cycles = peak / up + peak / down;
    }
    return cycles / GetCyclesPerSecond();
}

namespace {
// The micrometres of a count difference; 0 rather than a non-number when
// the parameters leave no step size (they are kept from that, but a
// position shown as "nan" would tell the user nothing).
double Micrometres(double unitsPerStep, std::int64_t steps) {
    const double um = unitsPerStep * static_cast<double>(steps);
    return std::isfinite(um) ? um : 0.0;
}
}  // namespace

// 64-bit differences: the limits of the whole travel lie up to 2^32 - 1
// steps from the zero point, which 32 bits would wrap around.
double CTessaroAxis::GetPosition() const {
    return Micrometres(GetUnitsPerStep(), WrapSub(currentPos_step, zeroPos_step));
}
double CTessaroAxis::GetUpperLimit() const {
    return Micrometres(GetUnitsPerStep(),
                       static_cast<std::int64_t>(maxPos_step) - zeroPos_step.load());
}
double CTessaroAxis::GetLowerLimit() const {
    return Micrometres(GetUnitsPerStep(),
                       static_cast<std::int64_t>(minPos_step) - zeroPos_step.load());
}

namespace {
// The count of a limit `steps` from the zero point, saturated, not wrapped:
// a limit beyond the count range stays at its end instead of coming out on
// the other side (where it would cross the other limit). The steps are
// bounded first (2^33 lies beyond any count difference), so that the sum
// cannot overflow.
std::int32_t LimitCount(double steps, std::int32_t zero) {
    constexpr std::int64_t kBound = std::int64_t{1} << 33;
    return Saturate32(std::clamp(TruncToInt64(steps), -kBound, kBound) + zero);
}
}  // namespace

std::int32_t CTessaroAxis::SetUpperLimit(double um) {
    maxPos_step = LimitCount(GetStepsPerUnit() * um, zeroPos_step);
    return maxPos_step;
}

std::int32_t CTessaroAxis::SetLowerLimit(double um) {
    minPos_step = LimitCount(GetStepsPerUnit() * um, zeroPos_step);
    lowerLimitAtSwitch = false;
    return minPos_step;
}

void CTessaroAxis::SetFlip(std::int8_t flip) {
    if (flip == axisFlip) return;
    // Under the controller lock (recursive), so that no position read
    // stores a count with the old direction after the new one was set.
    AxisControllerLock lock(*this);
    constexpr std::int32_t kLowest = -2147483647 - 1, kHighest = 2147483647;
    const std::int32_t low = minPos_step, high = maxPos_step;
    const auto negated = [](std::int32_t v) { return Saturate32(-static_cast<std::int64_t>(v)); };
    zeroPos_step = negated(zeroPos_step);
    currentPos_step = negated(currentPos_step);
    minPos_step = high == kHighest ? kLowest : negated(high);
    maxPos_step = low == kLowest ? kHighest : negated(low);
    lowerLimitAtSwitch = false;  // the lower limit is the old upper one now
    axisFlip = flip;
}

std::int32_t CTessaroAxis::ShiftZero(double um) {
    const std::int32_t steps = TruncToInt32(GetStepsPerUnit() * um);
    zeroPos_step = WrapAdd(zeroPos_step, steps);
    return steps;
}

bool CTessaroAxis::Initialize() {
    if (!m_pController) return false;
    CKxMutexLock lock(m_pController->m_lock);
    // An axis whose state could not be adopted is not set up: its Update
    // might start what the board holds.
    std::uint16_t code = AdoptBoardState();
    if (code == kLinkOk) code = SetUpProcessor();
    // The zero point is the count as the processor reports it (no axisFlip).
    std::int32_t count = 0;
    if (GetCommandedPosition(&m_handle, &count) == kLinkOk) {
        zeroPos_step = count;
        boardCount_step = count;
        currentPos_step = WrapMul(axisFlip, count);
    }
    return code == kLinkOk;
}

std::uint16_t CTessaroAxis::AdoptBoardState() {
    if (!m_pController) return kLinkInvalidAxis;
    CKxMutexLock lock(m_pController->m_lock);
    CLinkAxisHandle* h = &m_handle;
    std::uint16_t mode = 0;
    const LinkError probe = GetOperatingMode(h, &mode);
    // A line that does not answer cannot be adopted; a refusal is an answer
    // that tells nothing, so the axis is taken as set up before.
    if (IsLineFailure(probe) || probe == kLineLost) return probe;
    freshAtConnect = probe == kLinkOk && mode != kOperatingMode;
    movedSinceConnect = false;
    resetUnderSession = false;
    if (freshAtConnect) return kLinkOk;
    return Neutralise();
}

std::uint16_t CTessaroAxis::Neutralise() {
    if (!m_pController) return kLinkInvalidAxis;
    CKxMutexLock lock(m_pController->m_lock);
    CLinkAxisHandle* h = &m_handle;
    std::uint16_t activity = 0;
    LinkError code = cmotion::GetActivityStatus(h, &activity);
    if (code == kLinkOk && (activity & kActivityInMotion) != 0) {
        bool moving = true;
        code = Sequence([&] { return SetStopMode(h, kStopSmoothly); },
                        [&] { return FoldMoveIntoLimit(cmotion::Update(h)); },
                        [&] { return WaitForRest(kRestSmoothMs, &moving); });
        if (code == kLinkOk && moving)
            code = Sequence([&] { return SetStopMode(h, kStopAtOnce); },
                            [&] { return FoldMoveIntoLimit(cmotion::Update(h)); },
                            [&] { return WaitForRest(kRestAtOnceMs, &moving); });
    }
    // Velocity mode at speed 0: whatever the next Update finds buffered
    // starts nothing, also on an axis that rests on an active switch (a
    // destination of its whole count would ask for the fraction of a step
    // that lies beyond, into the switch, and be refused).
    return Sequence([&] { return code; },
                    [&] { return cmotion::SetProfileMode(h, kProfileVelocity); },
                    [&] { return SetVelocity(h, 0); }, [&] { return ResetEventStatus(h, 0); });
}

std::uint16_t CTessaroAxis::SetUpProcessor() {
    if (!m_pController) return kLinkInvalidAxis;
    CKxMutexLock lock(m_pController->m_lock);
    CLinkAxisHandle* h = &m_handle;
    const std::uint16_t code = Sequence(
        [&] { return SetPWMFrequency(h, 5000); },
        [&] { return GetSampleTime(h, &m_uSampleTime_us); }, [&] { return SetMotorType(h, 3); },
        [&] { return SetOutputMode(h, 1); }, [&] { return SetOperatingMode(h, kOperatingMode); },
        [&] { return SetPhaseCounts(h, GetPhaseCounts()); },
        [&] { return SetActualPositionUnits(h, 1); }, [&] { return SetEventAction(h, 1, 2); },
        [&] { return SetEventAction(h, 2, 2); }, [&] { return SetEventAction(h, 3, 2); },
        [&] { return cmotion::Update(h); });
    m_uProfileMode = kProfileModeUnknown;
    return code;
}

std::uint16_t CTessaroAxis::ApplySettings() {
    if (!m_pController) return kLinkOk;
    if (CommandsRefused()) return kLinkNotConnected;
    CKxMutexLock lock(m_pController->m_lock);
    CLinkAxisHandle* h = &m_handle;
    const std::uint32_t sampleTime = m_uSampleTime_us;
    const std::uint32_t a = RateSent(AccelerationRegister(acceleration_revolutionPerSecond2));
    const std::uint32_t d = RateSent(DecelerationRegister(deceleration_revolutionPerSecond2));
    std::uint16_t sense = 0;
    return Sequence(
        [&] { return SetMotorCommand(h, Low16(TruncToInt64(current_percent * 32768.0 / 100.0))); },
        [&] {
            return SetHoldingCurrent(h, 0,
                                     Low16(TruncToInt64(holdingCurrent_percent * 32768.0 / 100.0)));
        },
        [&] {
            return SetHoldingCurrent(h, 1,
                                     Low16(TruncToInt64(1000.0 / sampleTime * holdingDelay_ms)));
        },
        [&] { return SetPhaseCounts(h, GetPhaseCounts()); },
        [&] { return SetJerk(h, Low32(TruncToInt64(jerk_revolutionPerSecond3 * 4294967296.0))); },
        // The destination is where the axis stands (its last read count,
        // 0 on a board just reset): an Update of the next move's profile
        // mode must not start the axis toward count 0 before that move's
        // own target arrives.
        [&] { return SetStartVelocity(h, 0); }, [&] { return SetPosition(h, boardCount_step); },
        [&] { return SetAcceleration(h, a); }, [&] { return SetDeceleration(h, d); },
        [&] { return SetStopMode(h, m_uStopMode); }, [&] { return GetSignalSense(h, &sense); },
        [&] {
            sense = positiveLimitSwitches ? static_cast<std::uint16_t>(sense & ~kSignalLimitInputs)
                                          : static_cast<std::uint16_t>(sense | kSignalLimitInputs);
            return SetSignalSense(h, sense);
        },
        [&] { return ResetEventStatus(h, 0); }, [&] { return cmotion::Update(h); });
}

std::uint16_t CTessaroAxis::RefreshPosition(bool* changed) {
    if (!m_pController) return kLinkOk;
    if (CommandsRefused()) return kLinkNotConnected;
    CKxMutexLock lock(m_pController->m_lock);
    const std::int32_t before = currentPos_step;
    std::int32_t raw = 0;
    const std::uint16_t code = GetCommandedPosition(&m_handle, &raw);
    if (code != kLinkOk) return code;
    boardCount_step = raw;
    currentPos_step = WrapMul(axisFlip, raw);
    if (changed) *changed = currentPos_step != before;
    return kLinkOk;
}

std::uint16_t CTessaroAxis::SetProfileMode(std::uint16_t mode) {
    if (!m_pController) return kLinkInvalidAxis;
    if (CommandsRefused()) return kLinkNotConnected;
    CKxMutexLock lock(m_pController->m_lock);
    if (m_uProfileMode == mode) return kLinkOk;
    if (mode != kProfileVelocity && mode != kProfilePositioning) {
        m_uProfileMode = mode;
        return kLinkOk;
    }
    // The mode is only buffered: the Update of the operation that asked
    // for it applies it together with that operation's own target and
    // speed. An Update of its own here would start whatever the buffer
    // still holds from before (the last move's target at a jog's speed, or
    // a velocity move at the last positioning speed) and move the axis
    // where nobody asked; a move to a stale target that ends just after the
    // next event reset leaves a "motion complete" that ends the new move's
    // wait while the axis still runs.
    const std::uint16_t code = cmotion::SetProfileMode(&m_handle, mode);
    if (code == kLinkOk) m_uProfileMode = mode;
    return code;
}

std::uint16_t CTessaroAxis::Stop() {
    return Locked([&] { return SetStopMode(&m_handle, m_uStopMode); });
}

std::uint16_t CTessaroAxis::Update() {
    movedSinceConnect = true;
    return Locked([&] { return FoldMoveIntoLimit(cmotion::Update(&m_handle)); });
}

std::uint16_t CTessaroAxis::SetDestination(std::int32_t steps) {
    return Locked([&] { return SetPosition(&m_handle, steps); });
}

std::uint16_t CTessaroAxis::SetVelocityCounts(std::int32_t counts) {
    return Locked([&] { return SetVelocity(&m_handle, counts); });
}

std::uint16_t CTessaroAxis::SetVelocityFromSpeed() {
    return Locked([&] {
        return SetVelocity(&m_handle, Saturate32(VelocityToCounts(speed_revolutionPerSecond)));
    });
}

std::uint16_t CTessaroAxis::ResetEvents(std::uint16_t mask) {
    return Locked([&] { return FoldMoveIntoLimit(ResetEventStatus(&m_handle, mask)); });
}

std::uint16_t CTessaroAxis::MultiUpdate(std::uint16_t axisMask) {
    if (m_pController)
        for (CTessaroAxis* axis : m_pController->m_axes)
            if (axisMask & (1u << axis->axisNumber())) axis->movedSinceConnect = true;
    return Locked(
        [&] { return FoldMoveIntoLimit(cmotion::MultiUpdate(&m_pController->m_board, axisMask)); });
}

std::uint16_t CTessaroAxis::GetActivityStatus(std::uint16_t* status) {
    return Locked([&] { return cmotion::GetActivityStatus(&m_handle, status); });
}

std::uint16_t CTessaroAxis::GetEventStatus(std::uint16_t* status) {
    return Locked([&] { return cmotion::GetEventStatus(&m_handle, status); });
}

std::uint16_t CTessaroAxis::GetSignalStatus(std::uint16_t* status) {
    return Locked([&] { return cmotion::GetSignalStatus(&m_handle, status); });
}

std::uint16_t CTessaroAxis::ReadCommandedPosition(std::int32_t* position) {
    return Locked([&] {
        const std::uint16_t code = GetCommandedPosition(&m_handle, position);
        if (code == kLinkOk) boardCount_step = *position;
        return code;
    });
}

std::uint16_t CTessaroAxis::StartLimitApproach(std::int8_t direction, const std::atomic<bool>* stop,
                                               std::uint16_t stopped) {
    if (!m_pController) return kLinkInvalidAxis;
    // The controller lock is held throughout, across the retry sleeps too.
    CKxMutexLock lock(m_pController->m_lock);
    movedSinceConnect = true;
    const double t0 = KX_GetTimeCounter();
    for (;;) {
        if (CommandsRefused()) return kLinkNotConnected;
        const std::int32_t counts =
            SignedCount(VelocityToCounts(speed_revolutionPerSecond), axisFlip, direction);
        const std::uint16_t code = Sequence([&] { return SetProfileMode(kProfileVelocity); },
                                            [&] { return SetVelocity(&m_handle, counts); },
                                            [&] { return ResetEventStatus(&m_handle, 0); },
                                            [&] { return cmotion::Update(&m_handle); });
        if (code == kLinkOk || code == kLinkMoveIntoLimit) return kLinkOk;
        if (code != kLinkMoveWithLimitPending) return code;
        if (stop && stop->load(std::memory_order_acquire)) return stopped;
        SleepHostMs(50);
        if (KX_GetTimeCounter() - t0 > 60000.0) return kLinkOk;
    }
}

}  // namespace tessaro
