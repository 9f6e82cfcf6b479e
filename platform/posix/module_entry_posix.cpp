#include <dlfcn.h>

#include "platform/module_entry.h"

namespace {

void* g_module = nullptr;

// Runs when the shared object is loaded, as a DLL's entry point does.
__attribute__((constructor)) void KeepModuleHandle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&KeepModuleHandle), &info) != 0) g_module = info.dli_fbase;
}

}  // namespace

namespace platform {

void* ModuleHandle() {
    return g_module;
}

}  // namespace platform
