// The host's device-manager interfaces: the physical device a plug-in
// offers, and the logical devices (XY stage, Z drive, rotary drive) it hands
// to the host. The host calls them through their tables, so the order of the
// operations is part of the contract: each list below is one table in slot
// order, and the interfaces, their default classes and the tests' slot-by-slot
// checks are all generated from it.
//
// A list entry is X(slot, result type, name, parameter types). The slot is
// the entry's position in its table; a logical device's slot 0 is its
// destructor. Operations that the host defines but whose meaning a device
// answers with a constant carry the name SlotNN after their position.
//
// The default classes answer every operation as a device that supports
// nothing: 22 ("not supported") for a result code, false, an empty text,
// and they write no output.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "host/kx_position.h"
#include "host/kx_string.h"

// The host's result code, a plain number.
using EDeviceManagerReturnCode = int;
inline constexpr EDeviceManagerReturnCode KX_DM_OK = 0;
inline constexpr EDeviceManagerReturnCode KX_DM_FAILED = 1;
inline constexpr EDeviceManagerReturnCode KX_DM_CANCELLED = 7;
inline constexpr EDeviceManagerReturnCode KX_DM_CONNECTED = 10;
inline constexpr EDeviceManagerReturnCode KX_DM_OUT_OF_RANGE = 12;
inline constexpr EDeviceManagerReturnCode KX_DM_MOTION_FAILED = 21;
inline constexpr EDeviceManagerReturnCode KX_DM_NOT_SUPPORTED = 22;

// A window handle (HWND on Windows).
using KxWindow = void*;

class IKxLogicalDevice;
// The list a physical device fills with the logical devices it creates; the
// host owns the devices in it.
using CKxLogicalDeviceList = std::vector<IKxLogicalDevice*>;

// ---- The physical device (no destructor slot: the object is released
// through its IKxInterface view).
#define KX_PHYSICAL_DEVICE_SLOTS(X)                                                \
    X(0, CKxStringW, GetDeviceName, (CKxStringW&))                                 \
    X(1, EDeviceManagerReturnCode, ConnectDevice, (const char16_t*))               \
    X(2, EDeviceManagerReturnCode, DisconnectDevice, ())                           \
    X(3, bool, GetDisconnectDevicePossible, ())                                    \
    X(4, bool, UseNewStyleConfig, ())                                              \
    X(5, EDeviceManagerReturnCode, ConfigureDevice, (KxWindow))                    \
    X(6, EDeviceManagerReturnCode, QueryConnection, ())                            \
    X(7, EDeviceManagerReturnCode, ShowConfigurationDialog, (KxWindow))            \
    X(8, EDeviceManagerReturnCode, GetConfigurationString, (CKxStringW&))          \
    X(9, EDeviceManagerReturnCode, GetConfiguration, (CKxStringW&))                \
    X(10, EDeviceManagerReturnCode, ShowConnectionDialog, (CKxStringW&, KxWindow)) \
    X(11, std::uint32_t, GetConnectionState, ())                                   \
    X(12, void, SetPositionCallback, (KX_PositionCallback, std::uint64_t))         \
    X(13, void, Slot13, ())                                                        \
    X(14, bool, Slot14, ())                                                        \
    X(15, EDeviceManagerReturnCode, Slot15, ())                                    \
    X(16, EDeviceManagerReturnCode, Slot16, ())                                    \
    X(17, EDeviceManagerReturnCode, Slot17, ())                                    \
    X(18, EDeviceManagerReturnCode, Slot18, ())                                    \
    X(19, EDeviceManagerReturnCode, Slot19, ())                                    \
    X(20, EDeviceManagerReturnCode, Slot20, ())                                    \
    X(21, EDeviceManagerReturnCode, Slot21, ())                                    \
    X(22, bool, Slot22, ())                                                        \
    X(23, EDeviceManagerReturnCode, GetCollectMoves, (bool*))                      \
    X(24, EDeviceManagerReturnCode, SetCollectMoves, (bool))                       \
    X(25, EDeviceManagerReturnCode, ExecuteCollectedMoves, (unsigned))             \
    X(26, bool, Slot26, ())                                                        \
    X(27, EDeviceManagerReturnCode, Slot27, ())                                    \
    X(28, EDeviceManagerReturnCode, Slot28, ())                                    \
    X(29, EDeviceManagerReturnCode, Slot29, ())                                    \
    X(30, EDeviceManagerReturnCode, CustomCommand, (const char16_t*, CKxStringW&)) \
    X(31, bool, IsSimulator, ())                                                   \
    X(32, EDeviceManagerReturnCode, Slot32, ())                                    \
    X(33, EDeviceManagerReturnCode, GetHWUnitAdditionalMapping, (CKxStringW&))     \
    X(34, EDeviceManagerReturnCode, GetHWUnitConnectionStrings, (CKxStringW&))     \
    X(35, EDeviceManagerReturnCode, CreateLogicalDevices,                          \
      (unsigned, unsigned, CKxLogicalDeviceList&))                                 \
    X(36, EDeviceManagerReturnCode, ShowDeviceDialog, (unsigned, KxWindow))

