// The rules that make moves do what was asked: whole steps from exact
// positions, the fraction of a step carried between relative moves, targets
// beyond reach refused, and a wait as long as the move.
#include <gtest/gtest.h>

#include <cmath>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::DiagnosticCapture;
using testing_support::SimBoard;

constexpr int kPort = 23;

TEST(StepAim, WholeStepsCutTowardZeroOrToTheNearest) {
    const struct {
        double exact;
        bool nearest, ok;
        std::int32_t count;
    } kCases[] = {
        {2.9999995, false, true, 3},    // within a millionth: that step
        {2.99999, false, true, 2},      // beyond it: cut
        {-2.9999995, false, true, -3},  // the same below zero
        {-2.5, false, true, -2},        // a real fraction is cut toward zero
        {-2.5, true, true, -3},         // or taken to the nearest step
        {2.49, true, true, 2},
        {2147483647.0, false, true, 2147483647},
        {2147483647.5, false, false, 0},  // past the top of the count
        {-2147483648.0, true, true, -2147483647 - 1},
        {-2147483648.5, true, false, 0},  // past the bottom
        {std::nan(""), false, false, 0},
    };
    for (const auto& c : kCases) {
        const StepAim aim = AimAt(c.exact, c.nearest);
        EXPECT_EQ(aim.ok, c.ok) << c.exact;
        EXPECT_EQ(aim.count, c.ok ? c.count : 0) << c.exact;
    }
}

// The board's processor at 50 times real speed: many small moves, and a
// move of more than a minute.
class Moves : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(controller.Open()); }
    std::int32_t Count(int axis) {
        return static_cast<std::int32_t>(board.endpoint.processor().Axis(axis).position >> 16);
    }
    SimBoard board{kPort, 4, 50.0};
    CTessaroController controller{kPort};
};

TEST_F(Moves, RelativeMovesCarryTheFractionOfAStep) {
    // (Series on every drive are the lifecycle test's.) 0.25 um is 12.75
    // steps: 100 moves are 1275 steps, each alone 13.
    CTessaroZMotion& z = *controller.m_pZMotion;
    const std::int32_t z0 = z.m_pAxis->currentPos_step;
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(z.MoveAndWait(0.25, true));
    EXPECT_EQ(z.m_pAxis->currentPos_step - z0, 1275);
    EXPECT_EQ(Count(2), -(z0 + 1275));  // the stage: flipped
    // Each target is the nearest step, and any other motion starts afresh
    // from the count: three moves of 0.01 um (0.51 steps each) stand at
    // 1.53, 2 steps; after a stop the next one goes 0.51 from there, a step
    // (carried on from 1.53 it would have stayed at 2.04).
    const std::int32_t z1 = z.m_pAxis->currentPos_step;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(z.MoveAndWait(0.01, true));
    EXPECT_EQ(z.m_pAxis->currentPos_step, z1 + 2);
    ASSERT_TRUE(z.MoveVelocity(0.0));
    ASSERT_TRUE(z.MoveAndWait(0.01, true));
    EXPECT_EQ(z.m_pAxis->currentPos_step, z1 + 3);
}

TEST_F(Moves, TargetsBeyondReachAreRefusedWithNothingSent) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    DiagnosticCapture told;
    // The highest count is 2^31 - 1 steps from count 0: 42107522.49 um at
    // 51 steps a micrometre, from a zero point at count 0.
    z.m_pAxis->zeroPos_step = 0;
    const double top = 2147483647.0 / 51.0;
    const std::size_t mark = board.CommandCount();
    for (double target : {top + 0.02, 1e300, -1e300, HUGE_VAL, std::nan("")})
        EXPECT_EQ(z.StartMove(target, false), kTargetRefused) << target;
    // Rotary turns and angles: 100 turns either way.
    EXPECT_EQ(r.StartMove(36000.001, true), kTargetRefused);
    EXPECT_EQ(r.StartMove(-36000.001, true), kTargetRefused);
    EXPECT_EQ(r.StartMove(1e9, false), kTargetRefused);
    EXPECT_EQ(board.Count("SetPosition", mark), 0);
    EXPECT_TRUE(told.Has(u"lies outside"));
    // At the ends themselves the moves go out.
    EXPECT_EQ(z.StartMove(top, false), 0);
    EXPECT_EQ(board.Args("SetPosition", mark, 2), testing_support::Words32(-2147483647));
    const std::int32_t turned = r.m_pAxis->currentPos_step - 100 * 204000;
    EXPECT_EQ(r.StartMove(-36000.0, true), 0);
    EXPECT_EQ(board.Args("SetPosition", mark, 3), testing_support::Words32(-turned));
    ASSERT_TRUE(z.MoveVelocity(0.0) && r.MoveVelocity(0.0));
}

TEST_F(Moves, AMoveTakesAsLongAsTheProfileSays) {
    const CTessaroAxis& a = *controller.m_pZMotion->m_pAxis;
    // 10 rev/s (51000 steps a turn), 4.5 rev/s^2 as the processor gets it.
    // Far: ramps and the run between; short: a triangle; none: no time.
    const double oneRevolution = a.MoveSeconds(51000, 10.0);
    const double far = a.MoveSeconds(51000 * 100, 10.0);
    EXPECT_NEAR(far - oneRevolution, 99.0 / 10.0, 1e-3);
    EXPECT_GT(a.MoveSeconds(10, 10.0), 0.0);
    EXPECT_EQ(a.MoveSeconds(0, 10.0), 0.0);
    EXPECT_TRUE(std::isinf(a.MoveSeconds(10, 0.0)));
    // The wait: the minute up to a move of 36.67 s, then the move's own.
    EXPECT_EQ(WaitBoundMs(36.0), 60000.0);
    EXPECT_EQ(WaitBoundMs(37.0), 60500.0);
    EXPECT_EQ(WaitBoundMs(HUGE_VAL), 60000.0);
    // Against the processor: a turn and a half of the rotary drive at
    // 0.02 rev/s, which used to run past the minute, ends as a success.
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    r.m_pAxis->speed_revolutionPerSecond = 0.02;
    const double predicted = r.m_pAxis->MoveSeconds(204000 * 1.5, 0.02);
    EXPECT_GT(predicted, 75.0);
    EXPECT_LT(predicted, 76.0);
    EXPECT_TRUE(r.MoveAndWait(540.0, true));
    EXPECT_FALSE(board.endpoint.processor().Axis(3).moving);
}

TEST_F(Moves, AMovePastItsBoundIsStoppedAndSaysSo) {
    CTessaroZMotion& z = *controller.m_pZMotion;
    DiagnosticCapture told;
    // 1 mm at 10 rev/s is predicted at well under a minute; the processor
    // is then slowed to a crawl behind the move's back.
    ASSERT_EQ(z.StartMove(1000.0, false), 0);
    ASSERT_EQ(z.m_pAxis->SetVelocityCounts(2), 0);
    ASSERT_EQ(z.m_pAxis->Update(), 0);
    EXPECT_EQ(z.WaitForMotionComplete(), kMoveTimedOut);
    EXPECT_TRUE(told.Has(u"did not reach its target within 60 s"));
    EXPECT_FALSE(board.endpoint.processor().Axis(2).moving);  // stopped, not left running
    EXPECT_EQ(z.m_pAxis->currentPos_step, -Count(2));
}

}  // namespace
}  // namespace tessaro
