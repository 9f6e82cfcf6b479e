// The XY drive's configuration dialog "XY Parameters": the X and Y axis side
// by side, with speed and acceleration class labels for both. OK (or the
// close box) stores the fields the user changed and sends them to the
// processor; Defaults shows the factory values, which OK then stores and
// Cancel forgets.
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "resources/resource_ids.h"

namespace tessaro {
namespace {

struct SXYDialogContext {
    STessaro_XYDrive* m_pDrive;
    ShownTexts shown;            // the texts the last refresh showed
    bool defaultsShown = false;  // Defaults filled the fields
};

// One XY dialog at a time: its context, and the four class labels (speed
// and acceleration of X and of Y), kept from one opening to the next.
SXYDialogContext* g_pContext = nullptr;
ClassMemory g_speedX, g_speedY, g_accelerationX, g_accelerationY;

CTessaroXYMotion* ContextMotion() {
    if (!g_pContext || !g_pContext->m_pDrive) return nullptr;
    CTessaroXYMotion* motion = g_pContext->m_pDrive->m_pXYMotion;
    return motion && motion->m_pAxisX && motion->m_pAxisY ? motion : nullptr;
}

// Unlike the single-axis dialogs, a stage label follows its field only once
// the field has shown the same value at two updates in a row (or when
// forced), so that it does not flicker while the user types.
CKxStringW UpdateClass(platform::HWindow dialog, int field, double upper, const char16_t* prefix,
                       ClassMemory* memory, bool forced) {
    const double value = LeadingNumber(dialog, field);
    if (forced || value == memory->value) memory->label = ClassLabel(value, upper, prefix);
    memory->value = value;
    return memory->label;
}

void UpdateClasses(platform::HWindow dialog, bool forced) {
    const CKxStringW speed = UpdateClass(dialog, IDC_X_SPEED, 12.0, u"", &g_speedX, forced) +
                             UpdateClass(dialog, IDC_Y_SPEED, 12.0, u"/", &g_speedY, forced);
    SetTextField(dialog, IDC_XY_SPEED_CLASS, speed.GetString());
    const CKxStringW acceleration =
        UpdateClass(dialog, IDC_X_ACCELERATION, 10.0, u"", &g_accelerationX, forced) +
        UpdateClass(dialog, IDC_Y_ACCELERATION, 10.0, u"/", &g_accelerationY, forced);
    SetTextField(dialog, IDC_XY_ACCELERATION_CLASS, acceleration.GetString());
}

// The ten number fields, X before Y in every row.
std::vector<NumberField> Fields(CTessaroAxis* x, CTessaroAxis* y) {
    using A = CTessaroAxis;
    std::vector<NumberField> fields;
    const struct {
        int xId, yId;
        Relaxed<double> A::*field;
        Relaxed<double> A::*also;
        double max;
        const char *xName, *yName;
    } kRows[] = {
        {IDC_X_CALIBRATION, IDC_Y_CALIBRATION, &A::calibration_umPerRevolution, nullptr, kNoMaximum,
         "X calibration", "Y calibration"},
        {IDC_X_RUNNING_CURRENT, IDC_Y_RUNNING_CURRENT, &A::current_percent, nullptr, 100.0,
         "X running current", "Y running current"},
        {IDC_X_STANDBY_CURRENT, IDC_Y_STANDBY_CURRENT, &A::holdingCurrent_percent, nullptr, 30.0,
         "X standby current", "Y standby current"},
        {IDC_X_SPEED, IDC_Y_SPEED, &A::speed_revolutionPerSecond,
         &A::maxJoystickSpeed_revolutionPerSecond, 100.0, "X speed", "Y speed"},
        {IDC_X_ACCELERATION, IDC_Y_ACCELERATION, &A::acceleration_revolutionPerSecond2,
         &A::deceleration_revolutionPerSecond2, 100.0, "X acceleration", "Y acceleration"}};
    for (const auto& r : kRows) {
        fields.push_back({r.xId, x, r.field, r.also, r.max, r.xName});
        fields.push_back({r.yId, y, r.field, r.also, r.max, r.yName});
    }
    return fields;
}

// The fields from the records, or from `defaults` (which Defaults shows
// without storing them: Cancel leaves everything as it was).
bool Refresh(platform::HWindow dialog, const CTessaroAxis* defaults = nullptr) {
    CTessaroXYMotion* motion = ContextMotion();
    if (!motion) return false;
    CTessaroAxis& x = *motion->m_pAxisX;
    CTessaroAxis& y = *motion->m_pAxisY;
    const ShownTexts texts = ShowFields(dialog, Fields(&x, &y), defaults);
    if (!defaults) g_pContext->shown = texts;
    g_pContext->defaultsShown = defaults != nullptr;
    const CTessaroAxis& shownX = defaults ? *defaults : x;
    const CTessaroAxis& shownY = defaults ? *defaults : y;
    platform::CheckDlgButton(dialog, IDC_X_NEGATE, !shownX.positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_Y_NEGATE, !shownY.positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_X_FLIP, shownX.axisFlip > 0);
    platform::CheckDlgButton(dialog, IDC_Y_FLIP, shownY.axisFlip > 0);
    UpdateClasses(dialog, true);
    return true;
}

// Stores the fields and ends the dialog; without both axes, or with a field
// that does not read as a number, it stays open.
void Apply(platform::HWindow dialog) {
    CTessaroXYMotion* motion = ContextMotion();
    if (!motion) return;
    CTessaroAxis& x = *motion->m_pAxisX;
    CTessaroAxis& y = *motion->m_pAxisY;
    const std::vector<NumberField> fields = Fields(&x, &y);
    if (!FieldsReadable(dialog, fields, g_pContext->shown, "XY")) return;
    if (g_pContext->defaultsShown) {
        const LinearDefaults defaults;
        TakeDefaultsBeyondFields(x, defaults);
        TakeDefaultsBeyondFields(y, defaults);
    }
    StoreFields(dialog, fields, g_pContext->shown, "XY");
    x.positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_X_NEGATE);
    y.positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_Y_NEGATE);
    x.SetFlip(platform::IsDlgButtonChecked(dialog, IDC_X_FLIP) ? 1 : -1);
    y.SetFlip(platform::IsDlgButtonChecked(dialog, IDC_Y_FLIP) ? 1 : -1);
    SendStoredFields(x);
    SendStoredFields(y);
    platform::EndDialog(dialog, 1);
}

std::intptr_t XYDialogProc(platform::HWindow dialog, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
    switch (message) {
        case platform::kWmInitDialog:
            platform::SetTimer(dialog, kRefreshTimer, kRefreshPeriodMs);
            g_pContext = reinterpret_cast<SXYDialogContext*>(lParam);
            KX_PostMessageImpl(dialog, kRefreshFields, 0, 0, "TessaroLogicalDrives_XYAxis",
                               __LINE__);
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
                    if (!ContextMotion()) return 0;
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

EDeviceManagerReturnCode STessaro_XYDrive::ShowConfigurationDialog(KxWindow parent) {
    SXYDialogContext context{this, {}, false};
    RunModuleDialog(u"IDD_CFG_XY_AXIS", parent, XYDialogProc,
                    reinterpret_cast<std::intptr_t>(&context));
    return KX_DM_OK;
}

}  // namespace tessaro
