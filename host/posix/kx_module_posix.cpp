#include <dlfcn.h>
#include <unistd.h>

#include <climits>

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

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string text(path, static_cast<std::size_t>(n));
    return text.substr(0, text.rfind('/') + 1);
}

std::string DirectoryOfAddress(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return {};
    const std::string text = info.dli_fname;
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

std::string ModuleFileName(const std::string& baseName) {
    return "lib" + baseName + ".so";
}

}  // namespace host
