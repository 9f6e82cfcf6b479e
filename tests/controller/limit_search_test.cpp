// Limit-switch searches against simulated switches. Z and the stage axes
// count the other way round than the processor (axisFlip -1), so the lower
// limit is the processor's positive switch.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "host/kx_time.h"
#include "tests/support/sim_board.h"
#include "tests/support/wait_for.h"

namespace tessaro {
namespace {

constexpr int kPort = 24;
constexpr std::int32_t kNone = -2147483647 - 1;  // minPos_step before any search

// A controller opened on a board with these switches on `axis`
// (hasNegative/negative, hasPositive/positive).
struct Searching {
    explicit Searching(double speed) : board(kPort, 4, speed) { EXPECT_TRUE(controller.Open()); }
    void Switches(int axis, bool hasNegative, std::int32_t negative, bool hasPositive,
                  std::int32_t positive) {
        sim::LimitSwitches s;
        s.hasNegative = hasNegative;
        s.negative = negative;
        s.hasPositive = hasPositive;
        s.positive = positive;
        board.endpoint.processor().SetLimitSwitches(axis, s);
    }
    testing_support::SimBoard board;
    CTessaroController controller{kPort};
};

TEST(LimitSearch, ZLowerAndUpperLimits) {
    Searching rig(10.0);
    // Switches far enough apart for the seek, which backs off at full speed
    // (51 steps a cycle) for up to 100 ms between looks at the switches.
    rig.Switches(2, true, -200000, true, 5000);
    CTessaroZMotion& z = *rig.controller.m_pZMotion;
    CTessaroAxis& axis = *z.m_pAxis;
    ASSERT_EQ(z.FindLowerLimit(), 0);
    // The processor's count at the switch is 5000 (and a few steps of the
    // 1 rev/s approach): minPos_step is -5000; the speed is restored.
    EXPECT_TRUE(axis.minPos_step <= -5000 && axis.minPos_step > -5006) << axis.minPos_step;
    EXPECT_EQ(axis.currentPos_step, axis.minPos_step);
    EXPECT_EQ(axis.speed_revolutionPerSecond, 10.0);
    EXPECT_EQ(axis.maxPos_step, 2147483647);
    ASSERT_EQ(z.FindLimits(), 0);
    EXPECT_TRUE(axis.maxPos_step >= 200000 && axis.maxPos_step < 200006) << axis.maxPos_step;
    EXPECT_NEAR(axis.GetPosition(), axis.GetUpperLimit(), 1e-9);
}

TEST(LimitSearch, SwitchAlreadyActiveAtTheStartOrAProcessorFallingSilent) {
    {
        // Pressed from count 0 up: the fast run is refused with 14, which
        // counts as success; the seek backs off and approaches again.
        Searching rig(10.0);
        rig.Switches(2, false, 0, true, 0);
        const std::size_t mark = rig.board.CommandCount();
        ASSERT_EQ(rig.controller.m_pZMotion->FindLowerLimit(), 0);
        bool refused = false;
        for (const auto& c : rig.board.Commands(mark))
            refused |= c.name == "Update" && c.status == 14;
        EXPECT_TRUE(refused);
        const std::int32_t found = rig.controller.m_pZMotion->m_pAxis->minPos_step;
        EXPECT_TRUE(found <= 0 && found > -6) << found;
    }
    {
        // Silent from the seek's first look at the switches: a failure, the
        // speed restored and nothing stored.
        Searching rig(10.0);
        rig.Switches(2, false, 0, true, 5000);
        rig.board.Fault("silence:op=GetSignalStatus");
        CTessaroAxis& axis = *rig.controller.m_pZMotion->m_pAxis;
        EXPECT_NE(rig.controller.m_pZMotion->FindLowerLimit(), 0);
        EXPECT_EQ(axis.speed_revolutionPerSecond, 10.0);
        EXPECT_EQ(axis.minPos_step, kNone);
    }
}

TEST(LimitSearch, WaitsEndAfterSixtySecondsOnASpedUpClock) {
    // No switches at all: the fast run's wait and the approach's wait each
    // run into their 60 s bound and report success.
    Searching rig(1000.0);
    rig.controller.m_pZMotion->m_pAxis->positionTrusted = false;
    const double t0 = KX_GetTimeCounter();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rig.controller.m_pZMotion->FindLowerLimit(), 0);
    EXPECT_GE(KX_GetTimeCounter() - t0, 2 * 60000.0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The count stored is where the axis was when the wait gave up. It is
    // still approaching the lower side, so the refresh right after reads
    // lower still.
    const CTessaroAxis& axis = *rig.controller.m_pZMotion->m_pAxis;
    EXPECT_NE(axis.minPos_step, kNone);
    EXPECT_LE(axis.currentPos_step, axis.minPos_step);
    EXPECT_FALSE(axis.positionTrusted);  // no switch met: nothing measured
}

TEST(LimitSearch, TheApproachRetriesARefusedStartForAMinute) {
    // A processor that refuses the approach's start with 13 (a limit event
    // still pending): tried again every 50 ms until it is taken, or for 60 s
    // of the host's clock, then given up as a success.
    Searching rig(100.0);
    CTessaroAxis& axis = *rig.controller.m_pZMotion->m_pAxis;
    for (const auto& [refusals, from, below] :
         {std::tuple<int, double, double>{5, 150, 60000}, {0, 60000, 65000}}) {
        SCOPED_TRACE(refusals);
        rig.board.Fault("refuse:status=13:op=Update:axis=2" +
                        (refusals ? ":count=" + std::to_string(refusals) : ":from=1"));
        const double t0 = KX_GetTimeCounter();
        EXPECT_EQ(axis.StartLimitApproach(1), 0);
        const double elapsed = KX_GetTimeCounter() - t0;
        EXPECT_TRUE(elapsed >= from && elapsed < below) << elapsed << " ms";
        EXPECT_EQ(rig.board.endpoint.processor().Axis(2).moving, refusals > 0);
        rig.board.endpoint.faults().Clear();
        ASSERT_TRUE(rig.controller.m_pZMotion->MoveVelocity(0));
    }
}

TEST(LimitSearch, AStopEndsTheSearchStopsTheAxesAndStoresNothing) {
    // No switches: without the stop each side would run for a minute.
    Searching rig(1.0);
    CTessaroZMotion& z = *rig.controller.m_pZMotion;
    CTessaroXYMotion& xy = *rig.controller.m_pXYMotion;
    const struct {
        const char* name;
        std::function<std::uint16_t()> search;
        std::function<bool()> stop;
        std::vector<CTessaroAxis*> axes;
    } cases[] = {
        {"Z", [&] { return z.FindLimits(); }, [&] { return z.MoveVelocity(0); }, {z.m_pAxis}},
        {"XY",
         [&] { return xy.FindLimits(); },
         [&] { return xy.MoveVelocity(0, 0); },
         {xy.m_pAxisX, xy.m_pAxisY}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.stop());  // no search running: an ordinary stop
        const std::size_t mark = rig.board.CommandCount();
        std::uint16_t result = 0;
        std::thread search([&] { result = c.search(); });
        // Wait (bounded) until the fast run is under way.
        testing_support::WaitFor(
            [&] { return rig.board.Count("SetVelocity", mark, c.axes[0]->axisNumber()) > 0; });
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(c.stop());  // does not wait for the search's motion lock
        search.join();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
        EXPECT_EQ(result, kStoppedByHost);
        for (CTessaroAxis* axis : c.axes) {
            // Nothing stored, the speed restored, and the axis stopped and
            // at rest, its position read after: its last commands (position
            // reads and the waits for rest aside) are the stop and an Update.
            EXPECT_EQ((std::vector<double>{double(axis->minPos_step), double(axis->maxPos_step),
                                           axis->speed_revolutionPerSecond}),
                      (std::vector<double>{kNone, 2147483647, 10}));
            const sim::AxisState board = rig.board.endpoint.processor().Axis(axis->axisNumber());
            EXPECT_FALSE(board.moving);
            EXPECT_EQ(axis->currentPos_step, axis->axisFlip * board.CommandedSteps());
            std::vector<std::string> last;
            for (const auto& cmd : rig.board.Commands(mark, axis->axisNumber()))
                if (cmd.name != "GetCommandedPosition" && cmd.name != "GetActivityStatus")
                    last.push_back(cmd.name);
            ASSERT_GE(last.size(), 2u);
            EXPECT_EQ(std::vector<std::string>(last.end() - 2, last.end()),
                      (std::vector<std::string>{"SetStopMode", "Update"}));
        }
    }
}

TEST(LimitSearch, StageAxesClearingInDifferentPasses) {
    Searching rig(10.0);
    // X: an ordinary switch at count 5000. Y: deep in its switch from the
    // start (pressed from -100000 up), so its back-off needs about 200 ms
    // and clears only in the third pass.
    rig.Switches(0, false, 0, true, 5000);
    rig.Switches(1, false, 0, true, -100000);
    const std::size_t mark = rig.board.CommandCount();
    ASSERT_EQ(rig.controller.m_pXYMotion->FindLowerLimits(), 0);
    // X was stopped once when it cleared and restarted by each later pass:
    // the fast run, 3 back-offs and the approach.
    EXPECT_EQ(rig.board.Count("SetStopMode", mark, 0), 1);
    EXPECT_GE(rig.board.Count("SetVelocity", mark, 0), 4);
    const CTessaroAxis& x = *rig.controller.m_pXYMotion->m_pAxisX;
    const CTessaroAxis& y = *rig.controller.m_pXYMotion->m_pAxisY;
    EXPECT_TRUE(x.minPos_step <= -5000 && x.minPos_step > -5006) << x.minPos_step;
    EXPECT_TRUE(y.minPos_step <= 100000 && y.minPos_step > 99994) << y.minPos_step;
    EXPECT_EQ((std::vector<double>{x.speed_revolutionPerSecond, y.speed_revolutionPerSecond}),
              (std::vector<double>{10, 10}));
}

}  // namespace
}  // namespace tessaro
