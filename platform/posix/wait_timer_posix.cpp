#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/wait_timer.h"

namespace platform {

WaitTimerKind CurrentWaitTimerKind() {
    return WaitTimerKind::SystemClock;
}

void PreciseSleep(double ms) {
    if (!(ms > 0)) return;  // also NaN
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

TimerResolutionScope::TimerResolutionScope() = default;
TimerResolutionScope::~TimerResolutionScope() = default;

struct WakeableWait::State {
    std::mutex mutex;
    std::condition_variable woken;
    bool bWoken = false;
};

WakeableWait::WakeableWait() : m_pState(new State) {}
WakeableWait::~WakeableWait() {
    delete m_pState;
}

bool WakeableWait::WaitFor(double ms) {
    std::unique_lock<std::mutex> lock(m_pState->mutex);
    if (!(ms > 0)) return m_pState->bWoken;
    return m_pState->woken.wait_for(lock, std::chrono::duration<double, std::milli>(ms),
                                    [&] { return m_pState->bWoken; });
}

void WakeableWait::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_pState->bWoken = true;
    }
    m_pState->woken.notify_all();
}

void WakeableWait::Reset() {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    m_pState->bWoken = false;
}

}  // namespace platform
