// Posting a window message through the system, where there is one. One
// back-end per system, chosen by the build.
#pragma once

#include <cstdint>

#include "host/kx_device_interfaces.h"

namespace host {

bool PostToSystem(KxWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

}  // namespace host
