#include "sim/pty_link.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/precise_wait.h"

namespace sim {

PtyLink::PtyLink(ProcessorEndpoint& endpoint, Options options)
    : m_endpoint(endpoint), m_options(std::move(options)) {}

PtyLink::~PtyLink() {
    Stop();
}

bool PtyLink::OpenPair(std::string* error) {
    m_pty = std::make_unique<platform::PtyPair>();
    if (!m_pty->Open(error)) return false;
    if (m_options.controllingTerminal && !m_pty->BecomeControllingTerminal(error)) return false;
    return m_options.linkPath.empty() || m_pty->LinkSlaveAt(m_options.linkPath, error);
}

bool PtyLink::Start(std::string* error) {
    if (!OpenPair(error)) return false;
    m_slavePath = m_pty->slavePath();
    m_unplugsSeen = m_endpoint.unplugs();
    m_bStop = false;
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void PtyLink::Stop() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    HangUp();
}

void PtyLink::HangUp() {
    if (!m_pty) return;
    m_pty.reset();  // closing both ends hangs the line up for its user
    if (!m_options.linkPath.empty()) unlink(m_options.linkPath.c_str());
}

bool PtyLink::Replug() {
    HangUp();
    while (!m_bStop && m_endpoint.unplugged())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_bStop) return false;
    std::string error;
    if (!OpenPair(&error)) {
        std::fprintf(stderr, "tessaro-sim: no new line after the unplug: %s\n", error.c_str());
        m_pty.reset();
        return false;
    }
    return true;
}

void PtyLink::Serve() {
    using Clock = std::chrono::steady_clock;
    const std::chrono::nanoseconds byteTime(m_options.baud ? 10LL * 1000000000 / m_options.baud
                                                           : 0);
    const auto latency =
        std::chrono::nanoseconds(static_cast<std::int64_t>(m_options.latencyMs * 1e6));
    while (!m_bStop && m_pty) {
        if (m_endpoint.unplugs() != m_unplugsSeen) {
            m_unplugsSeen = m_endpoint.unplugs();
            if (!Replug()) break;
            continue;
        }
        pollfd pfd{m_pty->masterFd(), POLLIN, 0};
        const int ready = poll(&pfd, 1, 100);  // also how soon Stop is noticed
        if (ready <= 0 || !(pfd.revents & POLLIN)) continue;
        std::uint8_t buffer[256];
        const ssize_t n = read(m_pty->masterFd(), buffer, sizeof buffer);
        if (n <= 0) continue;
        const auto receivedAt = Clock::now();
        // On a real line the last request byte arrived n byte times after
        // the first; the reply follows it (after the adapter's latency).
        auto due = receivedAt + latency + n * byteTime;
        for (const Emission& e : m_endpoint.Receive(buffer, static_cast<std::size_t>(n))) {
            if (e.hangUp) {
                HangUp();
                break;
            }
            due += std::chrono::microseconds(e.delayMicros);
            // A USB adapter hands over what it received when its latency
            // timer runs out: the whole reply at once. Without one (a UART),
            // the bytes come as the line delivers them.
            if (byteTime.count() == 0 || latency.count() > 0) {
                due += static_cast<std::int64_t>(e.bytes.size()) * byteTime;
                platform::PreciseWaitUntil(due);
                m_pty->WriteMaster(e.bytes.data(), e.bytes.size());
                continue;
            }
            for (std::uint8_t byte : e.bytes) {
                due += byteTime;
                platform::PreciseWaitUntil(due);
                m_pty->WriteMaster(&byte, 1);
            }
        }
    }
}

}  // namespace sim
