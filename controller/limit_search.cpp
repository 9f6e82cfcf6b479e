// Finding the travel range of the Z and XY axes from their limit switches:
// a fast run into the switch at the axis speed, then a precise seek that backs
// off until the switch is clear and approaches it again at 1 rev/s.
#include "cmotion/link_errors.h"
#include "controller/controller_clock.h"
#include "controller/motion_report.h"
#include "controller/position_trust.h"
#include "controller/tessaro_motion.h"
#include "controller/unit_conversion.h"

namespace tessaro {
namespace {

using cmotion::kLinkOk;

constexpr double kSeekSpeed = 1.0;  // rev/s for the precise approach

// The fast run met no switch within its 60 s: what is stored is where the
// axis happened to be.
void ReportNoSwitch(const char* drive, std::int8_t direction) {
    ReportMotionEnding(drive, std::string("found no limit switch on the ") +
                                  (direction < 0 ? "lower" : "upper") +
                                  " side within 60 s; the position of that moment was stored");
}

bool LimitsClear(std::uint16_t signals) {
    return (signals & kSignalLimitInputs) == kSignalLimitInputs;
}

// The count at the switch, in the axis's own direction.
std::uint16_t ReadLimit(CTessaroAxis& axis, Relaxed<std::int32_t>* limit) {
    std::int32_t count = 0;
    const std::uint16_t err = axis.ReadCommandedPosition(&count);
    if (err == kLinkOk) *limit = WrapMul(axis.axisFlip, count);
    return err;
}

}  // namespace

std::uint16_t CTessaroMotion::EndSearch(const char* drive, std::uint16_t err,
                                        std::initializer_list<CTessaroAxis*> axes) {
    // A stopped search leaves nothing moving: whatever approach or back-off
    // was running is stopped here, once the search has let go of it (its
    // speeds are back already, and the side being measured stored nothing).
    if (err == kStoppedByHost) {
        for (CTessaroAxis* axis : axes) {
            axis->Stop();
            axis->Update();
        }
        ReportMotionEnding(drive, "limit search stopped; the side being measured stored nothing");
    }
    // Limits measured at the switches re-establish the frame; a side that
    // met no switch measured nothing.
    if (err == kLinkOk && !m_bSwitchMissed)
        RegainPositionTrust(drive, axes, "the limits were searched");
    return err;
}

// ---------------------------------------------------------------------- Z --

std::uint16_t CTessaroZMotion::SeekLimit(std::int8_t direction) {
    CKxMutexLock lock(m_lock);
    CTessaroAxis& a = *m_pAxis;
    const double savedSpeed = a.speed_revolutionPerSecond;
    const double t0 = KX_GetTimeCounter();
    std::uint16_t err = kLinkOk;
    for (;;) {
        // Back off until neither switch is active.
        a.StartLimitApproach(static_cast<std::int8_t>(-direction), &m_bStopRequested,
                             kStoppedByHost);
        std::uint16_t signals = 0;
        err = a.GetSignalStatus(&signals);
        if (LimitsClear(signals)) break;
        SleepHostMs(100);
        if (StopRequested()) return kStoppedByHost;  // the search stops the axis
        // A back-off that never clears its switch is stopped rather than
        // left running (the speed was not changed yet: nothing to restore).
        if (KX_GetTimeCounter() - t0 > kWaitLimitMs) {
            a.Stop();
            a.Update();
            return kLinkOk;
        }
        if (err != kLinkOk) {
            a.speed_revolutionPerSecond = savedSpeed;
            return err;
        }
    }
    a.Stop();
    a.Update();
    if (err == kLinkOk) {
        a.speed_revolutionPerSecond = kSeekSpeed;
        err = a.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
        if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    }
    a.speed_revolutionPerSecond = savedSpeed;
    return err;
}

// The five steps toward one side; the count at the switch goes to `limit`.
std::uint16_t CTessaroZMotion::FindLimit(std::int8_t direction, Relaxed<std::int32_t>* limit) {
    CTessaroAxis& a = *m_pAxis;
    std::uint16_t err = a.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    const bool noSwitch = err == kLinkOk && m_bWaitRanOut;
    m_bSwitchMissed = m_bSwitchMissed || noSwitch;
    if (err == kLinkOk) err = SeekLimit(direction);
    if (err == kLinkOk) err = ReadLimit(a, limit);
    if (err == kLinkOk && noSwitch) ReportNoSwitch("Z", direction);
    if (err == kLinkOk) err = UpdatePosition();
    return err;
}

std::uint16_t CTessaroZMotion::FindLowerLimit() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    StoppableScope search(*this);
    m_bSwitchMissed = false;
    return EndSearch("Z", FindLimit(-1, &m_pAxis->minPos_step), {m_pAxis});
}

