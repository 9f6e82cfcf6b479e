// Moves through the motion objects against the simulated board, checked in
// the processor's trace and in the positions that come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;
using testing_support::SimCommand;
using testing_support::Words32;
using Cmds = std::vector<SimCommand>;

constexpr int kPort = 22;

class Motion : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(controller.Open()); }
    // The commands of the first `n` of `axis` from `mark` on; a polling
    // pass that read the count just before the move began is left out (on
    // a real line, under a sanitizer, it comes whenever it comes).
    Cmds First(std::size_t mark, int axis, std::size_t n) {
        Cmds cmds = board.Commands(mark, axis);
        while (!cmds.empty() && cmds.front().name == "GetCommandedPosition")
            cmds.erase(cmds.begin());
        EXPECT_GE(cmds.size(), n);
        cmds.resize(std::min(n, cmds.size()));
        return cmds;
    }

    SimBoard board{kPort, 4};
    CTessaroController controller{kPort};
};

TEST_F(Motion, ZMoveOfTheTypicalRequest) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    std::size_t mark = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(100.0, false));
    // 100 um at 51 steps/um is 5100 steps; axisFlip -1 sends -5100. Then the
    // wait (its event mask, its polls) and the final position read. One
    // Update only: the mode starts nothing before the target is there.
    EXPECT_EQ(First(mark, 2, 5), (Cmds{{2, "SetProfileMode", {2}, 0},
                                       {2, "SetPosition", Words32(-5100), 0},
                                       {2, "SetVelocity", Words32(3342336), 0},
                                       {2, "ResetEventStatus", {0xFF1E}, 0},
                                       {2, "Update", {}, 0}}));
    EXPECT_EQ(board.Args("ResetEventStatus", mark, 2, true), (std::vector<std::uint16_t>{0x00E1}));
    EXPECT_EQ(board.Commands(mark, 2).back(), (SimCommand{2, "GetCommandedPosition", {}, 0}));
    EXPECT_NEAR(z.m_pAxis->GetPosition(), 100.0, 1e-9);

    // A fraction of a step is cut toward zero, below zero too: -10.5 um is
    // -535 steps (not -536), sent flipped.
    mark = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(-10.5, false));
    EXPECT_EQ(board.Args("SetPosition", mark, 2), Words32(535));
    ASSERT_TRUE(z.MoveAndWait(100.0, false));

    // The profile mode is cached: a second move does not send it again; a
    // relative move of 0 sends the present count and still waits.
    mark = board.CommandCount();
    ASSERT_TRUE(z.MoveAndWait(0.0, true));
    EXPECT_EQ(board.Count("SetProfileMode", mark), 0);
    EXPECT_EQ(First(mark, 2, 1), (Cmds{{2, "SetPosition", Words32(-5100), 0}}));
    EXPECT_GT(board.Count("GetEventStatus", mark, 2), 0);
}

