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
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cmotion/link_packet.h"
#include "platform/posix/pty_pair.h"
#include "platform/precise_wait.h"

namespace {

bool g_bQuit = false;  // the control line said "quit"

struct Shape {
    std::uint8_t dataWords;
    std::uint8_t replyWords;
};

// Shapes of the opcodes the tests and benchmarks send; others are refused
// as the processor refuses an unknown instruction (status 2, no data).
struct KnownOpcode {
    std::uint8_t opcode;
    Shape shape;
};
constexpr KnownOpcode kKnown[] = {
    {0x00, {0, 0}},  // Nop
    {0x1A, {0, 0}},  // Update
    {0x39, {0, 0}},  // Reset
    {0x31, {0, 1}},  // GetEventStatus
    {0x8F, {0, 2}},  // GetVersion
    {0x10, {2, 0}},  // SetPosition
    {0x11, {2, 0}},  // SetVelocity
    {0x1D, {0, 2}},  // GetCommandedPosition
    {0x4A, {0, 2}},  // GetPosition
};

bool ShapeOf(std::uint8_t opcode, Shape* shape) {
    for (const KnownOpcode& k : kKnown) {
        if (k.opcode == opcode) {
            *shape = k.shape;
            return true;
        }
    }
    return false;
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

// The clock of the time stamps the benchmark reads ("times"); the same as
// the benchmark's own steady clock.
std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Peer {
  public:
    explicit Peer(platform::PtyPair& line) : m_line(line) {}

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
            g_bQuit = true;
        } else {
            return "error unknown command: " + line;
        }
        return "ok";
    }

  private:
    void Answer(bool known, const Shape& shape) {
        const auto receivedAt = std::chrono::steady_clock::now();
        m_lastReceivedNs = NowNs();
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
            if (opcode == 0x1D || opcode == 0x4A) {
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
            m_line.WriteMaster(reply.data(), reply.size());
            m_lastSentNs = NowNs();
            return;
        }
        // As on a real line: the request took its bytes' time to arrive (it
        // came through the pseudo-terminal at once), then each reply byte
        // takes ten bit times.
        const std::chrono::nanoseconds byteTime(10LL * 1000000000 / m_behaviour.paceBaud);
        auto due = receivedAt + static_cast<std::int64_t>(m_packet.size()) * byteTime;
        for (std::uint8_t byte : reply) {
            due += byteTime;
            platform::PreciseWaitUntil(due);
            m_line.WriteMaster(&byte, 1);
        }
        m_lastSentNs = NowNs();
    }

    platform::PtyPair& m_line;
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
    platform::CatchStopSignals();

    std::printf("ready %s %s\n", data.slavePath().c_str(), control.slavePath().c_str());
    std::fflush(stdout);

    Peer peer(data);
    std::string line;
    while (!platform::StopRequested() && !g_bQuit) {
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
                control.WriteMaster(reinterpret_cast<const std::uint8_t*>(answer.data()),
                                    answer.size());
            }
        }
    }
    unlink(dataLink.c_str());
    unlink(controlLink.c_str());
    return 0;
}
