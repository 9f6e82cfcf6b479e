// The rotary drive as the host sees it: one axis, turned through the rotary
// motion object. Angles in degrees, speeds in revolutions per second.
//
// Unlike the Z drive it has no limits, origin, direction or calibration
// operations, numbers its joystick levels 1 to 100, and answers 1 for a
// missing output.
#pragma once

#include <cstdint>

#include "controller/tessaro_motion.h"
#include "drives/drive_answers.h"

namespace tessaro {

class STessaro_RDrive : public CKxDeviceRotary_Default {
  public:
    explicit STessaro_RDrive(CTessaroRotaryMotion* motion) : m_pRotaryMotion(motion) {}
    ~STessaro_RDrive() override = default;

    // The logical device.
    CKxStringW GetInterfaceName() override { return u"IDeviceRotary"; }
    CKxStringW GetDeviceName() override { return u"Tessaro Rotary Drive"; }
    CKxStringW GetShortName() override { return u"Rotary Drive"; }
    CKxStringW GetDisplayName(unsigned) override { return GetShortName(); }
    EDeviceManagerReturnCode GetDeviceId(unsigned* id) override;
    EDeviceManagerReturnCode SaveSettings(CKxStringW& text) override;
    EDeviceManagerReturnCode LoadSettings(const char16_t* text, unsigned id) override;
    EDeviceManagerReturnCode ShowConfigurationDialog(KxWindow parent) override;

    // Levels, speeds, acceleration, joystick.
    EDeviceManagerReturnCode GetMaxSpeedLevel(unsigned* max) override { return WriteMaxLevel(max); }
    EDeviceManagerReturnCode SpeedLevelToSpeed(unsigned level, double* speed) override {
        return LevelToValue(level, 0, speed);
    }
    // Joystick levels 1 to 100; the host is told 101 of them.
    EDeviceManagerReturnCode GetMaxJoystickSpeedLevel(unsigned* max) override {
        return WriteMaxLevel(max, kMaxLevel + 1);
    }
    EDeviceManagerReturnCode JoystickSpeedLevelToSpeed(int level, double* speed) override {
        return LevelToValue(level, 1, speed);
    }
    EDeviceManagerReturnCode SetMaxJoystickSpeed(double speed) override;
    EDeviceManagerReturnCode SetSpeed(double speed) override;
    EDeviceManagerReturnCode GetMaxJoystickSpeed(double* speed) override;
    EDeviceManagerReturnCode GetSpeed(double* speed) override;
    EDeviceManagerReturnCode GetMaxAccelerationLevel(unsigned* max) override {
        return WriteMaxLevel(max);
    }
    EDeviceManagerReturnCode SetAcceleration(unsigned acceleration) override;
    EDeviceManagerReturnCode GetAcceleration(unsigned* acceleration) override;
    EDeviceManagerReturnCode GetJoystickEnabled(bool* on) override;
    EDeviceManagerReturnCode SetJoystickEnabled(bool on) override;

    // Angle and moves.
    EDeviceManagerReturnCode GetAngle(double* degrees) override;
    EDeviceManagerReturnCode MoveAbsolute(double degrees) override;
    EDeviceManagerReturnCode MoveRelative(double degrees) override;
    EDeviceManagerReturnCode MoveVelocity(double speed) override;

    // Operations this drive answers with a constant (one after writing
    // fixed values to its outputs).
    TESSARO_DRIVE_COMMON_FIXED
    TESSARO_FIXED(bool, Slot38, true)
    TESSARO_FIXED(bool, Slot42, true)
    TESSARO_FIXED(bool, Slot48, false)
    TESSARO_FIXED(bool, Slot49, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot50, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot51, KX_DM_OK)
    TESSARO_FIXED(bool, Slot52, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot53, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot54, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot55, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot56, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot57, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot58, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot59, KX_DM_OK)
    TESSARO_FIXED(bool, Slot65, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot66, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot67, KX_DM_OK)
    TESSARO_FIXED(bool, Slot68, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot69, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot70, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot71, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot72, KX_DM_OK)
    TESSARO_FIXED(bool, Slot73, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot75, KX_DM_NOT_SUPPORTED)
    EDeviceManagerReturnCode Slot60(double* value, bool* flag) override;

    // Collected moves, called by the physical device for all drives at once.
    EDeviceManagerReturnCode SetCollectMoves(bool collect);
    EDeviceManagerReturnCode ExecutePendingMove();
    EDeviceManagerReturnCode WaitForPendingMove();

    CTessaroRotaryMotion* m_pRotaryMotion;
    bool m_bCollectMoves = false;
    bool m_bMovePending = false;
    bool m_bPendingRelative = false;
    double m_dPendingTarget = 0;
    std::uint32_t m_uDeviceId = 0;

  private:
    CTessaroAxis* Axis() const { return m_pRotaryMotion ? m_pRotaryMotion->m_pAxis : nullptr; }
    EDeviceManagerReturnCode PositioningMove(double degrees, bool relative);
};

}  // namespace tessaro