TEST_F(Motion, XYCoordinatedSpeedsWithTheFloor) {
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    // X leads at 10 rev/s (3342336 counts); Y would need 0.1 rev/s and gets
    // the 0.3 floor, trunc(5.1 * 0.3 * 65536) = 100270. Only Y moving: X
    // gets the floor too (never 0, which could stall it), Y its own. Just
    // above the floor Y keeps its own speed: 31 um in X's 0.1 s is 0.31
    // rev/s, 103612.
    const struct {
        double x, y;
        std::int32_t xSpeed, ySpeed, xTarget, yTarget;
    } kMoves[] = {{1000, 10, 3342336, 100270, -51000, -510},
                  {1000, 500, 100270, 3342336, -51000, -25500},
                  {0, 531, 3342336, 103612, 0, -27081}};
    for (const auto& m : kMoves) {
        SCOPED_TRACE(m.y);
        const std::size_t mark = board.CommandCount();
        ASSERT_TRUE(xy.MoveAndWait(m.x, m.y, false));
        EXPECT_EQ(board.Args("SetVelocity", mark, 0), Words32(m.xSpeed));
        EXPECT_EQ(board.Args("SetVelocity", mark, 1), Words32(m.ySpeed));
        EXPECT_EQ(board.Args("SetPosition", mark, 0), Words32(m.xTarget));
        EXPECT_EQ(board.Args("SetPosition", mark, 1), Words32(m.yTarget));
        EXPECT_NEAR(xy.m_pAxisX->GetPosition(), m.x, 1e-9);
        EXPECT_NEAR(xy.m_pAxisY->GetPosition(), m.y, 1e-9);
    }
    // With multipleUpdate both axes start with one MultiUpdate.
    xy.multipleUpdate = true;
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(xy.MoveAndWait(0.0, 0.0, false));
    EXPECT_EQ(board.Args("MultiUpdate", mark, 0), (std::vector<std::uint16_t>{3}));
    EXPECT_EQ(board.Count("Update", mark, 1), 0);
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
    // unwrapped, the nearest step to 209666.67 of 204000 a turn, sent
    // flipped.
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(r.MoveAndWait(10.0, false));
    EXPECT_EQ(board.Args("SetPosition", mark, 3), Words32(-209667));
    EXPECT_NEAR(r.GetAngle(), 10.0, 0.01);
    // The angle asked for again turns nothing, and so do the same angle a
    // turn up or down: an angle is taken modulo 360.
    const std::int32_t at10 = r.m_pAxis->currentPos_step;
    for (double again : {10.0, 370.0, -350.0}) {
        ASSERT_TRUE(r.MoveAndWait(again, false));
        EXPECT_EQ(r.m_pAxis->currentPos_step, at10) << again;
    }
    // One angle, one reading: whole turns read 0 (never 360, never a
    // negative zero); a step short of a turn reads just under 360.
    const std::int32_t here = r.m_pAxis->currentPos_step;
    const double step = 360.0 / 204000;
    for (const auto& [count, angle] : {std::pair<std::int32_t, double>{0, 0.0},
                                       {204000, 0.0},
                                       {-408000, 0.0},
                                       {203999, 360.0 - step},
                                       {-1, 360.0 - step},
                                       {1, step}}) {
        r.m_pAxis->zeroPos_step = count - here;
        EXPECT_NEAR(r.GetAngle(), angle, 1e-9) << count;
        EXPECT_FALSE(std::signbit(r.GetAngle()));
        EXPECT_LT(r.GetAngle(), 360.0);
    }
}

TEST_F(Motion, VelocityMovesAndStops) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    std::size_t mark = board.CommandCount();
    ASSERT_TRUE(z.MoveVelocity(1.0));
    // 1 rev/s is 334233 counts, flipped.
    EXPECT_EQ(First(mark, 2, 4), (Cmds{{2, "SetProfileMode", {1}, 0},
                                       {2, "SetVelocity", Words32(-334233), 0},
                                       {2, "ResetEventStatus", {0xFF1F}, 0},
                                       {2, "Update", {}, 0}}));
    host::Sleep(30);
    mark = board.CommandCount();
    ASSERT_TRUE(z.MoveVelocity(0.0));
    EXPECT_EQ(First(mark, 2, 2),
              (Cmds{{2, "SetStopMode", {2}, 0}, {2, "GetCommandedPosition", {}, 0}}));
    EXPECT_EQ(board.Commands(mark, 2).back(), (SimCommand{2, "Update", {}, 0}));
    // Positive speed is the axis's positive direction (the flip is undone on
    // the way back).
    EXPECT_GT(z.m_pAxis->GetPosition(), 0.0);
    // (A stage jog refused without joystickEnable is the drive test's.)
}

