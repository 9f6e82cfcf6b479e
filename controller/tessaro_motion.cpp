#include "controller/tessaro_motion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cmotion/link_errors.h"
#include "controller/controller_clock.h"
#include "controller/line_retry.h"
#include "controller/motion_report.h"
#include "controller/parameter_ranges.h"
#include "controller/position_trust.h"
#include "controller/unit_conversion.h"

namespace tessaro {
namespace {

using cmotion::kLinkMoveIntoLimit;
using cmotion::kLinkOk;

bool TimedOut(double t0, double limitMs) {
    return KX_GetTimeCounter() - t0 > limitMs;
}

// Starts a velocity move at `v` rev/s on one axis with its events reset by
// `mask` (no Update yet); the first error, or 0.
std::uint16_t PrepareVelocity(CTessaroAxis& axis, double v, std::uint16_t mask) {
    std::uint16_t err = axis.SetProfileMode(kProfileVelocity);
    if (err == kLinkOk)
        err = axis.SetVelocityCounts(SignedCount(axis.VelocityToCounts(v), axis.axisFlip));
    if (err == kLinkOk) err = axis.ResetEvents(mask);
    return err;
}

// The rotary angle of a count, before and after wrapping into 0..360.
double RawAngle(const CTessaroAxis& axis) {
    return WrapAdd(axis.currentPos_step, axis.zeroPos_step) * 360.0 / axis.GetStepsPerRevolution();
}

// Into 0 up to (not including) 360: one angle has one reading, so that an
// absolute move to the angle shown moves nothing.
double WrapAngle(double a) {
    // Without steps per revolution there is no angle; 0 rather than a
    // non-number.
    if (!std::isfinite(a)) return 0.0;
    a = std::fmod(a, 360.0);
    if (a < 0.0) a += 360.0;
    // A hair below 0 comes out as 360 after the addition.
    if (a >= 360.0) a = 0.0;
    return a + 0.0;  // no negative zero
}

}  // namespace

// ---------------------------------------------------------------- shared --

double WaitBoundMs(double seconds) {
    const double ms = (seconds * 1.5 + 5.0) * 1000.0;
    return std::isfinite(ms) ? std::max(ms, kWaitLimitMs) : kWaitLimitMs;
}

StepAim AimAt(double exact, bool nearest) {
    if (!(exact >= -2147483648.0 && exact <= 2147483647.0)) return {false, 0, exact};
    const double whole = std::round(exact);
    const double cut = nearest || std::abs(exact - whole) < 1e-6 ? whole : std::trunc(exact);
    if (!(cut >= -2147483648.0 && cut <= 2147483647.0)) return {false, 0, exact};
    return {true, static_cast<std::int32_t>(cut), exact};
}

StepAim LinearAim(const CTessaroAxis& axis, double target, bool relative,
                  const RelativeCarry& carry) {
    const double k = axis.GetStepsPerUnit();
    if (relative) return AimAt(carry.From(axis.currentPos_step) + k * target, true);
    // Absolute: the steps from the zero point cut first, then the zero
    // point added (a whole count).
    const StepAim fromZero = AimAt(k * target);
    if (!fromZero.ok) return fromZero;
    return AimAt(static_cast<double>(fromZero.count) + axis.zeroPos_step);
}

CTessaroMotion::CTessaroMotion(const CTessaroAxis* axis) : m_pAnyAxis(axis) {
    pthread_mutexCS_init(&m_lock);
    std::memset(&m_record, 0, sizeof m_record);
}

CTessaroMotion::~CTessaroMotion() {
    pthread_mutexCS_destroy(&m_lock);
}

CTessaroMotion::StoppableScope::StoppableScope(CTessaroMotion& motion) : m_motion(motion) {
    m_motion.m_bStopRequested.store(false, std::memory_order_release);
    m_motion.m_bStoppable.store(true, std::memory_order_release);
}

CTessaroMotion::StoppableScope::~StoppableScope() {
    m_motion.m_bStoppable.store(false, std::memory_order_release);
    m_motion.m_bStopRequested.store(false, std::memory_order_release);
}

bool CTessaroMotion::RequestStop() {
    if (!m_bStoppable.load(std::memory_order_acquire)) return false;
    m_bStopRequested.store(true, std::memory_order_release);
    return true;
}

void CTessaroMotion::Publish(double position, double second) {
    m_record.uKind = 1;
    m_record.uDeviceId = m_uDeviceId;
    std::memset(m_record.validity, 0, sizeof m_record.validity);
    const std::uint32_t one = 1;
    std::memcpy(m_record.validity, &one, sizeof one);
    m_record.dPosition[0] = position;
    m_record.dPosition[1] = second;
    // Once a disconnect has begun the host is told nothing more: it may be
    // tearing down what the callback reaches.
    if (m_pAnyAxis && m_pAnyAxis->Closing()) return;
    if (m_pfnPositionCallback) m_pfnPositionCallback(1, &m_record, m_pCallbackContext);
}

void CTessaroMotion::NoteInterruption() {
    m_uInterruptions.fetch_add(1);
    for (RelativeCarry& carry : m_carry) carry.Forget();
}

void CTessaroMotion::BeginMove(double seconds) {
    m_dWaitLimitMs = WaitBoundMs(seconds);
    m_uInterruptionsAtStart.store(m_uInterruptions.load());
}

void CTessaroMotion::StopAndRest(const std::vector<CTessaroAxis*>& axes, bool stopFirst) {
    if (stopFirst) {
        for (CTessaroAxis* axis : axes) {
            axis->Stop();
            axis->Update();
        }
    }
    // A smooth stop that has not come to rest in its time is made at once.
    for (CTessaroAxis* axis : axes) {
        bool moving = false;
        if (axis->WaitForRest(kRestSmoothMs, &moving) != kLinkOk || !moving) continue;
        const std::uint16_t mode = axis->m_uStopMode;
        axis->m_uStopMode = kStopAtOnce;
        axis->Stop();
        axis->Update();
        axis->m_uStopMode = mode;
        axis->WaitForRest(kRestAtOnceMs, &moving);
    }
}

std::uint16_t CTessaroMotion::FinishMove(
    const char* drive, std::uint16_t err,
    std::initializer_list<std::pair<CTessaroAxis*, std::int32_t>> ends,
    const std::function<std::uint16_t()>& updatePosition, bool readDecides) {
    const bool stopped = err == kStoppedByHost || (err == kLinkOk && Interrupted());
    const bool ranOut = !stopped && err == kLinkOk && m_bWaitRanOut;
    if (stopped || ranOut) {
        // Nothing is answered while a motor still turns: the axes come to
        // rest (a move that ran past its bound is stopped here) and the
        // position read is where they stay.
        std::vector<CTessaroAxis*> axes;
        bool arrived = true;
        for (const auto& end : ends) axes.push_back(end.first);
        StopAndRest(axes, ranOut);
        const std::uint16_t read = updatePosition();
        for (const auto& [axis, target] : ends) {
            const std::int64_t off = static_cast<std::int64_t>(axis->currentPos_step) - target;
            arrived = arrived && read == kLinkOk && off >= -1 && off <= 1;
        }
        // A stop that came once the move had got there leaves a move that
        // did what was asked.
        if (stopped && arrived) return kLinkOk;
        if (stopped) {
            ReportMotionEnding(drive, "move stopped before its target");
            return kStoppedByHost;
        }
        char text[120];
        std::snprintf(text, sizeof text,
                      "did not reach its target within %.0f s (its predicted time with a margin); "
                      "stopped there",
                      m_dWaitLimitMs.load() / 1000.0);
        ReportMotionEnding(drive, text);
        return kMoveTimedOut;
    }
    if (err == kLinkOk) {
        const std::uint16_t read = updatePosition();
        if (read == kLinkOk) ReportMoveEnding(drive, ends);
        if (readDecides) err = read;
    }
    ReportFailure(drive, "move", err);
    return err;
}

void CTessaroMotion::ReportMoveEnding(
    const char* drive, std::initializer_list<std::pair<CTessaroAxis*, std::int32_t>> ends) {
    if (m_uEndEvents & (kEventPositiveLimit | kEventNegativeLimit)) {
        ReportMotionEnding(drive, "stopped at a limit switch");
    }
    for (const auto& [axis, target] : ends) {
        if (!axis) continue;
        const std::int64_t off = static_cast<std::int64_t>(axis->currentPos_step) - target;
        if (off > 1 || off < -1) {
            const char* name = ends.size() > 1 ? (axis == ends.begin()->first ? "X " : "Y ") : "";
            // snprintf rather than std::to_string: the latter's 64-bit digit
            // table is a unique symbol, which would keep the module from ever
            // being unloaded.
            char text[80];
            std::snprintf(text, sizeof text, "%sended %lld steps from its target", name,
                          static_cast<long long>(off < 0 ? -off : off));
            ReportMotionEnding(drive, text);
        }
    }
}

bool CTessaroMotion::ReportFailure(const char* drive, const char* operation, std::uint16_t err) {
    if (err == kLinkOk) return true;
    // Refusals, stops and time-outs were told when they were made.
    if (err == kPositionUntrusted || err == kSpeedRefused || err == kTargetRefused ||
        err == kStoppedByHost || err == kMoveTimedOut)
        return false;
    char text[160];
    // The line's loss named its port when it happened.
    if (err == kLineLost) {
        std::snprintf(text, sizeof text,
                      "%s failed: the line to the board is lost; it is used again once it is back",
                      operation);
        ReportMotionEnding(drive, text);
        return false;
    }
    std::snprintf(text, sizeof text, "%s failed: %s (error %u)", operation,
                  cmotion::GetErrorText(err), static_cast<unsigned>(err));
    ReportMotionEnding(drive, text);
    return false;
}

bool CTessaroMotion::SpeedsUsable(const char* drive,
                                  std::initializer_list<const CTessaroAxis*> axes) {
    for (const CTessaroAxis* axis : axes) {
        // A speed the processor would get as 0 counts never arrives; one
        // beyond the dialogs' maximum is no speed a stage is built for.
        const double speed = axis->speed_revolutionPerSecond;
        if (!(speed <= kTopSpeed) || axis->VelocityToCounts(speed) < 1) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "refused a move: its speed %g rev/s lies outside %.3g to %g rev/s", speed,
                          SlowestSpeed(*axis), kTopSpeed);
            ReportMotionEnding(drive, text);
            return false;
        }
    }
    return true;
}

