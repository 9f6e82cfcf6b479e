// The simulator's side of the wire: packet assembly, answers to bad packets,
// synchronisation from a torn packet, the trace, and every fault kind as the
// real command layer sees it through the in-process line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_packet.h"
#include "sim/inprocess_line.h"

namespace sim {
namespace {

using namespace cmotion;
using Bytes = std::vector<std::uint8_t>;

Bytes Request(std::vector<std::uint16_t> words) {
    std::uint8_t out[kMaxPacketBytes];
    const std::size_t n = BuildCommandPacket(0, words.data(), words.size(), out);
    return {out, out + n};
}

Bytes Replies(const std::vector<Emission>& emissions) {
    Bytes all;
    for (const Emission& e : emissions) all.insert(all.end(), e.bytes.begin(), e.bytes.end());
    return all;
}

class SimEndpoint : public ::testing::Test {
  protected:
    SimEndpoint() : endpoint(BoardConfig{}, clock), line(endpoint, kPort) {}
    void SetUp() override { ASSERT_EQ(OpenSerialInterface(&handle, 0, kPort), kLinkOk); }
    void TearDown() override { handle.m_pfnClose(handle.m_pPort); }
    void Fault(const std::string& spec) {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(ParseFault(spec, &rule, &error)) << error;
        endpoint.faults().Add(rule);
    }

    static constexpr int kPort = 11;
    ManualClock clock;
    ProcessorEndpoint endpoint;
    InProcessLine line;
    platform::ScopedSerialApi scoped{line};
    CLinkAxisHandle handle{};
};

TEST_F(SimEndpoint, AssemblesPacketsByteByByteAndAnswersBadOnes) {
    const Bytes getVersion = Request({0x008F});
    for (std::size_t i = 0; i + 1 < getVersion.size(); ++i) {
        EXPECT_TRUE(endpoint.Receive(&getVersion[i], 1).empty()) << i;
    }
    const Bytes reply = Replies(endpoint.Receive(&getVersion.back(), 1));
    ASSERT_EQ(reply.size(), 6u);
    EXPECT_EQ(reply[0], 0);
    EXPECT_EQ(ByteSum(reply.data(), reply.size()), 0);
    EXPECT_EQ(reply[2], 0x53);  // generation 5, motor type 3,
    EXPECT_EQ(reply[3], 0x40);  // 4 axes, chip count 0

    // The data length follows from the opcode: SetVelocity waits for 8 bytes.
    const Bytes setVelocity = Request({0x0111, 0x0001, 0x2345});
    EXPECT_TRUE(endpoint.Receive(setVelocity.data(), 4).empty());
    EXPECT_EQ(Replies(endpoint.Receive(setVelocity.data() + 4, 4)), (Bytes{0x00, 0x00}));

    // A wrong checksum: status 9 with the reply's full length, not carried out.
    Bytes spoiled = Request({0x0010, 0x0000, 0x0100});
    spoiled[1] ^= 0x01;
    EXPECT_EQ(Replies(endpoint.Receive(spoiled.data(), spoiled.size())), (Bytes{0x09, 0xF7}));
    EXPECT_EQ(endpoint.processor().Axis(0).buffered.position, 0);
    // An opcode that is no instruction: status 2, no data assumed.
    const Bytes invalid = Request({0x0001});
    EXPECT_EQ(Replies(endpoint.Receive(invalid.data(), invalid.size())), (Bytes{0x02, 0xFE}));

    // Every packet is in the trace with its arguments and answer.
    const std::vector<TraceEntry> trace = endpoint.trace().Snapshot();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[1].opcode, 0x11);
    EXPECT_EQ(trace[1].axis, 1);
    EXPECT_EQ(trace[1].args, (std::vector<std::uint16_t>{0x0001, 0x2345}));
    EXPECT_EQ(trace[2].status, 9);
    const std::string line = FormatTraceEntry(trace[1]);
    EXPECT_NE(line.find("#2 "), std::string::npos) << line;
    EXPECT_NE(line.find("axis 1 SetVelocity "), std::string::npos) << line;
    EXPECT_NE(line.find(" 0001 2345  ->"), std::string::npos) << line;
    EXPECT_NE(FormatTraceEntry(trace[3]).find("status 2 (Invalid Instruction)"), std::string::npos);
    EXPECT_EQ(endpoint.stats().packets, 4u);
    EXPECT_EQ(endpoint.stats().refusals, 2u);

    // A simulator that only prints its trace keeps nothing, but still sees
    // and counts every packet.
    int printed = 0;
    endpoint.trace().SetSink([&](const TraceEntry&) { ++printed; });
    endpoint.trace().KeepEntries(false);
    EXPECT_TRUE(endpoint.trace().Snapshot().empty());
    EXPECT_FALSE(Replies(endpoint.Receive(getVersion.data(), getVersion.size())).empty());
    EXPECT_TRUE(endpoint.trace().Snapshot().empty());
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(endpoint.stats().packets, 5u);
}

TEST_F(SimEndpoint, SynchronisationRecoversFromATornPacket) {
    // Half a SetVelocity packet left on the line, then the host synchronises:
    // its zero bytes complete the torn packet (refused, bad checksum), and the
    // answer brings the line in step.
    const Bytes torn = Request({0x0111, 0x0001, 0x2345});
    EXPECT_TRUE(endpoint.Receive(torn.data(), 4).empty());
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    const std::vector<TraceEntry> trace = endpoint.trace().Snapshot();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].status, kLinkInvalidChecksum);

    std::uint16_t v[7];
    EXPECT_EQ(GetVersion(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
    EXPECT_EQ(v[2], 4);

    // From a clean line it takes four zero bytes: one Nop packet.
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkOk);
    EXPECT_EQ(endpoint.trace().Snapshot().back().opcode, 0x00);
    EXPECT_EQ(endpoint.stats().packets, 3u);
}

