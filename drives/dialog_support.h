// What the module's dialogs share: finding a template among the module's
// resources in the host's language (falling back on the secondary one) and
// running it, writing numbers into fields and reading them back, and the
// speed and acceleration class labels.
#pragma once

#include <cstdint>

#include "controller/tessaro_axis.h"
#include "host/kx_string.h"
#include "platform/dialog_api.h"

namespace tessaro {

inline constexpr unsigned kRefreshFields = 0x401;  // posted by a dialog to itself
inline constexpr std::uintptr_t kRefreshTimer = 1;
inline constexpr unsigned kRefreshPeriodMs = 1000;
// Field buffers as the dialogs size them.
inline constexpr int kNumberTextSize = 64;
inline constexpr int kFieldTextSize = 255;

// Runs the module's dialog template `name` modally. False (and nothing
// shown) when the template is in neither language or cannot be loaded;
// otherwise true, with what the dialog ended with in `result`.
bool RunModuleDialog(const char16_t* name, platform::HWindow parent,
                     platform::DialogProcedure procedure, std::intptr_t param,
                     std::intptr_t* result = nullptr);

// The low and high words of a command's first parameter.
inline int CommandId(std::uintptr_t wParam) {
    return static_cast<int>(wParam & 0xFFFF);
}
inline unsigned NotificationCode(std::uintptr_t wParam) {
    return static_cast<unsigned>((wParam >> 16) & 0xFFFF);
}

// `value` with 5 decimals, as the host formats numbers for fields.
void SetNumberField(platform::HWindow dialog, int id, double value);
void SetTextField(platform::HWindow dialog, int id, const char16_t* text);
// Reads the field (255 characters) into `working` when the host reads a
// number from it; otherwise `working` keeps its value.
void ReadNumberField(platform::HWindow dialog, int id, double* working);
// The field's value as the C runtime's wide-text conversion reads it: the
// longest number at the start of the text, 0 when there is none.
double LeadingNumber(platform::HWindow dialog, int id);

// Reads the field into the working value (see ReadNumberField) and limits
// it: above `max` to `max`, else below 0 to 0. The limited value, which
// stays the working value.
inline constexpr double kNoMaximum = -1.0;
double TakeField(platform::HWindow dialog, int id, double max, double* working);

// What OK and the close box store from the single-axis dialogs (Z and
// rotary), in field order with one working value, and then send to the
// processor. A calibration outside its range is not taken (`drive` names
// the drive in the line that says so).
void StoreSingleAxisFields(platform::HWindow dialog, CTessaroAxis& axis, const char* drive);

// A class label and the value it was last worked out for; one per label,
// kept from one opening of a dialog to the next.
struct ClassMemory {
    double value = 0.0;
    CKxStringW label;
};

// "Slow" below 3, "Norm." below `upper`, "Fast" from there; `prefix` before
// each ("/" for the Y axis of the stage).
CKxStringW ClassLabel(double value, double upper, const char16_t* prefix = u"");

}  // namespace tessaro
