// Parts of the serial platform layer that every back-end shares: the choice of
// implementation, the trace sink, COM names and the port-to-device table.
#include "platform/serial_port.h"

#include <atomic>
#include <map>
#include <mutex>

namespace platform {
namespace {

std::atomic<SerialApi*> g_pCurrentApi{nullptr};

std::mutex g_traceMutex;
SerialTraceSink g_traceSink;
std::atomic<bool> g_bTraceEnabled{false};

std::mutex g_portMapMutex;
std::map<int, std::string>& PortMap() {
    static std::map<int, std::string> map;
    return map;
}

}  // namespace

SerialApi& CurrentSerialApi() {
    SerialApi* pApi = g_pCurrentApi.load(std::memory_order_acquire);
    return pApi ? *pApi : SystemSerialApi();
}

ScopedSerialApi::ScopedSerialApi(SerialApi& api)
    : m_pPrevious(g_pCurrentApi.exchange(&api, std::memory_order_acq_rel)) {}

ScopedSerialApi::~ScopedSerialApi() {
    g_pCurrentApi.store(m_pPrevious, std::memory_order_release);
}

void SetSerialTraceSink(SerialTraceSink sink) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_bTraceEnabled = static_cast<bool>(sink);
    g_traceSink = std::move(sink);
}

bool SerialTraceEnabled() {
    return g_bTraceEnabled.load(std::memory_order_relaxed);
}

void SerialTrace(std::string_view line) {
    if (!SerialTraceEnabled()) return;
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_traceSink) g_traceSink(line);
}

int ComPortNumberFromName(std::u16string_view name) {
    constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
        name.remove_prefix(kDevicePrefix.size());
    constexpr std::u16string_view kCom = u"COM";
    if (name.size() <= kCom.size() || name.size() > kCom.size() + 3) return 0;
    for (std::size_t i = 0; i < kCom.size(); ++i) {
        char16_t c = name[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != kCom[i]) return 0;
    }
    int number = 0;
    for (std::size_t i = kCom.size(); i < name.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9') return 0;
        number = number * 10 + (name[i] - u'0');
    }
    return (number >= 1 && number <= 255) ? number : 0;
}

void SetComPortPath(int portNumber, std::string path) {
    std::lock_guard<std::mutex> lock(g_portMapMutex);
    if (path.empty())
        PortMap().erase(portNumber);
    else
        PortMap()[portNumber] = std::move(path);
}

std::vector<std::pair<int, std::string>> MappedComPorts() {
    std::lock_guard<std::mutex> lock(g_portMapMutex);
    return {PortMap().begin(), PortMap().end()};
}

void ClearComPortPaths() {
    std::lock_guard<std::mutex> lock(g_portMapMutex);
    PortMap().clear();
}

std::string ComPortPath(int portNumber) {
    {
        std::lock_guard<std::mutex> lock(g_portMapMutex);
        auto it = PortMap().find(portNumber);
        if (it != PortMap().end()) return it->second;
    }
    if (portNumber < 1) return {};
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace platform
