// Wire bytes of requests and the checks of replies, with no I/O.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cmotion/link_packet.h"

namespace cmotion {
namespace {

std::vector<std::uint8_t> Build(std::vector<std::uint16_t> words, std::uint16_t address = 0) {
    std::uint8_t out[kMaxPacketBytes] = {};
    const std::size_t n = BuildCommandPacket(address, words.data(), words.size(), out);
    return {out, out + n};
}

using Bytes = std::vector<std::uint8_t>;

TEST(CommandPacket, WorkedExamplesByteForByte) {
    EXPECT_EQ(Build({0x001A}), (Bytes{0x00, 0xE6, 0x00, 0x1A}));  // Update, axis 0
    EXPECT_EQ(Build({0x021A}), (Bytes{0x00, 0xE4, 0x02, 0x1A}));  // Update, axis 2
    EXPECT_EQ(Build({0x0111, 0x0001, 0x2345}),
              (Bytes{0x00, 0x85, 0x01, 0x11, 0x00, 0x01, 0x23, 0x45}));
    EXPECT_EQ(Build({0x0031}), (Bytes{0x00, 0xCF, 0x00, 0x31}));  // GetEventStatus
    EXPECT_EQ(Build({0x0010, 0x8000, 0x0000}),
              (Bytes{0x00, 0x70, 0x00, 0x10, 0x80, 0x00, 0x00, 0x00}));
}

TEST(CommandPacket, LengthsAddressAndChecksumOfEveryShape) {
    EXPECT_EQ(Build({0x0000}).size(), 4u);
    EXPECT_EQ(Build({0x0000, 1, 2, 3}).size(), 10u);
    // Word counts outside 1..4 build nothing.
    std::uint8_t out[kMaxPacketBytes];
    const std::uint16_t words[5] = {};
    EXPECT_EQ(BuildCommandPacket(0, words, 0, out), 0u);
    EXPECT_EQ(BuildCommandPacket(0, words, 5, out), 0u);
    // Only the address's low five bits go out.
    EXPECT_EQ(Build({0x001A}, 0x3F)[0], 0x1F);
    // Any request sums to 0 modulo 256.
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        std::vector<std::uint16_t> w(1 + rng() % 4);
        for (auto& x : w) x = static_cast<std::uint16_t>(rng());
        const Bytes p = Build(w, static_cast<std::uint16_t>(rng()));
        ASSERT_EQ(ByteSum(p.data(), p.size()), 0) << i;
    }
}

TEST(ReplyPacket, ChecksCountFirstThenChecksumThenUnpacks) {
    std::uint16_t words[3] = {0xDEAD, 0xDEAD, 0xDEAD};
    // The worked reply: status 0, word 0x0421.
    const Bytes ok = {0x00, 0xDB, 0x04, 0x21};
    EXPECT_EQ(CheckReplyPacket(ok.data(), ok.size(), 1, words), kLinkOk);
    EXPECT_EQ(words[0], 0x0421);

    // Checksum off by one: 32766 even though the status is 0.
    const Bytes badSum = {0x00, 0xDC, 0x04, 0x21};
    EXPECT_EQ(CheckReplyPacket(badSum.data(), badSum.size(), 1, words), kLinkChecksumError);

    // One byte short: 32723, also with a non-zero status and a bad checksum.
    const Bytes shortReply = {0x00, 0xDB, 0x04};
    EXPECT_EQ(CheckReplyPacket(shortReply.data(), shortReply.size(), 1, words), kLinkCommPortRead);
    const Bytes shortRefusal = {0x02, 0x11, 0x04};
    EXPECT_EQ(CheckReplyPacket(shortRefusal.data(), shortRefusal.size(), 1, words),
              kLinkCommPortRead);
    // Too long is as wrong as too short.
    const Bytes longReply = {0x00, 0xDB, 0x04, 0x21, 0x00};
    EXPECT_EQ(CheckReplyPacket(longReply.data(), longReply.size(), 1, words), kLinkCommPortRead);
    EXPECT_EQ(CheckReplyPacket(nullptr, 0, 0, nullptr), kLinkCommPortRead);

    // A refusal of full length returns the status and still fills the words.
    words[0] = words[1] = 0;
    const Bytes refusal = {0x0E, 0x00, 0x12, 0x34, 0x56, 0x78};
    Bytes sound = refusal;
    sound[1] = static_cast<std::uint8_t>(0x100 - ByteSum(refusal.data(), refusal.size()));
    EXPECT_EQ(CheckReplyPacket(sound.data(), sound.size(), 2, words), kLinkMoveIntoLimit);
    EXPECT_EQ(words[0], 0x1234);
    EXPECT_EQ(words[1], 0x5678);

    // No words expected: a two-byte reply is complete.
    const Bytes bare = {0x00, 0x00};
    EXPECT_EQ(CheckReplyPacket(bare.data(), bare.size(), 0, words), kLinkOk);
    const Bytes bareRefusal = {0x02, 0xFE};
    EXPECT_EQ(CheckReplyPacket(bareRefusal.data(), bareRefusal.size(), 0, words),
              kLinkInvalidInstruction);
}

TEST(ReplyPacket, TwoByteRefusalWhereWordsWereExpected) {
    std::uint16_t words[2] = {0x1111, 0x2222};
    // A sound refusal: its status comes back and the words read as zero.
    const Bytes refusal = {0x02, 0xFE};
    EXPECT_EQ(CheckReplyPacket(refusal.data(), refusal.size(), 2, words), kLinkInvalidInstruction);
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[1], 0);
    // Status 0 in two bytes is a short reply, not a success.
    const Bytes bare = {0x00, 0x00};
    EXPECT_EQ(CheckReplyPacket(bare.data(), bare.size(), 2, words), kLinkCommPortRead);
    // A refusal with a wrong checksum is just a short read.
    const Bytes broken = {0x02, 0xFF};
    EXPECT_EQ(CheckReplyPacket(broken.data(), broken.size(), 2, words), kLinkCommPortRead);
}

}  // namespace
}  // namespace cmotion
