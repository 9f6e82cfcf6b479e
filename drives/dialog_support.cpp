#include "drives/dialog_support.h"

#include <cstdlib>
#include <string>

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

void ReadNumberField(platform::HWindow dialog, int id, double* working) {
    char16_t text[kFieldTextSize] = {};
    platform::GetWindowTextW(platform::GetDlgItem(dialog, id), text, kFieldTextSize);
    KX_StringToDouble(text, working);
}

double LeadingNumber(platform::HWindow dialog, int id) {
    char16_t text[kFieldTextSize] = {};
    platform::GetWindowTextW(platform::GetDlgItem(dialog, id), text, kFieldTextSize);
    // Characters beyond ASCII end the number, as they would end it anyway.
    std::string narrow;
    for (const char16_t* c = text; *c && *c < 0x80; ++c) narrow += static_cast<char>(*c);
    // strtod in the C locale (the programs never change it) reads what the
    // wide conversion reads: spaces, a sign, digits, a point, an exponent.
    return std::strtod(narrow.c_str(), nullptr);
}

double TakeField(platform::HWindow dialog, int id, double max, double* working) {
    ReadNumberField(dialog, id, working);
    if (max >= 0 && *working > max)
        *working = max;
    else if (*working < 0)
        *working = 0.0;
    return *working;
}

void StoreSingleAxisFields(platform::HWindow dialog, CTessaroAxis& axis, const char* drive) {
    // One working value for all fields: a field that does not read as a
    // number takes the previous field's (limited) value.
    double working = 0.0;
    const double calibration = TakeField(dialog, IDC_CALIBRATION, kNoMaximum, &working);
    if (AcceptParameter(drive, "calibration_umPerRevolution", calibration,
                        axis.calibration_umPerRevolution, "the dialog"))
        axis.calibration_umPerRevolution = calibration;
    axis.current_percent = TakeField(dialog, IDC_RUNNING_CURRENT, 100.0, &working);
    axis.holdingCurrent_percent = TakeField(dialog, IDC_STANDBY_CURRENT, 30.0, &working);
    axis.speed_revolutionPerSecond = TakeField(dialog, IDC_SPEED, 100.0, &working);
    axis.maxJoystickSpeed_revolutionPerSecond = working;
    axis.acceleration_revolutionPerSecond2 = TakeField(dialog, IDC_ACCELERATION, 100.0, &working);
    axis.deceleration_revolutionPerSecond2 = working;
    axis.positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_NEGATE);
    axis.SetFlip(platform::IsDlgButtonChecked(dialog, IDC_FLIP) ? 1 : -1);
    axis.m_uProfileMode = kProfileModeUnknown;
    axis.ApplySettings();
}

CKxStringW ClassLabel(double value, double upper, const char16_t* prefix) {
    CKxStringW label(prefix);
    label += std::u16string_view(value < 3.0 ? u"Slow" : value < upper ? u"Norm." : u"Fast");
    return label;
}

}  // namespace tessaro
