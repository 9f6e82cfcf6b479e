#include "drives/TessaroLogicalDrivesRAxis.h"

#include "controller/motion_report.h"
#include "controller/parameter_ranges.h"
#include "controller/unit_conversion.h"
#include "drives/axis_settings.h"
#include "host/kx_settings.h"

namespace tessaro {

EDeviceManagerReturnCode STessaro_RDrive::GetDeviceId(unsigned* id) {
    if (id) *id = m_uDeviceId;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SaveSettings(CKxStringW& text) {
    CTessaroAxis* axis = Axis();
    if (!axis) return KX_DM_OK;
    text.Empty();
    SaveAxisParameters(text, *axis, AxisKeySet::kRotary, u"");
    SaveAxisPositions(text, *axis, u"");
    SetIntToKey(text, u"poleCount", static_cast<int>(axis->poleCount));
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::LoadSettings(const char16_t* text, unsigned id) {
    m_uDeviceId = id;
    CTessaroAxis* axis = Axis();
    if (!axis) return KX_DM_OK;
    // As on Z: the load in one piece under the motion and controller locks.
    CKxMutexLock motionLock(m_pRotaryMotion->m_lock);
    AxisControllerLock controllerLock(*axis);
    LoadAxisParameters(text, *axis, AxisKeySet::kRotary, u"", "rotary");
    int poles = 0;
    // Kept as the 32 bits read (a negative count reads as a large one).
    if (GetIntFromKey(text, u"poleCount", &poles))
        axis->poleCount = static_cast<std::uint32_t>(poles);
    // Re-based so that the saved angle is the angle after a restart. The
    // rotary drive has no origin to set and no switches to search: were it
    // flagged, nothing could ever clear the flag. A board that was not
    // reset kept counting from the old angle, so its count is taken, and
    // the host is told.
    const PositionLoad loaded =
        LoadAxisPositions(text, *axis, u"", "rotary", PositionSense::kAngle);
    if (loaded.loaded && !loaded.trusted) {
        axis->positionTrusted = true;
        ReportMotionEnding("rotary", "angle taken from the board's count: " + loaded.why);
    }
    m_pRotaryMotion->m_uDeviceId = id;
    ApplyLoadedSettings(*axis);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SetMaxJoystickSpeed(double speed) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("rotary", *Axis(), "maxJoystickSpeed_revolutionPerSecond", speed,
                             Axis()->maxJoystickSpeed_revolutionPerSecond, "SetMaxJoystickSpeed"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->maxJoystickSpeed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SetSpeed(double speed) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("rotary", *Axis(), "speed_revolutionPerSecond", speed,
                             Axis()->speed_revolutionPerSecond, "SetSpeed"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->speed_revolutionPerSecond = speed;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::GetMaxJoystickSpeed(double* speed) {
    if (!Axis() || !speed) return KX_DM_FAILED;
    *speed = Axis()->maxJoystickSpeed_revolutionPerSecond;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::GetSpeed(double* speed) {
    if (!Axis() || !speed) return KX_DM_FAILED;
    *speed = Axis()->speed_revolutionPerSecond;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SetAcceleration(unsigned acceleration) {
    if (!Axis()) return KX_DM_FAILED;
    if (!AcceptAxisParameter("rotary", *Axis(), "acceleration_revolutionPerSecond2", acceleration,
                             Axis()->acceleration_revolutionPerSecond2, "SetAcceleration"))
        return KX_DM_OUT_OF_RANGE;
    Axis()->acceleration_revolutionPerSecond2 = acceleration;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::GetAcceleration(unsigned* acceleration) {
    if (!Axis() || !acceleration) return KX_DM_FAILED;
    *acceleration = TruncToUInt32(Axis()->acceleration_revolutionPerSecond2);
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::GetJoystickEnabled(bool* on) {
    if (!Axis() || !on) return KX_DM_FAILED;
    *on = Axis()->joystickEnable;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SetJoystickEnabled(bool on) {
    if (!Axis()) return KX_DM_FAILED;
    Axis()->joystickEnable = on;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::GetAngle(double* degrees) {
    if (!m_pRotaryMotion || !degrees) return KX_DM_FAILED;
    *degrees = m_pRotaryMotion->GetAngle();
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::PositioningMove(double degrees, bool relative) {
    if (!m_pRotaryMotion) return KX_DM_MOTION_FAILED;
    if (m_bCollectMoves) {
        m_dPendingTarget = degrees;
        m_bMovePending = true;
        m_bPendingRelative = relative;
        return KX_DM_OK;
    }
    return m_pRotaryMotion->MoveAndWait(degrees, relative) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_RDrive::MoveAbsolute(double degrees) {
    return PositioningMove(degrees, false);
}

EDeviceManagerReturnCode STessaro_RDrive::MoveRelative(double degrees) {
    return PositioningMove(degrees, true);
}

EDeviceManagerReturnCode STessaro_RDrive::MoveVelocity(double speed) {
    if (!m_pRotaryMotion) return KX_DM_FAILED;
    return m_pRotaryMotion->MoveVelocity(speed) ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode STessaro_RDrive::Slot60(double* value, bool* flag) {
    if (value) *value = 1.0;
    if (flag) *flag = true;
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::SetCollectMoves(bool collect) {
    m_bCollectMoves = collect;
    m_bMovePending = false;
    return KX_DM_OK;
}

// Starts the stored move, if any; collecting ends here either way. A move
// that did not start is not waited for (the status it would wait on belongs
// to an earlier move).
EDeviceManagerReturnCode STessaro_RDrive::ExecutePendingMove() {
    const bool stored = m_bCollectMoves && m_bMovePending;
    m_bCollectMoves = false;
    m_bMovePending = false;
    if (!stored) return KX_DM_OK;
    if (!m_pRotaryMotion || !m_pRotaryMotion->Move(m_dPendingTarget, m_bPendingRelative))
        return KX_DM_FAILED;
    m_bMovePending = true;  // started: to be waited for
    return KX_DM_OK;
}

EDeviceManagerReturnCode STessaro_RDrive::WaitForPendingMove() {
    if (!m_pRotaryMotion || !m_bMovePending) return KX_DM_OK;
    m_bMovePending = false;
    return m_pRotaryMotion->WaitForMotionComplete() == 0 ? KX_DM_OK : KX_DM_FAILED;
}

}  // namespace tessaro
