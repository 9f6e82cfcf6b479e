#include "drives/TessaroLogicalDrives_ZAxis.h"

#include "controller/parameter_ranges.h"
#include "controller/position_trust.h"
#include "controller/unit_conversion.h"
#include "drives/axis_settings.h"

namespace tessaro {

EDeviceManagerReturnCode STessaro_ZDrive::GetDeviceId(unsigned* id) {
    if (id) *id = m_uDeviceId;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SaveSettings(CKxStringW& text) {
    CTessaroAxis* axis = Axis();
    if (!axis) return KX_DM_OK;
    text.Empty();
    SaveAxisParameters(text, *axis, AxisKeySet::kLinear, u"");
    SaveAxisPositions(text, *axis, u"");
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::LoadSettings(const char16_t* text, unsigned id) {
    m_uDeviceId = id;
    CTessaroAxis* axis = Axis();
    if (!axis) return KX_DM_OK;
    // The count read, the positions re-based and the trust decided in one
    // piece: no move or poll of another thread comes in between.
    CKxMutexLock motionLock(m_pZMotion->m_lock);
    AxisControllerLock controllerLock(*axis);
    LoadAxisParameters(text, *axis, AxisKeySet::kLinear, u"", "Z");
    const PositionLoad loaded = LoadAxisPositions(text, *axis, u"", "Z");
    if (loaded.loaded && loaded.trusted)
        RegainPositionTrust("Z", {axis}, "settings that fit the board were loaded");
    else if (loaded.loaded)
        LosePositionTrust("Z", {axis}, loaded.why);
    m_pZMotion->m_uDeviceId = id;
    ApplyLoadedSettings(*axis);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetMaxJoystickSpeed(double speed) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("Z", *Axis(), "maxJoystickSpeed_revolutionPerSecond", speed,
                             Axis()->maxJoystickSpeed_revolutionPerSecond, "SetMaxJoystickSpeed"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->maxJoystickSpeed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetSpeed(double speed) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("Z", *Axis(), "speed_revolutionPerSecond", speed,
                             Axis()->speed_revolutionPerSecond, "SetSpeed"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->speed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetMaxJoystickSpeed(double* speed) {
    if (!Axis() || !speed) return KX_DM_FAILED;
    *speed = Axis()->maxJoystickSpeed_revolutionPerSecond;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetSpeed(double* speed) {
    if (!Axis() || !speed) return KX_DM_FAILED;
    *speed = Axis()->speed_revolutionPerSecond;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetAcceleration(unsigned acceleration) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("Z", *Axis(), "acceleration_revolutionPerSecond2", acceleration,
                             Axis()->acceleration_revolutionPerSecond2, "SetAcceleration"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->acceleration_revolutionPerSecond2 = acceleration;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetAcceleration(unsigned* acceleration) {
    if (!Axis()) return KX_DM_FAILED;
    if (acceleration) *acceleration = TruncToUInt32(Axis()->acceleration_revolutionPerSecond2);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetJoystickEnabled(bool* on) {
    if (!Axis()) return KX_DM_FAILED;
    if (on) *on = Axis()->joystickEnable;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetJoystickEnabled(bool on) {
    if (!Axis()) return KX_DM_FAILED;
    Axis()->joystickEnable = on;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetPosition(double* um) {
    if (um && Axis()) *um = Axis()->GetPosition();
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::PositioningMove(double um, bool relative) {
    if (!m_pZMotion) return KX_DM_MOTION_FAILED;
    if (m_bCollectMoves) {
        m_dPendingTarget = um;
        m_bMovePending = true;
        m_bPendingRelative = relative;
        return KX_DM_OK;
    }
    return m_pZMotion->MoveAndWait(um, relative) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_ZDrive::MoveAbsolute(double um) {
    return PositioningMove(um, false);
}

EDeviceManagerReturnCode STessaro_ZDrive::MoveRelative(double um) {
    return PositioningMove(um, true);
}

EDeviceManagerReturnCode STessaro_ZDrive::GetRange(double* low, double* high) {
    if (low && high && Axis()) {
        *low = Axis()->GetLowerLimit();
        *high = Axis()->GetUpperLimit();
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetLowerLimit(double um) {
    if (Axis()) Axis()->SetLowerLimit(um);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetUpperLimit(double um) {
    if (Axis()) Axis()->SetUpperLimit(um);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::FindLowerLimit() {
    return m_pZMotion && m_pZMotion->FindLowerLimit() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

EDeviceManagerReturnCode STessaro_ZDrive::FindLimits() {
    return m_pZMotion && m_pZMotion->FindLimits() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

EDeviceManagerReturnCode STessaro_ZDrive::GetAxisFlip(int* flip) {
    if (flip && Axis()) *flip = Axis()->axisFlip;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetAxisFlip(int flip) {
    if (Axis()) Axis()->SetFlip(flip < 0 ? -1 : 1);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetAsZero(double um) {
    if (!Axis()) return KX_DM_OK;
    Axis()->ShiftZero(um);
    SetOriginOfLostFrame("Z", {Axis()});
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetMicronsPerRevolution(double umPerRevolution) {
    if (!Axis()) return KX_DM_OK;
    if (!AcceptParameter("Z", "calibration_umPerRevolution", umPerRevolution,
                         Axis()->calibration_umPerRevolution, "SetMicronsPerRevolution"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->calibration_umPerRevolution = umPerRevolution;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::MoveVelocity(double speed) {
    if (!m_pZMotion) return KX_DM_MOTION_FAILED;
    return m_pZMotion->MoveVelocity(speed) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_ZDrive::Slot75(double* value, unsigned* count) {
    if (value) *value = 1.0;
    if (count) *count = 1;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::Slot77(double* value, bool* flag) {
    if (value) *value = 1.0;
    if (flag) *flag = true;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::Slot96(unsigned* value) {
    if (value) *value = 1;
    return KX_DM_NOT_SUPPORTED;
}

EDeviceManagerReturnCode STessaro_ZDrive::Slot97(unsigned* value) {
    if (value) *value = 1;
    return KX_DM_NOT_SUPPORTED;
}

EDeviceManagerReturnCode STessaro_ZDrive::SetCollectMoves(bool collect) {
    m_bCollectMoves = collect;
    m_bMovePending = false;
    return KX_DM_OK;
}

// Starts the stored move, if any; collecting ends here either way. A move
// that did not start is not waited for (the status it would wait on belongs
// to an earlier move).
EDeviceManagerReturnCode STessaro_ZDrive::ExecutePendingMove() {
    const bool stored = m_bCollectMoves && m_bMovePending;
    m_bCollectMoves = false;
    m_bMovePending = false;
    if (!stored) return KX_DM_OK;
    if (!m_pZMotion || !m_pZMotion->Move(m_dPendingTarget, m_bPendingRelative)) return KX_DM_FAILED;
    m_bMovePending = true;  // started: to be waited for
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_ZDrive::WaitForPendingMove() {
    if (!m_pZMotion || !m_bMovePending) return KX_DM_OK;
    m_bMovePending = false;
    return m_pZMotion->WaitForMotionComplete() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

}  // namespace tessaro
