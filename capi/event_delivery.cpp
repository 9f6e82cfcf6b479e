#include "capi/event_delivery.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tessaro_capi {

struct EventDelivery::State {
    struct Event {
        int drive;
        double a, b;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> queue;  // under mutex, at most one per drive
    Callback callback;        // under mutex
    bool stopping = false;    // under mutex
    // A call of the program runs (the callback copied out of the lock).
    bool delivering = false;  // under mutex
    std::thread::id thread;   // set once before the first event
};

EventDelivery::EventDelivery() : m_state(std::make_shared<State>()) {
    // The id is known before the constructor returns: OnDeliveryThread is
    // right from the first callback on.
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_thread = std::thread(Run, m_state);
    m_state->thread = m_thread.get_id();
}

EventDelivery::~EventDelivery() {
    bool delivering = false;
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->stopping = true;
        m_state->callback = nullptr;
        m_state->queue.clear();
        m_state->changed.notify_all();
        // A callback of another thread gets 10 s to return.
        if (!OnDeliveryThread())
            m_state->changed.wait_for(lock, std::chrono::seconds(10),
                                      [this] { return !m_state->delivering; });
        delivering = m_state->delivering;
    }
    // A thread still in the program's callback (this one, when a callback
    // disconnects) ends on its own once that returns: it holds the state it
    // shares, and touches nothing else of ours.
    if (delivering)
        m_thread.detach();
    else
        m_thread.join();
}

bool EventDelivery::OnDeliveryThread() const {
    return std::this_thread::get_id() == m_state->thread;
}

void EventDelivery::Post(int drive, double a, double b) {
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->stopping || !m_state->callback) return;
        for (State::Event& waiting : m_state->queue) {
            if (waiting.drive == drive) {
                waiting.a = a;
                waiting.b = b;
                return;
            }
        }
        m_state->queue.push_back({drive, a, b});
    }
    m_state->changed.notify_all();
}

bool EventDelivery::SetCallback(Callback callback, int boundMs) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->callback = std::move(callback);
    // Events queued for the callback before are not its successor's.
    m_state->queue.clear();
    if (OnDeliveryThread()) return true;
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(boundMs),
                                     [this] { return !m_state->delivering; });
}

void EventDelivery::Run(const std::shared_ptr<State>& state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        // Woken by an event or the end; the second is a backstop.
        if (!state->changed.wait_for(lock, std::chrono::seconds(1),
                                     [&] { return state->stopping || !state->queue.empty(); }))
            continue;
        if (state->stopping) return;
        const State::Event event = state->queue.front();
        state->queue.pop_front();
        Callback callback = state->callback;
        if (!callback) continue;
        state->delivering = true;
        lock.unlock();
        callback(event.drive, event.a, event.b);
        // The copy goes before the lock is taken again: whatever it holds
        // is the program's, and may call back in.
        callback = nullptr;
        lock.lock();
        state->delivering = false;
        state->changed.notify_all();
    }
}

}  // namespace tessaro_capi
