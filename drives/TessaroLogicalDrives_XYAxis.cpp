#include "drives/TessaroLogicalDrives_XYAxis.h"

#include <algorithm>
#include <optional>

#include "controller/parameter_ranges.h"
#include "controller/position_trust.h"
#include "controller/unit_conversion.h"
#include "drives/axis_settings.h"
#include "host/kx_settings.h"

namespace tessaro {

EDeviceManagerReturnCode STessaro_XYDrive::GetDeviceId(unsigned* id) {
    if (id) *id = m_uDeviceId;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SaveSettings(CKxStringW& text) {
    text.Empty();
    if (m_pXYMotion && m_pXYMotion->m_pAxisX) {
        SaveAxisParameters(text, *m_pXYMotion->m_pAxisX, AxisKeySet::kLinear, u"_x");
        SaveAxisPositions(text, *m_pXYMotion->m_pAxisX, u"_x");
        SetBoolToKey(text, u"multipleUpdate", m_pXYMotion->multipleUpdate);
    }
    if (m_pXYMotion && m_pXYMotion->m_pAxisY) {
        SaveAxisParameters(text, *m_pXYMotion->m_pAxisY, AxisKeySet::kLinear, u"_y");
        SaveAxisPositions(text, *m_pXYMotion->m_pAxisY, u"_y");
        SetBoolToKey(text, u"multipleUpdate", m_pXYMotion->multipleUpdate);
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::LoadSettings(const char16_t* text, unsigned id) {
    m_uDeviceId = id;
    if (!m_pXYMotion) return KX_DM_OK;
    // As on Z: the load in one piece under the motion and controller locks.
    CKxMutexLock motionLock(m_pXYMotion->m_lock);
    std::optional<AxisControllerLock> controllerLock;
    if (CTessaroAxis* any = m_pXYMotion->m_pAxisX ? m_pXYMotion->m_pAxisX : m_pXYMotion->m_pAxisY)
        controllerLock.emplace(*any);
    PositionLoad loads[2];
    for (CTessaroAxis* axis : {m_pXYMotion->m_pAxisX, m_pXYMotion->m_pAxisY}) {
        if (!axis) continue;
        const bool x = axis == m_pXYMotion->m_pAxisX;
        const std::u16string suffix = x ? u"_x" : u"_y";
        LoadAxisParameters(text, *axis, AxisKeySet::kLinear, suffix, "XY");
        loads[x ? 0 : 1] = LoadAxisPositions(text, *axis, suffix, "XY");
        bool multiple = false;
        if (GetBoolFromKey(text, u"multipleUpdate", &multiple))
            m_pXYMotion->multipleUpdate = multiple;
        m_pXYMotion->m_uDeviceId = id;
        ApplyLoadedSettings(*axis);
    }
    // One drive, one frame: the stage is trusted only when both axes are.
    if (loads[0].loaded || loads[1].loaded) {
        if (loads[0].trusted && loads[1].trusted)
            RegainPositionTrust("XY", {m_pXYMotion->m_pAxisX, m_pXYMotion->m_pAxisY},
                                "settings that fit the board were loaded");
        else
            LosePositionTrust("XY", {m_pXYMotion->m_pAxisX, m_pXYMotion->m_pAxisY},
                              loads[0].trusted ? "Y: " + loads[1].why : "X: " + loads[0].why);
    }
    return KX_DM_OK;
}

bool STessaro_XYDrive::AcceptOnBoth(const char* key, double value, double kept,
                                    const char* source) const {
    return AcceptAxisParameter("XY", *m_pXYMotion->m_pAxisX, key, value, kept, source) &&
           AcceptAxisParameter("XY", *m_pXYMotion->m_pAxisY, key, value, kept, source);
}

EDeviceManagerReturnCode STessaro_XYDrive::SetMaxJoystickSpeed(double speed) {
    if (!HasAxes()) return KX_DM_FAILED;
    if (!AcceptOnBoth("maxJoystickSpeed_revolutionPerSecond", speed,
                      m_pXYMotion->m_pAxisX->maxJoystickSpeed_revolutionPerSecond,
                      "SetMaxJoystickSpeed"))
        return KX_DM_OUT_OF_RANGE;
    m_pXYMotion->m_pAxisX->maxJoystickSpeed_revolutionPerSecond = speed;
    m_pXYMotion->m_pAxisY->maxJoystickSpeed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetSpeed(double speed) {
    if (!HasAxes()) return KX_DM_FAILED;
    if (!AcceptOnBoth("speed_revolutionPerSecond", speed,
                      m_pXYMotion->m_pAxisX->speed_revolutionPerSecond, "SetSpeed"))
        return KX_DM_OUT_OF_RANGE;
    m_pXYMotion->m_pAxisX->speed_revolutionPerSecond = speed;
    m_pXYMotion->m_pAxisY->speed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetMaxJoystickSpeed(double* speed) {
    if (!HasAxes() || !speed) return KX_DM_FAILED;
    *speed = std::min(m_pXYMotion->m_pAxisX->maxJoystickSpeed_revolutionPerSecond,
                      m_pXYMotion->m_pAxisY->maxJoystickSpeed_revolutionPerSecond);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetSpeed(double* speed) {
    if (!HasAxes() || !speed) return KX_DM_FAILED;
    *speed = m_pXYMotion->m_pAxisX->speed_revolutionPerSecond;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetAcceleration(unsigned acceleration) {
    if (!HasAxes()) return KX_DM_FAILED;
    if (!AcceptOnBoth("acceleration_revolutionPerSecond2", acceleration,
                      m_pXYMotion->m_pAxisX->acceleration_revolutionPerSecond2, "SetAcceleration"))
        return KX_DM_OUT_OF_RANGE;
    m_pXYMotion->m_pAxisX->acceleration_revolutionPerSecond2 = acceleration;
    m_pXYMotion->m_pAxisY->acceleration_revolutionPerSecond2 = acceleration;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetAcceleration(unsigned* acceleration) {
    if (!HasAxes()) return KX_DM_FAILED;
    if (acceleration)
        *acceleration = TruncToUInt32(m_pXYMotion->m_pAxisX->acceleration_revolutionPerSecond2);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetJoystickEnabled(bool* on) {
    if (!HasAxes()) return KX_DM_FAILED;
    if (on) *on = m_pXYMotion->m_pAxisX->joystickEnable;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetJoystickEnabled(bool on) {
    if (!HasAxes()) return KX_DM_FAILED;
    m_pXYMotion->m_pAxisX->joystickEnable = on;
    m_pXYMotion->m_pAxisY->joystickEnable = on;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetPosition(double* x, double* y) {
    if (!HasAxes()) return KX_DM_FAILED;
    // The host always passes both; a missing one is skipped, not written.
    if (x) *x = m_pXYMotion->m_pAxisX->GetPosition();
    if (y) *y = m_pXYMotion->m_pAxisY->GetPosition();
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::PositioningMove(double x, double y, bool relative) {
    // Without a motion object there is nothing to move; the axis records
    // are the motion object's to check.
    if (!m_pXYMotion) return KX_DM_OK;
    if (m_bCollectMoves) {
        m_dPendingX = x;
        m_dPendingY = y;
        m_bMovePending = true;
        m_bPendingRelative = relative;
        return KX_DM_OK;
    }
    return m_pXYMotion->MoveAndWait(x, y, relative) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_XYDrive::MoveAbsolute(double x, double y) {
    return PositioningMove(x, y, false);
}

EDeviceManagerReturnCode STessaro_XYDrive::MoveRelative(double dx, double dy) {
    return PositioningMove(dx, dy, true);
}

EDeviceManagerReturnCode STessaro_XYDrive::GetRange(double* xLow, double* xHigh, double* yLow,
                                                    double* yHigh) {
    if (!HasAxes() || !xLow || !xHigh) return KX_DM_OK;
    *xLow = m_pXYMotion->m_pAxisX->GetLowerLimit();
    *xHigh = m_pXYMotion->m_pAxisX->GetUpperLimit();
    // Hosts pass all four; a missing Y output is skipped rather than written.
    if (yLow) *yLow = m_pXYMotion->m_pAxisY->GetLowerLimit();
    if (yHigh) *yHigh = m_pXYMotion->m_pAxisY->GetUpperLimit();
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetLowerLimits(double x, double y) {
    if (HasAxes()) {
        m_pXYMotion->m_pAxisX->SetLowerLimit(x);
        m_pXYMotion->m_pAxisY->SetLowerLimit(y);
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetUpperLimits(double x, double y) {
    if (HasAxes()) {
        m_pXYMotion->m_pAxisX->SetUpperLimit(x);
        m_pXYMotion->m_pAxisY->SetUpperLimit(y);
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::GetAxisFlip(int* x, int* y) {
    if (HasAxes() && x && y) {
        *x = m_pXYMotion->m_pAxisX->axisFlip;
        *y = m_pXYMotion->m_pAxisY->axisFlip;
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetAxisFlip(int x, int y) {
    if (HasAxes()) {
        m_pXYMotion->m_pAxisX->SetFlip(x < 0 ? -1 : 1);
        m_pXYMotion->m_pAxisY->SetFlip(y < 0 ? -1 : 1);
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::FindLowerLimits() {
    return m_pXYMotion && m_pXYMotion->FindLowerLimits() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

EDeviceManagerReturnCode STessaro_XYDrive::FindLimits() {
    return m_pXYMotion && m_pXYMotion->FindLimits() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetAsZero(double x, double y) {
    if (HasAxes()) {
        m_pXYMotion->m_pAxisX->ShiftZero(x);
        m_pXYMotion->m_pAxisY->ShiftZero(y);
        SetOriginOfLostFrame("XY", {m_pXYMotion->m_pAxisX, m_pXYMotion->m_pAxisY});
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::MoveVelocity(double vx, double vy) {
    if (!m_pXYMotion) return KX_DM_OK;
    return m_pXYMotion->MoveVelocity(vx, vy) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_XYDrive::SetCollectMoves(bool collect) {
    m_bCollectMoves = collect;
    m_bMovePending = false;
    return KX_DM_OK;
}

// Starts the stored move, if any; collecting ends here either way. A move
// that did not start is not waited for (the status it would wait on belongs
// to an earlier move).
EDeviceManagerReturnCode STessaro_XYDrive::ExecutePendingMove() {
    const bool stored = m_bCollectMoves && m_bMovePending;
    m_bCollectMoves = false;
    m_bMovePending = false;
    if (!stored) return KX_DM_OK;
    if (!m_pXYMotion || !m_pXYMotion->Move(m_dPendingX, m_dPendingY, m_bPendingRelative))
        return KX_DM_FAILED;
    m_bMovePending = true;  // started: to be waited for
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_XYDrive::WaitForPendingMove() {
    if (!m_pXYMotion || !m_bMovePending) return KX_DM_OK;
    m_bMovePending = false;
    return m_pXYMotion->WaitForMotionComplete() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

}  // namespace tessaro
