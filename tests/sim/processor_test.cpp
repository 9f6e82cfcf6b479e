// The simulated processor's behaviour, driven through the real command layer
// over the in-process line, on a manual clock (100 us a cycle).
#include <gtest/gtest.h>

#include <vector>

#include "cmotion/link_commands.h"
#include "sim/inprocess_line.h"

namespace sim {
namespace {

using namespace cmotion;

constexpr int kPort = 9;
constexpr std::int64_t kCycle = 100;  // microseconds
constexpr std::int32_t Steps(double perCycle) {
    return static_cast<std::int32_t>(perCycle * 65536);
}

class SimProcessor : public ::testing::Test {
  protected:
    explicit SimProcessor(std::uint16_t axes = 4)
        : endpoint(Config(axes), clock), line(endpoint, kPort) {}

    static BoardConfig Config(std::uint16_t axes) {
        BoardConfig c;
        c.axes = axes;
        c.sampleTimeMicros = kCycle;
        return c;
    }
    void SetUp() override {
        ASSERT_EQ(OpenSerialInterface(&board, 0, kPort), kLinkOk);
        for (std::uint16_t n = 0; n < 4; ++n) CopyAxisHandle(board, &axis[n], n);
    }
    void TearDown() override { board.m_pfnClose(board.m_pPort); }

    void Cycles(std::int64_t n) { clock.Advance(n * kCycle); }
    std::uint16_t Events(int n) {
        std::uint16_t e = 0;
        EXPECT_EQ(GetEventStatus(&axis[n], &e), kLinkOk);
        return e;
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
                 std::uint32_t acc, std::uint32_t dec) {
        ASSERT_EQ(SetProfileMode(&axis[n], mode), kLinkOk);
        ASSERT_EQ(SetPosition(&axis[n], position), kLinkOk);
        ASSERT_EQ(SetVelocity(&axis[n], velocity), kLinkOk);
        ASSERT_EQ(SetAcceleration(&axis[n], acc), kLinkOk);
        ASSERT_EQ(SetDeceleration(&axis[n], dec), kLinkOk);
    }

