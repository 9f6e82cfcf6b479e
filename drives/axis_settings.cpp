#include "drives/axis_settings.h"

#include <cstdint>
#include <cstdio>

#include "controller/motion_report.h"
#include "controller/parameter_ranges.h"
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

void SaveAxisPositions(CKxStringW& text, CTessaroAxis& axis, const std::u16string& suffix) {
    const std::uint8_t doubt = axis.PositionDoubtNow();
    SetIntToKey(text, Key(u"zeroPos_step", suffix).c_str(), axis.zeroPos_step);
    SetIntToKey(text, Key(u"currentPos_step", suffix).c_str(), axis.currentPos_step.load());
    SetIntToKey(text, Key(u"minPos_step", suffix).c_str(), axis.minPos_step);
    SetIntToKey(text, Key(u"maxPos_step", suffix).c_str(), axis.maxPos_step);
    if (axis.lowerLimitAtSwitch) SetIntToKey(text, Key(u"lowerLimitAtSwitch", suffix).c_str(), 1);
    // Only when not: the text of a trusted position is what it always was.
    if (doubt != kNoDoubt) {
        SetIntToKey(text, Key(u"positionTrusted", suffix).c_str(), 0);
        SetIntToKey(text, Key(u"positionDoubt", suffix).c_str(), doubt);
    } else if (axis.Closing()) {
        SetIntToKey(text, Key(u"savedAtDisconnect", suffix).c_str(), 1);
    }
}

void LoadAxisParameters(const char16_t* text, CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix, const char* drive) {
    const auto name = [&](const char16_t* key) { return KX_ToUtf8(Key(key, suffix)); };
    for (std::size_t i = 0; i < DoubleKeyCount(set); ++i) {
        double value = 0;
        Relaxed<double>& field = axis.*kDoubleKeys[i].field;
        if (GetDoubleFromKey(text, Key(kDoubleKeys[i].name, suffix).c_str(), &value) &&
            AcceptAxisParameter(drive, axis, name(kDoubleKeys[i].name), value, field,
                                "the settings"))
            field = value;
    }
    int number = 0;
    bool flag = false;
    // Stored in 16 bits: the low bits of what was read (65537 is 1).
    if (GetIntFromKey(text, Key(u"microsteps", suffix).c_str(), &number) &&
        AcceptParameter(drive, name(u"microsteps"), Low16(number), axis.microsteps, "the settings",
                        number))
        axis.microsteps = Low16(number);
    if (GetBoolFromKey(text, Key(u"joystickEnable", suffix).c_str(), &flag))
        axis.joystickEnable = flag;
    if (GetBoolFromKey(text, Key(u"positiveLimitSwitches", suffix).c_str(), &flag))
        axis.positiveLimitSwitches = flag;
    // A signed 8-bit field: the low byte as two's complement (255 is -1).
    if (GetIntFromKey(text, Key(u"axisFlip", suffix).c_str(), &number)) {
        const int low = number & 0xFF;
        const auto flip = static_cast<std::int8_t>(low >= 0x80 ? low - 0x100 : low);
        if (AcceptParameter(drive, name(u"axisFlip"), flip, axis.axisFlip, "the settings", number))
            axis.SetFlip(flip);
    }
}

namespace {

constexpr std::int32_t kLowestCount = -2147483647 - 1;
constexpr std::int32_t kHighestCount = 2147483647;

std::int32_t Shifted(std::int32_t count, std::int64_t delta) {
    return Saturate32(count + delta);
}
// A limit at the end of the range stands for no limit on that side.
std::int32_t ShiftedLimit(std::int32_t count, std::int64_t delta) {
    return count == kLowestCount || count == kHighestCount ? count : Shifted(count, delta);
}

}  // namespace

namespace {

// Why a text's own word says its positions are not the truth.
const char* DoubtText(int doubt) {
    switch (doubt) {
        case kDoubtMoving:
            return "the settings were saved while it moved";
        case kDoubtLineLost:
            return "the settings were saved while the line to the board was lost";
        case kDoubtAnotherSession:
            return "another session used the board since the settings were saved";
        case kDoubtSessionDied:
            return "the last session on the board ended without a disconnect";
        default:
            return "the settings were saved while it could not be trusted";
    }
}

}  // namespace