TEST_F(Motion, JogsAreHeldToTheCeilingAndSpeedsToWhatTheProcessorTakes) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    testing_support::DiagnosticCapture told;
    // The 32-bit count the processor got last for an axis.
    const auto sent = [&](std::size_t mark, int axis) {
        const auto words = board.Args("SetVelocity", mark, axis, true);
        return words.size() == 2 ? cmotion::SignedFromBits(cmotion::JoinWords(words[0], words[1]))
                                 : 0;
    };
    // The ceiling (10 rev/s, the rotary's 0.5) in the direction asked, the
    // flip applied; at the ceiling itself nothing changes. The stage keeps
    // its direction: (50, 5) runs at (10, 1).
    for (std::int8_t flip : {1, -1}) {
        for (double v : {10.0, 50.0, -1e300}) {
            SCOPED_TRACE(std::to_string(v) + " flip " + std::to_string(flip));
            const int sign = (v > 0 ? 1 : -1) * flip;
            z.m_pAxis->axisFlip = xy.m_pAxisX->axisFlip = xy.m_pAxisY->axisFlip =
                r.m_pAxis->axisFlip = flip;
            const std::size_t mark = board.CommandCount();
            ASSERT_TRUE(z.MoveVelocity(v));
            ASSERT_TRUE(xy.MoveVelocity(v, v / 10));
            ASSERT_TRUE(r.MoveVelocity(v));
            EXPECT_EQ(sent(mark, 2), sign * 3342336);
            EXPECT_EQ(sent(mark, 0), sign * 3342336);
            EXPECT_EQ(sent(mark, 1), sign * 334233);
            EXPECT_EQ(sent(mark, 3), sign * r.m_pAxis->VelocityToCounts(0.5));
            ASSERT_TRUE(z.MoveVelocity(0) && xy.MoveVelocity(0, 0) && r.MoveVelocity(0));
        }
    }
    // Told once for each drive and ceiling.
    int lines = 0;
    for (const std::u16string& line : told.Messages())
        lines += line.find(u"runs at the maximum joystick speed") != std::u16string::npos;
    EXPECT_EQ(lines, 3);
    // Slower than one count a jog would be a stop: refused, nothing sent.
    std::size_t mark = board.CommandCount();
    EXPECT_FALSE(z.MoveVelocity(1e-9));
    EXPECT_EQ(board.CommandCount(), mark);
    // Positioning speeds: up to 100 rev/s, and at least one count.
    for (const auto& [speed, goes] :
         {std::pair{100.0, true}, {100.001, false}, {0.0, false}, {3e-6, true}, {2.9e-6, false}}) {
        z.m_pAxis->speed_revolutionPerSecond = speed;
        mark = board.CommandCount();
        EXPECT_EQ(z.Move(10.0, false), goes) << speed;
        EXPECT_EQ(board.Count("SetPosition", mark) > 0, goes) << speed;
    }
    EXPECT_TRUE(told.Has(u"refused a move: its speed 0 rev/s lies outside 2.99e-06 to 100 rev/s"));
    // The limit approach runs at the axis speed, saturated the way asked.
    z.m_pAxis->speed_revolutionPerSecond = 1e300;
    for (std::int8_t side : {1, -1}) {
        mark = board.CommandCount();
        ASSERT_EQ(z.m_pAxis->StartLimitApproach(side), 0);
        EXPECT_EQ(sent(mark, 2), side * z.m_pAxis->axisFlip > 0 ? 2147483647 : -2147483647);
    }
    z.m_pAxis->speed_revolutionPerSecond = 10.0;
    ASSERT_TRUE(z.MoveVelocity(0));
}

TEST_F(Motion, AStageStopWhoseSecondHalfFailsStillStopsTheFirstAxis) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    ASSERT_TRUE(xy.MoveVelocity(1.0, 1.0));
    // Every reply to Y's stop mode is spoiled (the processor carries the
    // command out): the stop step fails, but X's Update still goes out and
    // X comes to rest; Y's Update follows X's.
    board.Fault("badsum:op=SetStopMode:axis=1");
    std::size_t mark = board.CommandCount();
    EXPECT_FALSE(xy.MoveVelocity(0.0, 0.0));
    EXPECT_EQ(board.Commands(mark, 0).back(), (SimCommand{0, "Update", {}, 0}));
    EXPECT_EQ(board.Commands(mark, 1).back(), (SimCommand{1, "Update", {}, 0}));
    // The processor took both stops: neither axis runs on.
    for (int axis : {0, 1}) {
        const sim::AxisState state = board.endpoint.processor().Axis(axis);
        EXPECT_TRUE(state.stopping || !state.moving) << axis;
    }
    // With multipleUpdate a failed step still sends nothing more.
    board.endpoint.faults().Clear();
    ASSERT_TRUE(xy.MoveVelocity(1.0, 1.0));
    xy.multipleUpdate = true;
    board.Fault("badsum:op=SetStopMode:axis=1");
    mark = board.CommandCount();
    EXPECT_FALSE(xy.MoveVelocity(0.0, 0.0));
    EXPECT_EQ(board.Count("MultiUpdate", mark), 0);
    board.endpoint.faults().Clear();
    xy.multipleUpdate = false;
    EXPECT_TRUE(xy.MoveVelocity(0.0, 0.0));

    // Z moving up sends negative counts (axisFlip -1): a negative switch
    // already pressed at count 0 refuses with 14, which counts as success.
    sim::LimitSwitches limits;
    limits.hasNegative = true;
    board.endpoint.processor().SetLimitSwitches(2, limits);
    mark = board.CommandCount();
    EXPECT_TRUE(z.Move(10.0, false));
    EXPECT_EQ(board.Commands(mark, 2).back().name, "Update");
    EXPECT_EQ(board.Commands(mark, 2).back().status, 14);
}

}  // namespace
}  // namespace tessaro
