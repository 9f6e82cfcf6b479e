#include "sim/packet_assembler.h"

#include "sim/command_shapes.h"

namespace sim {

bool PacketAssembler::Feed(std::uint8_t byte) {
    if (m_complete) {
        m_packet.clear();
        m_complete = false;
    }
    m_packet.push_back(byte);
    if (m_packet.size() < 4) return false;
    // Unknown opcodes carry no data as far as the receiver can tell.
    const std::size_t length = 4 + 2u * ShapeOf(m_packet[3]).dataWords;
    m_complete = m_packet.size() >= length;
    return m_complete;
}

void PacketAssembler::Clear() {
    m_packet.clear();
    m_complete = false;
}

}  // namespace sim
