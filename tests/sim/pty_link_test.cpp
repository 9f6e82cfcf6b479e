// The simulator on a pseudo-terminal, in real time, through the system's
// serial back-end: what only a real line shows (pacing, a late reply that
// really is late, a hang-up).
#include "sim/pty_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "cmotion/link_commands.h"
#include "tests/support/wait_for.h"

namespace sim {
namespace {

using namespace cmotion;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 8;

class SimPtyLink : public ::testing::Test {
  protected:
    void Start(PtyLink::Options options) {
        link = std::make_unique<PtyLink>(endpoint, options);
        std::string error;
        ASSERT_TRUE(link->Start(&error)) << error;
        platform::SetComPortPath(kPort, link->slavePath());
        ASSERT_EQ(OpenSerialInterface(&handle, 0, kPort), kLinkOk);
    }
    void TearDown() override {
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
        link.reset();
        platform::ClearComPortPaths();
    }
    void Fault(const std::string& spec) {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(ParseFault(spec, &rule, &error)) << error;
        endpoint.faults().Add(rule);
    }

    RealClock clock;
    ProcessorEndpoint endpoint{BoardConfig{}, clock};
    std::unique_ptr<PtyLink> link;
    CLinkAxisHandle handle{};
};

TEST_F(SimPtyLink, PacedRepliesTakeTheWireTime) {
    PtyLink::Options options;
    options.baud = 9600;    // 1.04 ms a byte
    options.latencyMs = 2;  // an adapter: replies come whole
    Start(options);
    ASSERT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    const auto start = Clock::now();
    std::uint16_t w1 = 0, w2 = 0;
    ASSERT_EQ(SendCommandGet16x2(&handle, Opcode::GetVersion, &w1, &w2), kLinkOk);
    EXPECT_EQ(w1, 0x5340);
    // 4 request bytes and 6 reply bytes at 9600 baud, plus the latency.
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(10 * 10 * 1000000 / 9600 + 2000));
}

TEST_F(SimPtyLink, LateReplyMissesTheReadAndIsPurged) {
    Start({});
    Fault("late:ms=300");
    const auto start = Clock::now();
    EXPECT_EQ(Update(&handle), kLinkCommPortRead);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(110));
    // Wait (bounded) until the late reply has come; the next command's purge
    // discards it and the exchange is clean.
    EXPECT_EQ(testing_support::WaitForPendingInput(handle.m_pPort->m_hPort, 2), 2u);
    std::uint16_t events = 0xFFFF;
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkOk);
    EXPECT_EQ(events, 0x0001);  // the Update, with nothing to move, completed
}

TEST_F(SimPtyLink, HangUpEndsTheLine) {
    Start({});
    Fault("hangup:from=2");
    EXPECT_EQ(Update(&handle), kLinkOk);
    const LinkError code = Update(&handle);
    // Written before the line went; the read then fails or finds nothing.
    EXPECT_TRUE(code == kLinkCommTimeout || code == kLinkCommPortRead) << code;
    EXPECT_EQ(Update(&handle), kLinkCommPortWrite);
    EXPECT_TRUE(endpoint.hungUp());
}

}  // namespace
}  // namespace sim
