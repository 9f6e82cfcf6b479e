#include <windows.h>

#include "host/kx_post.h"

namespace host {

bool PostToSystem(KxWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostMessageW(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

}  // namespace host