double CTessaroMotion::JogScale(const char* drive,
                                std::initializer_list<std::pair<const CTessaroAxis*, double>> jog) {
    double scale = 1.0, asked = 0.0, ceiling = 0.0;
    for (const auto& [axis, v] : jog) {
        const double top = axis->maxJoystickSpeed_revolutionPerSecond;
        if (std::abs(v) > top && top / std::abs(v) < scale) {
            scale = top / std::abs(v);
            asked = v;
            ceiling = top;
        }
    }
    // Told once for each ceiling (again when it changes).
    if (scale < 1.0 && m_dCeilingTold.exchange(ceiling) != ceiling) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "velocity move of %g rev/s runs at the maximum joystick speed, %g rev/s",
                      asked, ceiling);
        ReportMotionEnding(drive, text);
    }
    return scale;
}

bool CTessaroMotion::JogUsable(const char* drive, const CTessaroAxis& axis, double v) {
    if (v == 0.0 || axis.VelocityToCounts(std::abs(v)) >= 1) return true;
    char text[160];
    std::snprintf(text, sizeof text,
                  "refused a velocity move: %g rev/s lies outside %.3g to %g rev/s either way "
                  "(slower, the processor would stop the axis)",
                  v, SlowestSpeed(axis),
                  static_cast<double>(axis.maxJoystickSpeed_revolutionPerSecond));
    ReportMotionEnding(drive, text);
    return false;
}

