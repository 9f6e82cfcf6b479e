// The rotary drive's dialog "Rotary parameters": shows the parameters
// (read-only fields, rounded as shown) and lets the user change only the
// limit-switch sense and the direction. OK (or the close box) stores those
// two and sends the parameters to the processor.
#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "resources/resource_ids.h"

namespace tessaro {
namespace {

struct SRDialogContext {
    STessaro_RDrive* m_pDrive;
};

SRDialogContext* g_pContext = nullptr;  // one rotary dialog at a time

CTessaroAxis* ContextAxis() {
    if (!g_pContext || !g_pContext->m_pDrive || !g_pContext->m_pDrive->m_pRotaryMotion)
        return nullptr;
    return g_pContext->m_pDrive->m_pRotaryMotion->m_pAxis;
}

void SetFormatted(platform::HWindow dialog, int id, const char16_t* format, double value) {
    CKxStringW text;
    text.Format(format, value);
    SetTextField(dialog, id, text.GetString());
}

bool Refresh(platform::HWindow dialog) {
    const CTessaroAxis* axis = ContextAxis();
    if (!axis) return false;
    SetFormatted(dialog, IDC_CALIBRATION, u"%.1f", axis->calibration_umPerRevolution);
    SetFormatted(dialog, IDC_RUNNING_CURRENT, u"%.0f", axis->current_percent);
    SetFormatted(dialog, IDC_STANDBY_CURRENT, u"%.0f", axis->holdingCurrent_percent);
    SetFormatted(dialog, IDC_SPEED, u"%.1f", axis->speed_revolutionPerSecond);
    SetFormatted(dialog, IDC_ACCELERATION, u"%.3f", axis->acceleration_revolutionPerSecond2);
    platform::CheckDlgButton(dialog, IDC_NEGATE, !axis->positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_FLIP, axis->axisFlip > 0);
    return true;
}

// Stores the two check boxes and ends the dialog; without an axis it stays
// open. The number fields are read-only: their rounded texts are never read
// back into the record, so an OK without changes changes nothing.
void Apply(platform::HWindow dialog) {
    CTessaroAxis* axis = ContextAxis();
    if (!axis) return;
    axis->positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_NEGATE);
    axis->SetFlip(platform::IsDlgButtonChecked(dialog, IDC_FLIP) ? 1 : -1);
    SendStoredFields(*axis);
    platform::EndDialog(dialog, 1);
}

std::intptr_t RDialogProc(platform::HWindow dialog, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
        case platform::kWmInitDialog:
            g_pContext = reinterpret_cast<SRDialogContext*>(lParam);
            KX_PostMessageImpl(dialog, kRefreshFields, 0, 0, "TessaroLogicalDrivesRAxis", __LINE__);
            return 1;
        case kRefreshFields:
            return Refresh(dialog) ? 1 : 0;
        case platform::kWmCommand:
            if (NotificationCode(wParam) != 0) return 0;
            if (CommandId(wParam) == IDC_OK) {
                SKxWaitCursorHolder wait;
                Apply(dialog);
                return 1;
            }
            if (CommandId(wParam) == IDC_CANCEL) {
                platform::EndDialog(dialog, 0);
                return 1;
            }
            return 0;  // Defaults does nothing here
        case platform::kWmClose:
            Apply(dialog);
            return 1;
        default:
            return 0;
    }
}

}  // namespace

EDeviceManagerReturnCode STessaro_RDrive::ShowConfigurationDialog(KxWindow parent) {
    SRDialogContext context{this};
    RunModuleDialog(u"IDD_CFG_R_AXIS", parent, RDialogProc,
                    reinterpret_cast<std::intptr_t>(&context));
    return KX_DM_OK;
}

}  // namespace tessaro
