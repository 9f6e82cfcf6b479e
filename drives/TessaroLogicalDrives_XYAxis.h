// The XY stage as the host sees it: the first two axes of the controller,
// moved together through the XY motion object. Positions in micrometres from
// each axis's zero point, speeds in revolutions per second.
//
// A thin layer: hardware goes through the motion object (which locks);
// parameters are written straight into the axis records and take effect at
// the next move or the next application of the settings.
#pragma once

#include <cstdint>

#include "controller/tessaro_motion.h"
#include "drives/drive_answers.h"

namespace tessaro {

class STessaro_XYDrive : public CKxDeviceXY_Default {
  public:
    explicit STessaro_XYDrive(CTessaroXYMotion* motion) : m_pXYMotion(motion) {}
    ~STessaro_XYDrive() override = default;

    // The logical device.
    CKxStringW GetInterfaceName() override { return u"IDeviceXY"; }
    CKxStringW GetDeviceName() override { return u"Tessaro XY Drive"; }
    CKxStringW GetShortName() override { return u"XY Drive"; }
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
    EDeviceManagerReturnCode GetPositioningSpeed(double* speed) override { return GetSpeed(speed); }
    EDeviceManagerReturnCode GetMaxAccelerationLevel(unsigned* max) override {
        return WriteMaxLevel(max);
    }
    EDeviceManagerReturnCode SetAcceleration(unsigned acceleration) override;
    EDeviceManagerReturnCode GetAcceleration(unsigned* acceleration) override;
    EDeviceManagerReturnCode GetJoystickEnabled(bool* on) override;
    EDeviceManagerReturnCode SetJoystickEnabled(bool on) override;

    // Positions, moves, limits, origin.
    EDeviceManagerReturnCode GetPosition(double* x, double* y) override;
    EDeviceManagerReturnCode MoveAbsolute(double x, double y) override;
    EDeviceManagerReturnCode MoveRelative(double dx, double dy) override;
    EDeviceManagerReturnCode GetRange(double* xLow, double* xHigh, double* yLow,
                                      double* yHigh) override;
    EDeviceManagerReturnCode SetLowerLimits(double x, double y) override;
    EDeviceManagerReturnCode SetUpperLimits(double x, double y) override;
    EDeviceManagerReturnCode GetAxisFlip(int* x, int* y) override;
    EDeviceManagerReturnCode SetAxisFlip(int x, int y) override;
    EDeviceManagerReturnCode FindLowerLimits() override;
    EDeviceManagerReturnCode FindLimits() override;
    EDeviceManagerReturnCode SetAsZero(double x, double y) override;
    EDeviceManagerReturnCode MoveJoystick(double vx, double vy) override {
        return MoveVelocity(vx, vy);
    }
    EDeviceManagerReturnCode MoveVelocity(double vx, double vy) override;

    // Operations this drive answers with a constant.
    TESSARO_DRIVE_COMMON_FIXED
    TESSARO_FIXED(bool, Slot40, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot44, KX_DM_OK)
    TESSARO_FIXED(bool, Slot45, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot51, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot55, KX_DM_OK)
    TESSARO_FIXED(bool, Slot58, false)
    TESSARO_FIXED(bool, Slot59, true)
    TESSARO_FIXED(bool, Slot61, true)
    TESSARO_FIXED(bool, Slot63, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot64, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot66, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot67, KX_DM_OK)
    TESSARO_FIXED(bool, Slot68, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot70, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot71, KX_DM_OK)
    TESSARO_FIXED(bool, Slot72, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot74, KX_DM_OK)
    TESSARO_FIXED(bool, Slot79, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot80, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot81, KX_DM_OK)
    TESSARO_FIXED(bool, Slot82, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot83, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot84, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot85, KX_DM_OK)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot86, KX_DM_OK)
    TESSARO_FIXED(bool, Slot89, false)
    TESSARO_FIXED(bool, Slot90, false)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot91, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot92, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot93, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot94, KX_DM_NOT_SUPPORTED)
    TESSARO_FIXED(bool, Slot101, true)
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot103, KX_DM_NOT_SUPPORTED)

    // Collected moves, called by the physical device for all drives at once.
    EDeviceManagerReturnCode SetCollectMoves(bool collect);
    EDeviceManagerReturnCode ExecutePendingMove();
    EDeviceManagerReturnCode WaitForPendingMove();

    CTessaroXYMotion* m_pXYMotion;
    bool m_bCollectMoves = false;
    bool m_bMovePending = false;
    bool m_bPendingRelative = false;
    double m_dPendingX = 0;
    double m_dPendingY = 0;
    std::uint32_t m_uDeviceId = 0;

  private:
    // Both axis records exist.
    bool HasAxes() const { return m_pXYMotion && m_pXYMotion->m_pAxisX && m_pXYMotion->m_pAxisY; }
    // A parameter both axes take (each with its own registers); told and
    // false when either does not.
    bool AcceptOnBoth(const char* key, double value, double kept, const char* source) const;
    EDeviceManagerReturnCode PositioningMove(double x, double y, bool relative);
};

}  // namespace tessaro
