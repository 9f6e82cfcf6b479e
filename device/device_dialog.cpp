#include "device/device_dialog.h"

#include <cstring>
#include <string>

#include "cmotion/link_commands.h"
#include "drives/dialog_support.h"
#include "host/kx_string.h"
#include "resources/resource_ids.h"

namespace {

// One information dialog at a time.
SDeviceDialogContext* g_pContext = nullptr;

}  // namespace

CKxStringW GetGenerationName(std::uint16_t code) {
    const char* name = cmotion::GetFamilyName(code);
    return CKxStringW(std::u16string(name, name + std::strlen(name)));
}

CKxStringW GetMotorTypeName(std::uint16_t code) {
    // The code is read as a signed 16-bit value; negative codes are unknown.
    switch (static_cast<std::int16_t>(code)) {
        case 1:
            return u"Servo";
        case 3:
            return u"Brushless";
        case 4:
            return u"Microstepping";
        case 5:
            return u"Pulse & Direction";
        case 8:
            return u"All Motor Types";
        case 9:
            return u"Ulor-Any Motor Type";
        default:
            return u"Unknown";
    }
}

CKxStringW DeviceInformationText(const tessaro::CTessaroController& c) {
    CKxStringW text;
    // The names are ASCII; the host's format takes them as narrow strings.
    text.Format(
        u"Information about controller\r\n\r\n"
        u"  Generation: %s \r\n"
        u"  Motor type: %s \r\n"
        u"  Number of axes: %d \r\n"
        u"  Chip count: %d                          \r\n"
        u"  Version CPU: V%d.%d \r\n"
        u"  Version board: V%d.%d",
        KX_ToUtf8(GetGenerationName(c.m_uFamily).str()).c_str(),
        KX_ToUtf8(GetMotorTypeName(c.m_uMotorType).str()).c_str(), int{c.m_uNumberOfAxes},
        int{c.m_uChipCount}, int{c.m_uVersionMajor}, int{c.m_uVersionMinor},
        int{c.m_uBoardVersionMajor}, int{c.m_uBoardVersionMinor});
    return text;
}

std::intptr_t DeviceDialogProc(platform::HWindow dialog, unsigned message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
    switch (message) {
        case platform::kWmInitDialog: {
            g_pContext = reinterpret_cast<SDeviceDialogContext*>(lParam);
            if (!g_pContext || !g_pContext->m_pController) return 0;
            const CKxStringW text = DeviceInformationText(*g_pContext->m_pController);
            platform::SetWindowTextW(platform::GetDlgItem(dialog, IDC_DEVICE_INFO),
                                     text.GetString());
            return 1;
        }
        case platform::kWmClose:
            platform::EndDialog(dialog, 0);
            return 1;
        case platform::kWmCommand:
            // OK (or Enter) only; the Escape key's cancel is ignored.
            if (tessaro::NotificationCode(wParam) != 0 || tessaro::CommandId(wParam) != IDC_OK)
                return 0;
            platform::EndDialog(dialog, 1);
            return 1;
        default:
            return 0;
    }
}

bool RunDeviceDialog(SDeviceDialogContext& context, platform::HWindow parent,
                     tessaro::CTessaroController* controller) {
    context.m_pController = controller;
    std::intptr_t result = 0;
    if (!tessaro::RunModuleDialog(u"IDD_CFG_DEVICE", parent, DeviceDialogProc,
                                  reinterpret_cast<std::intptr_t>(&context), &result))
        return false;
    return result != 0;
}
