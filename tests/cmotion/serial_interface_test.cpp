// The serial interface's use of the platform calls: names, arguments, the
// order of the steps, and the code of every failure. A scripted fake stands
// in for the operating system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "tests/support/fake_serial_api.h"

namespace cmotion {
namespace {

using testing_support::FakeSerialApi;
using testing_support::ScriptedRead;
using Names = std::vector<std::string>;

class SerialInterface : public ::testing::Test {
  protected:
    LinkError Open(int port) { return OpenSerialInterface(&handle, 0, port); }
    void TearDown() override {
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
    }

    FakeSerialApi fake;
    platform::ScopedSerialApi scoped{fake};
    CLinkAxisHandle handle{};
};

TEST_F(SerialInterface, PortNamesAndRefusedNumbers) {
    const struct {
        int port;
        std::u16string name;
    } kNames[] = {{1, u"COM1"}, {9, u"COM9"},   {10, u"\\\\.\\COM10"}, {254, u"\\\\.\\COM254"},
                  {0, u"COM1"}, {257, u"COM1"}, {-2, u"\\\\.\\COM254"}};
    for (const auto& n : kNames) {
        fake.calls.clear();
        ASSERT_EQ(Open(n.port), kLinkOk) << n.port;
        ASSERT_NE(fake.Find("open"), nullptr);
        EXPECT_EQ(fake.Find("open")->name, n.name) << n.port;
        handle.m_pfnClose(handle.m_pPort);
        handle = {};
    }
    // 255, and numbers whose low byte is 0 or 255, never reach the system.
    for (int port : {255, 256, 511, -1}) {
        fake.calls.clear();
        EXPECT_EQ(Open(port), kLinkInvalidSerialPort) << port;
        EXPECT_TRUE(fake.calls.empty()) << port;
        EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
        handle.m_pfnClose(handle.m_pPort);
        handle = {};
    }
}

TEST_F(SerialInterface, OpenProgramsTheLineAndTimeouts) {
    ASSERT_EQ(OpenSerialInterface(&handle, 1, 7), kLinkOk);
    EXPECT_EQ(handle.m_uAxis, 1);
    EXPECT_EQ(handle.m_pfnExchange, &ExchangePacket);
    EXPECT_EQ(handle.m_pfnClose, &CloseSerialInterface);
    const CLinkSerialPort& port = *handle.m_pPort;
    EXPECT_EQ(port.m_uAddress, 0);
    EXPECT_EQ(port.m_uPortNumber, 7);
    EXPECT_EQ(port.m_hPort, FakeSerialApi::kHandle);
    EXPECT_EQ(port.m_uBaudRate, 57600u);
    EXPECT_EQ(port.m_uParity, 0);
    EXPECT_EQ(port.m_uStopBits, 0);

    EXPECT_EQ(fake.CallNames(), (Names{"open", "state", "timeouts"}));
    const auto& open = *fake.Find("open");
    EXPECT_EQ(open.args[0], 0xC0000000u);
    EXPECT_EQ(open.args[1], 0u);
    EXPECT_EQ(open.args[2], 3u);
    EXPECT_EQ(open.args[3], 0x80u);

    const platform::SerialControlBlock& b = fake.Find("state")->block;
    EXPECT_EQ(b.length, 28u);
    EXPECT_EQ(b.baudRate, 57600u);
    EXPECT_TRUE(b.binary);
    EXPECT_TRUE(b.parityCheck);
    EXPECT_FALSE(b.outxCtsFlow || b.outxDsrFlow || b.dsrSensitivity || b.txContinueOnXoff ||
                 b.outX || b.inX || b.errorCharReplace || b.nullStrip || b.abortOnError);
    EXPECT_EQ(b.dtrControl, 0);
    EXPECT_EQ(b.rtsControl, 0);
    EXPECT_EQ(b.xonLimit, 0);
    EXPECT_EQ(b.xoffLimit, 0);
    EXPECT_EQ(b.byteSize, 8);
    EXPECT_EQ(b.parity, 0);
    EXPECT_EQ(b.stopBits, 0);
    EXPECT_EQ(b.xonChar | b.xoffChar | b.errorChar | b.eofChar | b.eventChar, 0);

    const platform::SerialTimeouts& t = fake.Find("timeouts")->timeouts;
    EXPECT_EQ(t.readInterval, 0u);
    EXPECT_EQ(t.readTotalMultiplier, 10u);
    EXPECT_EQ(t.readTotalConstant, 100u);
    EXPECT_EQ(t.writeTotalMultiplier, 0u);
    EXPECT_EQ(t.writeTotalConstant, 0u);

    // Later settings are recorded even when the line cannot take them.
    EXPECT_TRUE(SetLineSettings(handle.m_pPort, 9600, 2));
    EXPECT_EQ(fake.calls.back().block.baudRate, 9600u);
    EXPECT_EQ(fake.calls.back().block.parity, 2);
    fake.stateSucceeds = false;
    EXPECT_FALSE(SetLineSettings(handle.m_pPort, 19200, 0));
    EXPECT_EQ(handle.m_pPort->m_uBaudRate, 19200u);
}

TEST_F(SerialInterface, EveryOpenFailureClosesAndReportsInvalidPort) {
    fake.openSucceeds = false;
    EXPECT_EQ(Open(5), kLinkInvalidSerialPort);
    EXPECT_EQ(fake.CallNames(), (Names{"open"}));
    EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
    // Close of a failed open only releases the record.
    EXPECT_EQ(handle.m_pfnClose(handle.m_pPort), kLinkOk);
    EXPECT_EQ(fake.Count("close"), 0);
    handle = {};

    fake = FakeSerialApi{};
    fake.stateSucceeds = false;
    EXPECT_EQ(Open(5), kLinkInvalidSerialPort);
    EXPECT_EQ(fake.CallNames(), (Names{"open", "state", "close"}));
    EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);
    handle.m_pfnClose(handle.m_pPort);
    handle = {};

