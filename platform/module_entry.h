// The plug-in module's own handle, kept by its entry point when the system
// loads it (the dialogs find their templates through it). One back-end per
// system, built into the module itself.
#pragma once

namespace platform {

// The module's handle (HMODULE on Windows; on POSIX systems the address the
// module is loaded at). Null before the module's entry point ran.
void* ModuleHandle();

}  // namespace platform
