// The Z drive's configuration dialog "Z parameters": calibration, currents,
// speed and acceleration with their class labels, limit-switch sense and
// direction. OK (or the close box) stores the fields the user changed in
// the axis record and sends them to the processor; Defaults shows the
// factory values, which OK then stores and Cancel forgets.
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "resources/resource_ids.h"

namespace tessaro {
namespace {

struct SZDialogContext {
    STessaro_ZDrive* m_pDrive;
    ShownTexts shown;            // the texts the last refresh showed
    bool defaultsShown = false;  // Defaults filled the fields
};

// One Z dialog at a time: its context, and the class labels, which are kept
// from one opening to the next.
SZDialogContext* g_pContext = nullptr;
ClassMemory g_speedClass;
ClassMemory g_accelerationClass;

CTessaroAxis* ContextAxis() {
    if (!g_pContext || !g_pContext->m_pDrive || !g_pContext->m_pDrive->m_pZMotion) return nullptr;
    return g_pContext->m_pDrive->m_pZMotion->m_pAxis;
}

// A label changes when its field's value has changed since the last update
// (or when forced).
void UpdateClass(platform::HWindow dialog, int field, int labelId, double upper,
                 ClassMemory* memory, bool forced) {
    const double value = LeadingNumber(dialog, field);
    if (forced || value != memory->value) memory->label = ClassLabel(value, upper);
    memory->value = value;
    SetTextField(dialog, labelId, memory->label.GetString());
}

void UpdateClasses(platform::HWindow dialog, bool forced) {
    UpdateClass(dialog, IDC_SPEED, IDC_SPEED_CLASS, 15.0, &g_speedClass, forced);
    UpdateClass(dialog, IDC_ACCELERATION, IDC_ACCELERATION_CLASS, 10.0, &g_accelerationClass,
                forced);
}

std::vector<NumberField> Fields(CTessaroAxis* a) {
    using A = CTessaroAxis;
    return {
        {IDC_CALIBRATION, a, &A::calibration_umPerRevolution, nullptr, kNoMaximum, "calibration"},
        {IDC_RUNNING_CURRENT, a, &A::current_percent, nullptr, 100.0, "running current"},
        {IDC_STANDBY_CURRENT, a, &A::holdingCurrent_percent, nullptr, 30.0, "standby current"},
        {IDC_SPEED, a, &A::speed_revolutionPerSecond, &A::maxJoystickSpeed_revolutionPerSecond,
         100.0, "speed"},
        {IDC_ACCELERATION, a, &A::acceleration_revolutionPerSecond2,
         &A::deceleration_revolutionPerSecond2, 100.0, "acceleration"}};
}

// The fields from the record, or from `defaults` (which Defaults shows
// without storing them: Cancel leaves everything as it was).
bool Refresh(platform::HWindow dialog, const CTessaroAxis* defaults = nullptr) {
    CTessaroAxis* axis = ContextAxis();
    if (!axis) return false;
    const CTessaroAxis& shown = defaults ? *defaults : *axis;
    const ShownTexts texts = ShowFields(dialog, Fields(axis), defaults);
    if (!defaults) g_pContext->shown = texts;
    g_pContext->defaultsShown = defaults != nullptr;
    platform::CheckDlgButton(dialog, IDC_NEGATE, !shown.positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_FLIP, shown.axisFlip > 0);
    UpdateClasses(dialog, true);
    return true;
}

// Stores the fields and ends the dialog; without an axis, or with a field
// that does not read as a number, it stays open.
void Apply(platform::HWindow dialog) {
    CTessaroAxis* axis = ContextAxis();
    if (!axis || !FieldsReadable(dialog, Fields(axis), g_pContext->shown, "Z")) return;
    if (g_pContext->defaultsShown) {
        const LinearDefaults defaults;
        TakeDefaultsBeyondFields(*axis, defaults);
    }
    StoreFields(dialog, Fields(axis), g_pContext->shown, "Z");
    axis->positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_NEGATE);
    axis->SetFlip(platform::IsDlgButtonChecked(dialog, IDC_FLIP) ? 1 : -1);
    SendStoredFields(*axis);
    platform::EndDialog(dialog, 1);
}

std::intptr_t ZDialogProc(platform::HWindow dialog, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
        case platform::kWmInitDialog:
            g_pContext = reinterpret_cast<SZDialogContext*>(lParam);
            KX_PostMessageImpl(dialog, kRefreshFields, 0, 0, "TessaroLogicalDrives_ZAxis",
                               __LINE__);
            platform::SetTimer(dialog, kRefreshTimer, kRefreshPeriodMs);
            return 1;
        case kRefreshFields:
            return Refresh(dialog) ? 1 : 0;
        case platform::kWmTimer:
            UpdateClasses(dialog, false);
            return 1;
        case platform::kWmCommand:
            if (NotificationCode(wParam) != 0) return 0;
            switch (CommandId(wParam)) {
                case IDC_OK: {
                    SKxWaitCursorHolder wait;
                    Apply(dialog);
                    return 1;
                }
                case IDC_CANCEL:
                    platform::KillTimer(dialog, kRefreshTimer);
                    platform::EndDialog(dialog, 0);
                    return 1;
                case IDC_DEFAULTS: {
                    if (!ContextAxis()) return 0;
                    const LinearDefaults defaults;
                    Refresh(dialog, &defaults);
                    return 1;
                }
                default:
                    return 0;
            }
        case platform::kWmClose:
            Apply(dialog);
            return 1;
        default:
            return 0;
    }
}

}  // namespace

EDeviceManagerReturnCode STessaro_ZDrive::ShowConfigurationDialog(KxWindow parent) {
    SZDialogContext context{this, {}, false};
    RunModuleDialog(u"IDD_CFG_Z_AXIS", parent, ZDialogProc,
                    reinterpret_cast<std::intptr_t>(&context));
    return KX_DM_OK;
}

}  // namespace tessaro
