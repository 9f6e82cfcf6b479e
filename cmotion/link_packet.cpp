#include "cmotion/link_packet.h"

namespace cmotion {

std::uint8_t ByteSum(const std::uint8_t* bytes, std::size_t count) {
    unsigned int sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::size_t BuildCommandPacket(std::uint16_t address, const std::uint16_t* words,
                               std::size_t wordCount, std::uint8_t* out) {
    if (wordCount < 1 || wordCount > kMaxCommandWords || !words || !out) return 0;
    const std::size_t length = CommandPacketLength(wordCount);
    out[0] = static_cast<std::uint8_t>(address & 0x1Fu);
    out[1] = 0;
    for (std::size_t i = 0; i < wordCount; ++i) {
        out[2 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
        out[3 + 2 * i] = static_cast<std::uint8_t>(words[i] & 0xFFu);
    }
    out[1] = static_cast<std::uint8_t>(0x100u - ByteSum(out, length));
    return length;
}

LinkError CheckReplyPacket(const std::uint8_t* bytes, std::size_t received,
                           std::size_t replyWordCount, std::uint16_t* replyWords) {
    const std::size_t expected = ReplyPacketLength(replyWordCount);
    if (received != expected) {
        const bool refusal = received == 2 && bytes[0] != 0 && ByteSum(bytes, 2) == 0;
        if (!refusal) return kLinkCommPortRead;
        for (std::size_t i = 0; i < replyWordCount; ++i) replyWords[i] = 0;
        return bytes[0];
    }
    if (ByteSum(bytes, received) != 0) return kLinkChecksumError;
    for (std::size_t i = 0; i < replyWordCount; ++i) {
        replyWords[i] = static_cast<std::uint16_t>((bytes[2 + 2 * i] << 8) | bytes[3 + 2 * i]);
    }
    return bytes[0];
}

}  // namespace cmotion
