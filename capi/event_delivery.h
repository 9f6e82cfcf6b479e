// A board's events for the program, from a thread of the library's own.
//
// The plug-in reports positions from its polling thread while it holds its
// own locks; a program's callback run there could not call back into the
// library (a position read, a stop, a disconnect) without waiting for
// itself. So the report only queues the event here, and this thread calls
// the program, holding no lock of ours: in order, never two at once, and a
// callback may call any function of the library, disconnect included.
//
// Positions are the latest ones: a drive's position still waiting in the
// queue is replaced by a newer one of the same drive (the queue never holds
// more than one per drive, however slow the callback). Lines (the device's
// and the session's) are each delivered; lines that come while no line
// callback is installed wait for the first one (those of a connect reach a
// callback installed right after it), up to kLinesKept.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tessaro_capi {

class EventDelivery {
  public:
    using Callback = std::function<void(int drive, double a, double b)>;
    using LineCallback = std::function<void(bool warning, const std::string& line)>;
    // Lines waiting at most; beyond, the oldest go, and a line of its own
    // says how many before the next one.
    static constexpr std::size_t kLinesKept = 1000;

    EventDelivery();
    // Ends the thread: joined, or left to end on its own when this is the
    // thread (a callback that disconnects); it touches nothing of ours then.
    ~EventDelivery();
    EventDelivery(const EventDelivery&) = delete;
    EventDelivery& operator=(const EventDelivery&) = delete;

    // From the plug-in's polling thread: queues, never calls the program.
    void Post(int drive, double a, double b);
    // From any thread: queues the line.
    void PostLine(bool warning, std::string line);
    // The callback from now on (empty: none). Once it returns, the callback
    // before is not called again and is not running (unless this thread is
    // that callback's own: it returns from itself first); false when a call
    // of it did not return within `boundMs` (it may still be running).
    bool SetCallback(Callback callback, int boundMs = 10000);
    // The same for lines.
    bool SetLineCallback(LineCallback callback, int boundMs = 10000);
    // Whether this thread is the one that calls the program.
    bool OnDeliveryThread() const;

  private:
    struct State;
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

}  // namespace tessaro_capi
