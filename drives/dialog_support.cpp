#include "drives/dialog_support.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "controller/motion_report.h"
#include "controller/parameter_ranges.h"
#include "host/kx_ui.h"
#include "platform/module_entry.h"
#include "resources/resource_ids.h"

namespace tessaro {

bool RunModuleDialog(const char16_t* name, platform::HWindow parent,
                     platform::DialogProcedure procedure, std::intptr_t param,
                     std::intptr_t* result) {
    platform::HModule module = platform::ModuleHandle();
    const auto language = static_cast<std::uint16_t>(CKxLocale::GetModuleLangId(module));
    platform::HResource found =
        platform::FindResourceExW(module, platform::kDialogResourceType, name, language);
    if (!found) {
        const auto secondary = static_cast<std::uint16_t>(CKxLocale::GetSecondaryLangID());
        found = platform::FindResourceExW(module, platform::kDialogResourceType, name, secondary);
    }
    if (!found) return false;
    void* loaded = platform::LoadResource(module, found);
    const void* dialogTemplate = loaded ? platform::LockResource(loaded) : nullptr;
    if (!dialogTemplate) return false;
    const std::intptr_t ended =
        platform::DialogBoxIndirectParamW(module, dialogTemplate, parent, procedure, param);
    if (result) *result = ended;
    return true;
}

void SetNumberField(platform::HWindow dialog, int id, double value) {
    char16_t text[kNumberTextSize];
    KX_DoubleToString(value, 5, text, kNumberTextSize);
    platform::SetWindowTextW(platform::GetDlgItem(dialog, id), text);
}

void SetTextField(platform::HWindow dialog, int id, const char16_t* text) {
    platform::SetWindowTextW(platform::GetDlgItem(dialog, id), text);
}

double LeadingNumber(platform::HWindow dialog, int id) {
    char16_t text[kFieldTextSize] = {};
    platform::GetWindowTextW(platform::GetDlgItem(dialog, id), text, kFieldTextSize);
    // Characters beyond ASCII end the number, as they would end it anyway.
    std::string narrow;
    for (const char16_t* c = text; *c && *c < 0x80; ++c) narrow += static_cast<char>(*c);
    // What the wide conversion reads: spaces, a sign, digits, a point, an
    // exponent; the rest ends the number. from_chars reads it the same in
    // every locale (a host that set one with a decimal comma included).
    const char* at = narrow.c_str();
    while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') ++at;
    if (*at == '-' || *at == '+') return 0.0;  // one sign only
    double value = 0;
    const auto [stop, error] = std::from_chars(at, narrow.c_str() + narrow.size(), value);
    // Beyond the range: as the conversion would, infinity (or 0 for a
    // number too small, its exponent negative).
    if (error == std::errc::result_out_of_range) {
        const std::string number(at, stop);
        const bool tiny = number.find("e-") != std::string::npos ||
                          number.find("E-") != std::string::npos || number.rfind("0.", 0) == 0 ||
                          number.rfind(".", 0) == 0;
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (error != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

namespace {
std::u16string FieldText(platform::HWindow dialog, int id) {
    char16_t text[kFieldTextSize] = {};
    platform::GetWindowTextW(platform::GetDlgItem(dialog, id), text, kFieldTextSize);
    return text;
}
}  // namespace

ShownTexts ShowFields(platform::HWindow dialog, const std::vector<NumberField>& fields,
                      const CTessaroAxis* source) {
    ShownTexts shown;
    for (const NumberField& f : fields) {
        SetNumberField(dialog, f.id, (source ? *source : *f.axis).*f.field);
        shown.push_back(FieldText(dialog, f.id));
    }
    return shown;
}

namespace {
// The field's value for OK: the record's when its text is as shown, else
// the number typed, limited; false when the typed text is no number.
bool FieldValue(platform::HWindow dialog, const NumberField& f, const ShownTexts& shown,
                std::size_t i, double* value) {
    *value = (*f.axis).*f.field;
    const std::u16string text = FieldText(dialog, f.id);
    if (i < shown.size() && text == shown[i]) return true;
    if (!KX_StringToDouble(text.c_str(), value)) return false;
    *value = f.max >= 0 && *value > f.max ? f.max : *value < 0 ? 0.0 : *value;
    return true;
}
}  // namespace

bool FieldsReadable(platform::HWindow dialog, const std::vector<NumberField>& fields,
                    const ShownTexts& shown, const char* drive) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        double value = 0;
        if (FieldValue(dialog, fields[i], shown, i, &value)) continue;
        ReportMotionEnding(drive, std::string("dialog: the ") + fields[i].name +
                                      " field does not read as a number; nothing was stored");
        platform::FocusDlgItem(dialog, fields[i].id);
        return false;
    }
    return true;
}

void StoreFields(platform::HWindow dialog, const std::vector<NumberField>& fields,
                 const ShownTexts& shown, const char* drive) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const NumberField& f = fields[i];
        double value = 0;
        // Untouched, or typed as it was: nothing changes.
        if (!FieldValue(dialog, f, shown, i, &value) || value == (*f.axis).*f.field) continue;
        if (f.field == &CTessaroAxis::calibration_umPerRevolution &&
            !AcceptParameter(drive, "calibration_umPerRevolution", value, (*f.axis).*f.field,
                             "the dialog"))
            continue;
        (*f.axis).*f.field = value;
        if (f.also) (*f.axis).*f.also = value;
    }
}

void TakeDefaultsBeyondFields(CTessaroAxis& axis, const CTessaroAxis& defaults) {
    axis.maxJoystickSpeed_revolutionPerSecond = defaults.maxJoystickSpeed_revolutionPerSecond;
    axis.deceleration_revolutionPerSecond2 = defaults.deceleration_revolutionPerSecond2;
    axis.jerk_revolutionPerSecond3 = defaults.jerk_revolutionPerSecond3;
    axis.holdingDelay_ms = defaults.holdingDelay_ms;
    axis.m_uStopMode = defaults.m_uStopMode;
}

void SendStoredFields(CTessaroAxis& axis) {
    axis.m_uProfileMode = kProfileModeUnknown;
    axis.ApplySettings();
}

CKxStringW ClassLabel(double value, double upper, const char16_t* prefix) {
    CKxStringW label(prefix);
    label += std::u16string_view(value < 3.0 ? u"Slow" : value < upper ? u"Norm." : u"Fast");
    return label;
}

}  // namespace tessaro
