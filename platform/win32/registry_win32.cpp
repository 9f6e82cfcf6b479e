// Win32 back-end of the registry interface: the RegXxxW calls themselves.
#include <windows.h>

#include <vector>

#include "platform/registry.h"

namespace platform {
namespace {

const wchar_t* Wide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
HKEY ToKey(RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

class Win32RegistryApi final : public RegistryApi {
  public:
    long OpenLocalMachine(const std::u16string& path, std::uint32_t access,
                          RegistryKey* key) override {
        HKEY h = nullptr;
        const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path), 0, access, &h);
        if (result == ERROR_SUCCESS) *key = reinterpret_cast<RegistryKey>(h);
        return result;
    }
    long OpenSubKey(RegistryKey parent, const std::u16string& path, std::uint32_t access,
                    RegistryKey* key) override {
        HKEY h = nullptr;
        const LONG result = RegOpenKeyExW(ToKey(parent), Wide(path), 0, access, &h);
        if (result == ERROR_SUCCESS) *key = reinterpret_cast<RegistryKey>(h);
        return result;
    }
    long EnumSubKey(RegistryKey key, std::uint32_t index, std::size_t maxChars,
                    std::u16string* name) override {
        std::vector<wchar_t> buffer(maxChars + 1, 0);
        DWORD length = static_cast<DWORD>(maxChars);
        const LONG result = RegEnumKeyExW(ToKey(key), index, buffer.data(), &length, nullptr,
                                          nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS)
            name->assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
        return result;
    }
    long QueryDword(RegistryKey key, const std::u16string& name, std::uint32_t* value) override {
        DWORD data = 0;
        DWORD size = sizeof data;
        const LONG result = RegQueryValueExW(ToKey(key), Wide(name), nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(&data), &size);
        if (result == ERROR_SUCCESS) *value = data;
        return result;
    }
    long QueryString(RegistryKey key, const std::u16string& name, std::size_t maxBytes,
                     std::u16string* value) override {
        std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, 0);
        DWORD size = static_cast<DWORD>(maxBytes);
        const LONG result = RegQueryValueExW(ToKey(key), Wide(name), nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size);
        // The stored text need not end in a terminator; the buffer has one
        // character more than was asked for, always zero.
        if (result == ERROR_SUCCESS)
            value->assign(reinterpret_cast<const char16_t*>(buffer.data()));
        return result;
    }
    long SetDword(RegistryKey key, const std::u16string& name, std::uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExW(ToKey(key), Wide(name), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    long Close(RegistryKey key) override { return RegCloseKey(ToKey(key)); }
};

}  // namespace

RegistryApi& SystemRegistryApi() {
    static Win32RegistryApi api;
    return api;
}

bool SystemHasRegistry() {
    return true;
}

bool SetUsbSerialLatency(const std::string&, std::uint8_t, std::uint8_t*) {
    return false;
}
void SetSysfsRoot(std::string) {}

}  // namespace platform
