// Limit-switch searches against simulated switches. Z and the stage axes
// count the other way round than the processor (axisFlip -1), so the lower
// limit is the processor's positive switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "host/kx_time.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;
using testing_support::SimCommand;

constexpr int kPort = 24;

sim::LimitSwitches Switches(bool hasNegative, std::int32_t negative, bool hasPositive,
                            std::int32_t positive) {
    sim::LimitSwitches s;
    s.hasNegative = hasNegative;
    s.negative = negative;
    s.hasPositive = hasPositive;
    s.positive = positive;
    return s;
}

TEST(LimitSearch, ZLowerAndUpperLimits) {
    SimBoard board(kPort, 4, 10.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    // Switches far enough apart for the seek, which backs off at full speed
    // (51 steps a cycle) for up to 100 ms between looks at the switches.
    board.endpoint.processor().SetLimitSwitches(2, Switches(true, -200000, true, 5000));
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroAxis& axis = *z.m_pAxis;

    ASSERT_EQ(z.FindLowerLimit(), 0);
    // The processor's count at the switch is 5000 (and a few steps of the
    // 1 rev/s approach): minPos_step is -5000.
    EXPECT_LE(axis.minPos_step, -5000);
    EXPECT_GT(axis.minPos_step, -5006);
    EXPECT_EQ(axis.currentPos_step, axis.minPos_step);
    EXPECT_EQ(axis.speed_revolutionPerSecond, 10.0);  // restored
    EXPECT_EQ(axis.maxPos_step, 2147483647);

    ASSERT_EQ(z.FindLimits(), 0);
    EXPECT_GE(axis.maxPos_step, 200000);
    EXPECT_LT(axis.maxPos_step, 200006);
    EXPECT_NEAR(axis.GetPosition(), axis.GetUpperLimit(), 1e-9);
    controller.Close();
}

TEST(LimitSearch, SwitchAlreadyActiveAtTheStart) {
    SimBoard board(kPort, 4, 10.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    // Pressed from count 0 up: the fast run is refused with 14, which counts
    // as success; the seek backs off and approaches again.
    board.endpoint.processor().SetLimitSwitches(2, Switches(false, 0, true, 0));
    const std::size_t mark = board.CommandCount();
    ASSERT_EQ(controller.m_pZMotion->FindLowerLimit(), 0);
    const auto cmds = board.Commands(mark);
    EXPECT_TRUE(std::any_of(cmds.begin(), cmds.end(), [](const SimCommand& c) {
        return c.name == "Update" && c.status == 14;
    }));
    EXPECT_LE(controller.m_pZMotion->m_pAxis->minPos_step, 0);
    EXPECT_GT(controller.m_pZMotion->m_pAxis->minPos_step, -6);
    controller.Close();
}

TEST(LimitSearch, ProcessorFallingSilentDuringTheSeek) {
    SimBoard board(kPort, 4, 10.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    board.endpoint.processor().SetLimitSwitches(2, Switches(false, 0, true, 5000));
    board.Fault("silence:op=GetSignalStatus");  // the seek's first look at the switches
    CTessaroAxis& axis = *controller.m_pZMotion->m_pAxis;
    EXPECT_NE(controller.m_pZMotion->FindLowerLimit(), 0);
    EXPECT_EQ(axis.speed_revolutionPerSecond, 10.0);
    EXPECT_EQ(axis.minPos_step, -2147483647 - 1);  // unchanged
    controller.Close();
}

TEST(LimitSearch, WaitsEndAfterSixtySecondsOnASpedUpClock) {
    // No switches at all: the fast run's wait and the approach's wait each
    // run into their 60 s bound and report success.
    SimBoard board(kPort, 4, 1000.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    const double t0 = KX_GetTimeCounter();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(controller.m_pZMotion->FindLowerLimit(), 0);
    EXPECT_GE(KX_GetTimeCounter() - t0, 2 * 60000.0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The count stored is where the axis was when the wait gave up. It is
    // still approaching the lower side, so the refresh right after reads
    // lower still.
    const CTessaroAxis& axis = *controller.m_pZMotion->m_pAxis;
    EXPECT_NE(axis.minPos_step, -2147483647 - 1);
    EXPECT_LE(axis.currentPos_step, axis.minPos_step);
    controller.Close();
}

TEST(LimitSearch, AStopEndsTheSearchStopsTheAxesAndStoresNothing) {
    // No switches: without the stop each side would run for a minute.
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    CTessaroZMotion& z = *controller.m_pZMotion;
    CTessaroXYMotion& xy = *controller.m_pXYMotion;
    struct Case {
        const char* name;
        std::function<std::uint16_t()> search;
        std::function<bool()> stop;
        std::vector<CTessaroAxis*> axes;
    };
    const Case cases[] = {
        {"Z", [&] { return z.FindLimits(); }, [&] { return z.MoveVelocity(0); }, {z.m_pAxis}},
        {"XY",
         [&] { return xy.FindLimits(); },
         [&] { return xy.MoveVelocity(0, 0); },
         {xy.m_pAxisX, xy.m_pAxisY}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // No search running: a stop is an ordinary stop.
        EXPECT_TRUE(c.stop());
        const std::size_t mark = board.CommandCount();
        std::uint16_t result = 0;
        std::thread search([&] { result = c.search(); });
        // Wait (bounded) until the fast run is under way.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (board.Count("SetVelocity", mark, c.axes[0]->axisNumber()) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(c.stop());  // does not wait for the search's motion lock
        search.join();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
        EXPECT_EQ(result, kSearchStopped);
        const auto cmds = board.Commands(mark);
        for (CTessaroAxis* axis : c.axes) {
            EXPECT_EQ(axis->minPos_step, -2147483647 - 1);  // nothing stored
            EXPECT_EQ(axis->maxPos_step, 2147483647);
            EXPECT_EQ(axis->speed_revolutionPerSecond, 10.0);  // restored
            // The axis was stopped: its last commands are the stop and an
            // Update.
            std::vector<std::string> last;
            for (const auto& cmd : cmds)
                if (cmd.axis == axis->axisNumber() && cmd.name != "GetCommandedPosition")
                    last.push_back(cmd.name);
            ASSERT_GE(last.size(), 2u);
            EXPECT_EQ(last[last.size() - 2], "SetStopMode");
            EXPECT_EQ(last.back(), "Update");
        }
    }
    controller.Close();
}

TEST(LimitSearch, StageAxesClearingInDifferentPasses) {
    SimBoard board(kPort, 4, 10.0);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    // X: an ordinary switch at count 5000. Y: deep in its switch from the
    // start (pressed from -100000 up), so its back-off needs about 200 ms
    // and clears only in the third pass.
    board.endpoint.processor().SetLimitSwitches(0, Switches(false, 0, true, 5000));
    board.endpoint.processor().SetLimitSwitches(1, Switches(false, 0, true, -100000));
    const std::size_t mark = board.CommandCount();
    ASSERT_EQ(controller.m_pXYMotion->FindLowerLimits(), 0);
    // X was stopped once when it cleared and restarted by each later pass.
    EXPECT_EQ(board.Count("SetStopMode", mark, 0), 1);
    EXPECT_GE(board.Count("SetVelocity", mark, 0), 4);  // fast run, 3 back-offs, approach
    CTessaroAxis& x = *controller.m_pXYMotion->m_pAxisX;
    CTessaroAxis& y = *controller.m_pXYMotion->m_pAxisY;
    EXPECT_LE(x.minPos_step, -5000);
    EXPECT_GT(x.minPos_step, -5006);
    EXPECT_LE(y.minPos_step, 100000);
    EXPECT_GT(y.minPos_step, 99994);
    EXPECT_EQ(x.speed_revolutionPerSecond, 10.0);
    EXPECT_EQ(y.speed_revolutionPerSecond, 10.0);
    controller.Close();
}

}  // namespace
}  // namespace tessaro