// ---- The logical devices. Slots 1 to 14 are IKxLogicalDevice's; from 15 on
// each drive interface has its own table, whose first entries the three
// share.
#define KX_LOGICAL_DEVICE_SLOTS(X)                                             \
    X(1, CKxStringW, GetInterfaceName, ())                                     \
    X(2, CKxStringW, GetDeviceName, ())                                        \
    X(3, CKxStringW, GetShortName, ())                                         \
    X(4, CKxStringW, GetDisplayName, (unsigned))                               \
    X(5, EDeviceManagerReturnCode, GetDeviceId, (unsigned*))                   \
    X(6, EDeviceManagerReturnCode, Slot06, ())                                 \
    X(7, EDeviceManagerReturnCode, Slot07, ())                                 \
    X(8, bool, Slot08, ())                                                     \
    X(9, EDeviceManagerReturnCode, SaveSettings, (CKxStringW&))                \
    X(10, EDeviceManagerReturnCode, LoadSettings, (const char16_t*, unsigned)) \
    X(11, EDeviceManagerReturnCode, GetCapability, (unsigned, int*))           \
    X(12, bool, Slot12, ())                                                    \
    X(13, EDeviceManagerReturnCode, ShowConfigurationDialog, (KxWindow))       \
    X(14, bool, Slot14, ())

#define KX_DRIVE_COMMON_SLOTS(X)                                                          \
    X(15, EDeviceManagerReturnCode, GetHWDeviceType, (unsigned*))                         \
    X(16, EDeviceManagerReturnCode, CustomCommand, (const char16_t*, CKxStringW&))        \
    X(17, EDeviceManagerReturnCode, GetGUIOptions, (CKxStringW&))                         \
    X(18, EDeviceManagerReturnCode, SetGUIOptions, (const char16_t*))                     \
    X(19, EDeviceManagerReturnCode, GetControlPadGUIElement, (unsigned, void**))          \
    X(20, EDeviceManagerReturnCode, GetControlPadGUIElementInfo, (unsigned, CKxStringW&)) \
    X(21, EDeviceManagerReturnCode, UpdateControlPad, (void*))                            \
    X(22, EDeviceManagerReturnCode, ShowRenameLogicalDeviceDialog, (KxWindow))            \
    X(23, bool, IsRenameLogicalDeviceSupported, ())                                       \
    X(24, CKxStringW, GetDefaultName, ())                                                 \
    X(25, EDeviceManagerReturnCode, GetDevicesBands, (CKxStringW&))                       \
    X(26, EDeviceManagerReturnCode, RefreshDevicesBands, ())                              \
    X(27, bool, Slot27, ())                                                               \
    X(28, bool, Slot28, ())                                                               \
    X(29, bool, Slot29, ())                                                               \
    X(30, EDeviceManagerReturnCode, GetMaxSpeedLevel, (unsigned*))                        \
    X(31, EDeviceManagerReturnCode, SpeedLevelToSpeed, (unsigned, double*))

