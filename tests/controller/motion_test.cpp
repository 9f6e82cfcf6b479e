// Moves through the motion objects against the simulated board, checked in
// the processor's trace and in the positions that come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;
using testing_support::SimCommand;
using Cmds = std::vector<SimCommand>;

constexpr int kPort = 22;

class Motion : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(controller.Open()); }
    Cmds Since(std::size_t mark) const { return board.Commands(mark); }
    static std::vector<std::uint16_t> Words32(std::int32_t v) {
        const auto bits = static_cast<std::uint32_t>(v);
        return {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits & 0xFFFF)};
    }
    // The commands of one axis: polling passes of the other motion objects
    // may come in between.
    static Cmds Only(const Cmds& cmds, std::uint8_t axis) {
        Cmds out;
        std::copy_if(cmds.begin(), cmds.end(), std::back_inserter(out),
                     [&](const SimCommand& c) { return c.axis == axis; });
        return out;
    }
    static const SimCommand* Find(const Cmds& cmds, std::uint8_t axis, const std::string& name) {
        const auto it = std::find_if(cmds.begin(), cmds.end(), [&](const SimCommand& c) {
            return c.axis == axis && c.name == name;
        });
        return it == cmds.end() ? nullptr : &*it;
    }

    SimBoard board{kPort, 4};
    CTessaroController controller{kPort};
};

TEST_F(Motion, ZMoveOfTheTypicalRequest) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    std::vector<double> published;
    z.m_pfnPositionCallback = [](std::uint32_t kind, SKxDevicePosition* record,
                                 std::uint64_t context) {
        EXPECT_EQ(kind, 1u);
        EXPECT_EQ(record->uKind, 1u);
        reinterpret_cast<std::vector<double>*>(context)->push_back(record->dPosition[0]);
    };
    z.m_pCallbackContext = reinterpret_cast<std::uint64_t>(&published);
    z.m_uDeviceId = 77;

    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(100.0, false));
    const Cmds cmds = Only(Since(mark), 2);
    // 100 um at 51 steps/um is 5100 steps; axisFlip -1 sends -5100.
    const Cmds start = {
        {2, "SetProfileMode", {2}, 0},         {2, "Update", {}, 0},
        {2, "SetPosition", Words32(-5100), 0}, {2, "SetVelocity", Words32(3342336), 0},
        {2, "ResetEventStatus", {0xFF1E}, 0},  {2, "Update", {}, 0}};
    ASSERT_GE(cmds.size(), start.size() + 2);
    for (std::size_t i = 0; i < start.size(); ++i) EXPECT_EQ(cmds[i], start[i]) << i;
    // Then the wait (its event mask, its polls) and the final position read.
    EXPECT_NE(std::find(cmds.begin() + start.size(), cmds.end(),
                        SimCommand{2, "ResetEventStatus", {0x00E1}, 0}),
              cmds.end());
    EXPECT_EQ(cmds.back(), (SimCommand{2, "GetCommandedPosition", {}, 0}));
    EXPECT_NEAR(z.m_pAxis->GetPosition(), 100.0, 1e-9);
    ASSERT_FALSE(published.empty());
    EXPECT_NEAR(published.back(), 100.0, 1e-9);

    // A fraction of a step is cut toward zero, below zero too: -10.5 um is
    // -535 steps (not -536), sent flipped.
    std::size_t mark1 = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(-10.5, false));
    EXPECT_EQ(Find(Since(mark1), 2, "SetPosition")->args, Words32(535));
    ASSERT_TRUE(z.MoveAndWait(100.0, false));

    // The profile mode is cached: a second move does not send it again; a
    // relative move of 0 sends the present count and still waits.
    const std::size_t mark2 = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(0.0, true));
    const Cmds again = Only(Since(mark2), 2);
    EXPECT_EQ(Find(again, 2, "SetProfileMode"), nullptr);
    EXPECT_EQ(again[0], (SimCommand{2, "SetPosition", Words32(-5100), 0}));
    EXPECT_NE(Find(again, 2, "GetEventStatus"), nullptr);
}

