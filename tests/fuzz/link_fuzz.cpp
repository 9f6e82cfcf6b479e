// Fuzz target: any bytes as the far side's answer, and any words as a
// request. Reply checking must never read or write out of bounds and must
// accept a reply only when its length and checksum are right; a request
// built by the command layer must come out of the simulator's packet
// assembly unchanged; and the simulated processor must take any byte stream
// without failing, answering each packet it completes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cmotion/link_errors.h"
#include "cmotion/link_packet.h"
#include "sim/packet_assembler.h"
#include "sim/processor_endpoint.h"
#include "sim/sim_clock.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckReplies(const std::uint8_t* data, std::size_t size) {
    for (std::size_t words = 0; words <= 3; ++words) {
        std::uint16_t reply[3] = {0xAAAA, 0xAAAA, 0xAAAA};
        const cmotion::LinkError result = cmotion::CheckReplyPacket(data, size, words, reply);
        if (result == cmotion::kLinkOk) {
            // Only a complete reply with status 0 and a right checksum is
            // taken, and its words are the bytes big-endian.
            Require(size == 2 + 2 * words && data[0] == 0 && cmotion::ByteSum(data, size) == 0);
            for (std::size_t i = 0; i < words; ++i)
                Require(reply[i] == ((data[2 + 2 * i] << 8) | data[3 + 2 * i]));
        }
        // Words beyond the count asked for are never touched.
        for (std::size_t i = words; i < 3; ++i) Require(reply[i] == 0xAAAA);
    }
}

void CheckRequestRoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    const std::size_t count = 1 + data[0] % 4;
    std::uint16_t words[4] = {};
    for (std::size_t i = 0; i < count && 2 + 2 * i < size; ++i)
        words[i] = static_cast<std::uint16_t>(data[1 + 2 * i] |
                                              (2 + 2 * i < size ? data[2 + 2 * i] << 8 : 0));
    std::uint8_t packet[cmotion::kMaxPacketBytes];
    const std::size_t length = cmotion::BuildCommandPacket(data[1], words, count, packet);
    if (length == 0) return;
    // The receiver completes the packet exactly at its last byte, when the
    // opcode's shape and the word count agree.
    sim::PacketAssembler assembler;
    for (std::size_t i = 0; i < length; ++i) {
        if (assembler.Feed(packet[i])) {
            Require(assembler.packet().size() == i + 1);
            Require(std::vector<std::uint8_t>(packet, packet + i + 1) == assembler.packet());
            break;
        }
    }
}

void CheckProcessor(const std::uint8_t* data, std::size_t size) {
    sim::ManualClock clock;
    sim::BoardConfig config;
    sim::ProcessorEndpoint endpoint(config, clock);
    const std::vector<sim::Emission> answers = endpoint.Receive(data, size);
    for (const sim::Emission& e : answers) Require(e.bytes.size() <= 64 && e.delayMicros >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckReplies(data, size);
    CheckRequestRoundTrip(data, size);
    CheckProcessor(data, size);
    return 0;
}