#define KX_DEVICE_XY_SLOTS(X)                                                       \
    X(32, bool, IsMotorSpeedCalibrated, ())                                         \
    X(33, EDeviceManagerReturnCode, GetMaxJoystickSpeedLevel, (unsigned*))          \
    X(34, EDeviceManagerReturnCode, JoystickSpeedLevelToSpeed, (unsigned, double*)) \
    X(35, EDeviceManagerReturnCode, SetMaxJoystickSpeed, (double))                  \
    X(36, EDeviceManagerReturnCode, SetSpeed, (double))                             \
    X(37, EDeviceManagerReturnCode, GetMaxJoystickSpeed, (double*))                 \
    X(38, EDeviceManagerReturnCode, GetSpeed, (double*))                            \
    X(39, EDeviceManagerReturnCode, GetPositioningSpeed, (double*))                 \
    X(40, bool, Slot40, ())                                                         \
    X(41, EDeviceManagerReturnCode, GetMaxAccelerationLevel, (unsigned*))           \
    X(42, EDeviceManagerReturnCode, SetAcceleration, (unsigned))                    \
    X(43, EDeviceManagerReturnCode, GetAcceleration, (unsigned*))                   \
    X(44, EDeviceManagerReturnCode, Slot44, ())                                     \
    X(45, bool, Slot45, ())                                                         \
    X(46, EDeviceManagerReturnCode, GetJoystickEnabled, (bool*))                    \
    X(47, EDeviceManagerReturnCode, SetJoystickEnabled, (bool))                     \
    X(48, EDeviceManagerReturnCode, GetPosition, (double*, double*))                \
    X(49, EDeviceManagerReturnCode, MoveAbsolute, (double, double))                 \
    X(50, EDeviceManagerReturnCode, MoveRelative, (double, double))                 \
    X(51, EDeviceManagerReturnCode, Slot51, ())                                     \
    X(52, EDeviceManagerReturnCode, GetRange, (double*, double*, double*, double*)) \
    X(53, EDeviceManagerReturnCode, SetLowerLimits, (double, double))               \
    X(54, EDeviceManagerReturnCode, SetUpperLimits, (double, double))               \
    X(55, EDeviceManagerReturnCode, Slot55, ())                                     \
    X(56, EDeviceManagerReturnCode, GetAxisFlip, (int*, int*))                      \
    X(57, EDeviceManagerReturnCode, SetAxisFlip, (int, int))                        \
    X(58, bool, Slot58, ())                                                         \
    X(59, bool, Slot59, ())                                                         \
    X(60, EDeviceManagerReturnCode, FindLowerLimits, ())                            \
    X(61, bool, Slot61, ())                                                         \
    X(62, EDeviceManagerReturnCode, FindLimits, ())                                 \
    X(63, bool, Slot63, ())                                                         \
    X(64, EDeviceManagerReturnCode, Slot64, ())                                     \
    X(65, EDeviceManagerReturnCode, SetAsZero, (double, double))                    \
    X(66, EDeviceManagerReturnCode, Slot66, ())                                     \
    X(67, EDeviceManagerReturnCode, Slot67, ())                                     \
    X(68, bool, Slot68, ())                                                         \
    X(69, bool, IsSetAsZeroFastOnlyForCurrentPosition, ())                          \
    X(70, EDeviceManagerReturnCode, Slot70, ())                                     \
    X(71, EDeviceManagerReturnCode, Slot71, ())                                     \
    X(72, bool, Slot72, ())                                                         \
    X(73, EDeviceManagerReturnCode, MoveJoystick, (double, double))                 \
    X(74, EDeviceManagerReturnCode, Slot74, ())                                     \
    X(75, EDeviceManagerReturnCode, SetBlockAxis, (unsigned, bool))                 \
    X(76, EDeviceManagerReturnCode, GetAxisBlocked, (unsigned, bool*))              \
    X(77, bool, GetBlockAxisSupported, ())                                          \
    X(78, bool, IsJoystickDisableRequiered, ())                                     \
    X(79, bool, Slot79, ())                                                         \
    X(80, EDeviceManagerReturnCode, Slot80, ())                                     \
    X(81, EDeviceManagerReturnCode, Slot81, ())                                     \
    X(82, bool, Slot82, ())                                                         \
    X(83, EDeviceManagerReturnCode, Slot83, ())                                     \
    X(84, EDeviceManagerReturnCode, Slot84, ())                                     \
    X(85, EDeviceManagerReturnCode, Slot85, ())                                     \
    X(86, EDeviceManagerReturnCode, Slot86, ())                                     \
    X(87, EDeviceManagerReturnCode, GetTimeNeededForMove, (double, double*))        \
    X(88, EDeviceManagerReturnCode, SetTrigger, (unsigned, bool))                   \
    X(89, bool, Slot89, ())                                                         \
    X(90, bool, Slot90, ())                                                         \
    X(91, EDeviceManagerReturnCode, Slot91, ())                                     \
    X(92, EDeviceManagerReturnCode, Slot92, ())                                     \
    X(93, EDeviceManagerReturnCode, Slot93, ())                                     \
    X(94, EDeviceManagerReturnCode, Slot94, ())                                     \
    X(95, bool, IsXYZPadVelocityPresetsSupported, ())                               \
    X(96, EDeviceManagerReturnCode, GetXYZPadVelocityPresetsEnabled, (bool*))       \
    X(97, EDeviceManagerReturnCode, SetXYZPadVelocityPreset, (unsigned))            \
    X(98, EDeviceManagerReturnCode, GcsCommand, (const char16_t*, CKxStringW&))     \
    X(99, bool, IsAutoInitSupported, ())                                            \
    X(100, EDeviceManagerReturnCode, AutoInit, ())                                  \
    X(101, bool, Slot101, ())                                                       \
    X(102, EDeviceManagerReturnCode, MoveVelocity, (double, double))                \
    X(103, EDeviceManagerReturnCode, Slot103, ())

