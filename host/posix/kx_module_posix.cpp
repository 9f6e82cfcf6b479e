#include <dlfcn.h>

#include "host/kx_module.h"

namespace host {

CKxModule::~CKxModule() {
    Unload();
}

bool CKxModule::Load(const std::string& path, std::string* error) {
    Unload();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle && error) {
        const char* reason = dlerror();
        *error = reason ? reason : "dlopen failed";
    }
    return m_handle != nullptr;
}

void* CKxModule::Symbol(const char* name) const {
    return m_handle ? dlsym(m_handle, name) : nullptr;
}

void CKxModule::Unload() {
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
}

}  // namespace host
