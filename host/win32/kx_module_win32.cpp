#include <windows.h>

#include <string>

#include "host/kx_module.h"

namespace host {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

}  // namespace

CKxModule::~CKxModule() {
    Unload();
}

bool CKxModule::Load(const std::string& path, std::string* error) {
    Unload();
    m_handle = LoadLibraryW(Widen(path).c_str());
    if (!m_handle && error) *error = "LoadLibraryW failed, error " + std::to_string(GetLastError());
    return m_handle != nullptr;
}

void* CKxModule::Symbol(const char* name) const {
    if (!m_handle) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

void CKxModule::Unload() {
    if (m_handle) FreeLibrary(static_cast<HMODULE>(m_handle));
    m_handle = nullptr;
}

std::string ProgramDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), text.data(), size, nullptr, nullptr);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

std::string ModuleFileName(const std::string& baseName) {
    return baseName + ".dll";
}

}  // namespace host
