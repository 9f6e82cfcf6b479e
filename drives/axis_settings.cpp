#include "drives/axis_settings.h"

#include <cstdint>

#include "controller/unit_conversion.h"
#include "host/kx_settings.h"

namespace tessaro {
namespace {

// One double parameter: its key and its field.
struct DoubleKey {
    const char16_t* name;
    Relaxed<double> CTessaroAxis::*field;
};

// In the order in which they are saved and loaded; calibration comes last
// and only on linear axes.
constexpr DoubleKey kDoubleKeys[] = {
    {u"speed_revolutionPerSecond", &CTessaroAxis::speed_revolutionPerSecond},
    {u"maxJoystickSpeed_revolutionPerSecond", &CTessaroAxis::maxJoystickSpeed_revolutionPerSecond},
    {u"acceleration_revolutionPerSecond2", &CTessaroAxis::acceleration_revolutionPerSecond2},
    {u"deceleration_revolutionPerSecond2", &CTessaroAxis::deceleration_revolutionPerSecond2},
    {u"jerk_revolutionPerSecond3", &CTessaroAxis::jerk_revolutionPerSecond3},
    {u"current_percent", &CTessaroAxis::current_percent},
    {u"holdingCurrent_percent", &CTessaroAxis::holdingCurrent_percent},
    {u"holdingDelay_ms", &CTessaroAxis::holdingDelay_ms},
    {u"calibration_umPerRevolution", &CTessaroAxis::calibration_umPerRevolution},
};

std::size_t DoubleKeyCount(AxisKeySet set) {
    const std::size_t all = sizeof kDoubleKeys / sizeof kDoubleKeys[0];
    return set == AxisKeySet::kLinear ? all : all - 1;
}

std::u16string Key(const char16_t* name, const std::u16string& suffix) {
    return name + suffix;
}

}  // namespace

void SaveAxisParameters(CKxStringW& text, const CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix) {
    for (std::size_t i = 0; i < DoubleKeyCount(set); ++i)
        SetDoubleToKey(text, Key(kDoubleKeys[i].name, suffix).c_str(), axis.*kDoubleKeys[i].field);
    SetIntToKey(text, Key(u"microsteps", suffix).c_str(), axis.microsteps);
    SetBoolToKey(text, Key(u"joystickEnable", suffix).c_str(), axis.joystickEnable);
    SetBoolToKey(text, Key(u"positiveLimitSwitches", suffix).c_str(), axis.positiveLimitSwitches);
    SetIntToKey(text, Key(u"axisFlip", suffix).c_str(), axis.axisFlip);
}

void SaveAxisPositions(CKxStringW& text, const CTessaroAxis& axis, const std::u16string& suffix) {
    SetIntToKey(text, Key(u"zeroPos_step", suffix).c_str(), axis.zeroPos_step);
    SetIntToKey(text, Key(u"currentPos_step", suffix).c_str(), axis.currentPos_step.load());
    SetIntToKey(text, Key(u"minPos_step", suffix).c_str(), axis.minPos_step);
    SetIntToKey(text, Key(u"maxPos_step", suffix).c_str(), axis.maxPos_step);
}

void LoadAxisParameters(const char16_t* text, CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix) {
    for (std::size_t i = 0; i < DoubleKeyCount(set); ++i) {
        double value = 0;
        if (GetDoubleFromKey(text, Key(kDoubleKeys[i].name, suffix).c_str(), &value))
            axis.*kDoubleKeys[i].field = value;
    }
    int number = 0;
    bool flag = false;
    // Stored in 16 bits: the low bits of what was read (65537 is 1).
    if (GetIntFromKey(text, Key(u"microsteps", suffix).c_str(), &number))
        axis.microsteps = Low16(number);
    if (GetBoolFromKey(text, Key(u"joystickEnable", suffix).c_str(), &flag))
        axis.joystickEnable = flag;
    if (GetBoolFromKey(text, Key(u"positiveLimitSwitches", suffix).c_str(), &flag))
        axis.positiveLimitSwitches = flag;
    // A signed 8-bit field: the low byte as two's complement (255 is -1).
    if (GetIntFromKey(text, Key(u"axisFlip", suffix).c_str(), &number)) {
        const int low = number & 0xFF;
        axis.axisFlip = static_cast<std::int8_t>(low >= 0x80 ? low - 0x100 : low);
    }
}

void LoadAxisPositions(const char16_t* text, CTessaroAxis& axis, const std::u16string& suffix,
                       PositionSense sense) {
    int zero = 0, current = 0, low = 0, high = 0;
    // Read in this order, stopping at the first one missing.
    if (!GetIntFromKey(text, Key(u"zeroPos_step", suffix).c_str(), &zero) ||
        !GetIntFromKey(text, Key(u"currentPos_step", suffix).c_str(), &current) ||
        !GetIntFromKey(text, Key(u"minPos_step", suffix).c_str(), &low) ||
        !GetIntFromKey(text, Key(u"maxPos_step", suffix).c_str(), &high))
        return;
    if (sense == PositionSense::kAngle) {
        // The angle counts from current + zero (the linear position from
        // current - zero). The processor counts from 0 where the axis now
        // stands, so every count moves by -current; the zero point, at count
        // -zero, must move with them: zero + current. The limits keep their
        // places relative to it.
        axis.zeroPos_step = WrapAdd(zero, current);
        axis.currentPos_step = 0;
        axis.minPos_step = WrapSub(low, current);
        axis.maxPos_step = WrapSub(high, current);
        return;
    }
    axis.zeroPos_step = WrapSub(zero, current);
    axis.currentPos_step = 0;
    axis.minPos_step = WrapSub(zero, current);
    axis.maxPos_step = WrapAdd(WrapSub(WrapSub(high, current), zero), low);
}

void ApplyLoadedSettings(CTessaroAxis& axis) {
    axis.m_uProfileMode = kProfileModeUnknown;
    axis.ApplySettings();
}

}  // namespace tessaro
