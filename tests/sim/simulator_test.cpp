// The simulated processor and its side of the wire, driven through the real
// command layer over the in-process line on a manual clock (100 us a
// cycle): packet assembly, answers to bad packets, synchronisation, the
// trace, every fault kind, profiles, limit switches, stops and resets.
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

constexpr int kPort = 9;
constexpr std::int64_t kCycle = 100;  // microseconds
constexpr std::int32_t Steps(double perCycle) {
    return static_cast<std::int32_t>(perCycle * 65536);
}

Bytes Request(std::vector<std::uint16_t> words) {
    std::uint8_t out[kMaxPacketBytes];
    const std::size_t n = BuildCommandPacket(0, words.data(), words.size(), out);
    return {out, out + n};
}

class Sim : public ::testing::Test {
  protected:
    Sim() : endpoint(Config(), clock), line(endpoint, kPort) {}
    static BoardConfig Config() {
        BoardConfig c;
        c.sampleTimeMicros = kCycle;
        return c;
    }
    void SetUp() override {
        ASSERT_EQ(OpenSerialInterface(&board, 0, kPort), kLinkOk);
        for (std::uint16_t n = 0; n < 4; ++n) CopyAxisHandle(board, &axis[n], n);
    }
    void TearDown() override { board.m_pfnClose(board.m_pPort); }

    void Fault(const std::string& spec) {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(ParseFault(spec, &rule, &error)) << error;
        endpoint.faults().Add(rule);
    }
    Bytes Receive(const Bytes& bytes) {
        Bytes all;
        for (const Emission& e : endpoint.Receive(bytes.data(), bytes.size()))
            all.insert(all.end(), e.bytes.begin(), e.bytes.end());
        return all;
    }
    void Cycles(std::int64_t n) { clock.Advance(n * kCycle); }
    std::uint16_t Events(int n) {
        std::uint16_t e = 0;
        EXPECT_EQ(GetEventStatus(&axis[n], &e), kLinkOk);
        return e;
    }
    std::uint16_t Signals(int n) {
        std::uint16_t s = 0;
        EXPECT_EQ(GetSignalStatus(&axis[n], &s), kLinkOk);
        return s & 0x0030;
    }
    std::int32_t Position(int n) {
        std::int32_t p = 0;
        EXPECT_EQ(GetCommandedPosition(&axis[n], &p), kLinkOk);
        return p;
    }
    bool Moving(int n) {
        std::uint16_t s = 0;
        EXPECT_EQ(GetActivityStatus(&axis[n], &s), kLinkOk);
        return (s & kActivityInMotion) != 0;
    }
    void Profile(int n, std::uint16_t mode, std::int32_t position, std::int32_t velocity,
                 std::uint32_t acc) {
        ASSERT_EQ(SetProfileMode(&axis[n], mode), kLinkOk);
        ASSERT_EQ(SetPosition(&axis[n], position), kLinkOk);
        ASSERT_EQ(SetVelocity(&axis[n], velocity), kLinkOk);
        ASSERT_EQ(SetAcceleration(&axis[n], acc), kLinkOk);
        ASSERT_EQ(SetDeceleration(&axis[n], acc), kLinkOk);
    }

    ManualClock clock;
    ProcessorEndpoint endpoint;
    InProcessLine line;
    platform::ScopedSerialApi scoped{line};
    CLinkAxisHandle board{};
    CLinkAxisHandle axis[4]{};
};