std::uint16_t CTessaroMotion::RefuseTarget(const char* drive, const CTessaroAxis& axis,
                                           double target) {
    const double perStep = axis.GetUnitsPerStep();
    const double low = (-2147483648.0 - axis.zeroPos_step) * perStep;
    const double high = (2147483647.0 - axis.zeroPos_step) * perStep;
    char text[200];
    std::snprintf(text, sizeof text,
                  "refused a move: its target %g um lies outside %.6g to %.6g um, the reach of "
                  "the step count",
                  target, std::min(low, high), std::max(low, high));
    ReportMotionEnding(drive, text);
    return kTargetRefused;
}

void CTessaroMotion::SetLinearDefaults(CTessaroAxis& a) {
    a.calibration_umPerRevolution = 1000.0;
    a.speed_revolutionPerSecond = 10.0;
    a.maxJoystickSpeed_revolutionPerSecond = 10.0;
    a.acceleration_revolutionPerSecond2 = 4.5;
    a.deceleration_revolutionPerSecond2 = 4.5;
    a.jerk_revolutionPerSecond3 = 0.1;
    a.current_percent = 80.0;
    a.holdingCurrent_percent = 15.0;
    a.holdingDelay_ms = 2.0;
    a.positiveLimitSwitches = true;
    // Through SetFlip: the zero point that the set-up took from the board's
    // count stays where the stage stands (written as is, it would sit
    // mirrored about count 0 on a board that was not reset).
    a.SetFlip(-1);
    a.m_uStopMode = 2;
}

// ----------------------------------------------------------- single axis --

std::uint16_t CTessaroSingleAxisMotion::UpdatePosition() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    bool changed = false;
    std::uint16_t err = m_pAxis->RefreshPosition(&changed);
    if (err == kLinkOk && changed && !NotifyPosition()) err = kNotifyFailed;
    return err;
}

