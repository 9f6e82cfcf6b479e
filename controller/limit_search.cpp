// Finding the travel range of the Z and XY axes from their limit switches:
// a fast run into the switch at the axis speed, then a precise seek that backs
// off until the switch is clear and approaches it again at 1 rev/s.
#include <algorithm>

#include "cmotion/link_errors.h"
#include "controller/controller_clock.h"
#include "controller/line_retry.h"
#include "controller/motion_report.h"
#include "controller/position_trust.h"
#include "controller/tessaro_motion.h"
#include "controller/unit_conversion.h"

namespace tessaro {
namespace {

using cmotion::kLinkOk;

constexpr double kSeekSpeed = 1.0;  // rev/s for the precise approach
constexpr std::int32_t kLowestCount = -2147483647 - 1;
constexpr std::int32_t kHighestCount = 2147483647;

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

bool LineGone(std::uint16_t err) {
    return err == kLineLost || IsLineFailure(err);
}

}  // namespace

void CTessaroMotion::BeginSearch() {
    m_bSwitchMissed = false;
    m_originFound.clear();
    m_dWaitLimitMs = kWaitLimitMs;
    m_uInterruptionsAtStart.store(m_uInterruptions.load());
    for (RelativeCarry& carry : m_carry) carry.Forget();
}

std::uint16_t CTessaroMotion::StoreLimit(CTessaroAxis& axis, bool lower, bool atSwitch) {
    // A stop asked for after the last wait still ends the search before
    // anything is stored.
    if (StopRequested()) return kStoppedByHost;
    std::int32_t count = 0;
    const std::uint16_t err = axis.ReadCommandedPosition(&count);
    if (err != kLinkOk) return err;
    const std::int32_t found = WrapMul(axis.axisFlip, count);
    if (!lower) {
        axis.maxPos_step = found;
        return kLinkOk;
    }
    bool frameFound = axis.positionTrusted;
    if (atSwitch && !axis.positionTrusted && axis.lowerLimitAtSwitch &&
        axis.minPos_step != kLowestCount) {
        const std::int64_t moved = static_cast<std::int64_t>(found) - axis.minPos_step;
        axis.zeroPos_step = Saturate32(axis.zeroPos_step + moved);
        if (axis.maxPos_step != kHighestCount)
            axis.maxPos_step = Saturate32(axis.maxPos_step + moved);
        m_originFound.push_back(&axis);
        frameFound = true;
    }
    axis.minPos_step = found;
    // A switch measured where the position cannot be trusted lies in a lost
    // frame: finding the origin from it later would bring that frame back,
    // as trusted.
    axis.lowerLimitAtSwitch = atSwitch && frameFound;
    return kLinkOk;
}

std::uint16_t CTessaroMotion::EndSearch(const char* drive, std::uint16_t err,
                                        std::initializer_list<CTessaroAxis*> axes,
                                        const std::function<std::uint16_t()>& updatePosition) {
    // A search that did not succeed leaves nothing moving: whatever approach
    // or back-off was running is stopped here, once the search has let go
    // of it (its speeds are back already, and the side being measured
    // stored nothing), and waited for, so that the position read afterwards
    // is where the axis stays. A line that is gone reaches nothing.
    if (err != kLinkOk) {
        if (!LineGone(err)) StopAndRest(axes, true);
        updatePosition();
        if (err == kStoppedByHost)
            ReportMotionEnding(drive,
                               "limit search stopped; the side being measured stored nothing");
        return err;
    }
    // Limits measured at the switches re-establish the frame only where it
    // was trusted, or where the lower switch gave the origin back; a side
    // that met no switch measured nothing.
    if (m_bSwitchMissed) return err;
    bool everyFrame = true;
    for (CTessaroAxis* axis : axes) {
        const bool found =
            std::find(m_originFound.begin(), m_originFound.end(), axis) != m_originFound.end();
        everyFrame = everyFrame && (axis->positionTrusted || found);
    }
    if (everyFrame) {
        RegainPositionTrust(drive, axes,
                            "the limits were searched and the lower switch gave the origin back");
    } else {
        ReportMotionEnding(drive,
                           "limits searched, but its position still cannot be trusted: no lower "
                           "limit was measured at the switch before, to find the origin from; set "
                           "the origin");
    }
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

// The five steps toward one side; the count at the switch goes to the
// lower or the upper limit.
std::uint16_t CTessaroZMotion::FindLimit(std::int8_t direction) {
    CTessaroAxis& a = *m_pAxis;
    std::uint16_t err = a.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    const bool noSwitch = err == kLinkOk && m_bWaitRanOut;
    m_bSwitchMissed = m_bSwitchMissed || noSwitch;
    if (err == kLinkOk) err = SeekLimit(direction);
    if (err == kLinkOk) err = StoreLimit(a, direction < 0, !noSwitch);
    if (err == kLinkOk && noSwitch) ReportNoSwitch("Z", direction);
    if (err == kLinkOk) err = UpdatePosition();
    return err;
}

// Stoppable before the motion lock is taken: a stop that comes while the
// search waits for the lock is kept for it instead of waiting out the whole
// search behind that lock.
std::uint16_t CTessaroZMotion::FindLowerLimit() {
    StoppableScope search(*this);
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    BeginSearch();
    return EndSearch("Z", FindLimit(-1), {m_pAxis}, [this] { return UpdatePosition(); });
}

std::uint16_t CTessaroZMotion::FindLimits() {
    StoppableScope search(*this);
    CKxMutexLock lock(m_lock);
    if (!m_pAxis) return kLinkOk;
    BeginSearch();
    std::uint16_t err = FindLimit(-1);
    if (err == kLinkOk) err = FindLimit(+1);
    return EndSearch("Z", err, {m_pAxis}, [this] { return UpdatePosition(); });
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
std::uint16_t CTessaroXYMotion::FindLimitsOnOneSide(std::int8_t direction) {
    CTessaroAxis& ax = *m_pAxisX;
    CTessaroAxis& ay = *m_pAxisY;
    const bool lower = direction < 0;
    std::uint16_t err = ax.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = ay.StartLimitApproach(direction, &m_bStopRequested, kStoppedByHost);
    if (err == kLinkOk) err = WaitForEvent(kMaskLimitEvents);
    const bool noSwitch = err == kLinkOk && m_bWaitRanOut;
    m_bSwitchMissed = m_bSwitchMissed || noSwitch;
    if (err == kLinkOk) err = SeekLimits(direction);
    if (err == kLinkOk && noSwitch) ReportNoSwitch("XY", direction);
    if (err == kLinkOk) err = StoreLimit(ax, lower, !noSwitch);
    bool changedX = false, changedY = false;
    if (err == kLinkOk) err = ax.RefreshPosition(&changedX);
    if (err == kLinkOk) err = StoreLimit(ay, lower, !noSwitch);
    if (err == kLinkOk) err = ay.RefreshPosition(&changedY);
    if (err == kLinkOk && (changedX || changedY) && !NotifyPosition()) err = kNotifyFailed;
    return err;
}

std::uint16_t CTessaroXYMotion::FindLowerLimits() {
    StoppableScope search(*this);
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    BeginSearch();
    return EndSearch("XY", FindLimitsOnOneSide(-1), {m_pAxisX, m_pAxisY},
                     [this] { return UpdatePosition(); });
}

std::uint16_t CTessaroXYMotion::FindLimits() {
    StoppableScope search(*this);
    CKxMutexLock lock(m_lock);
    if (!m_pAxisX || !m_pAxisY) return kLinkOk;
    BeginSearch();
    std::uint16_t err = FindLimitsOnOneSide(-1);
    if (err == kLinkOk) err = FindLimitsOnOneSide(+1);
    return EndSearch("XY", err, {m_pAxisX, m_pAxisY}, [this] { return UpdatePosition(); });
}

}  // namespace tessaro
