// The serial transport on a real line: the system's serial back-end opening a
// pseudo-terminal served by link-peer (natively through the COM port table,
// under Wine through the prefix's COM devices).
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "tests/support/wait_for.h"
#include "tools/link-peer/peer_control.h"

namespace cmotion {
namespace {

using link_peer::kPeerDataPort;
using link_peer::PeerControl;

class SerialLine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        link_peer::ConfigurePeerPorts();
        s_control = new PeerControl;
        std::string error;
        if (!s_control->Open(&error)) FAIL() << error << " (is link-peer running?)";
    }
    static void TearDownTestSuite() {
        delete s_control;
        s_control = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(s_control, nullptr);
        ASSERT_TRUE(s_control->Ok("reset"));
    }
    // Leaves the peer as it found it, for whichever test uses it next.
    void TearDown() override {
        Close(handle);
        if (s_control) s_control->Ok("reset");
    }

    static void Close(CLinkAxisHandle& h) {
        if (h.m_pfnClose) h.m_pfnClose(h.m_pPort);
        h = {};
    }
    LinkError OpenData() { return OpenSerialInterface(&handle, 0, kPeerDataPort); }

    static PeerControl* s_control;
    CLinkAxisHandle handle{};
};
PeerControl* SerialLine::s_control = nullptr;

TEST_F(SerialLine, OpenIsExclusive) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine does not enforce exclusive opens";
#endif
    ASSERT_EQ(OpenData(), kLinkOk);
    CLinkAxisHandle second{};
    EXPECT_EQ(OpenSerialInterface(&second, 0, kPeerDataPort), kLinkInvalidSerialPort);
    EXPECT_EQ(second.m_pPort->m_hPort, platform::kInvalidSerialHandle);
    Close(second);  // releases the record only
    // The first holder is unaffected, and the port is free again once closed.
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    Close(handle);
    EXPECT_EQ(OpenSerialInterface(&second, 0, kPeerDataPort), kLinkOk);
    Close(second);
}

TEST_F(SerialLine, OpensAtTheBoardsSettingsSyncsAndExchangesAllByteValues) {
    ASSERT_EQ(OpenData(), kLinkOk);
    // 57600 8N1 without flow control (DTR and RTS are not read back: Wine
    // reports them enabled whatever was set).
    platform::SerialControlBlock b;
    ASSERT_TRUE(platform::CurrentSerialApi().GetControlBlock(handle.m_pPort->m_hPort, &b));
    EXPECT_EQ((std::vector<unsigned>{b.baudRate, b.byteSize, b.parity, b.stopBits, b.outxCtsFlow,
                                     b.outX, b.inX}),
              (std::vector<unsigned>{57600, 8, 0, 0, 0, 0, 0}));
    // The peer answers once four zero bytes make a whole Nop packet.
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    EXPECT_EQ(s_control->Stat("zeros"), 4);
    EXPECT_EQ(s_control->Stat("packets"), 1);

    std::uint16_t v[7] = {};
    EXPECT_EQ(GetVersion(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
    EXPECT_EQ((std::vector<std::uint16_t>{v[0], v[2], v[6]}),
              (std::vector<std::uint16_t>{5, 4, 2}));

    // Every byte value both ways: positions made of consecutive byte values.
    for (unsigned int b = 0; b < 256; b += 4) {
        const std::uint32_t bits = (b << 24) | ((b + 1) << 16) | ((b + 2) << 8) | (b + 3);
        const std::int32_t position = static_cast<std::int32_t>(bits);
        std::int32_t back = 0;
        ASSERT_EQ(SetPosition(&handle, position), kLinkOk) << b;
        ASSERT_EQ(GetCommandedPosition(&handle, &back), kLinkOk) << b;
        ASSERT_EQ(back, position) << b;
    }
}

TEST_F(SerialLine, StaleInputIsPurgedBeforeEachPacket) {
    ASSERT_EQ(OpenData(), kLinkOk);
    ASSERT_TRUE(s_control->Ok("stale 3"));
    std::uint16_t events = 0;
    ASSERT_EQ(GetEventStatus(&handle, &events), kLinkOk);
    ASSERT_TRUE(s_control->Ok("stale 0"));

    // Wait (bounded) until the three stale bytes are in the receive queue.
    ASSERT_EQ(testing_support::WaitForPendingInput(handle.m_pPort->m_hPort, 3), 3u);

    events = 0;
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkOk);
    EXPECT_EQ(events, 0x0421);
}

TEST_F(SerialLine, ShortRepliesRefusalsBadChecksumsAndSilence) {
    ASSERT_EQ(OpenData(), kLinkOk);
    // A short reply waits for its read's time-out (100 + 10 * 6 ms) rather
    // than giving up early, and does end; the port stays usable.
    ASSERT_TRUE(s_control->Ok("short 1"));
    const auto start = std::chrono::steady_clock::now();
    std::uint16_t w1 = 0, w2 = 0;
    EXPECT_EQ(SendCommandGet16x2(&handle, Opcode::GetVersion, &w1, &w2), kLinkCommPortRead);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    ASSERT_TRUE(s_control->Ok("short 0"));
    EXPECT_EQ(Update(&handle), kLinkOk);

    // An instruction the peer does not know: status 2 in a two-byte reply,
    // also where reply words were expected.
    EXPECT_EQ(SendCommand(&handle, static_cast<Opcode>(0x01)), kLinkInvalidInstruction);
    std::uint16_t value = 0xFFFF;
    EXPECT_EQ(GetProfileMode(&handle, &value), kLinkInvalidInstruction);
    EXPECT_EQ(value, 0);
    ASSERT_TRUE(s_control->Ok("badsum 1"));
    EXPECT_EQ(Update(&handle), kLinkChecksumError);

    // Silent: sync fails after fifteen zero bytes; the port stays open, the
    // caller decides to close it.
    ASSERT_TRUE(s_control->Ok("reset"));
    ASSERT_TRUE(s_control->Ok("silent"));
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkCommTimeout);
    EXPECT_EQ(s_control->Stat("zeros"), 15);
    EXPECT_EQ(s_control->Stat("bytes"), 15);
    EXPECT_NE(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
}

}  // namespace
}  // namespace cmotion
