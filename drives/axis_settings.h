// The settings text of one axis record, as the three drives save and load
// it: the parameter keys (named after the axis fields, with a suffix for the
// XY stage's two axes), the four step positions, and the re-basing of those
// positions on load. Only the host's key functions touch the text.
#pragma once

#include <string>

#include "controller/tessaro_axis.h"
#include "host/kx_string.h"

namespace tessaro {

// Which keys an axis carries besides the common ones.
enum class AxisKeySet {
    kLinear,  // the XY and Z axes: with calibration_umPerRevolution
    kRotary,  // without calibration (the angle does not use it)
};

// Appends the parameter keys, from the speed to axisFlip.
void SaveAxisParameters(CKxStringW& text, const CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix);
// Appends the four step positions.
void SaveAxisPositions(CKxStringW& text, const CTessaroAxis& axis, const std::u16string& suffix);

// Reads the parameter keys that are present into the fields; a missing or
// unreadable key leaves its field as it was.
void LoadAxisParameters(const char16_t* text, CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix);
// How a position is counted from the zero point: a linear axis's from
// current - zero, the rotary angle from current + zero.
enum class PositionSense { kLinear, kAngle };
// Replaces the four positions only when all four keys are present: the
// stage is taken to stand where it stood when they were saved, with the
// processor's counter at 0 there. 32-bit arithmetic with wrap-around.
void LoadAxisPositions(const char16_t* text, CTessaroAxis& axis, const std::u16string& suffix,
                       PositionSense sense = PositionSense::kLinear);

// What every load ends with: the next move sends its profile mode again, and
// the processor gets the loaded parameters (its errors are not reported).
void ApplyLoadedSettings(CTessaroAxis& axis);

}  // namespace tessaro
