// One operation per drive: of starts from several threads at once, one runs
// and the others are busy, whatever the timing.
#include "capi/operation_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "capi/tessaro.h"

namespace tessaro_capi {
namespace {

TEST(OperationSlot, OfStartsAtOnceOneRunsAndTheOthersAreBusy) {
    OperationSlot slot;
    for (int round = 0; round < 500; ++round) {
        std::atomic<int> ready{0};
        std::atomic<bool> release{false};
        int codes[3] = {};
        const auto start = [&](int i) {
            ++ready;
            while (ready.load() < 3) std::this_thread::yield();
            // The operation runs until every start has answered: a second
            // one can only be busy, never follow the first.
            codes[i] = slot.Start([&release] {
                               const auto end =
                                   std::chrono::steady_clock::now() + std::chrono::seconds(5);
                               while (!release && std::chrono::steady_clock::now() < end)
                                   std::this_thread::yield();
                               return Outcome{};
                           })
                           .code;
        };
        std::thread a(start, 0), b(start, 1), c(start, 2);
        a.join();
        b.join();
        c.join();
        release = true;
        bool done = false;
        EXPECT_EQ(slot.Wait(-1, &done).code, TESSARO_OK);
        int ran = 0;
        for (int code : codes) {
            EXPECT_TRUE(code == TESSARO_OK || code == TESSARO_ERROR_BUSY) << code;
            ran += code == TESSARO_OK;
        }
        ASSERT_EQ(ran, 1) << "round " << round;
    }
}

}  // namespace
}  // namespace tessaro_capi
