#include <windows.h>

#include "platform/module_entry.h"

namespace {
HMODULE g_module = nullptr;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // The module keeps no per-thread state.
        DisableThreadLibraryCalls(module);
        g_module = module;
    }
    return TRUE;
}

namespace platform {

void* ModuleHandle() {
    return g_module;
}

}  // namespace platform
