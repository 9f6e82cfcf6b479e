// Packet bytes of the MotionLink protocol, with no I/O: building a request
// and checking and unpacking a reply.
//
// Request: address (low five bits), checksum, then the command words high
// byte first; word 0 is (axis << 8) | opcode. Reply: status, checksum, then
// the reply words high byte first. The checksum makes the byte sum of the
// whole packet 0 modulo 256.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cmotion/link_errors.h"

namespace cmotion {

inline constexpr std::size_t kMaxCommandWords = 4;
inline constexpr std::size_t kMaxReplyWords = 3;
// Requests are the larger packets: 2 + 2 * 4 bytes.
inline constexpr std::size_t kMaxPacketBytes = 2 + 2 * kMaxCommandWords;

constexpr std::size_t CommandPacketLength(std::size_t wordCount) {
    return 2 + 2 * wordCount;
}

// A 32-bit value travels as two words, the high word first.
constexpr std::uint32_t JoinWords(std::uint16_t high, std::uint16_t low) {
    return (static_cast<std::uint32_t>(high) << 16) | low;
}

// Signed quantities travel in two's complement; this reads 32 bits back as
// the signed value without relying on an implementation-defined conversion.
constexpr std::int32_t SignedFromBits(std::uint32_t bits) {
    return bits <= 0x7FFFFFFFu ? static_cast<std::int32_t>(bits)
                               : -static_cast<std::int32_t>(~bits) - 1;
}
constexpr std::size_t ReplyPacketLength(std::size_t wordCount) {
    return 2 + 2 * wordCount;
}

// The low eight bits of the sum of `count` bytes.
std::uint8_t ByteSum(const std::uint8_t* bytes, std::size_t count);

// Writes the request for 1 to 4 command words into `out` (room for
// kMaxPacketBytes) and returns its length; 0 when the word count is out of range.
std::size_t BuildCommandPacket(std::uint16_t address, const std::uint16_t* words,
                               std::size_t wordCount, std::uint8_t* out);

// Checks `received` bytes against a reply of `replyWordCount` words, in this
// order: the count (kLinkCommPortRead), the checksum (kLinkChecksumError).
// Then unpacks the words, also when the status is not zero, and returns the
// status byte.
//
// A sound two-byte reply with a non-zero status, where words were expected,
// is taken as the processor's refusal and its status returned, with the words
// set to zero: the processor's reason is worth more to the user than a
// generic read error. A two-byte reply with status 0 is still short.
LinkError CheckReplyPacket(const std::uint8_t* bytes, std::size_t received,
                           std::size_t replyWordCount, std::uint16_t* replyWords);

}  // namespace cmotion
