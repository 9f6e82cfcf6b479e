// The Z (focus) drive as the host sees it: one axis, moved through the Z
// motion object. Positions and limits in micrometres from the zero point,
// speeds in revolutions per second.
//
// A thin layer: hardware goes through the motion object (which locks);
// parameters are written straight into the axis record and take effect at
// the next move or the next application of the settings.
#pragma once

#include <cstdint>

#include "controller/tessaro_motion.h"
#include "drives/drive_answers.h"

namespace tessaro {

class STessaro_ZDrive : public CKxDeviceZ_Default {
  public:
    explicit STessaro_ZDrive(CTessaroZMotion* motion) : m_pZMotion(motion) {}
    ~STessaro_ZDrive() override = default;

    // The logical device.
    CKxStringW GetInterfaceName() override { return u"IDeviceZ"; }
    CKxStringW GetDeviceName() override { return u"Tessaro Z Drive"; }
    CKxStringW GetShortName() override { return u"Z Drive"; }
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
    EDeviceManagerReturnCode GetMaxJoystickSpeedLevel(unsigned* max) override {
        return WriteMaxLevel(max);
    }
    EDeviceManagerReturnCode JoystickSpeedLevelToSpeed(unsigned level, double* speed) override {
        return LevelToValue(level, 0, speed);
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

    // Position, moves, limits, zero point, calibration.
    EDeviceManagerReturnCode GetPosition(double* um) override;
    EDeviceManagerReturnCode MoveAbsolute(double um) override;
    EDeviceManagerReturnCode MoveRelative(double um) override;
    EDeviceManagerReturnCode GetRange(double* low, double* high) override;
    EDeviceManagerReturnCode SetLowerLimit(double um) override;
    EDeviceManagerReturnCode SetUpperLimit(double um) override;
    EDeviceManagerReturnCode FindLowerLimit() override;
    EDeviceManagerReturnCode FindLimits() override;
    EDeviceManagerReturnCode GetAxisFlip(int* flip) override;
    EDeviceManagerReturnCode SetAxisFlip(int flip) override;
    EDeviceManagerReturnCode SetAsZero(double um) override;
    EDeviceManagerReturnCode SetMicronsPerRevolution(double umPerRevolution) override;
    EDeviceManagerReturnCode MoveJoystick(double speed) override { return MoveVelocity(speed); }
    EDeviceManagerReturnCode MoveVelocity(double speed) override;

    // Operations this drive answers with a constant (some after writing
    // fixed values to their outputs).
    TESSARO_DRIVE_COMMON_FIXED
    TESSARO_FIXED(bool, Slot39, true)
    TESSARO_FIXED(bool, Slot43, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot47, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot50, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot52, KX_DM_OK)
    TESSARO_FIXED(bool, Slot56, true)
    TESSARO_FIXED(bool, Slot57, false)
    TESSARO_FIXED(bool, Slot58, true)
    TESSARO_FIXED(bool, Slot60, true)
    TESSARO_FIXED(bool, Slot62, false)
    TESSARO_FIXED(bool, Slot65, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot66, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot67, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot68, false)
    TESSARO_FIXED(bool, Slot69, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot70, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot71, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot72, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot74, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot76, KX_DM_OK)
    TESSARO_FIXED(bool, Slot78, true)
    TESSARO_FIXED(bool, Slot81, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot83, KX_DM_OK)
    TESSARO_FIXED(bool, Slot85, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot86, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot87, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot88, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot89, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot90, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot91, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot92, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot93, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot98, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot99, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot100, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot101, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot102, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot103, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot104, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot105, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot111, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot112, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot125, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot127, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot128, KX_DM_NOT_SUPPORTED)
    EDeviceManagerReturnCode Slot75(double* value, unsigned* count) override;
    EDeviceManagerReturnCode Slot77(double* value, bool* flag) override;
    EDeviceManagerReturnCode Slot96(unsigned* value) override;
    EDeviceManagerReturnCode Slot97(unsigned* value) override;

    // Collected moves, called by the physical device for all drives at once.
    EDeviceManagerReturnCode SetCollectMoves(bool collect);
    EDeviceManagerReturnCode ExecutePendingMove();
    EDeviceManagerReturnCode WaitForPendingMove();

    CTessaroZMotion* m_pZMotion;
    bool m_bCollectMoves = false;
    bool m_bMovePending = false;
    bool m_bPendingRelative = false;
    double m_dPendingTarget = 0;
    std::uint32_t m_uDeviceId = 0;

  private:
    // The axis record, or null.
    CTessaroAxis* Axis() const { return m_pZMotion ? m_pZMotion->m_pAxis : nullptr; }
    EDeviceManagerReturnCode PositioningMove(double um, bool relative);
};

}  // namespace tessaro
