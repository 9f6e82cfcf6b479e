// Typed commands: which words each sends, how replies are unpacked, and the
// processor-wide rule of Reset. The exchange is a recorder, so the words that
// would go on the wire are checked without a port (the bytes of the words
// are the packet layer's).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_trace.h"

namespace cmotion {
namespace {

using Words = std::vector<std::uint16_t>;

struct Recorder {
    std::vector<Words> commands;
    std::vector<std::uint16_t> replyCounts;
    Words reply;                 // words to answer with
    LinkError result = kLinkOk;  // what the exchange returns
};
Recorder* g_pRecorder = nullptr;

LinkError RecordingExchange(CLinkSerialPort*, std::uint16_t count, const std::uint16_t* words,
                            std::uint16_t replyCount, std::uint16_t* reply) {
    Recorder& r = *g_pRecorder;
    r.commands.emplace_back(words, words + count);
    r.replyCounts.push_back(replyCount);
    for (std::uint16_t i = 0; i < replyCount; ++i) reply[i] = i < r.reply.size() ? r.reply[i] : 0;
    return r.result;
}

class Commands : public ::testing::Test {
  protected:
    void SetUp() override {
        g_pRecorder = &recorder;
        handle.m_pfnExchange = RecordingExchange;
    }
    void TearDown() override { g_pRecorder = nullptr; }

