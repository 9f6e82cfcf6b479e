// The board's event thread: a callback replaced is not called again, and
// replacing it waits only for the call of it that runs.
#include "capi/event_delivery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace tessaro_capi {
namespace {

TEST(EventDelivery, ReplacingASlowCallbackWaitsOnlyForItsRunningCall) {
    EventDelivery events;
    std::atomic<int> calls{0};
    events.SetCallback([&calls](int, double, double) {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    std::atomic<bool> posting{true};
    std::thread poster([&] {
        for (int i = 0; posting; ++i) {
            events.Post(2, i, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (calls < 3) std::this_thread::yield();
    // Reports keep coming faster than the callbacks return: the wait ends
    // with the call of the old one that ran, not when no call runs (with
    // a slow successor, never).
    std::atomic<int> successor{0};
    EXPECT_TRUE(events.SetCallback(
        [&successor](int, double, double) {
            ++successor;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        },
        500));
    const int after = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, after);
    EXPECT_GT(successor, 0);
    posting = false;
    poster.join();
    events.SetCallback(nullptr);
}

TEST(EventDelivery, LinesWaitForACallbackAndOneThatRemovesItselfGetsNoMore) {
    EventDelivery events;
    // More than are kept: the oldest go, and a line of its own says so.
    for (std::size_t i = 0; i < EventDelivery::kLinesKept + 5; ++i)
        events.PostLine(false, "line " + std::to_string(i));
    // What the callbacks saw, under `seen` (they run on the event thread).
    std::mutex seen;
    int calls = 0;
    std::string first, next;
    const auto read = [&seen](const auto& value) {
        std::lock_guard<std::mutex> lock(seen);
        return value;
    };
    events.SetLineCallback([&](bool warning, const std::string& line) {
        {
            std::lock_guard<std::mutex> lock(seen);
            if (calls++ == 0) first = line;
        }
        EXPECT_TRUE(warning);
        events.SetLineCallback(nullptr);  // from its own call: no wait
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(read(calls), 1);
    EXPECT_NE(read(first).find("5 earlier lines were dropped"), std::string::npos) << read(first);
    // The rest wait for the next callback, in order.
    EXPECT_TRUE(events.SetLineCallback([&](bool, const std::string& line) {
        std::lock_guard<std::mutex> lock(seen);
        if (next.empty()) next = line;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(read(next), "line 5");
    events.SetLineCallback(nullptr);
}

}  // namespace
}  // namespace tessaro_capi