std::uint16_t CTessaroSingleAxisMotion::SendPositioningMove(const StepAim& aim, bool relative) {
    CTessaroAxis& a = *m_pAxis;
    m_iTarget = aim.count;
    BeginMove(a.MoveSeconds(static_cast<double>(WrapSub(aim.count, a.currentPos_step)),
                            a.speed_revolutionPerSecond));
    std::uint16_t err = a.SetDestination(SignedCount(aim.count, a.axisFlip));
    if (err == kLinkOk) err = a.SetVelocityFromSpeed();
    if (err == kLinkOk) err = a.ResetEvents(kMaskBeforePositioning);
    if (err == kLinkOk) err = a.Update();
    // The next relative move goes on from the exact position asked for, as
    // long as the axis arrives there; an absolute move ends any carry.
    if (relative && FoldMoveIntoLimit(err) == kLinkOk)
        m_carry[0].Sent(aim.count, aim.exact);
    else
        m_carry[0].Forget();
    return err;
}

// --------------------------------------------------------------------- Z --

// The constructors apply the defaults without taking the new object's own
// lock: no other thread can know it yet, and the controller builds motion
// objects while it holds its own lock (taking the motion lock there would be
// the one place with the lock order reversed).
CTessaroZMotion::CTessaroZMotion(CTessaroAxis* axis) : CTessaroSingleAxisMotion(axis) {
    ApplyDefaults();
    if (m_pAxis) m_pAxis->ApplySettings();
}

void CTessaroZMotion::ApplyDefaults() {
    if (m_pAxis) SetLinearDefaults(*m_pAxis);
}

std::uint16_t CTessaroZMotion::SetDefaults() {
    CKxMutexLock lock(m_lock);
    ApplyDefaults();
    return kLinkOk;
}

std::uint16_t CTessaroZMotion::StartMove(double target, bool relative) {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    CTessaroAxis& a = *m_pAxis;
    // The trust check and the start in one piece under the controller lock:
    // a line's return flags the positions under that lock, so an absolute
    // move either went out before or meets the flag.
    AxisControllerLock controllerLock(a);
    if (!relative && !TrustedForAbsoluteMove("Z", {&a})) return kPositionUntrusted;
    if (!SpeedsUsable("Z", {&a})) return kSpeedRefused;
    const StepAim aim = LinearAim(a, target, relative, m_carry[0]);
    if (!aim.ok) return RefuseTarget("Z", a, relative ? a.GetPosition() + target : target);
    std::uint16_t err = a.SetProfileMode(kProfilePositioning);
    if (err == kLinkOk) err = SendPositioningMove(aim, relative);
    return FoldMoveIntoLimit(err);
}

bool CTessaroZMotion::Move(double target, bool relative) {
    return ReportFailure("Z", "move", StartMove(target, relative));
}

std::uint16_t CTessaroSingleAxisMotion::WaitForEvent(std::uint16_t mask) {
    const double t0 = KX_GetTimeCounter();
    {
        CKxMutexLock lock(m_lock);
        if (!m_pAxis) return kLinkOk;
        m_uEndEvents = 0;
        m_bWaitRanOut = false;
        m_pAxis->ResetEvents(mask);
    }
    // The motion lock is released between polls, so polling, a stop and
    // other operations on this object go on during the wait; a poll every
    // 10 ms leaves the line to the other drives. The status is tested as
    // soon as it is read: the poll that sees the move end returns at once
    // instead of sleeping first (the same packets, 10 ms sooner).
    bool seen = false;
    std::uint16_t err = kLinkOk;
    for (;;) {
        {
            CKxMutexLock lock(m_lock);
            std::uint16_t status = 0;
            err = m_pAxis->GetEventStatus(&status);
            if (!seen && (status & mask) != 0) m_uEndEvents = status;
            seen = seen || (status & mask) != 0;
            if (TimedOut(t0, m_dWaitLimitMs)) {
                m_bWaitRanOut = true;
                return kLinkOk;
            }
        }
        if (err != kLinkOk || seen) break;
        if (StopRequested()) return kStoppedByHost;
        // A stop or a jog that went out ends the move: FinishMove waits
        // for the rest.
        if (Interrupted()) return kStoppedByHost;
        SleepHostMs(10);
    }
    return FoldMoveIntoLimit(err);
}

