#include "capi/event_delivery.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace tessaro_capi {

struct EventDelivery::State {
    struct Event {
        int drive;  // 0: a line
        double a, b;
        bool warning;
        std::string line;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> queue;    // under mutex: one position per drive, lines in order
    std::size_t lines = 0;      // lines in the queue, under mutex
    std::size_t dropped = 0;    // lines that went for room, not told yet, under mutex
    Callback callback;          // under mutex
    LineCallback lineCallback;  // under mutex
    bool stopping = false;      // under mutex
    // A call of the program runs (the callback copied out of the lock): of
    // which kind (a line or not), and its number among all calls.
    bool delivering = false;      // under mutex
    bool deliveringLine = false;  // under mutex
    unsigned long calls = 0;      // under mutex
    std::thread::id thread;       // set once before the first event
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
        m_state->lineCallback = nullptr;
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
        if (m_state->stopping || !m_state->callback || drive == 0) return;
        for (State::Event& waiting : m_state->queue) {
            if (waiting.drive == drive) {
                waiting.a = a;
                waiting.b = b;
                return;
            }
        }
        m_state->queue.push_back({drive, a, b, false, {}});
    }
    m_state->changed.notify_all();
}

void EventDelivery::PostLine(bool warning, std::string line) {
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->stopping) return;
        if (m_state->lines >= kLinesKept) {
            for (auto it = m_state->queue.begin(); it != m_state->queue.end(); ++it) {
                if (it->drive == 0) {
                    m_state->queue.erase(it);
                    --m_state->lines;
                    ++m_state->dropped;
                    break;
                }
            }
        }
        m_state->queue.push_back({0, 0.0, 0.0, warning, std::move(line)});
        ++m_state->lines;
    }
    m_state->changed.notify_all();
}

namespace {

// Waits until the call of the replaced callback that runs now (one of
// `line`'s kind) has returned; later calls are the new callback's.
template <typename State>
bool AwaitReplaced(State& state, std::unique_lock<std::mutex>& lock, bool line, int boundMs) {
    if (!state.delivering || state.deliveringLine != line) return true;
    const unsigned long running = state.calls;
    return state.changed.wait_for(lock, std::chrono::milliseconds(boundMs),
                                  [&] { return !state.delivering || state.calls != running; });
}

}  // namespace

bool EventDelivery::SetCallback(Callback callback, int boundMs) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->callback = std::move(callback);
    // Positions queued for the callback before are not its successor's.
    for (auto it = m_state->queue.begin(); it != m_state->queue.end();)
        it = it->drive != 0 ? m_state->queue.erase(it) : it + 1;
    if (OnDeliveryThread()) return true;
    return AwaitReplaced(*m_state, lock, false, boundMs);
}

bool EventDelivery::SetLineCallback(LineCallback callback, int boundMs) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->lineCallback = std::move(callback);
    // Lines that waited for a callback go to this one.
    m_state->changed.notify_all();
    if (OnDeliveryThread()) return true;
    return AwaitReplaced(*m_state, lock, true, boundMs);
}

void EventDelivery::Run(const std::shared_ptr<State>& state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    // The first event that has its callback: positions go at once, lines
    // wait in order for a line callback.
    const auto ready = [&state] {
        auto it = state->queue.begin();
        while (it != state->queue.end() && it->drive == 0 && !state->lineCallback) ++it;
        return it;
    };
    for (;;) {
        // Woken by an event or the end; the second is a backstop.
        if (!state->changed.wait_for(lock, std::chrono::seconds(1), [&] {
                return state->stopping || ready() != state->queue.end();
            }))
            continue;
        if (state->stopping) return;
        const auto at = ready();
        State::Event event;
        Callback callback;
        LineCallback lineCallback;
        if (at->drive != 0) {
            event = std::move(*at);
            state->queue.erase(at);
            callback = state->callback;
            if (!callback) continue;
        } else if (state->dropped > 0) {
            // Its own call, before the line that follows the gap: that line
            // is taken afresh, for whatever callback is there by then.
            event = {0, 0.0, 0.0, true,
                     "Tessaro library: " + std::to_string(state->dropped) +
                         " earlier lines were dropped (more than " + std::to_string(kLinesKept) +
                         " waited for delivery)"};
            state->dropped = 0;
            lineCallback = state->lineCallback;
        } else {
            event = std::move(*at);
            state->queue.erase(at);
            --state->lines;
            lineCallback = state->lineCallback;
        }
        state->delivering = true;
        state->deliveringLine = event.drive == 0;
        ++state->calls;
        lock.unlock();
        if (callback)
            callback(event.drive, event.a, event.b);
        else
            lineCallback(event.warning, event.line);
        // The copies go before the lock is taken again: whatever they hold
        // is the program's, and may call back in.
        callback = nullptr;
        lineCallback = nullptr;
        lock.lock();
        state->delivering = false;
        state->changed.notify_all();
    }
}

}  // namespace tessaro_capi