#define KX_DEVICE_Z_SLOTS(X)                                                                      \
    X(32, bool, IsMotorSpeedCalibrated, ())                                                       \
    X(33, EDeviceManagerReturnCode, GetMaxJoystickSpeedLevel, (unsigned*))                        \
    X(34, EDeviceManagerReturnCode, JoystickSpeedLevelToSpeed, (unsigned, double*))               \
    X(35, EDeviceManagerReturnCode, SetMaxJoystickSpeed, (double))                                \
    X(36, EDeviceManagerReturnCode, SetSpeed, (double))                                           \
    X(37, EDeviceManagerReturnCode, GetMaxJoystickSpeed, (double*))                               \
    X(38, EDeviceManagerReturnCode, GetSpeed, (double*))                                          \
    X(39, bool, Slot39, ())                                                                       \
    X(40, EDeviceManagerReturnCode, GetMaxAccelerationLevel, (unsigned*))                         \
    X(41, EDeviceManagerReturnCode, SetAcceleration, (unsigned))                                  \
    X(42, EDeviceManagerReturnCode, GetAcceleration, (unsigned*))                                 \
    X(43, bool, Slot43, ())                                                                       \
    X(44, EDeviceManagerReturnCode, GetJoystickEnabled, (bool*))                                  \
    X(45, EDeviceManagerReturnCode, SetJoystickEnabled, (bool))                                   \
    X(46, EDeviceManagerReturnCode, GetPosition, (double*))                                       \
    X(47, EDeviceManagerReturnCode, Slot47, ())                                                   \
    X(48, EDeviceManagerReturnCode, MoveAbsolute, (double))                                       \
    X(49, EDeviceManagerReturnCode, MoveRelative, (double))                                       \
    X(50, EDeviceManagerReturnCode, Slot50, ())                                                   \
    X(51, EDeviceManagerReturnCode, GetHomePosition, (double*))                                   \
    X(52, EDeviceManagerReturnCode, Slot52, ())                                                   \
    X(53, EDeviceManagerReturnCode, GetRange, (double*, double*))                                 \
    X(54, EDeviceManagerReturnCode, SetLowerLimit, (double))                                      \
    X(55, EDeviceManagerReturnCode, SetUpperLimit, (double))                                      \
    X(56, bool, Slot56, ())                                                                       \
    X(57, bool, Slot57, ())                                                                       \
    X(58, bool, Slot58, ())                                                                       \
    X(59, EDeviceManagerReturnCode, FindLowerLimit, ())                                           \
    X(60, bool, Slot60, ())                                                                       \
    X(61, EDeviceManagerReturnCode, FindLimits, ())                                               \
    X(62, bool, Slot62, ())                                                                       \
    X(63, EDeviceManagerReturnCode, GetAxisFlip, (int*))                                          \
    X(64, EDeviceManagerReturnCode, SetAxisFlip, (int))                                           \
    X(65, bool, Slot65, ())                                                                       \
    X(66, EDeviceManagerReturnCode, Slot66, ())                                                   \
    X(67, EDeviceManagerReturnCode, Slot67, ())                                                   \
    X(68, bool, Slot68, ())                                                                       \
    X(69, bool, Slot69, ())                                                                       \
    X(70, EDeviceManagerReturnCode, Slot70, ())                                                   \
    X(71, EDeviceManagerReturnCode, Slot71, ())                                                   \
    X(72, EDeviceManagerReturnCode, Slot72, ())                                                   \
    X(73, EDeviceManagerReturnCode, SetAsZero, (double))                                          \
    X(74, EDeviceManagerReturnCode, Slot74, ())                                                   \
    X(75, EDeviceManagerReturnCode, Slot75, (double*, unsigned*))                                 \
    X(76, EDeviceManagerReturnCode, Slot76, ())                                                   \
    X(77, EDeviceManagerReturnCode, Slot77, (double*, bool*))                                     \
    X(78, bool, Slot78, ())                                                                       \
    X(79, EDeviceManagerReturnCode, SetMicronsPerRevolution, (double))                            \
    X(80, EDeviceManagerReturnCode, GetMicronsPerRevolution, (double*))                           \
    X(81, bool, Slot81, ())                                                                       \
    X(82, EDeviceManagerReturnCode, MoveJoystick, (double))                                       \
    X(83, EDeviceManagerReturnCode, Slot83, ())                                                   \
    X(84, bool, IsJoystickDisableRequiered, ())                                                   \
    X(85, bool, Slot85, ())                                                                       \
    X(86, EDeviceManagerReturnCode, Slot86, ())                                                   \
    X(87, EDeviceManagerReturnCode, Slot87, ())                                                   \
    X(88, bool, Slot88, ())                                                                       \
    X(89, EDeviceManagerReturnCode, Slot89, ())                                                   \
    X(90, EDeviceManagerReturnCode, Slot90, ())                                                   \
    X(91, EDeviceManagerReturnCode, Slot91, ())                                                   \
    X(92, EDeviceManagerReturnCode, Slot92, ())                                                   \
    X(93, bool, Slot93, ())                                                                       \
    X(94, EDeviceManagerReturnCode, MoveAbsoluteAsyncTriggeredByCamera, (double))                 \
    X(95, EDeviceManagerReturnCode, AbortMoveAbsoluteAsyncTriggeredByCamera, ())                  \
    X(96, EDeviceManagerReturnCode, Slot96, (unsigned*))                                          \
    X(97, EDeviceManagerReturnCode, Slot97, (unsigned*))                                          \
    X(98, EDeviceManagerReturnCode, Slot98, ())                                                   \
    X(99, EDeviceManagerReturnCode, Slot99, ())                                                   \
    X(100, EDeviceManagerReturnCode, Slot100, ())                                                 \
    X(101, bool, Slot101, ())                                                                     \
    X(102, EDeviceManagerReturnCode, Slot102, ())                                                 \
    X(103, EDeviceManagerReturnCode, Slot103, ())                                                 \
    X(104, EDeviceManagerReturnCode, Slot104, ())                                                 \
    X(105, EDeviceManagerReturnCode, Slot105, ())                                                 \
    X(106, EDeviceManagerReturnCode, SetLineAlternationTiming, (double, double))                  \
    X(107, EDeviceManagerReturnCode, SetTriggeringStatus, (bool))                                 \
    X(108, EDeviceManagerReturnCode, TriggeredPositions_Set, (const double*, unsigned))           \
    X(109, EDeviceManagerReturnCode, TriggeredPositions_Start, ())                                \
    X(110, EDeviceManagerReturnCode, TriggeredPositions_Stop, ())                                 \
    X(111, EDeviceManagerReturnCode, Slot111, ())                                                 \
    X(112, EDeviceManagerReturnCode, Slot112, ())                                                 \
    X(113, EDeviceManagerReturnCode, SetIlluminationSequence, (const char16_t*))                  \
    X(114, EDeviceManagerReturnCode, UpdateIlluminationSequencePowers, (const double*, unsigned)) \
    X(115, EDeviceManagerReturnCode, GetIlluminationSequenceTriggeringLimits, (double*, double*)) \
    X(116, EDeviceManagerReturnCode, GetTimeNeededForMove, (double, double*))                     \
    X(117, EDeviceManagerReturnCode, RecalculateValuesPositionsAndVoltages, ())                   \
    X(118, EDeviceManagerReturnCode, GetMaximumAllowedFrequency, (double*))                       \
    X(119, EDeviceManagerReturnCode, SetMaximumAllowedFrequency, (double))                        \
    X(120, EDeviceManagerReturnCode, SendSpeedErrorNotification, (double))                        \
    X(121, EDeviceManagerReturnCode, GetToleranceSteps, (unsigned*))                              \
    X(122, EDeviceManagerReturnCode, GetToleranceStep, (double*))                                 \
    X(123, EDeviceManagerReturnCode, SetTolerance, (double))                                      \
    X(124, EDeviceManagerReturnCode, GetTolerance, (double*))                                     \
    X(125, bool, Slot125, ())                                                                     \
    X(126, EDeviceManagerReturnCode, MoveVelocity, (double))                                      \
    X(127, EDeviceManagerReturnCode, Slot127, ())                                                 \
    X(128, EDeviceManagerReturnCode, Slot128, ())

