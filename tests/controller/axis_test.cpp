// The axis model: derived quantities and their wrap-around, conversions
// with defined results for every double, the sense bits, and an axis with
// no controller.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "cmotion/link_commands.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/unit_conversion.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;

constexpr int kPort = 25;

TEST(AxisModel, DerivedQuantitiesAndTheirWrap) {
    CTessaroAxis axis(cmotion::CLinkAxisHandle{}, 0, nullptr);
    // Defaults: 255 microsteps (P = 1020), 200 poles, 1000 um per turn.
    EXPECT_EQ(axis.GetPhaseCounts(), 1020);
    EXPECT_EQ(axis.GetStepsPerRevolution(), 51000u);
    EXPECT_DOUBLE_EQ(axis.GetUnitsPerStep(), 1000.0 / 51000.0);
    EXPECT_DOUBLE_EQ(axis.GetStepsPerUnit(), 51.0);
    // 16384 microsteps * 4 = 65536 wraps to P = 0, and everything follows.
    axis.microsteps = 16384;
    EXPECT_EQ(axis.GetPhaseCounts(), 0);
    EXPECT_EQ(axis.GetStepsPerRevolution(), 0u);
    EXPECT_TRUE(std::isinf(axis.GetUnitsPerStep()));
    EXPECT_EQ(axis.GetPosition(), 0.0);       // shown as 0, never as a non-number
    EXPECT_EQ(axis.SetUpperLimit(100.0), 0);  // K = 0
    axis.microsteps = 16385;
    EXPECT_EQ(axis.GetPhaseCounts(), 4);

    // Limits and zero: trunc(K * um) + zero.
    axis.microsteps = 255;
    axis.zeroPos_step = 1000;
    EXPECT_EQ(axis.SetUpperLimit(10.5), 1535);  // trunc(535.5) + 1000
    EXPECT_EQ(axis.SetLowerLimit(-10.5), 465);  // trunc(-535.5) = -535, toward zero
    EXPECT_NEAR(axis.GetUpperLimit(), 535.0 / 51.0, 1e-12);
    EXPECT_EQ(axis.ShiftZero(1.0), 51);
    EXPECT_EQ(axis.zeroPos_step, 1051);
    EXPECT_EQ(axis.ShiftZero(-10.5), -535);  // toward zero here too
    EXPECT_EQ(axis.zeroPos_step, 516);
    axis.zeroPos_step = 2147483647;
    axis.currentPos_step = -2147483647 - 1;
    EXPECT_DOUBLE_EQ(axis.GetPosition(), 1.0 * (1000.0 / 51000.0));  // the difference wraps to 1

    // Sample time 0: no cycle rate, every speed is 0 counts (no division
    // by zero anywhere).
    EXPECT_EQ(axis.m_uSampleTime_us, 0u);
    EXPECT_EQ(axis.VelocityToCounts(10.0), 0);
    axis.m_uSampleTime_us = 100;
    EXPECT_EQ(axis.VelocityToCounts(10.0), 3342336);
    EXPECT_EQ(axis.VelocityToCounts(-1.0), -334233);
}

TEST(AxisModel, AFlipKeepsEveryPlaceAndTheLimitsOrdered) {
    constexpr std::int32_t kLow = -2147483647 - 1, kHigh = 2147483647;
    // zero, current, min, max before and after a flip from -1 to 1: each
    // count negated, the limits swapped; an end of the range (no limit on
    // that side) stays an end, and -2^31 saturates.
    const struct {
        std::vector<std::int32_t> before, after;
    } kCases[] = {
        {{25500, 25500, 15300, 35700}, {-25500, -25500, -35700, -15300}},
        {{-10, 20, kLow, kHigh}, {10, -20, kLow, kHigh}},
        {{0, 0, kLow, 500}, {0, 0, -500, kHigh}},
        {{kLow, kLow, kLow + 1, kHigh - 1}, {kHigh, kHigh, -kHigh + 1, kHigh}},
    };
    for (const auto& c : kCases) {
        CTessaroAxis axis(cmotion::CLinkAxisHandle{}, 0, nullptr);
        axis.axisFlip = -1;
        axis.zeroPos_step = c.before[0];
        axis.currentPos_step = c.before[1];
        axis.minPos_step = c.before[2];
        axis.maxPos_step = c.before[3];
        const double position = axis.GetPosition();
        axis.SetFlip(1);
        EXPECT_EQ((std::vector<std::int32_t>{axis.zeroPos_step, axis.currentPos_step,
                                             axis.minPos_step, axis.maxPos_step}),
                  c.after);
        if (c.before[0] != kLow) {
            EXPECT_DOUBLE_EQ(axis.GetPosition(), -position);
        }
        EXPECT_LE(axis.GetLowerLimit(), axis.GetUpperLimit());
    }
    // A limit set beyond the count range stays at its end.
    CTessaroAxis axis(cmotion::CLinkAxisHandle{}, 0, nullptr);
    axis.zeroPos_step = 1000;
    EXPECT_EQ(axis.SetUpperLimit(1e300), kHigh);
    EXPECT_EQ(axis.SetLowerLimit(-1e300), kLow);
}