PositionLoad LoadAxisPositions(const char16_t* text, CTessaroAxis& axis,
                               const std::u16string& suffix, const char* drive,
                               PositionSense sense) {
    PositionLoad result;
    int zero = 0, current = 0, low = 0, high = 0, marked = 1, doubt = kDoubtFlagged, atReset = 0;
    // Read in this order, stopping at the first one missing.
    if (!GetIntFromKey(text, Key(u"zeroPos_step", suffix).c_str(), &zero) ||
        !GetIntFromKey(text, Key(u"currentPos_step", suffix).c_str(), &current) ||
        !GetIntFromKey(text, Key(u"minPos_step", suffix).c_str(), &low) ||
        !GetIntFromKey(text, Key(u"maxPos_step", suffix).c_str(), &high))
        return result;
    result.loaded = true;
    // The count of now, unless nothing moved the axis since connect read it.
    bool moving = false;
    const bool read = !axis.movedSinceConnect || axis.ReadMotionState(&moving) == 0;
    const std::int32_t board = WrapMul(axis.axisFlip, axis.boardCount_step);
    // Count 0 where the board's reset left the stage, with nothing moved.
    const bool resetHere =
        axis.freshAtConnect && !axis.movedSinceConnect && axis.boardCount_step == 0;
    GetIntFromKey(text, Key(u"savedAtDisconnect", suffix).c_str(), &atReset);
    std::int64_t delta = 0;
    std::string why;  // empty: the positions are where the stage stands
    char counts[200];
    if (!read) {
        why = "the board did not say where the axis stands";
    } else if (moving) {
        why = "the axis moved while the settings were loaded";
    } else if (axis.resetUnderSession) {
        why =
            "the board was reset under this session, and its count restarted where the axis "
            "stood";
    } else if (atReset == 1 || board != current) {
        if (resetHere) {
            delta = -static_cast<std::int64_t>(current);
        } else if (atReset == 1) {
            why = axis.freshAtConnect ? "the settings were saved at a disconnect, and the axis "
                                        "moved since the board was reset"
                                      : "the settings were saved at a disconnect, and the board "
                                        "was not reset since (a session after it did not end "
                                        "with one)";
        } else {
            std::snprintf(counts, sizeof counts,
                          "the board was not reset since the settings were saved, and its count "
                          "%d is not the %d they were saved at",
                          static_cast<int>(board), current);
            why = counts;
        }
    }
    if (GetIntFromKey(text, Key(u"positionTrusted", suffix).c_str(), &marked) && marked == 0) {
        GetIntFromKey(text, Key(u"positionDoubt", suffix).c_str(), &doubt);
        why = DoubtText(doubt);
    }
    result.trusted = why.empty();
    result.why = why;
    // The linear position counts from current - zero, so the zero point
    // moves with the counts; the angle counts from current + zero, so it
    // moves against them.
    axis.zeroPos_step =
        sense == PositionSense::kAngle ? Shifted(zero, -delta) : Shifted(zero, delta);
    axis.currentPos_step = result.trusted ? Shifted(current, delta) : board;
    axis.minPos_step = ShiftedLimit(low, delta);
    axis.maxPos_step = ShiftedLimit(high, delta);
    int atSwitch = 0;
    GetIntFromKey(text, Key(u"lowerLimitAtSwitch", suffix).c_str(), &atSwitch);
    axis.lowerLimitAtSwitch = atSwitch == 1;
    // A text with the lower limit above the upper one (written by hand, or
    // by an older version's load) bounds nothing sensibly: the whole
    // travel, and the user is told.
    if (axis.minPos_step > axis.maxPos_step) {
        axis.minPos_step = kLowestCount;
        axis.maxPos_step = kHighestCount;
        ReportMotionEnding(drive, "limits" + KX_ToUtf8(suffix) +
                                      " from the settings were crossed (lower above upper); "
                                      "the whole travel is in force until they are set again");
    }
    return result;
}

void ApplyLoadedSettings(CTessaroAxis& axis) {
    axis.m_uProfileMode = kProfileModeUnknown;
    axis.ApplySettings();
}

}  // namespace tessaro
