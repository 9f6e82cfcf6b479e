#include "controller/serial_latency.h"

#include <string>

#include "platform/registry.h"
#include "platform/serial_port.h"

namespace tessaro {
namespace {

using namespace platform;

const std::u16string kFtdiBus = u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const std::u16string kDeviceParameters = u"\\0000\\Device Parameters";
const std::u16string kLatencyTimer = u"LatencyTimer";
const std::u16string kPortName = u"PortName";
constexpr std::size_t kNameChars = 2000;
constexpr std::size_t kPortNameBytes = 2000;

bool ContainsComIgnoringCase(const std::u16string& text) {
    for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
        const auto upper = [](char16_t c) {
            return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
        };
        if (upper(text[i]) == u'C' && upper(text[i + 1]) == u'O' && upper(text[i + 2]) == u'M')
            return true;
    }
    return false;
}

// Leading decimal digits as an integer, 0 when there are none (after
// optional white space and a sign, as the C runtime's wide atoi reads them).
long LeadingInteger(const std::u16string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value < 100000000) value = value * 10 + (text[i] - u'0');
    }
    return negative ? -value : value;
}

}  // namespace

namespace {

// The FTDI driver's keys in the registry, in the registry's enumeration
// order, each device's parameters opened with `access`; the first device key
// that cannot be read ends the search. `onPort` gets the parameters of the
// device whose PortName names the port, and its answer is the search's.
// `lastRead` receives every latency value read on the way.
template <typename OnPort>
bool SearchFtdiKeys(std::uint16_t port, std::uint32_t access, std::uint8_t* lastRead,
                    OnPort onPort) {
    RegistryApi& registry = CurrentRegistryApi();
    RegistryKey bus = 0;
    if (registry.OpenLocalMachine(kFtdiBus, kKeyEnumerateSubKeys, &bus) != kRegistrySuccess)
        return false;
    for (std::uint16_t index = 0;; ++index) {
        std::u16string device;
        if (registry.EnumSubKey(bus, index, kNameChars, &device) != kRegistrySuccess) break;
        RegistryKey parameters = 0;
        if (registry.OpenSubKey(bus, device + kDeviceParameters, access, &parameters) !=
            kRegistrySuccess) {
            break;
        }
        std::uint32_t latency = 0;
        std::u16string portName;
        if (registry.QueryDword(parameters, kLatencyTimer, &latency) != kRegistrySuccess) {
            registry.Close(parameters);
            break;
        }
        if (lastRead) *lastRead = static_cast<std::uint8_t>(latency & 0xFF);
        if (registry.QueryString(parameters, kPortName, kPortNameBytes, &portName) !=
            kRegistrySuccess) {
            registry.Close(parameters);
            break;
        }
        bool found = false;
        bool answer = false;
        // "COM" anywhere in the name; the first three characters are dropped
        // whatever they are.
        if (ContainsComIgnoringCase(portName) && LeadingInteger(portName.substr(3)) == port) {
            answer = onPort(registry, parameters);
            found = true;
        }
        registry.Close(parameters);
        if (found) {
            registry.Close(bus);
            return answer;
        }
        if (index == 0xFFFF) break;
    }
    registry.Close(bus);
    return false;
}

}  // namespace

bool SetFtdiRegistryLatency(std::uint16_t port, std::uint8_t latencyMs, std::uint8_t* previous) {
    return SearchFtdiKeys(port, kKeyQueryValue | kKeySetValue, previous,
                          [latencyMs](RegistryApi& registry, RegistryKey parameters) {
                              return registry.SetDword(parameters, kLatencyTimer, latencyMs) ==
                                     kRegistrySuccess;
                          });
}

bool ReadFtdiRegistryLatency(std::uint16_t port, std::uint8_t* latencyMs) {
    // Opened for reading only: a user without the rights to change the
    // driver's keys can still be told what they say.
    std::uint8_t read = 0;
    if (!SearchFtdiKeys(port, kKeyQueryValue, &read,
                        [](RegistryApi&, RegistryKey) { return true; }))
        return false;
    *latencyMs = read;
    return true;
}

bool SetSerialLatencyTimer(std::uint16_t port, std::uint8_t latencyMs, std::uint8_t* previous) {
    if (SystemHasRegistry()) return SetFtdiRegistryLatency(port, latencyMs, previous);
    return SetUsbSerialLatency(ComPortPath(port), latencyMs, previous);
}

}  // namespace tessaro