    fake = FakeSerialApi{};
    fake.timeoutsSucceeds = false;
    EXPECT_EQ(Open(5), kLinkInvalidSerialPort);
    EXPECT_EQ(fake.CallNames(), (Names{"open", "state", "timeouts", "close"}));
    EXPECT_EQ(handle.m_pPort->m_hPort, platform::kInvalidSerialHandle);

    // Nothing is sent on a closed port.
    fake.calls.clear();
    std::uint16_t w = 0;
    EXPECT_EQ(ExchangePacket(handle.m_pPort, 1, &w, 0, nullptr), kLinkNotConnected);
    EXPECT_EQ(PurgeReceiveBuffer(handle.m_pPort), kLinkNotConnected);
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkNotConnected);
    EXPECT_EQ(ExchangePacket(nullptr, 1, &w, 0, nullptr), kLinkNotConnected);
    EXPECT_FALSE(SetLineSettings(handle.m_pPort, 57600, 0));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SerialInterface, ExchangePurgesWritesOnceAndReadsByCount) {
    ASSERT_EQ(Open(3), kLinkOk);
    fake.calls.clear();
    fake.reads.push_back(ScriptedRead{true, {0x00, 0xDB, 0x04, 0x21}});
    std::uint16_t events = 0;
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkOk);
    EXPECT_EQ(events, 0x0421);
    EXPECT_EQ(fake.CallNames(), (Names{"purge", "write", "read"}));
    EXPECT_EQ(fake.calls[0].args[0], 0x0008u);  // receive queue only
    EXPECT_EQ(fake.calls[1].bytes, (std::vector<std::uint8_t>{0x00, 0xCF, 0x00, 0x31}));
    EXPECT_EQ(fake.calls[2].args[0], 4u);

    // Write failed, write short, read failed, reply short, bad checksum.
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
    // A silent line: the read times out with nothing.
    EXPECT_EQ(Update(&handle), kLinkCommPortRead);
    // Still open after every failure.
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
        if (call.what == "write") {
            EXPECT_EQ(call.bytes, (std::vector<std::uint8_t>{0x00}));
        }
        if (call.what == "read") {
            EXPECT_EQ(call.args[0], 1u);
        }
    }

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
    const std::vector<std::string> names = fake.CallNames();
    EXPECT_EQ(std::vector<std::string>(names.end() - 6, names.end()),
              (std::vector<std::string>{"read", "timeouts", "read", "read", "timeouts", "purge"}));
    const auto& window = fake.calls[fake.calls.size() - 5];
    EXPECT_EQ(window.timeouts.readTotalConstant, QuietTimeMs(57600));
    EXPECT_EQ(window.timeouts.readTotalMultiplier, 0u);
    EXPECT_EQ(fake.calls[fake.calls.size() - 2].timeouts.readTotalConstant, 100u);
    EXPECT_EQ(fake.calls[fake.calls.size() - 2].timeouts.readTotalMultiplier, 10u);
    EXPECT_EQ(fake.Count("write"), 2);  // nothing more was sent for it
    // Quiet: the adapter's 16 ms latency plus four byte times, rounded up.
    EXPECT_EQ(QuietTimeMs(57600), 17u);
    EXPECT_EQ(QuietTimeMs(9600), 21u);
    EXPECT_EQ(QuietTimeMs(2500000), 17u);

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

TEST_F(SerialInterface, AxisHandleCopiesShareThePort) {
    ASSERT_EQ(Open(3), kLinkOk);
    CLinkAxisHandle copy{};
    CopyAxisHandle(handle, &copy, 2);
    EXPECT_EQ(copy.m_uAxis, 2);
    EXPECT_EQ(copy.m_pPort, handle.m_pPort);
    EXPECT_EQ(copy.m_pfnExchange, handle.m_pfnExchange);
    EXPECT_EQ(copy.m_pfnClose, handle.m_pfnClose);
    EXPECT_EQ(handle.m_uAxis, 0);

    fake.calls.clear();
    fake.reads.push_back(ScriptedRead{true, {0x00, 0x00}});
    EXPECT_EQ(Update(&copy), kLinkOk);
    EXPECT_EQ(fake.calls[1].bytes, (std::vector<std::uint8_t>{0x00, 0xE4, 0x02, 0x1A}));
}

}  // namespace
}  // namespace cmotion