TEST_F(Sim, AssemblesPacketsByteByByteAnswersBadOnesAndTracesThem) {
    const Bytes getVersion = Request({0x008F});
    for (std::size_t i = 0; i + 1 < getVersion.size(); ++i)
        EXPECT_TRUE(endpoint.Receive(&getVersion[i], 1).empty()) << i;
    const Bytes reply = Receive({getVersion.back()});
    ASSERT_EQ(reply.size(), 6u);
    EXPECT_EQ(ByteSum(reply.data(), reply.size()), 0);
    // Status 0; generation 5, motor type 3; 4 axes, chip count 0.
    EXPECT_EQ((Bytes{reply[0], reply[2], reply[3]}), (Bytes{0x00, 0x53, 0x40}));

    // The data length follows from the opcode: SetVelocity waits for 8 bytes.
    const Bytes setVelocity = Request({0x0111, 0x0001, 0x2345});
    EXPECT_TRUE(Receive(Bytes(setVelocity.begin(), setVelocity.begin() + 4)).empty());
    EXPECT_EQ(Receive(Bytes(setVelocity.begin() + 4, setVelocity.end())), (Bytes{0x00, 0x00}));
    // A wrong checksum: status 9 with the reply's full length, not carried
    // out. An opcode that is no instruction: status 2, no data assumed.
    Bytes spoiled = Request({0x0010, 0x0000, 0x0100});
    spoiled[1] ^= 0x01;
    EXPECT_EQ(Receive(spoiled), (Bytes{0x09, 0xF7}));
    EXPECT_EQ(endpoint.processor().Axis(0).buffered.position, 0);
    EXPECT_EQ(Receive(Request({0x0001})), (Bytes{0x02, 0xFE}));

    const std::vector<TraceEntry> trace = endpoint.trace().Snapshot();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[1].args, (std::vector<std::uint16_t>{0x0001, 0x2345}));
    EXPECT_EQ(trace[2].status, 9);
    const std::string text = FormatTraceEntry(trace[1]);
    EXPECT_NE(text.find("#2 "), std::string::npos) << text;
    EXPECT_NE(text.find("axis 1 SetVelocity "), std::string::npos) << text;
    EXPECT_NE(text.find(" 0001 2345  ->"), std::string::npos) << text;
    EXPECT_NE(FormatTraceEntry(trace[3]).find("status 2 (Invalid Instruction)"), std::string::npos);
    EXPECT_EQ(endpoint.stats().refusals, 2u);

    // A simulator that only prints its trace keeps nothing, but still sees
    // and counts every packet.
    int printed = 0;
    endpoint.trace().SetSink([&](const TraceEntry&) { ++printed; });
    endpoint.trace().KeepEntries(false);
    EXPECT_FALSE(Receive(getVersion).empty());
    EXPECT_TRUE(endpoint.trace().Snapshot().empty());
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(endpoint.stats().packets, 5u);
}

