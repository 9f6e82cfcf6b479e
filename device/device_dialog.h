// The controller information dialog "Configure Device": a read-only text
// with the chip generation, motor type, axes, chip count and the versions of
// the processor and of the command layer.
#pragma once

#include <cstdint>

#include "controller/tessaro_controller.h"
#include "host/kx_string.h"
#include "platform/dialog_api.h"

struct SDeviceDialogContext {
    tessaro::CTessaroController* m_pController = nullptr;
};

// Shows the dialog for `controller`; false when its template cannot be
// found or loaded, else whether the system's call returned non-zero.
bool RunDeviceDialog(SDeviceDialogContext& context, platform::HWindow parent,
                     tessaro::CTessaroController* controller);
std::intptr_t DeviceDialogProc(platform::HWindow dialog, unsigned message, std::uintptr_t wParam,
                               std::intptr_t lParam);

CKxStringW GetGenerationName(std::uint16_t code);
CKxStringW GetMotorTypeName(std::uint16_t code);
// The text the dialog shows for a controller.
CKxStringW DeviceInformationText(const tessaro::CTessaroController& controller);
