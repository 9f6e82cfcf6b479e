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
    if (!m_handle && error) {
        // The system's own words, then the number (126: a DLL it needs is missing).
        const DWORD code = GetLastError();
        char text[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text, nullptr);
        std::string reason = text;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
        *error = (reason.empty() ? "cannot load it" : reason) + " (LoadLibraryW error " +
                 std::to_string(code) + ")";
    }
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

namespace {

std::string DirectoryOf(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), text.data(), size, nullptr, nullptr);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

}  // namespace

std::string ProgramDirectory() {
    return DirectoryOf(nullptr);
}

std::string DirectoryOfAddress(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return {};
    return DirectoryOf(module);
}

std::string ModuleFileName(const std::string& baseName) {
    return baseName + ".dll";
}

}  // namespace host