TEST_F(Motion, XYCoordinatedSpeedsWithTheFloor) {
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(xy.MoveAndWait(1000.0, 10.0, false));
    const Cmds cmds = Since(mark);
    // X leads at 10 rev/s (3342336 counts); Y would need 0.1 rev/s and gets
    // the 0.3 floor: trunc(5.1 * 0.3 * 65536) = 100270.
    ASSERT_NE(Find(cmds, 0, "SetVelocity"), nullptr);
    EXPECT_EQ(Find(cmds, 0, "SetVelocity")->args, Words32(3342336));
    EXPECT_EQ(Find(cmds, 1, "SetVelocity")->args, Words32(100270));
    EXPECT_EQ(Find(cmds, 0, "SetPosition")->args, Words32(-51000));
    EXPECT_EQ(Find(cmds, 1, "SetPosition")->args, Words32(-510));
    EXPECT_NEAR(xy.m_pAxisX->GetPosition(), 1000.0, 1e-9);
    EXPECT_NEAR(xy.m_pAxisY->GetPosition(), 10.0, 1e-9);

    // Only Y moves: X gets speed 0 (not raised), Y its own speed.
    const std::size_t mark2 = board.CommandCount();
    ASSERT_TRUE(xy.MoveAndWait(1000.0, 500.0, false));
    const Cmds only = Since(mark2);
    EXPECT_EQ(Find(only, 0, "SetVelocity")->args, Words32(0));
    EXPECT_EQ(Find(only, 1, "SetVelocity")->args, Words32(3342336));
    EXPECT_NEAR(xy.m_pAxisY->GetPosition(), 500.0, 1e-9);

    // Just above the floor Y keeps its own speed: 31 um in X's 0.1 s is
    // 0.31 rev/s, trunc(5.1 * 0.31 * 65536) = 103612.
    const std::size_t markFloor = board.CommandCount();
    ASSERT_TRUE(xy.MoveAndWait(0.0, 531.0, false));
    EXPECT_EQ(Find(Since(markFloor), 1, "SetVelocity")->args, Words32(103612));

    // With multipleUpdate both axes start with one MultiUpdate.
    xy.multipleUpdate = true;
    const std::size_t mark3 = board.CommandCount();
    ASSERT_TRUE(xy.MoveAndWait(0.0, 0.0, false));
    const Cmds multi = Since(mark3);
    EXPECT_NE(std::find(multi.begin(), multi.end(), SimCommand{0, "MultiUpdate", {3}, 0}),
              multi.end());
    EXPECT_EQ(Find(multi, 1, "Update"), nullptr);
    EXPECT_NEAR(xy.m_pAxisX->GetPosition(), 0.0, 1e-9);
}

