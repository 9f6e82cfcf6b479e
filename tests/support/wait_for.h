// Bounded waits for tests: tests never sleep a guessed time, they wait for
// the event itself, up to a limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/serial_port.h"

namespace testing_support {

// Polls `condition` until it holds or `limit` has passed; whether it held.
template <typename Condition>
bool WaitFor(Condition condition,
             std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Waits until at least `count` bytes are in the port's receive queue; the
// number there at the end (0 when the queue cannot be read).
inline std::uint32_t WaitForPendingInput(
    platform::SerialHandle port, std::uint32_t count,
    std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    std::uint32_t pending = 0;
    WaitFor(
        [&] {
            if (!platform::CurrentSerialApi().PendingInput(port, &pending)) pending = 0;
            return pending >= count;
        },
        limit);
    return pending;
}

}  // namespace testing_support