bool CTessaroZMotion::MoveAndWait(double target, bool relative) {
    std::uint16_t err = StartMove(target, relative);
    if (err != kLinkOk) return ReportFailure("Z", "move", err);
    return FinishMove("Z", WaitForEvent(kMaskMoveEnd), {{m_pAxis, m_iTarget}},
                      [this] { return UpdatePosition(); }) == kLinkOk;
}

std::uint16_t CTessaroZMotion::WaitForMotionComplete() {
    return FinishMove("Z", WaitForEvent(kMaskMoveEndOrError), {{m_pAxis, m_iTarget}},
                      [this] { return UpdatePosition(); });
}

bool CTessaroZMotion::MoveVelocity(double v) {
    // A stop while a limit search runs ends the search (which holds the
    // motion lock): asked for without waiting, carried out by the search.
    if (v == 0.0 && RequestStop()) return true;
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return false;
    CTessaroAxis& a = *m_pAxis;
    v *= JogScale("Z", {{&a, v}});
    if (!JogUsable("Z", a, v)) return false;
    std::uint16_t err;
    if (v == 0.0) {
        err = a.Stop();
        if (err == kLinkOk) NoteInterruption();
        if (err == kLinkOk) err = UpdatePosition();
        if (err == kLinkOk) err = a.Update();
    } else {
        err = PrepareVelocity(a, v, kMaskBeforeVelocity);
        if (err == kLinkOk) err = a.Update();
        if (err == kLinkOk) NoteInterruption();
    }
    return ReportFailure("Z", v == 0.0 ? "stop" : "velocity move", err);
}

bool CTessaroZMotion::NotifyPosition() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return false;
    Publish(m_pAxis->GetPosition());
    return true;
}

// ---------------------------------------------------------------- rotary --

CTessaroRotaryMotion::CTessaroRotaryMotion(CTessaroAxis* axis) : CTessaroSingleAxisMotion(axis) {
    ApplyDefaults();
    if (m_pAxis) m_pAxis->ApplySettings();
}

std::uint16_t CTessaroRotaryMotion::SetDefaults() {
    CKxMutexLock lock(m_lock);
    ApplyDefaults();
    return kLinkOk;
}

void CTessaroRotaryMotion::ApplyDefaults() {
    if (!m_pAxis) return;
    CTessaroAxis& a = *m_pAxis;
    a.calibration_umPerRevolution = 1.0;
    a.speed_revolutionPerSecond = 0.5;
    a.maxJoystickSpeed_revolutionPerSecond = 0.5;
    a.acceleration_revolutionPerSecond2 = 4.5;
    a.deceleration_revolutionPerSecond2 = 4.5;
    a.jerk_revolutionPerSecond3 = 0.1;
    a.current_percent = 60.0;
    a.holdingCurrent_percent = 10.0;
    a.holdingDelay_ms = 0.0;
    a.positiveLimitSwitches = true;
    // The angle counts from current + zero: the zero point (the count the
    // set-up read) stays as it is, and the present position follows the
    // new direction at once, so that the angle is 0 where connect found
    // the axis, not only after the first poll.
    a.axisFlip = -1;
    a.currentPos_step = WrapMul(a.axisFlip, a.boardCount_step);
    a.poleCount = 800;
    a.m_uStopMode = 2;
}

double CTessaroRotaryMotion::GetAngle() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return 0.0;
    return WrapAngle(RawAngle(*m_pAxis));
}

std::uint16_t CTessaroRotaryMotion::StartMove(double target, bool relative) {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    CTessaroAxis& a = *m_pAxis;
    // The aim and the start in one piece under the controller lock, as on
    // Z and XY: a line's return sets the count (0 on a board that was reset)
    // under that lock, and a target taken from the count before it would be
    // sent to a board that starts counting elsewhere.
    AxisControllerLock controllerLock(a);
    if (!SpeedsUsable("rotary", {&a})) return kSpeedRefused;
    // Absolute: the angle is taken modulo 360 and the axis turns by target
    // - present angle (between -360 and +360, whichever way that is), so
    // that the angle shown asked for again moves nothing. Relative: by the
    // target. Both are held to kRotaryTurnLimitDegrees either way: an angle
    // a hundred turns out is a mistaken unit, not an angle.
    const double steps = static_cast<double>(a.GetStepsPerRevolution());
    const double turn = relative ? target : WrapAngle(target) - WrapAngle(RawAngle(a));
    StepAim aim;
    if (std::abs(target) <= kRotaryTurnLimitDegrees)
        aim = AimAt((relative ? m_carry[0].From(a.currentPos_step) : a.currentPos_step.load()) +
                        steps * turn / 360.0,
                    true);
    if (!aim.ok) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "refused a move: %s %g degrees lies outside -%g to %g degrees (%g turns "
                      "either way) or beyond the step count",
                      relative ? "a turn of" : "the angle", target, kRotaryTurnLimitDegrees,
                      kRotaryTurnLimitDegrees, kRotaryTurnLimitDegrees / 360.0);
        ReportMotionEnding("rotary", text);
        return kTargetRefused;
    }
    std::uint16_t err = a.SetProfileMode(kProfilePositioning);
    if (err == kLinkOk) err = SendPositioningMove(aim, relative);
    return FoldMoveIntoLimit(err);
}