TEST_F(Sim, SynchronisationRecoversFromATornPacket) {
    // Half a SetVelocity packet left on the line: the host's zero bytes
    // complete it (refused, bad checksum), and the answer brings the line in
    // step. From a clean line it takes four zero bytes: one Nop packet.
    const Bytes torn = Request({0x0111, 0x0001, 0x2345});
    EXPECT_TRUE(Receive(Bytes(torn.begin(), torn.begin() + 4)).empty());
    EXPECT_EQ(SyncSerialPort(board.m_pPort), kLinkOk);
    EXPECT_EQ(endpoint.trace().Snapshot().at(0).status, kLinkInvalidChecksum);
    std::uint16_t v[7];
    EXPECT_EQ(GetVersion(&board, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
    EXPECT_EQ(SyncSerialPort(board.m_pPort), kLinkOk);
    EXPECT_EQ(endpoint.trace().Snapshot().back().opcode, 0x00);
    EXPECT_EQ(endpoint.stats().packets, 3u);
}

TEST_F(Sim, EveryFaultKindAsTheCommandLayerSeesIt) {
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
        EXPECT_EQ(GetEventStatus(&board, &events), seen) << spec;
        EXPECT_EQ(GetEventStatus(&board, &events), kLinkOk) << spec;
    }
    // A processor reset between commands: status 1, and power-up state.
    ASSERT_EQ(SetPosition(&board, 1234), kLinkOk);
    Fault("reset");
    EXPECT_EQ(Update(&board), kLinkProcessorReset);
    std::int32_t destination = -1;
    EXPECT_EQ(GetPosition(&board, &destination), kLinkOk);
    EXPECT_EQ(destination, 0);
    // A refusal with a given status, the command not carried out.
    Fault("refuse:status=14");
    EXPECT_EQ(SetPosition(&board, 99), kLinkMoveIntoLimit);
    EXPECT_EQ(GetPosition(&board, &destination), kLinkOk);
    EXPECT_EQ(destination, 0);
    // Only one opcode, a given number of times.
    Fault("badsum:op=GetEventStatus:count=2");
    EXPECT_EQ(Update(&board), kLinkOk);
    EXPECT_EQ(GetEventStatus(&board, &events), kLinkChecksumError);
    EXPECT_EQ(GetEventStatus(&board, &events), kLinkChecksumError);
    EXPECT_EQ(GetEventStatus(&board, &events), kLinkOk);
    EXPECT_EQ(endpoint.stats().faults, 10u);

    // Silence is for good, whatever the plan says afterwards.
    Fault("silence:next");
    EXPECT_EQ(Update(&board), kLinkCommPortRead);
    EXPECT_EQ(SyncSerialPort(board.m_pPort), kLinkCommTimeout);
    endpoint.faults().Clear();
    EXPECT_EQ(Update(&board), kLinkCommPortRead);
}

TEST_F(Sim, HangUpTakesTheLineAway) {
    Fault("hangup:from=2");
    EXPECT_EQ(Update(&board), kLinkOk);
    EXPECT_EQ(Update(&board), kLinkCommTimeout);    // written, then the read fails
    EXPECT_EQ(Update(&board), kLinkCommPortWrite);  // nothing can be written any more
    EXPECT_TRUE(endpoint.hungUp());
    // The port cannot be opened again either.
    CLinkAxisHandle again{};
    EXPECT_EQ(OpenSerialInterface(&again, 0, kPort), kLinkInvalidSerialPort);
    again.m_pfnClose(again.m_pPort);
}

TEST(SimFaults, ParsesEveryOptionRefusesNonsenseAndRepeatsRandomFaultsWithTheirSeed) {
    FaultRule r;
    std::string error;
    ASSERT_TRUE(ParseFault("late:op=0x31:ms=250:count=3", &r, &error)) << error;
    EXPECT_TRUE(r.kind == FaultKind::LateReply && r.trigger == FaultTrigger::Opcode);
    EXPECT_EQ((std::vector<long long>{r.opcode, r.delayMs, r.count}),
              (std::vector<long long>{0x31, 250, 3}));
    ASSERT_TRUE(ParseFault("garbage:op=GetVersion:bytes=5", &r, &error)) << error;
    EXPECT_EQ((std::vector<long long>{r.opcode, r.bytes, r.count}),
              (std::vector<long long>{0x8F, 5, -1}));
    ASSERT_TRUE(ParseFault("silence:from=100", &r, &error)) << error;
    EXPECT_TRUE(r.trigger == FaultTrigger::From && r.from == 100u);
    ASSERT_TRUE(ParseFault("reset", &r, &error)) << error;
    EXPECT_TRUE(r.trigger == FaultTrigger::Next && r.count == 1);
    // A line away for 2 s unless told otherwise.
    ASSERT_TRUE(ParseFault("unplug", &r, &error) && r.kind == FaultKind::Unplug) << error;
    EXPECT_EQ(r.delayMs, 2000);
    ASSERT_TRUE(ParseFault("powercut:ms=0", &r, &error) && r.kind == FaultKind::PowerCut) << error;
    EXPECT_EQ(r.delayMs, 0);
    for (const char* bad :
         {"", "explode", "late:ms=", "late:ms=-1", "badsum:p=1.5", "badsum:p=nan", "short:bytes=0",
          "noreply:op=Bogus", "noreply:op=0x100", "noreply:wat", "silence:from=0",
          "hangup:count=1e20", "refuse:status=0", "refuse:status=256"}) {
        EXPECT_FALSE(ParseFault(bad, &r, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }

    const auto pattern = [](std::uint32_t seed) {
        FaultPlan plan;
        FaultRule rule;
        std::string error;
        EXPECT_TRUE(ParseFault("badsum:p=0.3:seed=" + std::to_string(seed), &rule, &error));
        plan.Add(rule);
        std::string hits;
        for (std::uint64_t n = 1; n <= 200; ++n) hits += plan.Decide(n, 0x1A, 0) ? '1' : '0';
        return hits;
    };
    const std::string a = pattern(7);
    EXPECT_EQ(a, pattern(7));
    EXPECT_NE(a, pattern(8));
    const auto ones = std::count(a.begin(), a.end(), '1');
    EXPECT_TRUE(ones > 30 && ones < 90) << ones;
}

TEST_F(Sim, PositioningMoveEndsAtItsTargetInTheTimeItsProfilePredicts) {
    // 2 steps a cycle, 0.01 steps a cycle squared both ways, 10000 steps:
    // 200 cycles up (200 steps), 200 down, 9600 steps at speed = 4800 cycles.
    constexpr std::int64_t kPredicted = 200 + 4800 + 200;
    Profile(0, 2, 10000, Steps(2), Steps(0.01));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    EXPECT_EQ(Events(0) & kEventMotionComplete, 0);
    Cycles(kPredicted - 2);
    EXPECT_TRUE(Moving(0));
    EXPECT_LT(Position(0), 10000);
    std::int64_t cycles = kPredicted - 2;
    for (; Moving(0) && cycles < kPredicted + 5; ++cycles) Cycles(1);
    EXPECT_LE(std::llabs(cycles - kPredicted), 1) << "ended after " << cycles << " cycles";
    EXPECT_EQ(Position(0), 10000);
    EXPECT_NE(Events(0) & kEventMotionComplete, 0);

    // And back, negative, with the same profile.
    ASSERT_EQ(SetPosition(&axis[0], 0), kLinkOk);
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(kPredicted + 1);
    EXPECT_EQ(Position(0), 0);
    EXPECT_FALSE(Moving(0));
    // A zero velocity never arrives.
    Profile(0, 2, 500, 0, Steps(0.01));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(100000);
    EXPECT_EQ(Position(0), 0);
    EXPECT_TRUE(Moving(0));
}

TEST_F(Sim, VelocityMoveStoppedByLimitSwitchThenRefusals13And14) {
    LimitSwitches limits;
    limits.hasPositive = limits.hasNegative = true;
    limits.positive = 5000;
    limits.negative = -5000;
    endpoint.processor().SetLimitSwitches(2, limits);
    EXPECT_EQ(Signals(2), 0x0030);                       // none pressed: both read 1 (active low)
    ASSERT_EQ(SetEventAction(&axis[2], 1, 2), kLinkOk);  // positive limit: stop
    ASSERT_EQ(SetEventAction(&axis[2], 2, 2), kLinkOk);  // negative limit: stop
    Profile(2, 1, 0, Steps(10), Steps(1));
    ASSERT_EQ(Update(&axis[2]), kLinkOk);
    Cycles(2000);
    EXPECT_FALSE(Moving(2));
    EXPECT_TRUE(Position(2) >= 5000 && Position(2) < 5010) << Position(2);
    EXPECT_EQ(Events(2) & (kEventPositiveLimit | kEventNegativeLimit), kEventPositiveLimit);
    EXPECT_EQ(Signals(2), 0x0020);  // the positive input reads active
    // The inverted sense reports the same inputs the other way up.
    ASSERT_EQ(SetSignalSense(&axis[2], 0x0030), kLinkOk);
    EXPECT_EQ(Signals(2), 0x0010);
    ASSERT_EQ(SetSignalSense(&axis[2], 0), kLinkOk);

    // With the limit event pending every move is refused with 13.
    const std::int32_t stoppedAt = Position(2);
    ASSERT_EQ(SetVelocity(&axis[2], -Steps(10)), kLinkOk);
    EXPECT_EQ(Update(&axis[2]), kLinkMoveWithLimitPending);
    Cycles(100);
    EXPECT_EQ(Position(2), stoppedAt);
    // Cleared, a move further into the switch is refused with 14 and the
    // limit event is set again; a move away runs and releases the switch.
    ASSERT_EQ(ResetEventStatus(&axis[2], 0), kLinkOk);
    ASSERT_EQ(SetVelocity(&axis[2], Steps(10)), kLinkOk);
    EXPECT_EQ(Update(&axis[2]), kLinkMoveIntoLimit);
    EXPECT_NE(Events(2) & kEventPositiveLimit, 0);
    ASSERT_EQ(ResetEventStatus(&axis[2], 0), kLinkOk);
    ASSERT_EQ(SetVelocity(&axis[2], -Steps(10)), kLinkOk);
    EXPECT_EQ(Update(&axis[2]), kLinkOk);
    Cycles(100);
    EXPECT_LT(Position(2), 5000);
    EXPECT_EQ(Signals(2), 0x0030);
    // Without an event action the limit is only reported.
    ASSERT_EQ(SetEventAction(&axis[2], 2, 0), kLinkOk);
    Cycles(2000);
    EXPECT_LT(Position(2), -5000);
    EXPECT_TRUE(Moving(2));
    EXPECT_NE(Events(2) & kEventNegativeLimit, 0);
}

TEST_F(Sim, ResetEventStatusClearsWhereTheMaskIsZero) {
    LimitSwitches limits;
    limits.hasPositive = true;
    limits.positive = 0;
    endpoint.processor().SetLimitSwitches(1, limits);
    Profile(1, 1, 0, Steps(1), Steps(1));
    EXPECT_EQ(Update(&axis[1]), kLinkMoveIntoLimit);  // sets the positive limit event
    ASSERT_EQ(SetStopMode(&axis[1], 1), kLinkOk);
    ASSERT_EQ(ResetEventStatus(&axis[1], 0xFFFF), kLinkOk);
    EXPECT_EQ(Events(1), kEventPositiveLimit);
    // A stop ends with motion complete; Update with a stop mode is never refused.
    ASSERT_EQ(Update(&axis[1]), kLinkOk);
    EXPECT_EQ(Events(1), kEventPositiveLimit | kEventMotionComplete);
    ASSERT_EQ(ResetEventStatus(&axis[1], 0xFF1F), kLinkOk);  // keeps motion complete
    EXPECT_EQ(Events(1), kEventMotionComplete);
    ASSERT_EQ(ResetEventStatus(&axis[1], 0xFF1E), kLinkOk);  // clears it
    EXPECT_EQ(Events(1), 0);
}

TEST_F(Sim, MultiUpdateStartsAxesInTheSameCycle) {
    for (int n : {0, 1}) Profile(n, 2, 3000, Steps(3), Steps(0.05));
    ASSERT_EQ(MultiUpdate(&board, 0x0003), kLinkOk);
    for (int i = 0; i < 5; ++i) {
        Cycles(37);
        EXPECT_EQ(Position(0), Position(1));
    }
    Cycles(5000);
    EXPECT_EQ((std::vector<int>{Position(0), Position(1), Position(2)}),
              (std::vector<int>{3000, 3000, 0}));  // axis 2 is not in the mask
    // Two Updates a cycle apart start two profiles a cycle apart.
    for (int n : {0, 1}) Profile(n, 2, 0, Steps(3), Steps(0.05));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(1);
    ASSERT_EQ(Update(&axis[1]), kLinkOk);
    Cycles(20);
    EXPECT_LT(Position(0), Position(1));
}

TEST_F(Sim, StopModesAndBufferedParameters) {
    Profile(3, 1, 0, Steps(4), Steps(0.1));
    Cycles(100);
    EXPECT_FALSE(Moving(3));  // nothing moves before Update
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    Cycles(100);
    std::int32_t velocity = 0;
    ASSERT_EQ(GetCommandedVelocity(&axis[3], &velocity), kLinkOk);
    EXPECT_EQ(velocity, Steps(4));
    // Smooth stop: 40 cycles of deceleration to rest, then motion complete.
    ASSERT_EQ(SetStopMode(&axis[3], 2), kLinkOk);
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    Cycles(20);
    EXPECT_TRUE(Moving(3));
    Cycles(25);
    EXPECT_FALSE(Moving(3));
    EXPECT_NE(Events(3) & kEventMotionComplete, 0);
    // The stop mode is used once: the next Update moves again. An abrupt
    // stop is at rest at once.
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    Cycles(10);
    EXPECT_TRUE(Moving(3));
    ASSERT_EQ(SetStopMode(&axis[3], 1), kLinkOk);
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    EXPECT_FALSE(Moving(3));
}

TEST_F(Sim, OtherCommandsAreRememberedAndResetRestoresPowerUp) {
    ASSERT_EQ(SetMotorType(&axis[1], 3), kLinkOk);
    ASSERT_EQ(SetHoldingCurrent(&axis[1], 0, 4915), kLinkOk);
    ASSERT_EQ(SetHoldingCurrent(&axis[1], 1, 20), kLinkOk);
    ASSERT_EQ(SetEventAction(&axis[1], 3, 2), kLinkOk);
    ASSERT_EQ(SetSignalSense(&axis[1], 0x30), kLinkOk);
    std::uint16_t read[6] = {};
    std::uint32_t sampleTime = 0;
    ASSERT_EQ(GetMotorType(&axis[1], &read[0]), kLinkOk);
    ASSERT_EQ(GetHoldingCurrent(&axis[1], 0, &read[1]), kLinkOk);
    ASSERT_EQ(GetHoldingCurrent(&axis[1], 1, &read[2]), kLinkOk);
    ASSERT_EQ(GetEventAction(&axis[1], 3, &read[3]), kLinkOk);
    ASSERT_EQ(GetSampleTime(&axis[1], &sampleTime), kLinkOk);
    EXPECT_EQ((std::vector<std::uint32_t>{read[0], read[1], read[2], read[3], sampleTime}),
              (std::vector<std::uint32_t>{3, 4915, 20, 2, 100}));

    Profile(1, 1, 0, Steps(1), Steps(1));
    ASSERT_EQ(Update(&axis[1]), kLinkOk);
    Cycles(50);
    ASSERT_EQ(Reset(&axis[1]), kLinkOk);
    EXPECT_EQ(Position(1), 0);
    EXPECT_FALSE(Moving(1));
    EXPECT_EQ(Events(1), 0);
    ASSERT_EQ(GetMotorType(&axis[1], &read[4]), kLinkOk);
    ASSERT_EQ(GetSignalSense(&axis[1], &read[5]), kLinkOk);
    EXPECT_EQ(read[4] + read[5], 0);

    // The switches are the stage's: after a reset at count 1000 they lie
    // 1000 counts closer to the new origin (and saturate at the range's end).
    LimitSwitches limits;
    limits.hasNegative = limits.hasPositive = true;
    limits.negative = -5000;
    limits.positive = 2147483000;
    endpoint.processor().SetLimitSwitches(2, limits);
    endpoint.processor().MoveByHand(2, -1000);
    ASSERT_EQ(Reset(&board), kLinkOk);
    EXPECT_EQ(endpoint.processor().Axis(2).limits.negative, -4000);
    EXPECT_EQ(endpoint.processor().Axis(2).limits.positive, 2147483647);
}

}  // namespace
}  // namespace sim
