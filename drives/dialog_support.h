// What the module's dialogs share: finding a template among the module's
// resources in the host's language (falling back on the secondary one) and
// running it, writing numbers into fields and reading them back, and the
// speed and acceleration class labels.
#pragma once

#include <cstdint>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_motion.h"
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
// The field's value as the C runtime's wide-text conversion reads it: the
// longest number at the start of the text, 0 when there is none.
double LeadingNumber(platform::HWindow dialog, int id);

inline constexpr double kNoMaximum = -1.0;

// A number field of a configuration dialog: the axis record and field it
// shows, a second field that takes the same value (the joystick speed with
// the speed, the deceleration with the acceleration), the largest value
// taken (kNoMaximum: none; below 0 is taken as 0), and the field's name for
// the line that says it could not be read.
struct NumberField {
    int id;
    CTessaroAxis* axis;
    Relaxed<double> CTessaroAxis::*field;
    Relaxed<double> CTessaroAxis::*also;
    double max;
    const char* name;
};
// The texts the fields showed when last filled from their records. A field
// whose text is still that one was not touched, and OK keeps its value (a
// display rounded to fewer digits must not be read back into the record).
using ShownTexts = std::vector<std::u16string>;

// Fills the fields from their records, or from `source` instead of each
// field's own record (the defaults), and returns the texts shown.
ShownTexts ShowFields(platform::HWindow dialog, const std::vector<NumberField>& fields,
                      const CTessaroAxis* source = nullptr);
// Whether every changed field reads as a number. When one does not, the
// host is told which field (`drive` names the drive), the focus goes to it
// and OK must store nothing and leave the dialog open.
bool FieldsReadable(platform::HWindow dialog, const std::vector<NumberField>& fields,
                    const ShownTexts& shown, const char* drive);
// What OK stores once the fields are readable: every field whose text was
// changed, as typed and limited, into its records (a calibration outside
// its range is not taken, and the line says so).
void StoreFields(platform::HWindow dialog, const std::vector<NumberField>& fields,
                 const ShownTexts& shown, const char* drive);
// An axis record holding the linear drives' factory values: what Defaults
// shows, and what OK after it stores.
struct LinearDefaults : CTessaroAxis {
    LinearDefaults() : CTessaroAxis(cmotion::CLinkAxisHandle{}, 0, nullptr) {
        CTessaroMotion::SetLinearDefaults(*this);
    }
};
// After Defaults and OK: the defaults of what the dialog has no field for.
void TakeDefaultsBeyondFields(CTessaroAxis& axis, const CTessaroAxis& defaults);
// The end of a stored dialog: the next move sends its profile mode again,
// and the processor gets the parameters.
void SendStoredFields(CTessaroAxis& axis);

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
