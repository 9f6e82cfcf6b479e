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
// unreadable key leaves its field as it was, and so does a value outside
// its range (`drive` names the drive in the diagnostic that says so). A
// new direction keeps the places of the positions held (SetFlip).
void LoadAxisParameters(const char16_t* text, CTessaroAxis& axis, AxisKeySet set,
                        const std::u16string& suffix, const char* drive);
// How a position is counted from the zero point: a linear axis's from
// current - zero, the rotary angle from current + zero.
enum class PositionSense { kLinear, kAngle };
// What a load made of the positions.
struct PositionLoad {
    bool loaded = false;  // all four keys were there
    bool trusted = true;  // the board's count fits them
    std::string why;      // why not
};
// Replaces the four positions only when all four keys are present. The
// board's last count (in the loaded direction) decides what they mean:
// - the count the settings were saved at: the board kept counting and has
//   not moved; everything comes back as saved;
// - 0 where the saved count was another: the board was reset at the last
//   disconnect, counting from 0 where the stage stood at the save; all
//   four positions move by the same -saved count;
// - another: the board was not reset and has moved since (or was reset and
//   moved before this connect): the saved places are kept in the board's
//   frame, the present position is the board's count, and the result is
//   not trusted. So is a text saved while its position was not trusted.
// The shift is saturating, and a limit at the end of the count range (the
// whole travel) stays there, so the limits never cross; saved limits that
// do cross are replaced by the whole travel (and `drive` says so).
PositionLoad LoadAxisPositions(const char16_t* text, CTessaroAxis& axis,
                               const std::u16string& suffix, const char* drive,
                               PositionSense sense = PositionSense::kLinear);

// What every load ends with: the next move sends its profile mode again, and
// the processor gets the loaded parameters (its errors are not reported).
void ApplyLoadedSettings(CTessaroAxis& axis);

}  // namespace tessaro