#define KX_DEVICE_ROTARY_SLOTS(X)                                              \
    X(32, EDeviceManagerReturnCode, GetMaxJoystickSpeedLevel, (unsigned*))     \
    X(33, EDeviceManagerReturnCode, JoystickSpeedLevelToSpeed, (int, double*)) \
    X(34, EDeviceManagerReturnCode, SetMaxJoystickSpeed, (double))             \
    X(35, EDeviceManagerReturnCode, SetSpeed, (double))                        \
    X(36, EDeviceManagerReturnCode, GetMaxJoystickSpeed, (double*))            \
    X(37, EDeviceManagerReturnCode, GetSpeed, (double*))                       \
    X(38, bool, Slot38, ())                                                    \
    X(39, EDeviceManagerReturnCode, GetMaxAccelerationLevel, (unsigned*))      \
    X(40, EDeviceManagerReturnCode, SetAcceleration, (unsigned))               \
    X(41, EDeviceManagerReturnCode, GetAcceleration, (unsigned*))              \
    X(42, bool, Slot42, ())                                                    \
    X(43, EDeviceManagerReturnCode, GetJoystickEnabled, (bool*))               \
    X(44, EDeviceManagerReturnCode, SetJoystickEnabled, (bool))                \
    X(45, EDeviceManagerReturnCode, GetAngle, (double*))                       \
    X(46, EDeviceManagerReturnCode, MoveAbsolute, (double))                    \
    X(47, EDeviceManagerReturnCode, MoveRelative, (double))                    \
    X(48, bool, Slot48, ())                                                    \
    X(49, bool, Slot49, ())                                                    \
    X(50, EDeviceManagerReturnCode, Slot50, ())                                \
    X(51, EDeviceManagerReturnCode, Slot51, ())                                \
    X(52, bool, Slot52, ())                                                    \
    X(53, EDeviceManagerReturnCode, Slot53, ())                                \
    X(54, EDeviceManagerReturnCode, Slot54, ())                                \
    X(55, EDeviceManagerReturnCode, Slot55, ())                                \
    X(56, EDeviceManagerReturnCode, Slot56, ())                                \
    X(57, EDeviceManagerReturnCode, Slot57, ())                                \
    X(58, EDeviceManagerReturnCode, Slot58, ())                                \
    X(59, EDeviceManagerReturnCode, Slot59, ())                                \
    X(60, EDeviceManagerReturnCode, Slot60, (double*, bool*))                  \
    X(61, bool, IsSpeedVectorControllable, ())                                 \
    X(62, EDeviceManagerReturnCode, SetSpeedVector, (double, double))          \
    X(63, EDeviceManagerReturnCode, GetSpeedVector, (double*, double*))        \
    X(64, bool, IsJoystickDisableRequiered, ())                                \
    X(65, bool, Slot65, ())                                                    \
    X(66, EDeviceManagerReturnCode, Slot66, ())                                \
    X(67, EDeviceManagerReturnCode, Slot67, ())                                \
    X(68, bool, Slot68, ())                                                    \
    X(69, EDeviceManagerReturnCode, Slot69, ())                                \
    X(70, EDeviceManagerReturnCode, Slot70, ())                                \
    X(71, EDeviceManagerReturnCode, Slot71, ())                                \
    X(72, EDeviceManagerReturnCode, Slot72, ())                                \
    X(73, bool, Slot73, ())                                                    \
    X(74, EDeviceManagerReturnCode, MoveVelocity, (double))                    \
    X(75, EDeviceManagerReturnCode, Slot75, ())

