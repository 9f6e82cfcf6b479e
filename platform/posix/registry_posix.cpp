// POSIX: no registry; the USB-serial drivers' latency timer lives in sysfs.
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <mutex>
#include <string>

#include "platform/registry.h"
#include "platform/serial_port.h"

namespace platform {
namespace {

class NoRegistryApi final : public RegistryApi {
  public:
    long OpenLocalMachine(const std::u16string&, std::uint32_t, RegistryKey*) override {
        return kRegistryFileNotFound;
    }
    long OpenSubKey(RegistryKey, const std::u16string&, std::uint32_t, RegistryKey*) override {
        return kRegistryFileNotFound;
    }
    long EnumSubKey(RegistryKey, std::uint32_t, std::size_t, std::u16string*) override {
        return kRegistryNoMoreItems;
    }
    long QueryDword(RegistryKey, const std::u16string&, std::uint32_t*) override {
        return kRegistryFileNotFound;
    }
    long QueryString(RegistryKey, const std::u16string&, std::size_t, std::u16string*) override {
        return kRegistryFileNotFound;
    }
    long SetDword(RegistryKey, const std::u16string&, std::uint32_t) override {
        return kRegistryFileNotFound;
    }
    long Close(RegistryKey) override { return kRegistrySuccess; }
};

std::mutex g_sysfsMutex;
std::string g_sysfsRoot = "/sys";

}  // namespace

RegistryApi& SystemRegistryApi() {
    static NoRegistryApi api;
    return api;
}

bool SystemHasRegistry() {
    return false;
}

void SetSysfsRoot(std::string root) {
    std::lock_guard<std::mutex> lock(g_sysfsMutex);
    g_sysfsRoot = std::move(root);
}

bool SetUsbSerialLatency(const std::string& devicePath, std::uint8_t latencyMs,
                         std::uint8_t* previous) {
    // /dev/ttyUSB0, or a link to it, is /sys/class/tty/ttyUSB0; its driver's
    // attribute sits in the device directory.
    char resolved[PATH_MAX];
    if (!realpath(devicePath.c_str(), resolved)) return false;
    std::string name = resolved;
    name = name.substr(name.rfind('/') + 1);
    std::string root;
    {
        std::lock_guard<std::mutex> lock(g_sysfsMutex);
        root = g_sysfsRoot;
    }
    const std::string attribute = root + "/class/tty/" + name + "/device/latency_timer";
    int before = -1;
    {
        std::ifstream in(attribute);
        if (!(in >> before) || before < 0) return false;
    }
    if (previous) *previous = static_cast<std::uint8_t>(before & 0xFF);
    std::ofstream out(attribute);
    if (!(out << static_cast<unsigned>(latencyMs) << '\n')) {
        SerialTrace("serial: cannot write " + attribute);
        return false;
    }
    out.close();
    return !out.fail();
}

}  // namespace platform
