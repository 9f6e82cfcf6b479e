// The client side of link-peer, for the transport's tests and benchmarks:
// which COM ports it serves and its text control line. Built for both
// platforms; natively the ports are pointed at the peer's links
// (TESSARO_PEER_DIR), under Wine they are the prefix's COM devices the
// fixture links to the peer.
#pragma once

#include <string>

#include "cmotion/link_serial.h"

namespace link_peer {

inline constexpr int kPeerDataPort = 5;
// Above 9 on purpose: the control line is opened under the "\\.\COMn" name.
inline constexpr int kPeerControlPort = 12;

// Points the peer's COM ports at its links where the system needs it.
void ConfigurePeerPorts();

class PeerControl {
  public:
    PeerControl() = default;
    ~PeerControl();
    PeerControl(const PeerControl&) = delete;
    PeerControl& operator=(const PeerControl&) = delete;

    bool Open(std::string* error);
    // Sends one command line and returns the peer's answer line ("" when
    // none came within a few seconds).
    std::string Command(const std::string& line);
    bool Ok(const std::string& line) { return Command(line).rfind("ok", 0) == 0; }
    // A number from the "stats" answer, e.g. Stat("zeros"); -1 when absent.
    long long Stat(const std::string& name);

  private:
    cmotion::CLinkAxisHandle m_handle{};
};

}  // namespace link_peer
