// A simulated board behind the serial interface, in process, for tests of
// the controller core and above: COM `port` is the simulator. Simulated time
// and host time run at the same speed factor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cmotion/link_opcodes.h"
#include "host/kx_time.h"
#include "sim/inprocess_line.h"

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

class SimBoard {
  public:
    explicit SimBoard(int port, std::uint16_t axes = 4, double speed = 1.0)
        : m_speedGuard(speed),
          clock(speed),
          endpoint(Config(axes), clock),
          line(endpoint, port),
          scoped(line) {}

    // The commands the processor received, from the `from`-th on.
    std::vector<SimCommand> Commands(std::size_t from = 0) const {
        std::vector<SimCommand> out;
        const auto trace = const_cast<sim::ProcessorEndpoint&>(endpoint).trace().Snapshot();
        for (std::size_t i = from; i < trace.size(); ++i) {
            out.push_back({trace[i].axis, cmotion::GetOpcodeName(trace[i].opcode), trace[i].args,
                           trace[i].status});
        }
        return out;
    }
    std::size_t CommandCount() const {
        return const_cast<sim::ProcessorEndpoint&>(endpoint).trace().Snapshot().size();
    }
    void Fault(const std::string& spec) {
        sim::FaultRule rule;
        std::string error;
        if (sim::ParseFault(spec, &rule, &error)) endpoint.faults().Add(rule);
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

  public:
    sim::RealClock clock;
    sim::ProcessorEndpoint endpoint;
    sim::InProcessLine line;
    platform::ScopedSerialApi scoped;
};

}  // namespace testing_support
