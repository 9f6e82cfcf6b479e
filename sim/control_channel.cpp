#include "sim/control_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "sim/faults.h"

namespace sim {
namespace {

// How often the serving thread looks whether it is to stop.
constexpr int kPollMs = 100;

bool ReadMilliseconds(std::istringstream& in, int* ms) {
    long value = 0;
    if (!(in >> value) || value < 0 || value > 600000) return false;
    *ms = static_cast<int>(value);
    return true;
}

}  // namespace

std::string AnswerControlRequest(ProcessorEndpoint& endpoint, const std::string& request) {
    std::istringstream in(request);
    std::string verb;
    in >> verb;
    if (verb == "where") {
        MotionProcessor& processor = endpoint.processor();
        std::ostringstream steps, moving;
        for (int n = 0; n < processor.config().axes; ++n) {
            const AxisState axis = processor.Axis(n);
            steps << ' ' << axis.PhysicalSteps();
            moving << ' ' << (axis.moving ? 1 : 0);
        }
        return "steps" + steps.str() + " moving" + moving.str() + " resets " +
               std::to_string(endpoint.stats().resets);
    }
    if (verb == "unplug" || verb == "powercut") {
        int ms = 0;
        if (!ReadMilliseconds(in, &ms)) return "error " + verb + " takes MS, 0 to 600000";
        endpoint.Unplug(ms, verb == "powercut");
        return "ok";
    }
    if (verb == "fault") {
        std::string spec, error;
        FaultRule rule;
        if (!(in >> spec)) return "error fault takes KIND[:OPTION]...";
        if (!ParseFault(spec, &rule, &error)) return "error " + error;
        endpoint.faults().Add(rule);
        return "ok";
    }
    if (verb == "clear-faults") {
        endpoint.faults().Clear();
        return "ok";
    }
    return "error unknown request '" + verb + "' (where, unplug MS, powercut MS, fault SPEC, " +
           "clear-faults)";
}

bool ControlChannel::Start(const std::string& path, std::string* error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        *error = "control socket path too long: " + path;
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        *error = std::string("cannot make the control socket: ") + std::strerror(errno);
        return false;
    }
    unlink(path.c_str());
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 4) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(errno);
        close(m_listener);
        m_listener = -1;
        return false;
    }
    m_path = path;
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void ControlChannel::Stop() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) {
        close(m_listener);
        m_listener = -1;
        unlink(m_path.c_str());
    }
}

void ControlChannel::Serve() {
    while (!m_bStop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (poll(&waiting, 1, kPollMs) <= 0) continue;
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Converse(connection);
        close(connection);
    }
}

void ControlChannel::Converse(int connection) {
    std::string pending;
    char buffer[256];
    while (!m_bStop) {
        pollfd waiting{connection, POLLIN, 0};
        if (poll(&waiting, 1, kPollMs) <= 0) continue;
        const ssize_t got = read(connection, buffer, sizeof buffer);
        if (got <= 0) return;  // the client went
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string answer =
                AnswerControlRequest(m_endpoint, pending.substr(0, end)) + "\n";
            pending.erase(0, end + 1);
            // A client that went before its answer must not take the
            // simulator down with SIGPIPE.
            if (send(connection, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(answer.size()))
                return;
        }
        if (pending.size() > 4096) return;  // no line in sight: not a client of ours
    }
}

}  // namespace sim
