// The system registry, as far as the plug-in uses it (the USB serial adapter
// driver's per-device keys below HKEY_LOCAL_MACHINE), behind one small
// interface. Results are Win32 error codes (0 = success). Systems without a
// registry answer every open with "file not found". Tests can install their
// own implementation with ScopedRegistryApi.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using RegistryKey = std::uintptr_t;

inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;

inline constexpr long kRegistrySuccess = 0;
inline constexpr long kRegistryFileNotFound = 2;
inline constexpr long kRegistryAccessDenied = 5;
inline constexpr long kRegistryNoMoreItems = 259;

class RegistryApi {
  public:
    virtual ~RegistryApi() = default;
    // HKEY_LOCAL_MACHINE\path.
    virtual long OpenLocalMachine(const std::u16string& path, std::uint32_t access,
                                  RegistryKey* key) = 0;
    virtual long OpenSubKey(RegistryKey parent, const std::u16string& path, std::uint32_t access,
                            RegistryKey* key) = 0;
    // The name of the sub-key at `index` (at most `maxChars` characters).
    virtual long EnumSubKey(RegistryKey key, std::uint32_t index, std::size_t maxChars,
                            std::u16string* name) = 0;
    // A 4-byte value.
    virtual long QueryDword(RegistryKey key, const std::u16string& name, std::uint32_t* value) = 0;
    // A string value read into a buffer of `maxBytes` bytes.
    virtual long QueryString(RegistryKey key, const std::u16string& name, std::size_t maxBytes,
                             std::u16string* value) = 0;
    virtual long SetDword(RegistryKey key, const std::u16string& name, std::uint32_t value) = 0;
    virtual long Close(RegistryKey key) = 0;
};

RegistryApi& SystemRegistryApi();
RegistryApi& CurrentRegistryApi();
// True where the system has a registry (Windows).
bool SystemHasRegistry();

class ScopedRegistryApi {
  public:
    explicit ScopedRegistryApi(RegistryApi& api);
    ~ScopedRegistryApi();
    ScopedRegistryApi(const ScopedRegistryApi&) = delete;
    ScopedRegistryApi& operator=(const ScopedRegistryApi&) = delete;

  private:
    RegistryApi* m_pPrevious;
};

// The USB-serial driver's latency timer (ms) of the tty device behind
// `devicePath`, where the driver offers one (sysfs "latency_timer"). Sets it
// to `latencyMs` and gives the value before in `previous`; false where there
// is no such attribute, or it cannot be read or written. Windows: false.
bool SetUsbSerialLatency(const std::string& devicePath, std::uint8_t latencyMs,
                         std::uint8_t* previous);
// Where sysfs is ("/sys" unless a test says otherwise).
void SetSysfsRoot(std::string root);

}  // namespace platform
