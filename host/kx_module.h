// Loading a plug-in module at run time, as the host does: by path, then its
// exported functions by name.
#pragma once

#include <string>

#include "host/kx_export.h"

namespace host {

class KX_HOST_API CKxModule {
  public:
    CKxModule() = default;
    ~CKxModule();
    CKxModule(const CKxModule&) = delete;
    CKxModule& operator=(const CKxModule&) = delete;

    // Loads the module; false with the system's reason in `error`.
    bool Load(const std::string& path, std::string* error);
    // The exported function or data of that name, or null.
    void* Symbol(const char* name) const;
    // Unloads it (its static objects are destroyed).
    void Unload();
    bool IsLoaded() const { return m_handle != nullptr; }

  private:
    void* m_handle = nullptr;
};

// The folder the running program was started from (with a trailing
// separator), or "" when the system does not say.
KX_HOST_API std::string ProgramDirectory();
// The folder of the program or shared library that holds `address` (with a
// trailing separator), or "" when the system does not say.
KX_HOST_API std::string DirectoryOfAddress(const void* address);
// The file name a module has on this system ("TessaroDevice.dll",
// "libTessaroDevice.so") for its base name.
KX_HOST_API std::string ModuleFileName(const std::string& baseName);

}  // namespace host
