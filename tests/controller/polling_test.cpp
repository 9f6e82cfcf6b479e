// The polling thread: callbacks only for changes, one per changed pass, both
// stage positions in one record, frozen positions when the processor falls
// silent, and a thread that Close always ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/sim_board.h"
#include "tests/support/wait_for.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;
using testing_support::WaitFor;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 23;

struct Recorded {
    std::mutex mutex;
    std::vector<std::pair<double, double>> positions;
    std::atomic<int> count{0};
    static void Callback(std::uint32_t, SKxDevicePosition* record, std::uint64_t context) {
        auto* self = reinterpret_cast<Recorded*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->positions.emplace_back(record->dPosition[0], record->dPosition[1]);
        ++self->count;
    }
};

template <typename Motion>
void Install(Motion* motion, Recorded* recorded) {
    motion->m_pfnPositionCallback = &Recorded::Callback;
    motion->m_pCallbackContext = reinterpret_cast<std::uint64_t>(recorded);
}

TEST(Polling, CallbacksOnlyForChangesOnePerChangedPass) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    Recorded z, xy;
    Install(controller.m_pZMotion, &z);
    Install(controller.m_pXYMotion, &xy);

    // Nothing moves: several passes, no callback.
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(WaitFor([&] { return board.CommandCount() >= mark + 12; }));  // 3 passes of 4 reads
    EXPECT_EQ(z.count, 0);
    EXPECT_EQ(xy.count, 0);

    // One step on Z, done within one cycle: exactly one callback.
    CTessaroAxis& zAxis = *controller.m_pZMotion->m_pAxis;
    {
        CKxMutexLock lock(controller.m_pZMotion->m_lock);
        ASSERT_EQ(zAxis.SetProfileMode(kProfilePositioning), 0);
        ASSERT_EQ(zAxis.SetVelocityCounts(65536), 0);
        ASSERT_EQ(zAxis.SetDestination(-1), 0);
        ASSERT_EQ(zAxis.Update(), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return z.count >= 1; }));
    const std::size_t after = board.CommandCount();
    ASSERT_TRUE(WaitFor([&] { return board.CommandCount() >= after + 12; }));
    EXPECT_EQ(z.count, 1);
    EXPECT_EQ(xy.count, 0);
    EXPECT_EQ(zAxis.currentPos_step, 1);

    // Y alone moves: one record carrying both stage positions.
    CTessaroAxis& yAxis = *controller.m_pXYMotion->m_pAxisY;
    {
        CKxMutexLock lock(controller.m_pXYMotion->m_lock);
        ASSERT_EQ(yAxis.SetProfileMode(kProfilePositioning), 0);
        ASSERT_EQ(yAxis.SetVelocityCounts(65536 * 51), 0);
        ASSERT_EQ(yAxis.SetDestination(-51), 0);  // 1 um
        ASSERT_EQ(yAxis.Update(), 0);
    }
    // On a real line a pass may see the move halfway (a loaded machine's
    // scheduling): wait for the end, and X is in every record unchanged.
    const auto last = [&] {
        std::lock_guard<std::mutex> lock(xy.mutex);
        return xy.positions.empty() ? std::make_pair(-1.0, -1.0) : xy.positions.back();
    };
    ASSERT_TRUE(WaitFor([&] { return std::abs(last().second - 1.0) < 1e-9; }));
    {
        std::lock_guard<std::mutex> lock(xy.mutex);
        for (const auto& record : xy.positions) EXPECT_DOUBLE_EQ(record.first, 0.0);
    }
    controller.Close();
}

TEST(Polling, SilentProcessorFreezesPositionsAndCloseStillEndsTheThread) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    Recorded z;
    Install(controller.m_pZMotion, &z);
    ASSERT_TRUE(controller.m_pZMotion->MoveVelocity(1.0));
    ASSERT_TRUE(WaitFor([&] { return z.count >= 2; }));  // moving: callbacks come
    board.Fault("silence:from=1");
    const int frozenAt = z.count;
    const std::size_t mark = board.CommandCount();
    ASSERT_TRUE(
        WaitFor([&] { return board.CommandCount() >= mark + 8; }));  // the thread keeps polling
    EXPECT_LE(z.count, frozenAt + 1);  // at most a pass that was under way
    const int settled = z.count;
    const std::int32_t position = controller.m_pZMotion->m_pAxis->currentPos_step;
    ASSERT_TRUE(WaitFor([&] { return board.CommandCount() >= mark + 16; }));
    EXPECT_EQ(z.count, settled);
    EXPECT_EQ(controller.m_pZMotion->m_pAxis->currentPos_step, position);

    const auto start = Clock::now();
    controller.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // A closed controller tells the host nothing more.
    EXPECT_TRUE(controller.m_pZMotion->NotifyPosition());
    EXPECT_EQ(z.count, settled);
}

}  // namespace
}  // namespace tessaro
