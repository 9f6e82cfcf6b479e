// link-peer: a scripted far side for the serial transport's tests and
// benchmarks. Not a model of the motion processor: it assembles request
// packets for a handful of opcodes and answers them, and can be told over a
// second line to misbehave (stay silent, answer short, leave stale bytes,
// spoil the checksum) or to pace its answer at a baud rate.
//
// Two pseudo-terminals: the data line (what the transport opens as a COM
// port) and a control line taking one text command per line:
//   answer | silent | short N | stale N | badsum 0|1 | pace BAUD | stats | times | reset | quit
// ("times" gives the monotonic-clock nanoseconds at which the last request
// was complete and its reply fully written, for the benchmark's breakdown.)
// Every command is answered with one line starting "ok" (or "error").
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cmotion/link_packet.h"
#include "platform/posix/pty_pair.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

struct Shape {
    std::uint8_t dataWords;
    std::uint8_t replyWords;
};

// Shapes of the opcodes the tests and benchmarks send; others are refused
// as the processor refuses an unknown instruction (status 2, no data).
bool ShapeOf(std::uint8_t opcode, Shape* shape) {
    switch (opcode) {
        case 0x00:
            *shape = {0, 0};
            return true;  // Nop
        case 0x1A:
            *shape = {0, 0};
            return true;  // Update
        case 0x39:
            *shape = {0, 0};
            return true;  // Reset
        case 0x31:
            *shape = {0, 1};
            return true;  // GetEventStatus
        case 0x8F:
            *shape = {0, 2};
            return true;  // GetVersion
        case 0x10:
            *shape = {2, 0};
            return true;  // SetPosition
        case 0x1D:
            *shape = {0, 2};
            return true;  // GetCommandedPosition
        case 0x11:
            *shape = {2, 0};
            return true;  // SetVelocity
        default:
            return false;
    }
}

struct Behaviour {
    bool silent = false;
    int shortBy = 0;
    int stale = 0;
    bool badChecksum = false;
    std::uint32_t paceBaud = 0;
};

struct Counters {
    std::uint64_t bytes = 0;
    std::uint64_t zeros = 0;
    std::uint64_t packets = 0;
};

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Waits until `deadline` to within a few microseconds: a timed sleep wakes up
// tens of microseconds late, which would be charged to the transport being
// measured, so the last stretch is spent spinning.
void WaitUntilNs(std::int64_t deadline) {
    constexpr std::int64_t kSpinNs = 100000;
    const std::int64_t wake = deadline - kSpinNs;
    timespec ts{static_cast<time_t>(wake / 1000000000), static_cast<long>(wake % 1000000000)};
    while (NowNs() < wake &&
           clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR && !g_stop) {
    }
    while (NowNs() < deadline) {
    }
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t k = write(fd, data + done, n - done);
        if (k > 0) {
            done += static_cast<std::size_t>(k);
        } else if (k < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
    }
    return true;
}

class Peer {
  public:
    explicit Peer(int dataFd) : m_dataFd(dataFd) {}