bool CTessaroRotaryMotion::Move(double target, bool relative) {
    return ReportFailure("rotary", "move", StartMove(target, relative));
}

bool CTessaroRotaryMotion::MoveAndWait(double target, bool relative) {
    std::uint16_t err = StartMove(target, relative);
    if (err != kLinkOk) return ReportFailure("rotary", "move", err);
    // The position read at the end does not decide the answer; the ending
    // is judged by it when it was read.
    return FinishMove(
               "rotary", WaitForEvent(kMaskMoveEnd), {{m_pAxis, m_iTarget}},
               [this] { return UpdatePosition(); }, false) == kLinkOk;
}

std::uint16_t CTessaroRotaryMotion::WaitForMotionComplete() {
    return FinishMove("rotary", WaitForEvent(kMaskMoveEnd), {{m_pAxis, m_iTarget}},
                      [this] { return UpdatePosition(); });
}

bool CTessaroRotaryMotion::MoveVelocity(double v) {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return false;
    CTessaroAxis& a = *m_pAxis;
    v *= JogScale("rotary", {{&a, v}});
    if (!JogUsable("rotary", a, v)) return false;
    std::uint16_t err;
    if (v == 0.0) {
        err = a.Stop();
        if (err == kLinkOk) NoteInterruption();
        bool changed = false;
        if (err == kLinkOk) err = a.RefreshPosition(&changed);
        if (err == kLinkOk && changed) NotifyPosition();  // its result does not count
        if (err == kLinkOk) err = a.Update();
    } else {
        err = PrepareVelocity(a, v, kMaskBeforePositioning);
        if (err == kLinkOk) err = a.Update();
        if (err == kLinkOk) NoteInterruption();
    }
    return ReportFailure("rotary", v == 0.0 ? "stop" : "velocity move", err);
}

bool CTessaroRotaryMotion::NotifyPosition() {
    CKxMutexLock lock(m_lock);
    Publish(GetAngle());
    return true;
}

// -------------------------------------------------------------------- XY --

CTessaroXYMotion::CTessaroXYMotion(CTessaroAxis* axisX, CTessaroAxis* axisY)
    : CTessaroMotion(axisX ? axisX : axisY), m_pAxisX(axisX), m_pAxisY(axisY) {
    ApplyDefaults();
    if (m_pAxisX) m_pAxisX->ApplySettings();
    if (m_pAxisY) m_pAxisY->ApplySettings();
}

void CTessaroXYMotion::ApplyDefaults() {
    if (m_pAxisX) SetLinearDefaults(*m_pAxisX);
    if (m_pAxisY) SetLinearDefaults(*m_pAxisY);
}

std::uint16_t CTessaroXYMotion::SetDefaults() {
    CKxMutexLock lock(m_lock);
    ApplyDefaults();
    return kLinkOk;
}

