#include "capi/operation_slot.h"

#include <chrono>
#include <system_error>

#include "capi/tessaro.h"

namespace tessaro_capi {

OperationSlot::~OperationSlot() {
    bool done = false;
    Wait(-1, &done);
}

bool OperationSlot::Running() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running && !m_finished;
}

bool OperationSlot::Ended(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return !m_running || m_finished; });
}

Outcome OperationSlot::Start(std::function<Outcome()> operation) {
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running && !m_finished)
            return {TESSARO_ERROR_BUSY, "the drive is still carrying out its last operation"};
        if (m_running) {
            // Ended, not waited for: a success is taken as seen, and so is
            // a stop (the caller asked for it); a failure is told now
            // instead of the new operation.
            Outcome earlier = m_outcome;
            m_running = m_finished = false;
            finished = std::move(m_thread);
            if (earlier.code != TESSARO_OK && earlier.code != TESSARO_STOPPED) {
                // It has let go of the lock for good: joined at once.
                finished.join();
                earlier.reason = "the drive's last operation failed: " + earlier.reason;
                return earlier;
            }
        }
        // The slot is taken here, under the same lock as the check: a
        // second start from another thread is busy from this moment, not
        // only once the thread below exists.
        m_running = true;
        m_finished = false;
        m_outcome = {};
    }
    if (finished.joinable()) finished.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    // The operation's thread takes the lock to finish: it cannot end before
    // it is stored here.
    try {
        m_thread = std::thread([this, operation = std::move(operation)] {
            Outcome outcome = operation();
            std::lock_guard<std::mutex> lock(m_mutex);
            m_outcome = std::move(outcome);
            m_finished = true;
            m_ended.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the slot is free again, and nothing started.
        m_running = false;
        m_ended.notify_all();
        return {TESSARO_ERROR, "no thread could be started for the operation"};
    }
    return {};
}

Outcome OperationSlot::Wait(int timeoutMs, bool* done) {
    std::thread finished;
    Outcome outcome;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto ended = [this] { return !m_running || m_finished; };
        if (timeoutMs < 0)
            m_ended.wait(lock, ended);
        else if (!m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
            return *done = false, Outcome{TESSARO_ERROR_TIMEOUT, "the drive is still moving"};
        *done = true;
        if (!m_running) return {};  // nothing ran, or its outcome was taken
        outcome = std::move(m_outcome);
        m_outcome = {};
        m_running = m_finished = false;
        finished = std::move(m_thread);
    }
    finished.join();
    return outcome;
}

}  // namespace tessaro_capi
