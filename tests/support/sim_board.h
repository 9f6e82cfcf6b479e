// A simulated board for tests of the controller core and above: COM `port`
// is the simulator. By default it sits behind the serial interface in
// process; with TESSARO_SIM_LINE=pty (POSIX) it is served on a
// pseudo-terminal and reached through the system's serial back-end, the
// real transport. Simulated time and host time run at the same speed factor.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cmotion/link_opcodes.h"
#include "host/kx_time.h"
#include "sim/inprocess_line.h"
#ifndef _WIN32
#include <unistd.h>

#include "sim/pty_link.h"
#endif

namespace testing_support {

struct SimCommand {
    std::uint8_t axis;
    std::string name;
    std::vector<std::uint16_t> args;
    std::uint8_t status;
    bool operator==(const SimCommand& o) const {
        return axis == o.axis && name == o.name && args == o.args;
    }
};

inline std::ostream& operator<<(std::ostream& out, const SimCommand& c) {
    out << "axis " << int(c.axis) << " " << c.name;
    for (auto w : c.args) out << " " << w;
    return out << " -> " << int(c.status);
}

// A 32-bit argument as the two words it travels in.
inline std::vector<std::uint16_t> Words32(std::int32_t v) {
    const auto bits = static_cast<std::uint32_t>(v);
    return {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits & 0xFFFF)};
}

class SimBoard {
  public:
    // The simulator's parts live on the heap: their mutexes then never reuse
    // the stack addresses of an earlier board's, which ThreadSanitizer would
    // take for one mutex (std::mutex does not report its destruction).
    explicit SimBoard(int port, std::uint16_t axes = 4, double speed = 1.0)
        : m_speedGuard(speed),
          m_parts(std::make_unique<Parts>(Config(axes), speed, port)),
          clock(m_parts->clock),
          endpoint(m_parts->endpoint),
          line(m_parts->line) {
        const char* mode = std::getenv("TESSARO_SIM_LINE");
#ifndef _WIN32
        if (mode && std::string(mode) == "pty") {
            // Reached through a link, as a USB adapter by its name: a line
            // taken away comes back under it.
            sim::PtyLink::Options options;
            options.linkPath =
                "/tmp/tessaro-simboard-" + std::to_string(getpid()) + "-" + std::to_string(port);
            m_pty = std::make_unique<sim::PtyLink>(endpoint, options);
            std::string error;
            if (!m_pty->Start(&error)) throw std::runtime_error("pty: " + error);
            platform::SetComPortPath(port, options.linkPath);
            return;
        }
#endif
        (void)mode;
        scoped.emplace(line);
    }
    ~SimBoard() {
        scoped.reset();
#ifndef _WIN32
        m_pty.reset();
#endif
    }

    // The commands the processor received, from the `from`-th on.
    std::vector<SimCommand> Commands(std::size_t from = 0) const {
        std::vector<SimCommand> out;
        const auto trace = endpoint.trace().Snapshot();
        for (std::size_t i = from; i < trace.size(); ++i) {
            out.push_back({trace[i].axis, cmotion::GetOpcodeName(trace[i].opcode), trace[i].args,
                           trace[i].status});
        }
        return out;
    }
    // How many commands of this name (of this axis, unless -1) arrived from
    // the `from`-th on.
    int Count(const std::string& name, std::size_t from = 0, int axis = -1) const {
        int n = 0;
        for (const SimCommand& c : Commands(from))
            n += c.name == name && (axis < 0 || c.axis == axis);
        return n;
    }
    // The commands of one axis from the `from`-th on (other axes' polling
    // may come between them).
    std::vector<SimCommand> Commands(std::size_t from, int axis) const {
        std::vector<SimCommand> out;
        for (SimCommand& c : Commands(from))
            if (c.axis == axis) out.push_back(std::move(c));
        return out;
    }
    // The arguments of the first (or the last) command of this name and
    // axis from the `from`-th on; none such: empty.
    std::vector<std::uint16_t> Args(const std::string& name, std::size_t from, int axis,
                                    bool last = false) const {
        std::vector<std::uint16_t> args;
        for (const SimCommand& c : Commands(from, axis)) {
            if (c.name != name) continue;
            args = c.args;
            if (!last) break;
        }
        return args;
    }
    std::size_t CommandCount() const {
        return endpoint.trace().Snapshot().size();
    }
    // Arms a fault; a spec the simulator does not understand ends the test
    // (like a board that cannot start), rather than arming nothing.
    void Fault(const std::string& spec) {
        sim::FaultRule rule;
        std::string error;
        if (!sim::ParseFault(spec, &rule, &error)) throw std::runtime_error(error);
        endpoint.faults().Add(rule);
    }

  private:
    static sim::BoardConfig Config(std::uint16_t axes) {
        sim::BoardConfig c;
        c.axes = axes;
        return c;
    }
    // Host time runs at the simulator's speed while the board lives.
    struct SpeedGuard {
        explicit SpeedGuard(double speed) : previous(host::TimeSpeed()) {
            host::SetTimeSpeed(speed);
        }
        ~SpeedGuard() { host::SetTimeSpeed(previous); }
        double previous;
    } m_speedGuard;

    struct Parts {
        Parts(const sim::BoardConfig& config, double speed, int port)
            : clock(speed), endpoint(config, clock), line(endpoint, port) {}
        sim::RealClock clock;
        sim::ProcessorEndpoint endpoint;
        sim::InProcessLine line;
    };
    std::unique_ptr<Parts> m_parts;

  public:
    sim::RealClock& clock;
    sim::ProcessorEndpoint& endpoint;
    sim::InProcessLine& line;
    std::optional<platform::ScopedSerialApi> scoped;

  private:
#ifndef _WIN32
    std::unique_ptr<sim::PtyLink> m_pty;
#endif
};

}  // namespace testing_support