    ManualClock clock;
    ProcessorEndpoint endpoint;
    InProcessLine line;
    platform::ScopedSerialApi scoped{line};
    CLinkAxisHandle board{};
    CLinkAxisHandle axis[4]{};
};

TEST_F(SimProcessor, PositioningMoveEndsAtItsTargetInTheTimeItsProfilePredicts) {
    // 2 steps a cycle, 0.01 steps a cycle squared both ways, 10000 steps:
    // 200 cycles up (200 steps), 200 down, 9600 steps at speed = 4800 cycles.
    constexpr std::int64_t kPredicted = 200 + 4800 + 200;
    Profile(0, 2, 10000, Steps(2), Steps(0.01), Steps(0.01));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    EXPECT_TRUE(Moving(0));
    EXPECT_EQ(Events(0) & kEventMotionComplete, 0);

    Cycles(kPredicted - 2);
    EXPECT_TRUE(Moving(0));
    EXPECT_LT(Position(0), 10000);
    std::int64_t cycles = kPredicted - 2;
    while (Moving(0) && cycles < kPredicted + 5) {
        Cycles(1);
        ++cycles;
    }
    EXPECT_LE(std::llabs(cycles - kPredicted), 1) << "ended after " << cycles << " cycles";
    EXPECT_EQ(Position(0), 10000);
    EXPECT_NE(Events(0) & kEventMotionComplete, 0);

    // And back, negative, with the same profile.
    ASSERT_EQ(SetPosition(&axis[0], 0), kLinkOk);
    ASSERT_EQ(ResetEventStatus(&axis[0], 0xFF1E), kLinkOk);
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(kPredicted + 1);
    EXPECT_EQ(Position(0), 0);
    EXPECT_FALSE(Moving(0));
    // A zero velocity never arrives.
    Profile(0, 2, 500, 0, Steps(0.01), Steps(0.01));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(100000);
    EXPECT_EQ(Position(0), 0);
    EXPECT_TRUE(Moving(0));
}

TEST_F(SimProcessor, VelocityMoveStoppedByLimitSwitchThenRefusals13And14) {
    LimitSwitches limits;
    limits.hasPositive = limits.hasNegative = true;
    limits.positive = 5000;
    limits.negative = -5000;
    endpoint.processor().SetLimitSwitches(2, limits);
    // No switch pressed: both inputs read 1 (active low, sense clear).
    std::uint16_t signals = 0;
    ASSERT_EQ(GetSignalStatus(&axis[2], &signals), kLinkOk);
    EXPECT_EQ(signals & 0x0030, 0x0030);

    ASSERT_EQ(SetEventAction(&axis[2], 1, 2), kLinkOk);  // positive limit: stop
    ASSERT_EQ(SetEventAction(&axis[2], 2, 2), kLinkOk);  // negative limit: stop
    Profile(2, 1, 0, Steps(10), Steps(1), Steps(1));
    ASSERT_EQ(Update(&axis[2]), kLinkOk);
    Cycles(2000);
    EXPECT_FALSE(Moving(2));
    EXPECT_GE(Position(2), 5000);
    EXPECT_LT(Position(2), 5010);
    EXPECT_EQ(Events(2) & (kEventPositiveLimit | kEventNegativeLimit), kEventPositiveLimit);
    ASSERT_EQ(GetSignalStatus(&axis[2], &signals), kLinkOk);
    EXPECT_EQ(signals & 0x0030, 0x0020);  // the positive input reads active
    // The inverted sense reports the same inputs the other way up.
    ASSERT_EQ(SetSignalSense(&axis[2], 0x0030), kLinkOk);
    ASSERT_EQ(GetSignalStatus(&axis[2], &signals), kLinkOk);
    EXPECT_EQ(signals & 0x0030, 0x0010);
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
    ASSERT_EQ(GetSignalStatus(&axis[2], &signals), kLinkOk);
    EXPECT_EQ(signals & 0x0030, 0x0030);

    // Without an event action the limit is only reported.
    ASSERT_EQ(SetEventAction(&axis[2], 2, 0), kLinkOk);
    Cycles(2000);
    EXPECT_LT(Position(2), -5000);
    EXPECT_TRUE(Moving(2));
    EXPECT_NE(Events(2) & kEventNegativeLimit, 0);
}

TEST_F(SimProcessor, ResetEventStatusClearsWhereTheMaskIsZero) {
    LimitSwitches limits;
    limits.hasPositive = true;
    limits.positive = 0;
    endpoint.processor().SetLimitSwitches(1, limits);
    Profile(1, 1, 0, Steps(1), Steps(1), Steps(1));
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

TEST_F(SimProcessor, MultiUpdateStartsAxesInTheSameCycle) {
    for (int n : {0, 1}) Profile(n, 2, 3000, Steps(3), Steps(0.05), Steps(0.05));
    ASSERT_EQ(MultiUpdate(&board, 0x0003), kLinkOk);
    for (int i = 0; i < 5; ++i) {
        Cycles(37);
        EXPECT_EQ(Position(0), Position(1));
    }
    Cycles(5000);
    EXPECT_EQ(Position(0), 3000);
    EXPECT_EQ(Position(1), 3000);
    EXPECT_EQ(Position(2), 0);  // not in the mask

    // Two Updates a cycle apart start two profiles a cycle apart.
    for (int n : {0, 1}) Profile(n, 2, 0, Steps(3), Steps(0.05), Steps(0.05));
    ASSERT_EQ(Update(&axis[0]), kLinkOk);
    Cycles(1);
    ASSERT_EQ(Update(&axis[1]), kLinkOk);
    Cycles(20);
    EXPECT_LT(Position(0), Position(1));
}

TEST_F(SimProcessor, StopModesAndBufferedParameters) {
    Profile(3, 1, 0, Steps(4), Steps(0.1), Steps(0.1));
    // Nothing moves before Update.
    Cycles(100);
    EXPECT_FALSE(Moving(3));
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    Cycles(100);
    EXPECT_TRUE(Moving(3));
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
    // The stop mode is used once: the next Update moves again.
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    Cycles(10);
    EXPECT_TRUE(Moving(3));
    // Abrupt stop: at rest at once.
    ASSERT_EQ(SetStopMode(&axis[3], 1), kLinkOk);
    ASSERT_EQ(Update(&axis[3]), kLinkOk);
    EXPECT_FALSE(Moving(3));
}

TEST_F(SimProcessor, OtherCommandsAreRememberedAndResetRestoresPowerUp) {
    std::uint16_t value = 0;
    ASSERT_EQ(SetMotorType(&axis[1], 3), kLinkOk);
    ASSERT_EQ(SetHoldingCurrent(&axis[1], 0, 4915), kLinkOk);
    ASSERT_EQ(SetHoldingCurrent(&axis[1], 1, 20), kLinkOk);
    ASSERT_EQ(SetEventAction(&axis[1], 3, 2), kLinkOk);
    ASSERT_EQ(SetSignalSense(&axis[1], 0x30), kLinkOk);
    std::uint16_t read[4] = {};
    ASSERT_EQ(GetMotorType(&axis[1], &read[0]), kLinkOk);
    ASSERT_EQ(GetHoldingCurrent(&axis[1], 0, &read[1]), kLinkOk);
    ASSERT_EQ(GetHoldingCurrent(&axis[1], 1, &read[2]), kLinkOk);
    ASSERT_EQ(GetEventAction(&axis[1], 3, &read[3]), kLinkOk);
    EXPECT_EQ((std::vector<std::uint16_t>(read, read + 4)),
              (std::vector<std::uint16_t>{3, 4915, 20, 2}));
    std::uint32_t sampleTime = 0;
    ASSERT_EQ(GetSampleTime(&axis[1], &sampleTime), kLinkOk);
    EXPECT_EQ(sampleTime, 100u);

    Profile(1, 1, 0, Steps(1), Steps(1), Steps(1));
    ASSERT_EQ(Update(&axis[1]), kLinkOk);
    Cycles(50);
    ASSERT_EQ(Reset(&axis[1]), kLinkOk);
    EXPECT_EQ(Position(1), 0);
    EXPECT_FALSE(Moving(1));
    EXPECT_EQ(Events(1), 0);
    ASSERT_EQ(GetMotorType(&axis[1], &value), kLinkOk);
    EXPECT_EQ(value, 0);
    ASSERT_EQ(GetSignalSense(&axis[1], &value), kLinkOk);
    EXPECT_EQ(value, 0);

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

class SimProcessorTwoAxes : public SimProcessor {
  protected:
    SimProcessorTwoAxes() : SimProcessor(2) {}
};

TEST_F(SimProcessorTwoAxes, AxesTheBoardDoesNotHaveAreRefused) {
    EXPECT_EQ(Update(&axis[1]), kLinkOk);
    EXPECT_EQ(Update(&axis[2]), kLinkInvalidAxis);
    std::int32_t position = 1;
    EXPECT_EQ(GetCommandedPosition(&axis[3], &position), kLinkInvalidAxis);
    EXPECT_EQ(position, 0);  // a full-length reply with zero words
    std::uint16_t v[7];
    ASSERT_EQ(GetVersion(&board, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
    EXPECT_EQ((std::vector<std::uint16_t>{v[0], v[1], v[2]}),
              (std::vector<std::uint16_t>{5, 3, 2}));
}

}  // namespace
}  // namespace sim
