// The simulator on a pseudo-terminal: a thread reads what the host writes to
// the slave device, hands it to the endpoint and writes the replies back,
// paced as a serial line would pace them when a baud rate is given. When the
// endpoint's line is taken away (ProcessorEndpoint::Unplug) the pair is
// closed and the link removed, and once it is back a new pair comes up
// under the same link, as a USB adapter does when it returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/posix/pty_pair.h"
#include "sim/processor_endpoint.h"

namespace sim {

class PtyLink {
  public:
    struct Options {
        std::string linkPath;    // symbolic link made at the slave; empty: none
        std::uint32_t baud = 0;  // 0: replies go out at once
        double latencyMs = 0;    // USB adapter: each reply whole, this late; 0: a plain UART
        bool controllingTerminal = false;  // see PtyPair::BecomeControllingTerminal
    };

    PtyLink(ProcessorEndpoint& endpoint, Options options);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    bool Start(std::string* error);
    void Stop();
    // The slave device of the first pair (the link leads to the present one).
    const std::string& slavePath() const { return m_slavePath; }

  private:
    void Serve();
    void HangUp();
    bool OpenPair(std::string* error);
    // Away while the endpoint's line is; then a new pair. False when told to
    // stop first, or when no new pair could be made.
    bool Replug();

    ProcessorEndpoint& m_endpoint;
    Options m_options;
    std::unique_ptr<platform::PtyPair> m_pty;
    std::string m_slavePath;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::uint64_t m_unplugsSeen = 0;
};

}  // namespace sim
