// The XY drive's configuration dialog "XY Parameters": the X and Y axis side
// by side, with speed and acceleration class labels for both. OK (or the
// close box) stores the fields and sends them to the processor; Defaults
// writes the factory values into both axis records and shows them.
#include "controller/parameter_ranges.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "resources/resource_ids.h"

namespace tessaro {
namespace {

struct SXYDialogContext {
    STessaro_XYDrive* m_pDrive;
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

bool Refresh(platform::HWindow dialog) {
    const CTessaroXYMotion* motion = ContextMotion();
    if (!motion) return false;
    const CTessaroAxis& x = *motion->m_pAxisX;
    const CTessaroAxis& y = *motion->m_pAxisY;
    SetNumberField(dialog, IDC_X_CALIBRATION, x.calibration_umPerRevolution);
    SetNumberField(dialog, IDC_Y_CALIBRATION, y.calibration_umPerRevolution);
    SetNumberField(dialog, IDC_X_RUNNING_CURRENT, x.current_percent);
    SetNumberField(dialog, IDC_Y_RUNNING_CURRENT, y.current_percent);
    SetNumberField(dialog, IDC_X_STANDBY_CURRENT, x.holdingCurrent_percent);
    SetNumberField(dialog, IDC_Y_STANDBY_CURRENT, y.holdingCurrent_percent);
    SetNumberField(dialog, IDC_X_SPEED, x.speed_revolutionPerSecond);
    SetNumberField(dialog, IDC_Y_SPEED, y.speed_revolutionPerSecond);
    SetNumberField(dialog, IDC_X_ACCELERATION, x.acceleration_revolutionPerSecond2);
    SetNumberField(dialog, IDC_Y_ACCELERATION, y.acceleration_revolutionPerSecond2);
    platform::CheckDlgButton(dialog, IDC_X_NEGATE, !x.positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_Y_NEGATE, !y.positiveLimitSwitches);
    platform::CheckDlgButton(dialog, IDC_X_FLIP, x.axisFlip > 0);
    platform::CheckDlgButton(dialog, IDC_Y_FLIP, y.axisFlip > 0);
    UpdateClasses(dialog, true);
    return true;
}

// Stores the fields and ends the dialog; without both axes it stays open.
void Apply(platform::HWindow dialog) {
    CTessaroXYMotion* motion = ContextMotion();
    if (!motion) return;
    CTessaroAxis& x = *motion->m_pAxisX;
    CTessaroAxis& y = *motion->m_pAxisY;
    // One working value for all ten fields, X before Y in every row.
    double working = 0.0;
    const double calibrationX = TakeField(dialog, IDC_X_CALIBRATION, kNoMaximum, &working);
    const double calibrationY = TakeField(dialog, IDC_Y_CALIBRATION, kNoMaximum, &working);
    if (AcceptParameter("XY", "calibration_umPerRevolution_x", calibrationX,
                        x.calibration_umPerRevolution, "the dialog"))
        x.calibration_umPerRevolution = calibrationX;
    if (AcceptParameter("XY", "calibration_umPerRevolution_y", calibrationY,
                        y.calibration_umPerRevolution, "the dialog"))
        y.calibration_umPerRevolution = calibrationY;
    x.current_percent = TakeField(dialog, IDC_X_RUNNING_CURRENT, 100.0, &working);
    y.current_percent = TakeField(dialog, IDC_Y_RUNNING_CURRENT, 100.0, &working);
    x.holdingCurrent_percent = TakeField(dialog, IDC_X_STANDBY_CURRENT, 30.0, &working);
    y.holdingCurrent_percent = TakeField(dialog, IDC_Y_STANDBY_CURRENT, 30.0, &working);
    x.speed_revolutionPerSecond = x.maxJoystickSpeed_revolutionPerSecond =
        TakeField(dialog, IDC_X_SPEED, 100.0, &working);
    y.speed_revolutionPerSecond = y.maxJoystickSpeed_revolutionPerSecond =
        TakeField(dialog, IDC_Y_SPEED, 100.0, &working);
    x.acceleration_revolutionPerSecond2 = x.deceleration_revolutionPerSecond2 =
        TakeField(dialog, IDC_X_ACCELERATION, 100.0, &working);
    y.acceleration_revolutionPerSecond2 = y.deceleration_revolutionPerSecond2 =
        TakeField(dialog, IDC_Y_ACCELERATION, 100.0, &working);
    x.positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_X_NEGATE);
    y.positiveLimitSwitches = !platform::IsDlgButtonChecked(dialog, IDC_Y_NEGATE);
    x.SetFlip(platform::IsDlgButtonChecked(dialog, IDC_X_FLIP) ? 1 : -1);
    y.SetFlip(platform::IsDlgButtonChecked(dialog, IDC_Y_FLIP) ? 1 : -1);
    for (CTessaroAxis* axis : {&x, &y}) {
        axis->m_uProfileMode = kProfileModeUnknown;
        axis->ApplySettings();
    }
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
                    CTessaroXYMotion* motion = ContextMotion();
                    if (!motion) return 0;
                    SKxWaitCursorHolder wait;
                    motion->SetDefaults();
                    KX_PostMessageImpl(dialog, kRefreshFields, 0, 0, "TessaroLogicalDrives_XYAxis",
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

EDeviceManagerReturnCode STessaro_XYDrive::ShowConfigurationDialog(KxWindow parent) {
    SXYDialogContext context{this};
    RunModuleDialog(u"IDD_CFG_XY_AXIS", parent, XYDialogProc,
                    reinterpret_cast<std::intptr_t>(&context));
    return KX_DM_OK;
}

}  // namespace tessaro
