#include "session/port_finder.h"

#include <string>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "platform/serial_port.h"

namespace tessaro_host {

std::string DescribeProcessor(std::uint16_t generation, std::uint16_t numberAxes,
                              std::uint16_t versionMajor, std::uint16_t versionMinor) {
    return std::string(cmotion::GetFamilyName(generation)) + " (family " +
           std::to_string(generation) + "), " + std::to_string(numberAxes) + " axes, version " +
           std::to_string(versionMajor) + "." + std::to_string(versionMinor);
}

namespace {

// A port without a COM number is reached through this one for the probe.
constexpr int kProbePort = 254;

std::string Probe(int number) {
    cmotion::CLinkAxisHandle handle{};
    std::string answer;
    if (cmotion::OpenSerialInterface(&handle, 0, number) != cmotion::kLinkOk) {
        answer = "does not open: " + platform::DescribeSerialOpenProblem(number);
    } else if (cmotion::SyncSerialPort(handle.m_pPort) != cmotion::kLinkOk) {
        answer = "no answer";
    } else {
        std::uint16_t v[7] = {};
        const cmotion::LinkError code =
            cmotion::GetVersion(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
        answer = code == cmotion::kLinkOk
                     ? "a Tessaro board: " + DescribeProcessor(v[0], v[2], v[5], v[6])
                     : std::string("answers, but not as a Tessaro board (") +
                           cmotion::GetErrorText(code) + ")";
    }
    if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
    return answer;
}

}  // namespace

std::vector<PortReport> FindPorts(bool probe, const std::function<void(const PortReport&)>& each) {
    std::vector<PortReport> reports;
    for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) {
        PortReport report{port.number, port.path, port.description, port.latencyMs, {}};
        if (probe) {
            int number = port.number;
            if (number == 0) {
                number = kProbePort;
                platform::SetComPortPath(number, port.path);
            }
            report.answer = Probe(number);
        }
        if (each) each(report);
        reports.push_back(report);
    }
    return reports;
}

CommandResult ListPorts(bool probe, std::ostream& out) {
    // Each port is printed as soon as it is known: a probe takes a while.
    const auto print = [&](const PortReport& port) {
        std::string line = port.number ? "COM" + std::to_string(port.number) : "(no COM number)";
        line += "  " + port.path;
        if (!port.description.empty()) line += "  " + port.description;
        if (port.latencyMs >= 0) line += "  latency " + std::to_string(port.latencyMs) + " ms";
        if (probe) line += "  -> " + port.answer;
        out << line << "\n";
        out.flush();
    };
    if (FindPorts(probe, print).empty()) out << "no serial ports found\n";
    return {};
}

}  // namespace tessaro_host
