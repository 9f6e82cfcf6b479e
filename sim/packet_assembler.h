// Cuts the byte stream from the host into request packets, one byte at a
// time, as the processor's receiver does: the opcode (byte 3) says how many
// data words follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class PacketAssembler {
  public:
    // Adds one byte; returns true when it completed a packet, which is then
    // in `packet()` until the next byte.
    bool Feed(std::uint8_t byte);
    const std::vector<std::uint8_t>& packet() const { return m_packet; }
    std::size_t pending() const { return m_complete ? 0 : m_packet.size(); }
    void Clear();

  private:
    std::vector<std::uint8_t> m_packet;
    bool m_complete = false;
};

}  // namespace sim