    CLinkAxisHandle handle{};
    Recorder recorder;
};

TEST_F(Commands, EachCommandSendsItsOpcodeAndShape) {
    handle.m_uAxis = 3;
    std::uint16_t u16 = 0;
    std::uint32_t u32 = 0;
    std::int32_t s32 = 0;
    const struct Case {
        const char* name;
        std::function<LinkError()> call;
        Words words;
        std::uint16_t replyWords;
    } kCases[] = {
        // clang-format off
        {"Update", [&] { return Update(&handle); }, {0x031A}, 0},
        {"MultiUpdate", [&] { return MultiUpdate(&handle, 0x0003); }, {0x035B, 0x0003}, 0},
        {"GetActivityStatus", [&] { return GetActivityStatus(&handle, &u16); }, {0x03A6}, 1},
        {"GetEventStatus", [&] { return GetEventStatus(&handle, &u16); }, {0x0331}, 1},
        {"ResetEventStatus", [&] { return ResetEventStatus(&handle, 0xFF1E); }, {0x0334, 0xFF1E}, 0},
        {"GetSignalStatus", [&] { return GetSignalStatus(&handle, &u16); }, {0x03A4}, 1},
        {"GetSignalSense", [&] { return GetSignalSense(&handle, &u16); }, {0x03A3}, 1},
        {"SetSignalSense", [&] { return SetSignalSense(&handle, 0x0030); }, {0x03A2, 0x0030}, 0},
        {"GetCommandedPosition", [&] { return GetCommandedPosition(&handle, &s32); }, {0x031D}, 2},
        {"GetSampleTime", [&] { return GetSampleTime(&handle, &u32); }, {0x033C}, 2},
        {"SetPosition", [&] { return SetPosition(&handle, 0x01020304); }, {0x0310, 0x0102, 0x0304}, 0},
        {"SetPosition min", [&] { return SetPosition(&handle, std::numeric_limits<std::int32_t>::min()); }, {0x0310, 0x8000, 0x0000}, 0},
        {"SetVelocity", [&] { return SetVelocity(&handle, 0x00050006); }, {0x0311, 0x0005, 0x0006}, 0},
        {"SetVelocity -1", [&] { return SetVelocity(&handle, -1); }, {0x0311, 0xFFFF, 0xFFFF}, 0},
        {"SetVelocity -65536", [&] { return SetVelocity(&handle, -65536); }, {0x0311, 0xFFFF, 0x0000}, 0},
        {"SetAcceleration", [&] { return SetAcceleration(&handle, 0x00070008); }, {0x0390, 0x0007, 0x0008}, 0},
        {"SetDeceleration", [&] { return SetDeceleration(&handle, 0x0009000A); }, {0x0391, 0x0009, 0x000A}, 0},
        {"SetJerk", [&] { return SetJerk(&handle, 0x000B000C); }, {0x0313, 0x000B, 0x000C}, 0},
        {"SetStartVelocity", [&] { return SetStartVelocity(&handle, 0x000D000E); }, {0x036A, 0x000D, 0x000E}, 0},
        {"SetProfileMode", [&] { return SetProfileMode(&handle, 2); }, {0x03A0, 0x0002}, 0},
        {"SetStopMode", [&] { return SetStopMode(&handle, 1); }, {0x03D0, 0x0001}, 0},
        {"SetMotorCommand", [&] { return SetMotorCommand(&handle, 0x1234); }, {0x0377, 0x1234}, 0},
        {"SetHoldingCurrent", [&] { return SetHoldingCurrent(&handle, 1, 0x0800); }, {0x035E, 0x0001, 0x0800}, 0},
        {"SetMotorType", [&] { return SetMotorType(&handle, 0xFF); }, {0x0302, 0x00FF}, 0},
        {"SetOperatingMode", [&] { return SetOperatingMode(&handle, 0x0011); }, {0x0365, 0x0011}, 0},
        {"SetOutputMode", [&] { return SetOutputMode(&handle, 4); }, {0x03E0, 0x0004}, 0},
        {"SetPWMFrequency", [&] { return SetPWMFrequency(&handle, 5); }, {0x030C, 0x0005}, 0},
        {"SetPhaseCounts", [&] { return SetPhaseCounts(&handle, 256); }, {0x0375, 0x0100}, 0},
        {"SetActualPositionUnits", [&] { return SetActualPositionUnits(&handle, 1); }, {0x03BE, 0x0001}, 0},
        {"SetEventAction", [&] { return SetEventAction(&handle, 2, 3); }, {0x0348, 0x0002, 0x0003}, 0},
        {"GetEventAction", [&] { return GetEventAction(&handle, 2, &u16); }, {0x0349, 0x0002}, 1},
        {"GetHoldingCurrent", [&] { return GetHoldingCurrent(&handle, 1, &u16); }, {0x035F, 0x0001}, 1},
        {"GetProfileMode", [&] { return GetProfileMode(&handle, &u16); }, {0x03A1}, 1},
        {"GetPosition", [&] { return GetPosition(&handle, &s32); }, {0x034A}, 2},
        {"GetVelocity", [&] { return GetVelocity(&handle, &s32); }, {0x034B}, 2},
        {"GetStopMode", [&] { return GetStopMode(&handle, &u16); }, {0x03D1}, 1},
        {"GetTime", [&] { return GetTime(&handle, &u32); }, {0x033E}, 2},
        {"GetVersion", [&] { return GetVersion(&handle, &u16, &u16, &u16, &u16, &u16, &u16, &u16); }, {0x038F}, 2},
        {"16And32", [&] { return SendCommand16And32(&handle, Opcode::SetBreakpointValue, 7, 0xAABBCCDD); }, {0x03D6, 0x0007, 0xAABB, 0xCCDD}, 0},
        {"32 unsigned", [&] { return SendCommand32(&handle, Opcode::SetPosition, 0x80000000u); }, {0x0310, 0x8000, 0x0000}, 0},
        {"16Get32", [&] { return SendCommand16Get32(&handle, Opcode::GetBreakpointValue, 7, &u32); }, {0x03D7, 0x0007}, 2},
        {"Get16x3", [&] { return SendCommandGet16x3(&handle, Opcode::GetDriveStatus, &u16, &u16, &u16); }, {0x030E}, 3},
        // clang-format on
    };
    for (const auto& c : kCases) {
        recorder.commands.clear();
        recorder.replyCounts.clear();
        ASSERT_EQ(c.call(), kLinkOk) << c.name;
        ASSERT_EQ(recorder.commands.size(), 1u) << c.name;
        EXPECT_EQ(recorder.commands[0], c.words) << c.name;
        EXPECT_EQ(recorder.replyCounts[0], c.replyWords) << c.name;
    }
}

TEST_F(Commands, RepliesAreUnpackedAlsoOnRefusal) {
    std::int32_t position = 0;
    recorder.reply = {0xFFFF, 0xFF38};  // -200
    EXPECT_EQ(GetCommandedPosition(&handle, &position), kLinkOk);
    EXPECT_EQ(position, -200);
    recorder.reply = {0x8000, 0x0000};
    GetCommandedPosition(&handle, &position);
    EXPECT_EQ(position, std::numeric_limits<std::int32_t>::min());

    std::uint32_t sampleTime = 0;
    recorder.reply = {0x0001, 0x86A0};
    recorder.result = kLinkInvalidAxis;  // refused, words still delivered
    EXPECT_EQ(GetSampleTime(&handle, &sampleTime), kLinkInvalidAxis);
    EXPECT_EQ(sampleTime, 100000u);

    std::uint16_t a = 0, b = 0, c = 0;
    recorder.result = kLinkOk;
    recorder.reply = {1, 2, 3};
    EXPECT_EQ(SendCommandGet16x3(&handle, Opcode::GetDriveStatus, &a, &b, &c), kLinkOk);
    EXPECT_EQ((Words{a, b, c}), (Words{1, 2, 3}));
    // Null outputs are skipped, not written through.
    EXPECT_EQ(SendCommandGet16x3(&handle, Opcode::GetDriveStatus, nullptr, nullptr, nullptr),
              kLinkOk);

    // The version's seven fields: nibbles, then the high byte of word 1.
    std::uint16_t v[7];
    for (const auto& [reply, fields] :
         {std::pair<Words, Words>{{0x5340, 0x0012}, {5, 3, 4, 0, 0, 1, 2}},
          {{0xFEDC, 0xBA98}, {0xF, 0xE, 0xD, 0xC, 0xBA, 0x9, 0x8}}}) {
        recorder.reply = reply;
        EXPECT_EQ(GetVersion(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
        EXPECT_EQ((Words{v, v + 7}), fields);
    }
}

TEST_F(Commands, ResetGoesOutAsAxisZeroAndRestoresTheHandle) {
    handle.m_uAxis = 2;
    for (LinkError result : {kLinkOk, kLinkCommTimeout}) {
        recorder.result = result;
        EXPECT_EQ(Reset(&handle), result);
        EXPECT_EQ(recorder.commands.back(), (Words{0x0039}));
        EXPECT_EQ(handle.m_uAxis, 2);
    }
    // A closed or missing handle never reaches an exchange.
    const std::size_t sent = recorder.commands.size();
    CLinkAxisHandle closed{};
    EXPECT_EQ(Reset(&closed), kLinkNotConnected);
    EXPECT_EQ(Reset(nullptr), kLinkNotConnected);
    EXPECT_EQ(Update(nullptr), kLinkNotConnected);
    EXPECT_EQ(recorder.commands.size(), sent);
}

TEST_F(Commands, TheTraceShowsA32BitValueAsOneNumber) {
    // Each 32-bit command as its trace line shows it: the value it means,
    // signed where the command's is, not its two halves.
    handle.m_uAxis = 1;
    std::int32_t s32 = 0;
    std::uint32_t u32 = 0;
    const struct Case {
        std::function<LinkError()> call;
        Words reply;
        const char* shown;
    } kCases[] = {
        {[&] { return SetPosition(&handle, -17850); }, {}, "SetPosition              -17850  ->"},
        {[&] { return SetAcceleration(&handle, 0xFFFFBA46u); }, {}, " 4294949446  ->"},
        {[&] { return GetCommandedPosition(&handle, &s32); }, {0xFFFF, 0xFFFE}, "  -> -2"},
        {[&] { return GetTime(&handle, &u32); }, {0x0001, 0x0002}, "  -> 65538"},
        // Two 16-bit values stay two.
        {[&] { return SetEventAction(&handle, 1, 2); }, {}, "SetEventAction           1 2  ->"},
    };
    for (const Case& c : kCases) {
        recorder.reply = c.reply;
        ASSERT_EQ(c.call(), kLinkOk);
        const Words& sent = recorder.commands.back();
        const std::string line =
            FormatExchange(0.0, static_cast<std::uint16_t>(sent.size()), sent.data(),
                           recorder.replyCounts.back(), c.reply.data(), kLinkOk);
        EXPECT_NE(line.find(c.shown), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace cmotion
