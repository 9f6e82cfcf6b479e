#include "tools/link-peer/peer_control.h"

#include <chrono>
#include <cstdlib>

#include "platform/serial_port.h"

namespace link_peer {

void ConfigurePeerPorts() {
    if (const char* dir = std::getenv("TESSARO_PEER_DIR")) {
        platform::SetComPortPath(kPeerDataPort, std::string(dir) + "/com5");
        platform::SetComPortPath(kPeerControlPort, std::string(dir) + "/com12");
    }
}

PeerControl::~PeerControl() {
    if (m_handle.m_pfnClose) m_handle.m_pfnClose(m_handle.m_pPort);
}

bool PeerControl::Open(std::string* error) {
    const cmotion::LinkError code = cmotion::OpenSerialInterface(&m_handle, 0, kPeerControlPort);
    if (code != cmotion::kLinkOk) {
        if (error)
            *error = "cannot open the peer's control line COM12: " +
                     std::string(cmotion::GetErrorText(code));
        return false;
    }
    return true;
}

std::string PeerControl::Command(const std::string& line) {
    if (!m_handle.m_pPort) return {};
    platform::SerialApi& api = platform::CurrentSerialApi();
    const platform::SerialHandle h = m_handle.m_pPort->m_hPort;
    api.Purge(h, platform::kPurgeRxClear);
    const std::string out = line + "\n";
    std::uint32_t written = 0;
    if (!api.Write(h, reinterpret_cast<const std::uint8_t*>(out.data()),
                   static_cast<std::uint32_t>(out.size()), &written)) {
        return {};
    }
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        std::uint8_t c = 0;
        std::uint32_t got = 0;
        if (!api.Read(h, &c, 1, &got)) return {};
        if (got == 0) continue;
        if (c == '\n') return answer;
        answer += static_cast<char>(c);
    }
    return {};
}

long long PeerControl::Stat(const std::string& name) {
    const std::string answer = Command("stats");
    const std::string key = " " + name + "=";
    const std::size_t at = answer.find(key);
    if (at == std::string::npos) return -1;
    return std::atoll(answer.c_str() + at + key.size());
}

}  // namespace link_peer