TEST(AxisModel, ConversionsHaveDefinedResultsForEveryDouble) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(
        (std::vector<std::int64_t>{TruncToInt64(nan), TruncToInt64(inf), TruncToInt64(-inf),
                                   TruncToInt64(1e300), TruncToInt64(-2.9), TruncToInt64(4.9e-324),
                                   TruncToInt32(3e9), TruncToInt32(-3e9), TruncToInt32(nan)}),
        (std::vector<std::int64_t>{0, kMax64, -kMax64 - 1, kMax64, -2, 0, 2147483647, -2147483648LL,
                                   0}));
    EXPECT_EQ(WrapAdd(2147483647, 1), -2147483647 - 1);
    EXPECT_EQ(WrapMul(-1, -2147483647 - 1), -2147483647 - 1);
    // Directed counts saturate in the direction asked for, never wrap: at
    // the edge of the range, and one beyond it.
    EXPECT_EQ(SignedCount(-334233, -1), 334233);
    EXPECT_EQ(SignedCount(2147483647, -1), -2147483647);
    EXPECT_EQ(SignedCount(2147483648LL, 1), 2147483647);
    EXPECT_EQ(SignedCount(-2147483647 - 1, -1), 2147483647);
    EXPECT_EQ(SignedCount(std::numeric_limits<std::int64_t>::min(), -1, 1), 2147483647);
    EXPECT_EQ(SignedCount(std::numeric_limits<std::int64_t>::max(), -1, -1), 2147483647);
    EXPECT_EQ(SignedCount(1000, -128, -1), 128000);
    EXPECT_EQ(Saturate32(-2147483649LL), -2147483647 - 1);
    // Only "Invalid Move into Limit" ends a move as a success; a pending
    // limit event (13) is still a refusal.
    EXPECT_EQ(
        (std::vector<int>{FoldMoveIntoLimit(13), FoldMoveIntoLimit(14), FoldMoveIntoLimit(15)}),
        (std::vector<int>{13, 0, 15}));

    CTessaroAxis axis(cmotion::CLinkAxisHandle{}, 0, nullptr);
    axis.m_uSampleTime_us = 100;
    EXPECT_EQ(axis.VelocityToCounts(nan), 0);
    EXPECT_EQ(axis.VelocityToCounts(inf), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(axis.SetUpperLimit(nan), 0);
    EXPECT_EQ(axis.SetUpperLimit(1e300), 2147483647);
    EXPECT_EQ(axis.SetLowerLimit(-inf), -2147483647 - 1);
}

TEST(AxisModel, WithoutAControllerNothingIsSent) {
    CTessaroAxis axis(cmotion::CLinkAxisHandle{}, 2, nullptr);
    EXPECT_FALSE(axis.Initialize());
    bool changed = true;
    std::uint16_t status = 0;
    EXPECT_EQ((std::vector<int>{axis.ApplySettings(), axis.RefreshPosition(&changed),
                                axis.SetProfileMode(1), axis.Update(), axis.Stop(),
                                axis.GetEventStatus(&status)}),
              (std::vector<int>{0, 0, 3, 3, 3, 3}));
}

// (The profile-mode cache: a second move sends no mode, Motion.ZMove; a
// load empties it, the collected-move test's refused SetProfileMode.)
TEST(AxisModel, SenseBits) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    CTessaroAxis& axis = *controller.m_axes[2];
    CKxMutexLock motionLock(controller.m_lock);  // keep polling reads out of the way
    // Positive switches clear bits 4 and 5, negative ones set them.
    for (const auto& [positive, before, after] :
         {std::tuple<bool, std::uint16_t, std::uint16_t>{true, 0x00FF, 0x00CF}, {false, 0, 0x30}}) {
        cmotion::SetSignalSense(&axis.m_handle, before);
        axis.positiveLimitSwitches = positive;
        const std::size_t mark = board.CommandCount();
        ASSERT_EQ(axis.ApplySettings(), 0);
        EXPECT_EQ(board.Args("SetSignalSense", mark, 2), (std::vector<std::uint16_t>{after}));
    }
}

}  // namespace
}  // namespace tessaro
