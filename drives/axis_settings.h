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
// Appends the four step positions, read from the board at this moment, and
// what they are: "positionTrusted=0" with "positionDoubt=N" (a
// PositionDoubt) when they are not where the stage stands, or
// "savedAtDisconnect=1" when a disconnect brought the axis to rest, read it
// and reset the board (the count then restarted at 0 right there); and
// "lowerLimitAtSwitch=1" when a search found the lower limit at the switch.
void SaveAxisPositions(CKxStringW& text, CTessaroAxis& axis, const std::u16string& suffix);

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
// Replaces the four positions only when all four keys are present. What
// they mean depends on what the board did since they were saved; the count
// is read anew when the axis may have moved since connect:
// - a text that says it is not the truth, or an axis that moves now: the
//   saved places are kept in the board's frame, the present position is the
//   board's count, and the result is not trusted;
// - saved at a disconnect (which reset the board there): trusted only when
//   this connect found the board reset, the axis has not moved since and
//   its count is 0; all four positions move by the same -saved count;
// - saved while connected (the host's own save, before its disconnect):
//   the count it was saved at means the board kept counting and has not
//   moved (everything comes back as saved); count 0 on a board found reset
//   and not moved since means the disconnect's reset followed the save (as
//   above); anything else is not trusted.
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