// What a default operation answers for a result type.
template <typename R>
R KxDefaultAnswer() {
    if constexpr (std::is_same_v<R, EDeviceManagerReturnCode>) {
        return KX_DM_NOT_SUPPORTED;
    } else if constexpr (!std::is_void_v<R>) {
        return R{};
    }
}

#define KX_DECLARE_SLOT(slot, R, Name, Params) virtual R Name Params = 0;
#define KX_DEFAULT_SLOT(slot, R, Name, Params) \
    R Name Params override {                   \
        return KxDefaultAnswer<R>();           \
    }

class IKxPhysicalDevice {
  public:
    KX_PHYSICAL_DEVICE_SLOTS(KX_DECLARE_SLOT)

  protected:
    ~IKxPhysicalDevice() = default;
};

class IKxLogicalDevice {
  public:
    virtual ~IKxLogicalDevice() = default;
    KX_LOGICAL_DEVICE_SLOTS(KX_DECLARE_SLOT)
};

class IKxDeviceXY : public IKxLogicalDevice {
  public:
    KX_DRIVE_COMMON_SLOTS(KX_DECLARE_SLOT)
    KX_DEVICE_XY_SLOTS(KX_DECLARE_SLOT)
};

class IKxDeviceZ : public IKxLogicalDevice {
  public:
    KX_DRIVE_COMMON_SLOTS(KX_DECLARE_SLOT)
    KX_DEVICE_Z_SLOTS(KX_DECLARE_SLOT)
};