std::uint16_t CTessaroXYMotion::StartMove(double x, double y, bool relative) {
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    CTessaroAxis& ax = *m_pAxisX;
    CTessaroAxis& ay = *m_pAxisY;
    // As on Z: the trust check and the start in one piece.
    AxisControllerLock controllerLock(ax);
    if (!relative && !TrustedForAbsoluteMove("XY", {&ax, &ay})) return kPositionUntrusted;
    if (!SpeedsUsable("XY", {&ax, &ay})) return kSpeedRefused;
    const StepAim aimX = LinearAim(ax, x, relative, m_carry[0]);
    const StepAim aimY = LinearAim(ay, y, relative, m_carry[1]);
    if (!aimX.ok) return RefuseTarget("XY", ax, relative ? ax.GetPosition() + x : x);
    if (!aimY.ok) return RefuseTarget("XY", ay, relative ? ay.GetPosition() + y : y);
    std::uint16_t err = ax.SetProfileMode(kProfilePositioning);
    if (err == kLinkOk) err = ay.SetProfileMode(kProfilePositioning);
    const std::int32_t tx = aimX.count;
    const std::int32_t ty = aimY.count;
    // Coordinated: the axis with the longer time runs at its own speed, the
    // other at the speed that brings it there at the same moment, but not
    // slower than 0.3 rev/s (then it arrives first), also when it has no
    // distance to go. Positioning speeds are magnitudes: no axisFlip.
    const double rx =
        std::abs(static_cast<double>(WrapSub(ax.currentPos_step, tx))) / ax.GetStepsPerRevolution();
    const double ry =
        std::abs(static_cast<double>(WrapSub(ay.currentPos_step, ty))) / ay.GetStepsPerRevolution();
    const double timeX = rx / ax.speed_revolutionPerSecond;
    const double timeY = ry / ay.speed_revolutionPerSecond;
    // Never 0: an axis without distance to go that stands a fraction of a
    // step off its count (a stop left it there), or whose count was read
    // while it still moved, must still be able to arrive; at speed 0 it
    // would stay under way for ever. (Both distances 0 make 0/0 here.)
    const auto floored = [](double v) { return std::isfinite(v) && v > 0.3 ? v : 0.3; };
    double vx = ax.speed_revolutionPerSecond, vy = ay.speed_revolutionPerSecond;
    if (timeX > timeY) {
        vy = floored(ry / timeX);
        if (err == kLinkOk) err = ax.SetVelocityFromSpeed();
        if (err == kLinkOk) err = ay.SetVelocityCounts(Saturate32(ay.VelocityToCounts(vy)));
    } else {
        vx = floored(rx / timeY);
        if (err == kLinkOk) err = ax.SetVelocityCounts(Saturate32(ax.VelocityToCounts(vx)));
        if (err == kLinkOk) err = ay.SetVelocityFromSpeed();
    }
    m_iTargetX = tx;
    m_iTargetY = ty;
    BeginMove(std::max(ax.MoveSeconds(static_cast<double>(WrapSub(tx, ax.currentPos_step)), vx),
                       ay.MoveSeconds(static_cast<double>(WrapSub(ty, ay.currentPos_step)), vy)));
    if (err == kLinkOk) err = ax.SetDestination(SignedCount(tx, ax.axisFlip));
    if (err == kLinkOk) err = ax.ResetEvents(kMaskBeforePositioning);
    if (err == kLinkOk) err = ay.SetDestination(SignedCount(ty, ay.axisFlip));
    if (err == kLinkOk) err = ay.ResetEvents(kMaskBeforePositioning);
    if (err == kLinkOk) {
        if (multipleUpdate) {
            err = ax.MultiUpdate(0x0003);
        } else {
            err = ax.Update();
            if (err == kLinkOk) err = ay.Update();
        }
    }
    err = FoldMoveIntoLimit(err);
    // As on Z: a relative move leaves its exact targets to the next one.
    for (const auto& [carry, aim] : {std::pair{&m_carry[0], aimX}, std::pair{&m_carry[1], aimY}}) {
        if (relative && err == kLinkOk)
            carry->Sent(aim.count, aim.exact);
        else
            carry->Forget();
    }
    return err;
}

bool CTessaroXYMotion::Move(double x, double y, bool relative) {
    return ReportFailure("XY", "move", StartMove(x, y, relative));
}

std::uint16_t CTessaroXYMotion::WaitForEvent(std::uint16_t mask) {
    const double t0 = KX_GetTimeCounter();
    {
        CKxMutexLock lock(m_lock);
        if (!m_pAxisX || !m_pAxisY) return kLinkOk;
        m_uEndEvents = 0;
        m_bWaitRanOut = false;
        m_pAxisX->ResetEvents(mask);
        m_pAxisY->ResetEvents(mask);
    }
    // An axis is finished when its event showed or it no longer moves.
    bool seenX = false, seenY = false, movingX = true, movingY = true;
    std::uint16_t err = kLinkOk;
    const auto finished = [](bool seen, bool moving) { return seen || !moving; };
    while (err == kLinkOk && (!finished(seenX, movingX) || !finished(seenY, movingY))) {
        {
            CKxMutexLock lock(m_lock);
            std::uint16_t status = 0;
            err = m_pAxisX->GetActivityStatus(&status);
            movingX = (status & kActivityInMotion) != 0;
            if (err == kLinkOk) {
                err = m_pAxisX->GetEventStatus(&status);
                if (!seenX && (status & mask) != 0) m_uEndEvents |= status;
                seenX = seenX || (status & mask) != 0;
            }
            if (err == kLinkOk) {
                err = m_pAxisY->GetActivityStatus(&status);
                movingY = (status & kActivityInMotion) != 0;
            }
            if (err == kLinkOk) {
                err = m_pAxisY->GetEventStatus(&status);
                if (!seenY && (status & mask) != 0) m_uEndEvents |= status;
                seenY = seenY || (status & mask) != 0;
            }
            if (TimedOut(t0, m_dWaitLimitMs)) {
                m_bWaitRanOut = true;
                return kLinkOk;
            }
        }
        // Tested before sleeping, as in the Z wait.
        if (err != kLinkOk || (finished(seenX, movingX) && finished(seenY, movingY))) break;
        if (StopRequested() || Interrupted()) return kStoppedByHost;
        SleepHostMs(10);
    }
    return FoldMoveIntoLimit(err);
}