std::uint16_t CTessaroZMotion::FindLimits() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    StoppableScope search(*this);
    m_bSwitchMissed = false;
    std::uint16_t err = FindLimit(-1, &m_pAxis->minPos_step);
    if (err == kLinkOk) err = FindLimit(+1, &m_pAxis->maxPos_step);
    return EndSearch("Z", err, {m_pAxis});
}

// --------------------------------------------------------------------- XY --

std::uint16_t CTessaroXYMotion::SeekLimits(std::int8_t direction) {
    CTessaroAxis& ax = *m_pAxisX;
    CTessaroAxis& ay = *m_pAxisY;
    const double savedX = ax.speed_revolutionPerSecond;
    const double savedY = ay.speed_revolutionPerSecond;
    const double t0 = KX_GetTimeCounter();
    bool clearX = false, clearY = false;
    ax.ResetEvents(0);
    ay.ResetEvents(0);
    std::uint16_t err = kLinkOk;
    const std::int8_t back = static_cast<std::int8_t>(-direction);
    for (;;) {
        // Both back-off moves start again every pass, also for an axis that
        // was already found clear.
        err = ax.StartLimitApproach(back, &m_bStopRequested, kStoppedByHost);
        if (err == kLinkOk) err = ay.StartLimitApproach(back, &m_bStopRequested, kStoppedByHost);
        for (CTessaroAxis* axis : {&ax, &ay}) {
            bool& clear = axis == &ax ? clearX : clearY;
            if (clear) continue;
            std::uint16_t signals = 0;
            err = axis->GetSignalStatus(&signals);
            if (LimitsClear(signals)) {
                axis->Stop();
                axis->Update();
                clear = true;
            }
        }
        if (clearX && clearY) break;
        SleepHostMs(100);
        if (StopRequested()) err = kStoppedByHost;
        // A back-off that never clears its switches is stopped rather than
        // left running (the speeds were not changed yet).
        if (err == kLinkOk && KX_GetTimeCounter() - t0 > kWaitLimitMs) {
            for (CTessaroAxis* axis : {&ax, &ay}) {
                axis->Stop();
                axis->Update();
            }
            return kLinkOk;
        }
        if (err != kLinkOk) break;
    }
    ax.speed_revolutionPerSecond = kSeekSpeed;
    ay.speed_revolutionPerSecond = kSeekSpeed;
    if (err == kLinkOk) err = ax.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = ay.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    ax.speed_revolutionPerSecond = savedX;
    ay.speed_revolutionPerSecond = savedY;
    ax.ResetEvents(kMaskLimitEvents);
    ay.ResetEvents(kMaskLimitEvents);
    return err;
}

// One side of both axes: fast runs, the wait, the seek, the counts into the
// lower or upper limits, the refreshes and one notification.
std::uint16_t CTessaroXYMotion::FindLimitsOnOneSide(std::int8_t direction, bool upper) {
    CTessaroAxis& ax = *m_pAxisX;
    CTessaroAxis& ay = *m_pAxisY;
    std::uint16_t err = ax.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = ay.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    const bool noSwitch = err == kLinkOk && m_bWaitRanOut;
    m_bSwitchMissed = m_bSwitchMissed || noSwitch;
    if (err == kLinkOk) err = SeekLimits(direction);
    if (err == kLinkOk && noSwitch) ReportNoSwitch("XY", direction);
    if (err == kLinkOk) err = ReadLimit(ax, upper ? &ax.maxPos_step : &ax.minPos_step);
    bool changedX = false, changedY = false;
    if (err == kLinkOk) err = ax.RefreshPosition(&changedX);
    if (err == kLinkOk) err = ReadLimit(ay, upper ? &ay.maxPos_step : &ay.minPos_step);
    if (err == kLinkOk) err = ay.RefreshPosition(&changedY);
    if (err == kLinkOk && (changedX || changedY) && !NotifyPosition()) err = kNotifyFailed;
    return err;
}

std::uint16_t CTessaroXYMotion::FindLowerLimits() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    StoppableScope search(*this);
    m_bSwitchMissed = false;
    return EndSearch("XY", FindLimitsOnOneSide(-1, false), {m_pAxisX, m_pAxisY});
}

std::uint16_t CTessaroXYMotion::FindLimits() {
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    StoppableScope search(*this);
    m_bSwitchMissed = false;
    std::uint16_t err = FindLimitsOnOneSide(-1, false);
    if (err == kLinkOk) err = FindLimitsOnOneSide(+1, true);
    return EndSearch("XY", err, {m_pAxisX, m_pAxisY});
}

}  // namespace tessaro