TEST_F(SimEndpoint, EveryFaultKindAsTheCommandLayerSeesIt) {
    // One fault on the next packet, then a healthy one; late beyond the
    // read's time-out (100 + 10 * 4 ms) is a short read whose bytes the
    // next purge clears, late within it is in time.
    const std::pair<const char*, LinkError> kOnce[] = {
        {"noreply", kLinkCommPortRead},     {"short:bytes=2", kLinkCommPortRead},
        {"badsum", kLinkChecksumError},     {"garbage:bytes=3", kLinkChecksumError},
        {"late:ms=500", kLinkCommPortRead}, {"late:ms=100", kLinkOk}};
    std::uint16_t events = 0;
    for (const auto& [spec, seen] : kOnce) {
        Fault(spec);
        EXPECT_EQ(GetEventStatus(&handle, &events), seen) << spec;
        EXPECT_EQ(GetEventStatus(&handle, &events), kLinkOk) << spec;
    }
    // A processor reset between commands: status 1, and power-up state.
    ASSERT_EQ(SetPosition(&handle, 1234), kLinkOk);
    Fault("reset");
    EXPECT_EQ(Update(&handle), kLinkProcessorReset);
    std::int32_t destination = -1;
    EXPECT_EQ(GetPosition(&handle, &destination), kLinkOk);
    EXPECT_EQ(destination, 0);
    // Only one opcode, a given number of times.
    Fault("badsum:op=GetEventStatus:count=2");
    EXPECT_EQ(Update(&handle), kLinkOk);
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkChecksumError);
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkChecksumError);
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkOk);
    EXPECT_EQ(endpoint.stats().faults, 9u);
}

TEST_F(SimEndpoint, SilenceForGoodAndAHangUpThatTakesTheLine) {
    Fault("silence:from=3");
    EXPECT_EQ(Update(&handle), kLinkOk);
    EXPECT_EQ(Update(&handle), kLinkOk);
    EXPECT_EQ(Update(&handle), kLinkCommPortRead);
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkCommTimeout);
    // Silence is for good, whatever the plan says afterwards.
    endpoint.faults().Clear();
    EXPECT_EQ(Update(&handle), kLinkCommPortRead);
}

TEST_F(SimEndpoint, HangUpTakesTheLineAway) {
    Fault("hangup:from=2");
    EXPECT_EQ(Update(&handle), kLinkOk);
    EXPECT_EQ(Update(&handle), kLinkCommTimeout);    // written, then the read fails
    EXPECT_EQ(Update(&handle), kLinkCommPortWrite);  // nothing can be written any more
    EXPECT_TRUE(endpoint.hungUp());
    // The port cannot be opened again either.
    CLinkAxisHandle again{};
    EXPECT_EQ(OpenSerialInterface(&again, 0, kPort), kLinkInvalidSerialPort);
    again.m_pfnClose(again.m_pPort);
}

TEST(SimFaults, RandomFaultsRepeatWithTheirSeed) {
    const auto pattern = [](std::uint32_t seed) {
        FaultPlan plan;
        FaultRule rule;
        std::string error;
        EXPECT_TRUE(ParseFault("badsum:p=0.3:seed=" + std::to_string(seed), &rule, &error))
            << error;
        plan.Add(rule);
        std::string hits;
        for (std::uint64_t n = 1; n <= 200; ++n) hits += plan.Decide(n, 0x1A, 0) ? '1' : '0';
        return hits;
    };
    const std::string a = pattern(7);
    EXPECT_EQ(a, pattern(7));
    EXPECT_NE(a, pattern(8));
    const auto ones = std::count(a.begin(), a.end(), '1');
    EXPECT_GT(ones, 30);
    EXPECT_LT(ones, 90);
}

TEST(SimFaults, ParsesEveryOptionAndRefusesNonsense) {
    FaultRule r;
    std::string error;
    ASSERT_TRUE(ParseFault("late:op=0x31:ms=250:count=3", &r, &error)) << error;
    EXPECT_EQ(r.kind, FaultKind::LateReply);
    EXPECT_EQ(r.trigger, FaultTrigger::Opcode);
    EXPECT_EQ(r.opcode, 0x31);
    EXPECT_EQ(r.delayMs, 250);
    EXPECT_EQ(r.count, 3);
    ASSERT_TRUE(ParseFault("garbage:op=GetVersion:bytes=5", &r, &error)) << error;
    EXPECT_EQ(r.opcode, 0x8F);
    EXPECT_EQ(r.bytes, 5);
    EXPECT_EQ(r.count, -1);
    ASSERT_TRUE(ParseFault("silence:from=100", &r, &error)) << error;
    EXPECT_EQ(r.trigger, FaultTrigger::From);
    EXPECT_EQ(r.from, 100u);
    ASSERT_TRUE(ParseFault("reset", &r, &error)) << error;
    EXPECT_EQ(r.trigger, FaultTrigger::Next);
    EXPECT_EQ(r.count, 1);

    for (const char* bad : {"", "explode", "late:ms=", "late:ms=-1", "badsum:p=1.5", "badsum:p=nan",
                            "short:bytes=0", "noreply:op=Bogus", "noreply:op=0x100", "noreply:wat",
                            "silence:from=0", "hangup:count=1e20"}) {
        EXPECT_FALSE(ParseFault(bad, &r, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace sim
