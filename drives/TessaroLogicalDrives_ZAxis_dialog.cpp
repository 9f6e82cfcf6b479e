// The Z drive's configuration dialog "Z parameters": calibration, currents,
// speed and acceleration with their class labels, limit-switch sense and
// direction. OK (or the close box) stores the fields in the axis record and
// sends them to the processor; Defaults writes the factory values into the
// record and shows them.
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "resources/resource_ids.h"

namespace tessaro {
namespace {

struct SZDialogContext {
    STessaro_ZDrive* m_pDrive;
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

bool Refresh(platform::HWindow dialog) {
    const CTessaroAxis* axis = ContextAxis();
    if (!axis) return false;
    SetNumberField(dialog, IDC_CALIBRATION, axis->calibration_umPerRevolution);
    SetNumberField(dialog, IDC_RUNNING_CURRENT, axis->current_percent);
    SetNumberField(dialog, IDC_STANDBY_CURRENT, axis->holdingCurrent_percent);
    SetNumberField(dialog, IDC_SPEED, axis->speed_revolutionPerSecond);
    SetNumberField(dialog, IDC_ACCELERATION, axis->acceleration_revolutionPerSecond2);
    platform::CheckDlgButton(dialog, IDC_NEGATE, !axis->positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_FLIP, axis->axisFlip > 0);
    UpdateClasses(dialog, true);
    return true;
}

// Stores the fields and ends the dialog; without an axis it stays open.
void Apply(platform::HWindow dialog) {
    CTessaroAxis* axis = ContextAxis();
    if (!axis) return;
    StoreSingleAxisFields(dialog, *axis, "Z");
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
                    SKxWaitCursorHolder wait;
                    g_pContext->m_pDrive->m_pZMotion->SetDefaults();
                    KX_PostMessageImpl(dialog, kRefreshFields, 0, 0, "TessaroLogicalDrives_ZAxis",
                                       __LINE__);
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
    SZDialogContext context{this};
    RunModuleDialog(u"IDD_CFG_Z_AXIS", parent, ZDialogProc,
                    reinterpret_cast<std::intptr_t>(&context));
    return KX_DM_OK;
}

}  // namespace tessaro
