// A watchdog for test programs that must not hang: when nothing reports
// progress for `limit`, it names what stalled and ends the process with
// exit code 3 (a hang must never pass for a slow run).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testing_support {

class Watchdog {
  public:
    Watchdog(std::chrono::milliseconds limit, std::string what) : m_what(std::move(what)) {
        m_thread = std::thread([this, limit] {
            std::unique_lock<std::mutex> lock(m_mutex);
            std::uint64_t seen = m_progress;
            while (!m_done) {
                if (!m_cv.wait_for(lock, limit, [&] { return m_done || m_progress != seen; })) {
                    std::fprintf(stderr, "%s: no progress for %lld ms: stalled\n", m_what.c_str(),
                                 static_cast<long long>(limit.count()));
                    std::fflush(nullptr);
                    std::_Exit(3);
                }
                seen = m_progress;
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Starts the limit again.
    void Progress() {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_progress;
        m_cv.notify_all();
    }

  private:
    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::uint64_t m_progress = 0;
    bool m_done = false;
    std::thread m_thread;
};

}  // namespace testing_support