    void OnData(const std::uint8_t* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            ++m_counters.bytes;
            if (bytes[i] == 0) ++m_counters.zeros;
            if (m_behaviour.silent) continue;
            m_packet.push_back(bytes[i]);
            if (m_packet.size() < 4) continue;
            Shape shape{0, 0};
            const bool known = ShapeOf(m_packet[3], &shape);
            if (m_packet.size() < cmotion::CommandPacketLength(1u + shape.dataWords)) continue;
            Answer(known, shape);
            m_packet.clear();
        }
    }

    std::string OnCommand(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        long value = 0;
        const bool hasValue = static_cast<bool>(in >> value);
        if (verb == "answer") {
            m_behaviour.silent = false;
        } else if (verb == "silent") {
            m_behaviour.silent = true;
        } else if (verb == "short" && hasValue) {
            m_behaviour.shortBy = static_cast<int>(value);
        } else if (verb == "stale" && hasValue) {
            m_behaviour.stale = static_cast<int>(value);
        } else if (verb == "badsum" && hasValue) {
            m_behaviour.badChecksum = value != 0;
        } else if (verb == "pace" && hasValue) {
            m_behaviour.paceBaud = static_cast<std::uint32_t>(value);
        } else if (verb == "stats") {
            return "ok bytes=" + std::to_string(m_counters.bytes) +
                   " zeros=" + std::to_string(m_counters.zeros) +
                   " packets=" + std::to_string(m_counters.packets);
        } else if (verb == "times") {
            return "ok " + std::to_string(m_lastReceivedNs) + " " + std::to_string(m_lastSentNs);
        } else if (verb == "reset") {
            m_behaviour = Behaviour{};
            m_counters = Counters{};
            m_packet.clear();
            m_position = 0;
        } else if (verb == "quit") {
            g_stop = 1;
        } else {
            return "error unknown command: " + line;
        }
        return "ok";
    }

  private:
    void Answer(bool known, const Shape& shape) {
        const std::int64_t receivedAt = NowNs();
        m_lastReceivedNs = receivedAt;
        ++m_counters.packets;
        std::uint8_t status = 0;
        std::vector<std::uint16_t> words;
        if (cmotion::ByteSum(m_packet.data(), m_packet.size()) != 0) {
            status = 9;  // the request's checksum is wrong
        } else if (!known) {
            status = 2;
        } else {
            const std::uint8_t opcode = m_packet[3];
            if (opcode == 0x10) {
                m_position = (static_cast<std::uint32_t>(m_packet[4]) << 24) |
                             (static_cast<std::uint32_t>(m_packet[5]) << 16) |
                             (static_cast<std::uint32_t>(m_packet[6]) << 8) | m_packet[7];
            }
            if (opcode == 0x31) words = {0x0421};
            if (opcode == 0x8F) words = {0x5340, 0x0012};
            if (opcode == 0x1D) {
                words = {static_cast<std::uint16_t>(m_position >> 16),
                         static_cast<std::uint16_t>(m_position & 0xFFFF)};
            }
            words.resize(shape.replyWords);
        }
        std::vector<std::uint8_t> reply = {status, 0};
        for (std::uint16_t w : words) {
            reply.push_back(static_cast<std::uint8_t>(w >> 8));
            reply.push_back(static_cast<std::uint8_t>(w & 0xFF));
        }
        reply[1] = static_cast<std::uint8_t>(0x100 - cmotion::ByteSum(reply.data(), reply.size()));
        if (m_behaviour.badChecksum) reply[1] = static_cast<std::uint8_t>(reply[1] + 1);
        const std::size_t keep = reply.size() > static_cast<std::size_t>(m_behaviour.shortBy)
                                     ? reply.size() - m_behaviour.shortBy
                                     : 0;
        reply.resize(keep);
        reply.insert(reply.end(), static_cast<std::size_t>(m_behaviour.stale), 0xAA);

        if (m_behaviour.paceBaud == 0) {
            WriteAll(m_dataFd, reply.data(), reply.size());
            m_lastSentNs = NowNs();
            return;
        }
        // As on a real line: the request took its bytes' time to arrive (it
        // came through the pseudo-terminal at once), then each reply byte
        // takes ten bit times.
        const std::int64_t byteNs = 10LL * 1000000000 / m_behaviour.paceBaud;
        std::int64_t due = receivedAt + static_cast<std::int64_t>(m_packet.size()) * byteNs;
        for (std::uint8_t byte : reply) {
            due += byteNs;
            WaitUntilNs(due);
            WriteAll(m_dataFd, &byte, 1);
        }
        m_lastSentNs = NowNs();
    }

    int m_dataFd;
    Behaviour m_behaviour;
    Counters m_counters;
    std::vector<std::uint8_t> m_packet;
    std::uint32_t m_position = 0;
    std::int64_t m_lastReceivedNs = 0;
    std::int64_t m_lastSentNs = 0;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Scripted far side of a serial line, for transport tests and benchmarks."};
    std::string dataLink;
    std::string controlLink;
    app.add_option("--link", dataLink, "Symbolic link to create at the data line's device")
        ->required();
    app.add_option("--control-link", controlLink,
                   "Symbolic link to create at the control line's device")
        ->required();
    CLI11_PARSE(app, argc, argv);

    std::string error;
    // Our own session, with the data line as controlling terminal: a Wine
    // server opening the line later cannot adopt it and be hung up by it.
    platform::PtyPair data;
    platform::PtyPair control;
    if (!platform::StartNewSession(&error) || !data.Open(&error) ||
        !data.BecomeControllingTerminal(&error) || !control.Open(&error) ||
        !data.LinkSlaveAt(dataLink, &error) || !control.LinkSlaveAt(controlLink, &error)) {
        std::fprintf(stderr, "link-peer: %s\n", error.c_str());
        return 1;
    }
    // Default timer slack (50 us) would blur the paced replies.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGHUP, SIG_IGN);

    std::printf("ready %s %s\n", data.slavePath().c_str(), control.slavePath().c_str());
    std::fflush(stdout);

    Peer peer(data.masterFd());
    std::string line;
    while (!g_stop) {
        pollfd fds[2] = {{data.masterFd(), POLLIN, 0}, {control.masterFd(), POLLIN, 0}};
        if (poll(fds, 2, 200) < 0) {
            if (errno == EINTR) continue;
            std::perror("link-peer: poll");
            return 1;
        }
        std::uint8_t buffer[256];
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(data.masterFd(), buffer, sizeof buffer);
            if (n > 0) peer.OnData(buffer, static_cast<std::size_t>(n));
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(control.masterFd(), buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                const char c = static_cast<char>(buffer[i]);
                if (c == '\r') continue;
                if (c != '\n') {
                    line += c;
                    continue;
                }
                const std::string answer = peer.OnCommand(line) + "\n";
                line.clear();
                WriteAll(control.masterFd(), reinterpret_cast<const std::uint8_t*>(answer.data()),
                         answer.size());
            }
        }
    }
    unlink(dataLink.c_str());
    unlink(controlLink.c_str());
    return 0;
}