TEST(RotaryMotion, TurnsTheWayTheAnglesSay) {
    // The rotary axis turns at 0.5 rev/s: run time 20 times faster.
    SimBoard board(kPort, 4, 20.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    ASSERT_TRUE(r.MoveAndWait(350.0, false));
    EXPECT_NEAR(r.GetAngle(), 350.0, 0.01);
    // Relative +20 from 350 ends at 370 unwrapped, reported as 10.
    ASSERT_TRUE(r.MoveAndWait(20.0, true));
    EXPECT_NEAR(r.GetAngle(), 10.0, 0.01);
    EXPECT_GT(r.m_pAxis->currentPos_step, 204000);  // more than one turn
    // Absolute 350 from there turns forward to 710 (350 on the dial)...
    ASSERT_TRUE(r.MoveAndWait(350.0, false));
    EXPECT_NEAR(r.GetAngle(), 350.0, 0.01);
    // ...and from 350 to 10 it turns by -340 degrees, not +20: to 370
    // unwrapped, 209666 steps of 204000 a turn, sent flipped.
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(r.MoveAndWait(10.0, false));
    const Cmds cmds = board.Commands(mark);
    const auto set = std::find_if(cmds.begin(), cmds.end(),
                                  [](const SimCommand& c) { return c.name == "SetPosition"; });
    ASSERT_NE(set, cmds.end());
    EXPECT_EQ(*set, (SimCommand{3, "SetPosition", {0xFFFC, 0xCCFE}, 0}));  // -209666
    EXPECT_NEAR(r.GetAngle(), 10.0, 0.01);
    // Whole turns: 0 stays 0, a positive multiple of 360 reads 360 (both
    // ends of the dial are angles), and never a negative zero.
    r.m_pAxis->zeroPos_step = -r.m_pAxis->currentPos_step;
    EXPECT_EQ(r.GetAngle(), 0.0);
    EXPECT_FALSE(std::signbit(r.GetAngle()));
    for (const auto& [turns, angle] : {std::pair<int, double>{1, 360.0}, {2, 360.0}, {-1, 0.0}}) {
        r.m_pAxis->zeroPos_step = turns * 204000 - r.m_pAxis->currentPos_step;
        EXPECT_EQ(r.GetAngle(), angle) << turns << " turns";
    }
    controller.Close();
}

TEST_F(Motion, VelocityMovesAndStops) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(z.MoveVelocity(1.0));
    const Cmds start = Only(Since(mark), 2);
    // 1 rev/s is 334233 counts, flipped.
    const Cmds expected = {{2, "SetProfileMode", {1}, 0},
                           {2, "Update", {}, 0},
                           {2, "SetVelocity", Words32(-334233), 0},
                           {2, "ResetEventStatus", {0xFF1F}, 0},
                           {2, "Update", {}, 0}};
    ASSERT_GE(start.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(start[i], expected[i]) << i;
    host::Sleep(30);

    const std::size_t mark2 = board.CommandCount();
    ASSERT_TRUE(z.MoveVelocity(0.0));
    const Cmds stop = Only(Since(mark2), 2);
    ASSERT_GE(stop.size(), 3u);
    EXPECT_EQ(stop[0], (SimCommand{2, "SetStopMode", {2}, 0}));
    EXPECT_EQ(stop[1], (SimCommand{2, "GetCommandedPosition", {}, 0}));
    EXPECT_EQ(stop.back(), (SimCommand{2, "Update", {}, 0}));
    // Positive speed is the axis's positive direction (the flip is undone on
    // the way back).
    EXPECT_GT(z.m_pAxis->GetPosition(), 0.0);

    // XY joystick: refused without joystickEnable on either axis, sending nothing.
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    xy.m_pAxisY->joystickEnable = false;
    const std::size_t mark3 = board.CommandCount();
    EXPECT_FALSE(xy.MoveVelocity(1.0, 1.0));
    EXPECT_TRUE(Only(Since(mark3), 0).empty());
    EXPECT_TRUE(Only(Since(mark3), 1).empty());
    xy.m_pAxisY->joystickEnable = true;
    EXPECT_TRUE(xy.MoveVelocity(1.0, 0.0));
    EXPECT_TRUE(xy.MoveVelocity(0.0, 0.0));
}

TEST_F(Motion, VelocitiesBeyondTheRangeSaturateTheWayAsked) {
    // The 32-bit count the processor got, from the last SetVelocity of an axis.
    const auto lastVelocity = [&](std::size_t mark, std::uint8_t axis) {
        std::int32_t counts = 0;
        bool found = false;
        for (const auto& c : Since(mark)) {
            if (c.axis != axis || c.name != "SetVelocity") continue;
            counts = cmotion::SignedFromBits(cmotion::JoinWords(c.args[0], c.args[1]));
            found = true;
        }
        EXPECT_TRUE(found);
        return counts;
    };
    constexpr std::int32_t kMax = 2147483647;
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    for (std::int8_t flip : {1, -1}) {
        for (double v : {1e9, -1e9, 1e300, -1e300}) {
            SCOPED_TRACE(std::to_string(v) + " flip " + std::to_string(flip));
            // As far as 32 bits reach, in the direction asked for.
            const bool positive = (v > 0) == (flip > 0);
            const auto saturated = [&](std::int32_t counts, bool up) {
                return up ? counts == kMax : counts <= -kMax;
            };
            z.m_pAxis->axisFlip = flip;
            xy.m_pAxisX->axisFlip = flip;
            r.m_pAxis->axisFlip = flip;
            std::size_t mark = board.CommandCount();
            ASSERT_TRUE(z.MoveVelocity(v));
            EXPECT_TRUE(saturated(lastVelocity(mark, 2), positive));
            mark = board.CommandCount();
            ASSERT_TRUE(xy.MoveVelocity(v, 0));
            EXPECT_TRUE(saturated(lastVelocity(mark, 0), positive));
            mark = board.CommandCount();
            ASSERT_TRUE(r.MoveVelocity(v));
            EXPECT_TRUE(saturated(lastVelocity(mark, 3), positive));
            // The limit approach: the axis speed, its flip and the side.
            z.m_pAxis->speed_revolutionPerSecond = std::abs(v);
            for (std::int8_t side : {1, -1}) {
                mark = board.CommandCount();
                ASSERT_EQ(z.m_pAxis->StartLimitApproach(side), 0);
                EXPECT_TRUE(saturated(lastVelocity(mark, 2), side * flip > 0));
            }
            z.m_pAxis->speed_revolutionPerSecond = 10.0;
            ASSERT_TRUE(z.MoveVelocity(0));
            ASSERT_TRUE(xy.MoveVelocity(0, 0));
            ASSERT_TRUE(r.MoveVelocity(0));
        }
    }
    // Positioning speeds are magnitudes; beyond the range they saturate
    // positive.
    z.m_pAxis->speed_revolutionPerSecond = 1e300;
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(z.Move(10.0, false));
    EXPECT_EQ(lastVelocity(mark, 2), kMax);
    z.m_pAxis->speed_revolutionPerSecond = 10.0;
}

TEST_F(Motion, AStageStopWhoseSecondHalfFailsStillStopsTheFirstAxis) {
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    ASSERT_TRUE(xy.MoveVelocity(1.0, 1.0));
    // Every reply to Y's stop mode is spoiled (the processor carries the
    // command out): the stop step fails, but X's Update still goes out and
    // X comes to rest; Y's Update follows X's.
    board.Fault("badsum:op=SetStopMode:axis=1");
    const std::size_t mark = board.CommandCount();
    EXPECT_FALSE(xy.MoveVelocity(0.0, 0.0));
    const Cmds x = Only(Since(mark), 0);
    ASSERT_FALSE(x.empty());
    EXPECT_EQ(x.back(), (SimCommand{0, "Update", {}, 0}));
    EXPECT_EQ(Only(Since(mark), 1).back(), (SimCommand{1, "Update", {}, 0}));
    // The processor took both stops: neither axis runs on.
    for (int axis : {0, 1}) {
        const sim::AxisState state = board.endpoint.processor().Axis(axis);
        EXPECT_TRUE(state.stopping || !state.moving) << axis;
    }
    board.endpoint.faults().Clear();
    // With multipleUpdate a failed step still sends nothing more.
    ASSERT_TRUE(xy.MoveVelocity(1.0, 1.0));
    xy.multipleUpdate = true;
    board.Fault("badsum:op=SetStopMode:axis=1");
    const std::size_t mark2 = board.CommandCount();
    EXPECT_FALSE(xy.MoveVelocity(0.0, 0.0));
    for (const auto& c : Since(mark2)) EXPECT_NE(c.name, "MultiUpdate");
    board.endpoint.faults().Clear();
    xy.multipleUpdate = false;
    EXPECT_TRUE(xy.MoveVelocity(0.0, 0.0));
}

TEST_F(Motion, MoveIntoAnActiveLimitCountsAsSuccess) {
    // Z moving up sends negative counts (axisFlip -1): a negative switch
    // already pressed at count 0 refuses with 14.
    sim::LimitSwitches limits;
    limits.hasNegative = true;
    limits.negative = 0;
    board.endpoint.processor().SetLimitSwitches(2, limits);
    const std::size_t mark = board.CommandCount();
    EXPECT_TRUE(controller.m_pZMotion->Move(10.0, false));
    const Cmds cmds = Only(Since(mark), 2);
    ASSERT_FALSE(cmds.empty());
    EXPECT_EQ(cmds.back().name, "Update");
    EXPECT_EQ(cmds.back().status, 14);
}

}  // namespace
}  // namespace tessaro
