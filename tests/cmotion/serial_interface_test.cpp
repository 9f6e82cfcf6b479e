// The serial interface's use of the platform calls: names, arguments, the
// order of the steps, and the code of every failure. A scripted fake stands
// in for the operating system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_packet.h"
#include "cmotion/link_serial.h"
#include "tests/support/fake_serial_api.h"

namespace cmotion {
namespace {

using testing_support::FakeSerialApi;
using testing_support::ScriptedRead;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

class SerialInterface : public ::testing::Test {
  protected:
    LinkError Open(int port) { return OpenSerialInterface(&handle, 0, port); }
    void Close() {
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
        handle = {};
    }
    void TearDown() override { Close(); }

    FakeSerialApi fake;
    platform::ScopedSerialApi scoped{fake};
    CLinkAxisHandle handle{};
};

TEST_F(SerialInterface, PortNamesAndRefusedNumbers) {
    // The port number is its low eight bits after the test for 0.
    const struct {
        int port;
        std::u16string name;
    } kNames[] = {{1, u"COM1"},           {9, u"COM9"},
                  {10, u"\\\\.\\COM10"},  {0, u"COM1"},
                  {257, u"COM1"},         {254, u"\\\\.\\COM254"},
                  {-2, u"\\\\.\\COM254"}, {383, u"\\\\.\\COM127"},
                  {384, u"\\\\.\\COM128"}};
    for (const auto& n : kNames) {
        fake.calls.clear();
        ASSERT_EQ(Open(n.port), kLinkOk) << n.port;
        EXPECT_EQ(fake.Find("open")->name, n.name) << n.port;
        Close();
    }
    // 255, and numbers whose low byte is 0 or 255, never reach the system.
    for (int port : {255, 256, 511, -1}) {
        fake.calls.clear();
        EXPECT_EQ(Open(port), kLinkInvalidSerialPort) << port;
        EXPECT_TRUE(fake.calls.empty()) << port;
        EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
        Close();
    }
}

TEST_F(SerialInterface, OpenProgramsTheLineAndTimeouts) {
    ASSERT_EQ(OpenSerialInterface(&handle, 1, 7), kLinkOk);
    EXPECT_EQ((std::vector<long long>{handle.m_uAxis, handle.m_pPort->m_uPortNumber,
                                      static_cast<long long>(handle.m_pPort->m_hPort)}),
              (std::vector<long long>{1, 7, static_cast<long long>(FakeSerialApi::kHandle)}));
    EXPECT_EQ(fake.CallNames(), (Names{"open", "state", "timeouts"}));
    const auto& open = *fake.Find("open");
    EXPECT_EQ((std::vector<std::uint32_t>(open.args, open.args + 4)),
              (std::vector<std::uint32_t>{0xC0000000u, 0u, 3u, 0x80u}));

    // 57600 8N1, binary, parity checked, no flow control of any kind.
    const platform::SerialControlBlock& b = fake.Find("state")->block;
    EXPECT_EQ((std::vector<std::uint32_t>{b.length, b.baudRate, b.byteSize}),
              (std::vector<std::uint32_t>{28, 57600, 8}));
    EXPECT_TRUE(b.binary && b.parityCheck);
    EXPECT_FALSE(b.outxCtsFlow || b.outxDsrFlow || b.dsrSensitivity || b.txContinueOnXoff ||
                 b.outX || b.inX || b.errorCharReplace || b.nullStrip || b.abortOnError);
    EXPECT_EQ(b.dtrControl | b.rtsControl | b.xonLimit | b.xoffLimit | b.parity | b.stopBits |
                  b.xonChar | b.xoffChar | b.errorChar | b.eofChar | b.eventChar,
              0);
    const platform::SerialTimeouts& t = fake.Find("timeouts")->timeouts;
    EXPECT_EQ(
        (std::vector<std::uint32_t>{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                                    t.writeTotalMultiplier, t.writeTotalConstant}),
        (std::vector<std::uint32_t>{0, 10, 100, 0, 0}));

    // Later settings are recorded even when the line cannot take them.
    EXPECT_TRUE(SetLineSettings(handle.m_pPort, 9600, 2));
    EXPECT_TRUE(fake.calls.back().block.baudRate == 9600u && fake.calls.back().block.parity == 2);
    fake.stateSucceeds = false;
    EXPECT_FALSE(SetLineSettings(handle.m_pPort, 19200, 0));
    EXPECT_EQ(handle.m_pPort->m_uBaudRate, 19200u);
}

TEST_F(SerialInterface, EveryOpenFailureClosesAndReportsInvalidPort) {
    const struct {
        bool FakeSerialApi::*step;
        Names calls;
    } kFailures[] = {{&FakeSerialApi::openSucceeds, {"open"}},
                     {&FakeSerialApi::stateSucceeds, {"open", "state", "close"}},
                     {&FakeSerialApi::timeoutsSucceeds, {"open", "state", "timeouts", "close"}}};
    for (const auto& f : kFailures) {
        fake = FakeSerialApi{};
        fake.*f.step = false;
        EXPECT_EQ(Open(5), kLinkInvalidSerialPort);
        EXPECT_EQ(fake.CallNames(), f.calls);
        EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
        // Nothing is sent on a port that did not open; closing it only
        // releases the record.
        fake.calls.clear();
        std::uint16_t w = 0;
        EXPECT_EQ(ExchangePacket(handle.m_pPort, 1, &w, 0, nullptr), kLinkNotConnected);
        EXPECT_EQ(PurgeReceiveBuffer(handle.m_pPort), kLinkNotConnected);
        EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkNotConnected);
        EXPECT_FALSE(SetLineSettings(handle.m_pPort, 57600, 0));
        Close();
        EXPECT_TRUE(fake.calls.empty());
    }
    std::uint16_t w = 0;
    EXPECT_EQ(ExchangePacket(nullptr, 1, &w, 0, nullptr), kLinkNotConnected);
}

TEST_F(SerialInterface, ExchangePurgesWritesOnceAndReadsByCount) {
    ASSERT_EQ(Open(3), kLinkOk);
    // Through a copy of the handle for axis 2: same port, its own axis.
    CLinkAxisHandle axis2{};
    CopyAxisHandle(handle, &axis2, 2);
    EXPECT_EQ(handle.m_uAxis, 0);
    fake.calls.clear();
    fake.reads.push_back(ScriptedRead{true, {0x00, 0xDB, 0x04, 0x21}});
    std::uint16_t events = 0;
    EXPECT_EQ(GetEventStatus(&axis2, &events), kLinkOk);
    EXPECT_EQ(events, 0x0421);
    EXPECT_EQ(fake.CallNames(), (Names{"purge", "write", "read"}));
    EXPECT_EQ(fake.calls[0].args[0], 0x0008u);  // receive queue only
    Bytes request(kMaxPacketBytes);
    const std::uint16_t word = 0x0231;
    request.resize(BuildCommandPacket(0, &word, 1, request.data()));
    EXPECT_EQ(fake.calls[1].bytes, request);
    EXPECT_EQ(fake.calls[2].args[0], 4u);

    // Write failed, write short, read failed, reply short, bad checksum,
    // a silent line; the port stays open after each.
    fake.writeSucceeds = false;
    EXPECT_EQ(Update(&handle), kLinkCommPortWrite);
    fake.writeSucceeds = true;
    fake.writeLimit = 3;
    EXPECT_EQ(Update(&handle), kLinkCommPortWrite);
    fake.writeLimit = 0xFFFFFFFFu;
    fake.reads.push_back(ScriptedRead{false, {}});
    EXPECT_EQ(Update(&handle), kLinkCommTimeout);
    fake.reads.push_back(ScriptedRead{true, {0x00, 0xDB, 0x04}});
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkCommPortRead);
    fake.reads.push_back(ScriptedRead{true, {0x00, 0xDA, 0x04, 0x21}});
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkChecksumError);
    EXPECT_EQ(Update(&handle), kLinkCommPortRead);
    EXPECT_EQ(handle.m_pPort->m_hPort, FakeSerialApi::kHandle);

    // Word counts the protocol does not have are refused before any I/O.
    fake.calls.clear();
    std::uint16_t words[5] = {};
    std::uint16_t reply[4] = {};
    EXPECT_EQ(ExchangePacket(handle.m_pPort, 0, words, 0, reply), kLinkCommandError);
    EXPECT_EQ(ExchangePacket(handle.m_pPort, 5, words, 0, reply), kLinkCommandError);
    EXPECT_EQ(ExchangePacket(handle.m_pPort, 1, words, 4, reply), kLinkCommandError);
    EXPECT_EQ(ExchangePacket(handle.m_pPort, 1, words, 1, nullptr), kLinkCommandError);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SerialInterface, SyncSendsSingleZeroBytesUntilAnAnswer) {
    ASSERT_EQ(Open(3), kLinkOk);

    // Silent: 15 zero bytes, each followed by a one-byte read, then 32765.
    fake.calls.clear();
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkCommTimeout);
    EXPECT_EQ(fake.Count("write"), 15);
    EXPECT_EQ(fake.Count("read"), 15);
    EXPECT_EQ(fake.calls.front().what, "purge");
    for (const auto& call : fake.calls) {
        EXPECT_TRUE(call.what != "write" || call.bytes == Bytes{0x00});
        EXPECT_TRUE(call.what != "read" || call.args[0] == 1u);
    }
    // Answered at the 15th and last byte: still in step.
    fake.calls.clear();
    fake.reads.assign(14, ScriptedRead{});
    fake.reads.push_back(ScriptedRead{true, {0x00}});
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    EXPECT_EQ(fake.Count("write"), 15);

    // Answered at the fourth byte (a complete Nop packet): in step, purged.
    fake.calls.clear();
    fake.reads = {ScriptedRead{}, ScriptedRead{}, ScriptedRead{}, ScriptedRead{true, {0x00, 0x00}}};
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    EXPECT_EQ(fake.Count("write"), 4);
    EXPECT_EQ(fake.calls.front().what, "purge");
    EXPECT_EQ(fake.calls.back().what, "purge");

    // The rest of the answer still on its way (a plain UART hands over byte
    // by byte): the line is read until it has been quiet for the quiet time
    // under its own short time-out, then the standard time-outs come back
    // and only then the purge.
    fake.calls.clear();
    fake.reads = {ScriptedRead{}, ScriptedRead{true, {0x00}}, ScriptedRead{true, {0x00}}};
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    const Names names = fake.CallNames();
    EXPECT_EQ(Names(names.end() - 6, names.end()),
              (Names{"read", "timeouts", "read", "read", "timeouts", "purge"}));
    // Quiet: the adapter's 16 ms latency plus four byte times, rounded up.
    const auto& quiet = fake.calls[fake.calls.size() - 5].timeouts;
    const auto& standard = fake.calls[fake.calls.size() - 2].timeouts;
    EXPECT_EQ((std::vector<std::uint32_t>{quiet.readTotalConstant, quiet.readTotalMultiplier,
                                          standard.readTotalConstant, standard.readTotalMultiplier,
                                          QuietTimeMs(9600), QuietTimeMs(2500000)}),
              (std::vector<std::uint32_t>{17, 0, 100, 10, 21, 17}));
    EXPECT_EQ(fake.Count("write"), 2);  // nothing more was sent for it

    // A failed read is just no answer; a failed write ends it at once.
    fake.calls.clear();
    fake.reads = {ScriptedRead{false, {}}, ScriptedRead{true, {0x00}}};
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    EXPECT_EQ(fake.Count("write"), 2);
    fake.calls.clear();
    fake.writeLimit = 0;
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkCommPortWrite);
    EXPECT_EQ(fake.Count("write"), 1);
}

}  // namespace
}  // namespace cmotion
