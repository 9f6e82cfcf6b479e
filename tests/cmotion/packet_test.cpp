// Wire bytes of requests and the checks of replies, with no I/O. The worked
// examples' bytes are checked here and nowhere else.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cmotion/link_packet.h"

namespace cmotion {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Build(std::vector<std::uint16_t> words, std::uint16_t address = 0) {
    std::uint8_t out[kMaxPacketBytes] = {};
    const std::size_t n = BuildCommandPacket(address, words.data(), words.size(), out);
    return {out, out + n};
}

TEST(CommandPacket, WorkedExamplesShapesAndChecksums) {
    EXPECT_EQ(Build({0x001A}), (Bytes{0x00, 0xE6, 0x00, 0x1A}));  // Update, axis 0
    EXPECT_EQ(Build({0x021A}), (Bytes{0x00, 0xE4, 0x02, 0x1A}));  // Update, axis 2
    EXPECT_EQ(Build({0x0111, 0x0001, 0x2345}),                    // SetVelocity, axis 1
              (Bytes{0x00, 0x85, 0x01, 0x11, 0x00, 0x01, 0x23, 0x45}));
    EXPECT_EQ(Build({0x0031}), (Bytes{0x00, 0xCF, 0x00, 0x31}));  // GetEventStatus
    EXPECT_EQ(Build({0x0010, 0x8000, 0x0000}),
              (Bytes{0x00, 0x70, 0x00, 0x10, 0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Build({0x0039}), (Bytes{0x00, 0xC7, 0x00, 0x39}));  // Reset
    EXPECT_EQ(Build({0x008F}), (Bytes{0x00, 0x71, 0x00, 0x8F}));  // GetVersion

    // One to four words; other counts build nothing.
    EXPECT_EQ(Build({0x0000, 1, 2, 3}).size(), 10u);
    std::uint8_t out[kMaxPacketBytes];
    const std::uint16_t words[5] = {};
    EXPECT_EQ(BuildCommandPacket(0, words, 0, out), 0u);
    EXPECT_EQ(BuildCommandPacket(0, words, 5, out), 0u);
    // Only the address's low five bits go out.
    EXPECT_EQ(Build({0x001A}, 0x3F)[0], 0x1F);
    EXPECT_EQ(Build({0x001A}, 0x20)[0], 0x00);
    // Any request sums to 0 modulo 256.
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        std::vector<std::uint16_t> w(1 + rng() % 4);
        for (auto& x : w) x = static_cast<std::uint16_t>(rng());
        const Bytes p = Build(w, static_cast<std::uint16_t>(rng()));
        ASSERT_EQ(ByteSum(p.data(), p.size()), 0) << i;
    }
}

TEST(ReplyPacket, CountFirstThenChecksumThenStatusAndWords) {
    const struct {
        const char* what;
        Bytes bytes;
        std::size_t words;
        LinkError result;
        std::vector<std::uint16_t> unpacked;  // empty: not checked
    } kCases[] = {
        {"the worked reply", {0x00, 0xDB, 0x04, 0x21}, 1, kLinkOk, {0x0421}},
        {"checksum off by one", {0x00, 0xDC, 0x04, 0x21}, 1, kLinkChecksumError, {}},
        {"one byte short", {0x00, 0xDB, 0x04}, 1, kLinkCommPortRead, {}},
        {"short refusal", {0x02, 0x11, 0x04}, 1, kLinkCommPortRead, {}},
        {"one byte long", {0x00, 0xDB, 0x04, 0x21, 0x00}, 1, kLinkCommPortRead, {}},
        {"nothing", {}, 0, kLinkCommPortRead, {}},
        {"refusal of full length keeps its words",
         {0x0E, 0xDE, 0x12, 0x34, 0x56, 0x78},
         2,
         kLinkMoveIntoLimit,
         {0x1234, 0x5678}},
        {"no words expected", {0x00, 0x00}, 0, kLinkOk, {}},
        {"bare refusal", {0x02, 0xFE}, 0, kLinkInvalidInstruction, {}},
        {"two-byte refusal where words were expected",
         {0x02, 0xFE},
         2,
         kLinkInvalidInstruction,
         {0, 0}},
        {"status 0 in two bytes is short", {0x00, 0x00}, 2, kLinkCommPortRead, {}},
        {"refusal with a bad checksum is short", {0x02, 0xFF}, 2, kLinkCommPortRead, {}},
    };
    for (const auto& c : kCases) {
        std::uint16_t words[2] = {0xDEAD, 0xDEAD};
        EXPECT_EQ(CheckReplyPacket(c.bytes.data(), c.bytes.size(), c.words, words), c.result)
            << c.what;
        for (std::size_t i = 0; i < c.unpacked.size(); ++i)
            EXPECT_EQ(words[i], c.unpacked[i]) << c.what << ", word " << i;
    }
}

}  // namespace
}  // namespace cmotion