class IKxDeviceRotary : public IKxLogicalDevice {
  public:
    KX_DRIVE_COMMON_SLOTS(KX_DECLARE_SLOT)
    KX_DEVICE_ROTARY_SLOTS(KX_DECLARE_SLOT)
};

class CKxPhysicalDevice_Default : public IKxPhysicalDevice {
  public:
    KX_PHYSICAL_DEVICE_SLOTS(KX_DEFAULT_SLOT)
};

class CKxDeviceXY_Default : public IKxDeviceXY {
  public:
    KX_LOGICAL_DEVICE_SLOTS(KX_DEFAULT_SLOT)
    KX_DRIVE_COMMON_SLOTS(KX_DEFAULT_SLOT)
    KX_DEVICE_XY_SLOTS(KX_DEFAULT_SLOT)
};

class CKxDeviceZ_Default : public IKxDeviceZ {
  public:
    KX_LOGICAL_DEVICE_SLOTS(KX_DEFAULT_SLOT)
    KX_DRIVE_COMMON_SLOTS(KX_DEFAULT_SLOT)
    KX_DEVICE_Z_SLOTS(KX_DEFAULT_SLOT)
};

class CKxDeviceRotary_Default : public IKxDeviceRotary {
  public:
    KX_LOGICAL_DEVICE_SLOTS(KX_DEFAULT_SLOT)
    KX_DRIVE_COMMON_SLOTS(KX_DEFAULT_SLOT)
    KX_DEVICE_ROTARY_SLOTS(KX_DEFAULT_SLOT)
};
