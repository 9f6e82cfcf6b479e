// One drive's long operation (a move, a search, the collected moves) run on
// its own thread, so that the caller may return at once and wait later, in
// slices: a script's Ctrl-C gets through between them.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace tessaro_capi {

// What an operation came to: a result code of the C interface, its reason
// and the device's line that says why (when one did).
struct Outcome {
    Outcome() = default;
    Outcome(int c, std::string why, std::string line = {})
        : code(c), reason(std::move(why)), deviceLine(std::move(line)) {}
    int code = 0;
    std::string reason;
    std::string deviceLine;
};

class OperationSlot {
  public:
    OperationSlot() = default;
    ~OperationSlot();
    OperationSlot(const OperationSlot&) = delete;
    OperationSlot& operator=(const OperationSlot&) = delete;

    // Starts `operation`. Refused (with the reason) while one runs, and once
    // when the one before failed and nobody waited for it: a failure is
    // never dropped unseen (a stop is no failure: it was asked for).
    Outcome Start(std::function<Outcome()> operation);
    // Waits up to `timeoutMs` (negative: until it ends). The outcome of the
    // operation, once (later waits answer success); `*done` false while it
    // still runs.
    Outcome Wait(int timeoutMs, bool* done);
    bool Running();
    // Waits up to `timeoutMs` for a running operation to end, leaving its
    // outcome to Wait; true when none runs (any more).
    bool Ended(int timeoutMs);

  private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::thread m_thread;  // under m_mutex
    bool m_running = false;
    bool m_finished = false;  // ... and its outcome not yet taken
    Outcome m_outcome;
};

}  // namespace tessaro_capi