bool CTessaroXYMotion::MoveAndWait(double x, double y, bool relative) {
    const std::uint16_t err = StartMove(x, y, relative);
    if (err != kLinkOk) return ReportFailure("XY", "move", err);
    return WaitForMotionComplete() == kLinkOk;
}

std::uint16_t CTessaroXYMotion::WaitForMotionComplete() {
    return FinishMove("XY", WaitForEvent(kMaskMoveEnd),
                      {{m_pAxisX, m_iTargetX}, {m_pAxisY, m_iTargetY}},
                      [this] { return UpdatePosition(); });
}

bool CTessaroXYMotion::MoveVelocity(double vx, double vy) {
    // As on Z: a stop of both axes ends a running limit search.
    if (vx == 0.0 && vy == 0.0 && RequestStop()) return true;
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return false;
    // Joystick moves switched off gate only the speeds that move: a stop
    // always goes out (a host that switches the joystick off while a jog
    // runs must still be able to end it). Of a move refused, the axis asked
    // to stand still is stopped.
    if ((!m_pAxisX->joystickEnable || !m_pAxisY->joystickEnable) && (vx != 0.0 || vy != 0.0)) {
        for (const auto& [axis, v] : {std::pair{m_pAxisX, vx}, std::pair{m_pAxisY, vy}}) {
            if (v != 0.0) continue;
            std::uint16_t err = axis->Stop();
            if (err == kLinkOk) err = axis->Update();
            ReportFailure("XY", "stop", err);
        }
        ReportMotionEnding("XY", "velocity move refused: the stage's joystick moves are off");
        return false;
    }
    // Both axes slowed alike: the stage keeps the direction asked for.
    const double scale = JogScale("XY", {{m_pAxisX, vx}, {m_pAxisY, vy}});
    vx *= scale;
    vy *= scale;
    if (!JogUsable("XY", *m_pAxisX, vx) || !JogUsable("XY", *m_pAxisY, vy)) return false;
    const auto prepare = [](CTessaroAxis& axis, double v) {
        return v == 0.0 ? axis.Stop() : PrepareVelocity(axis, v, kMaskBeforeVelocity);
    };
    std::uint16_t err = prepare(*m_pAxisX, vx);
    if (err == kLinkOk) err = prepare(*m_pAxisY, vy);
    if (multipleUpdate) {
        if (err == kLinkOk) err = m_pAxisX->MultiUpdate(0x0003);
    } else {
        // X's Update goes out even after a failed step, and Y's after X's
        // succeeded: a stop whose second half failed still stops the axis
        // it reached (a joystick release must never leave X jogging because
        // Y did not answer). The first error is the result.
        const std::uint16_t updateX = m_pAxisX->Update();
        const std::uint16_t updateY =
            updateX == kLinkOk ? m_pAxisY->Update() : std::uint16_t{kLinkOk};
        if (err == kLinkOk) err = updateX != kLinkOk ? updateX : updateY;
    }
    // Whatever reached the board ends a running positioning move.
    NoteInterruption();
    const char* operation = vx == 0.0 && vy == 0.0 ? "stop" : "velocity move";
    if (!ReportFailure("XY", operation, err)) return false;
    if (vx != 0.0 && vy != 0.0) return true;
    return ReportFailure("XY", operation, UpdatePosition());
}

bool CTessaroXYMotion::NotifyPosition() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return false;
    Publish(m_pAxisX->GetPosition(), m_pAxisY->GetPosition());
    return true;
}

std::uint16_t CTessaroXYMotion::UpdatePosition() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    bool changedX = false, changedY = false;
    std::uint16_t err = m_pAxisX->RefreshPosition(&changedX);
    if (err == kLinkOk) err = m_pAxisY->RefreshPosition(&changedY);
    if (!changedX && !changedY) return err;
    if (err == kLinkOk && !NotifyPosition()) err = kNotifyFailed;
    return err;
}

}  // namespace tessaro
