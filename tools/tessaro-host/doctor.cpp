#include "tools/tessaro-host/doctor.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_packet.h"
#include "cmotion/link_serial.h"
#include "cmotion/link_status_bits.h"
#include "cmotion/link_trace.h"
#include "controller/line_retry.h"
#include "controller/serial_latency.h"
#include "host/kx_module_file.h"
#include "platform/registry.h"
#include "platform/serial_port.h"
#include "platform/user_files.h"
#include "session/port_finder.h"
#include "tools/tessaro-host/doctor_rules.h"
#include "tools/tessaro-host/tar_writer.h"
#include "tools/tessaro-host/tool_version.h"

namespace tessaro_host {
namespace {

using namespace cmotion;
using Clock = std::chrono::steady_clock;

// The timed exchange: GetVersion, one command word out and two reply words
// back, the shortest answer that still proves the processor is there.
constexpr int kTimedExchanges = 40;
constexpr std::size_t kTimedBytes = CommandPacketLength(1) + ReplyPacketLength(2);
// A line that fails this often is not worth timing further.
constexpr int kFailuresToGiveUp = 3;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One run's report, trace and counts. The command layer's exchange hook
// takes no context; a run is the only one in the program.
struct Run {
    explicit Run(std::ostream& o) : out(o) {}
    std::ostream& out;
    bool echoTrace = false;
    std::ostringstream report;
    std::vector<std::string> trace;
    Clock::time_point start = Clock::now();
    int packets = 0;    // every packet exchanged, repeats included
    int exchanges = 0;  // every command sent, each counted once
    int repeats = 0, failures = 0;

    void Say(const std::string& line) {
        out << line << "\n";
        out.flush();
        report << line << "\n";
    }
};
Run* g_run = nullptr;

void Observe(void*, std::uint16_t commandWordCount, const std::uint16_t* commandWords,
             std::uint16_t replyWordCount, const std::uint16_t* replyWords, LinkError result) {
    ++g_run->packets;
    g_run->trace.push_back(FormatExchange(MsSince(g_run->start), commandWordCount, commandWords,
                                          replyWordCount, replyWords, result));
    if (g_run->echoTrace) g_run->out << g_run->trace.back() << "\n";
}

// The plug-in's exchange (one repeat after a line failure), counted.
LinkError CountedExchange(CLinkSerialPort* port, std::uint16_t commandWordCount,
                          const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                          std::uint16_t* replyWords) {
    const int before = g_run->packets;
    const LinkError code = tessaro::ExchangeWithRetry(port, commandWordCount, commandWords,
                                                      replyWordCount, replyWords);
    ++g_run->exchanges;
    if (g_run->packets - before > 1) ++g_run->repeats;
    if (code != kLinkOk) ++g_run->failures;
    return code;
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Where this system sets the adapter's latency timer.
std::string LatencyFix(const platform::SerialPortInfo& port) {
    if (platform::SystemHasRegistry())
        return "Device Manager, Ports, the port's Properties, Port Settings, Advanced, Latency "
               "Timer (the plug-in sets it itself at connect where it may write the registry; the "
               "adapter takes it when plugged in again)";
    std::error_code error;
    std::string name = std::filesystem::canonical(port.path, error).filename().string();
    if (name.rfind("tty", 0) != 0) name = "ttyUSBn";
    return "echo 2 > /sys/class/tty/" + name +
           "/device/latency_timer as root, a udev rule to keep it (the plug-in sets it itself at "
           "connect where it may write that file)";
}

// The module file's own version record, dotted; empty with a reason when it
// cannot be read.
std::string ModuleVersion(const std::string& path, std::string* why) {
    std::vector<std::uint8_t> bytes;
    if (!host::ReadModuleSection(path, "ver6ID", &bytes, why)) return {};
    const std::string key = "KX_GLOB_FILEVERSION_WCS value=\"";
    for (const std::string& record : MetadataRecords(bytes)) {
        const std::size_t at = record.find(key);
        if (at == std::string::npos) continue;
        std::string version;
        for (std::size_t i = at + key.size(); i < record.size() && record[i] != '"'; ++i)
            if (record[i] != ' ') version += record[i] == ',' ? '.' : record[i];
        return version;
    }
    *why = "no file version in its version record";
    return {};
}

// Checks the line and reports (to run.out and run.report); `processor`
// receives what the processor said of itself. Exit 0 or 3.
CommandResult Check(Run& run, const SessionOptions& options, std::string* processor) {
    const int number = options.port;
    const std::string com = "COM" + std::to_string(number);
    run.Say("doctor: a read-only check of " + com + " (nothing is set, moved or reset)");
    platform::SerialPortInfo port = platform::SerialPortDetails(number);
    LineFindings findings;
    findings.latencyTimerMs = port.latencyMs;
    std::uint8_t registryLatency = 0;
    if (findings.latencyTimerMs < 0 && platform::SystemHasRegistry() &&
        tessaro::ReadFtdiRegistryLatency(static_cast<std::uint16_t>(number), &registryLatency))
        findings.latencyTimerMs = registryLatency;
    findings.latencyFix = LatencyFix(port);
    run.Say("port:          " + com + (port.path == com ? "" : ", device " + port.path));
    run.Say("adapter:       " +
            (port.description.empty() ? std::string("not told by the system") : port.description));
    run.Say("latency timer: " + (findings.latencyTimerMs < 0
                                     ? std::string("not shown by the system")
                                     : std::to_string(findings.latencyTimerMs) + " ms"));
    run.Say(std::string("settings file: ") +
            (options.settingsFile.empty() ? "none" : options.settingsFile));

    const std::string problem = platform::DescribeSerialOpenProblem(number);
    CLinkAxisHandle handle{};
    const LinkError opened =
        problem.empty() ? OpenSerialInterface(&handle, 0, number) : LinkError{kLinkOk};
    const auto close = [&] {
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
    };
    if (!problem.empty() || opened != kLinkOk) {
        close();
        const std::string why = "cannot open " + com + " (" + port.path +
                                "): " + (problem.empty() ? GetErrorText(opened) : problem);
        run.Say(why);
        run.Say(
            "check: the port number (tessaro-host ports), that the adapter is plugged in, "
            "and that no other program holds the port");
        return {kExitNoController, why};
    }
    handle.m_pfnExchange = CountedExchange;
    std::uint16_t v[7] = {};
    LinkError code = SyncSerialPort(handle.m_pPort);
    if (code == kLinkOk)
        code = GetVersion(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
    if (code != kLinkOk) {
        close();
        const std::string why = "no processor answers on " + com + " (" + GetErrorText(code) + ")";
        run.Say(why);
        run.Say(
            "check: that the board is powered, that the cable goes to its serial socket, and "
            "that this is the board's port (tessaro-host ports --probe)");
        return {kExitNoController, why};
    }
    *processor = DescribeProcessor(v[0], v[2], v[5], v[6]);
    run.Say("processor:     " + *processor);

    std::vector<double> times;
    for (int i = 0; i < kTimedExchanges && run.failures < kFailuresToGiveUp; ++i) {
        const Clock::time_point t0 = Clock::now();
        if (GetVersion(&handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
            kLinkOk)
            times.push_back(MsSince(t0));
    }
    findings.roundTrip = Summarise(times);
    findings.timed = static_cast<int>(times.size());
    findings.wireMs = WireTimeMs(kTimedBytes, handle.m_pPort->m_uBaudRate);
    run.Say("round trip:    " + std::to_string(times.size()) + " x GetVersion: minimum " +
            Fixed(findings.roundTrip.minimum, 2) + " ms, median " +
            Fixed(findings.roundTrip.median, 2) + " ms, worst " +
            Fixed(findings.roundTrip.worst, 2) + " ms; the wire takes " +
            Fixed(findings.wireMs, 2) + " ms (" + std::to_string(kTimedBytes) + " bytes at " +
            std::to_string(handle.m_pPort->m_uBaudRate) + " baud)");

    for (std::uint16_t axis = 0; axis < v[2]; ++axis) {
        CLinkAxisHandle h{};
        CopyAxisHandle(handle, &h, axis);
        std::uint16_t status = 0, sense = 0;
        std::int32_t count = 0;
        code = GetSignalStatus(&h, &status);
        if (code == kLinkOk) code = GetSignalSense(&h, &sense);
        if (code == kLinkOk) code = GetCommandedPosition(&h, &count);
        const std::string name = "axis " + std::to_string(axis) + ":";
        if (code != kLinkOk) {
            run.Say(name + "        not read (" + std::string(GetErrorText(code)) + ")");
            continue;
        }
        // The status is the inputs after the sense mask a previous host may
        // have left; the connector's own levels say what is wired.
        const auto inputs = static_cast<std::uint16_t>(status ^ (sense & kSignalLimitInputs));
        findings.axes.push_back({axis, inputs});
        const auto level = [&](std::uint16_t bit) { return inputs & bit ? "inactive" : "ACTIVE"; };
        run.Say(name + "        limit switches + " + level(kSignalPositiveLimit) + ", - " +
                level(kSignalNegativeLimit) + "; count " + std::to_string(count));
    }
    close();
    findings.exchanges = run.exchanges;
    findings.repeats = run.repeats;
    findings.failures = run.failures;
    run.Say("exchanges:     " + std::to_string(run.exchanges) + ", " + std::to_string(run.repeats) +
            " repeated, " + std::to_string(run.failures) + " failed");

    const std::vector<std::string> problems = FindProblems(findings);
    run.Say(problems.empty() ? "no problems found" : "problems:");
    for (const std::string& line : problems) run.Say("  - " + line);
    return {};
}

}  // namespace

CommandResult RunDoctor(const SessionOptions& options, const std::string& bundlePath,
                        std::ostream& out) {
    Run run(out);
    run.echoTrace = options.trace;
    g_run = &run;
    SetExchangeObserver(Observe, nullptr);
    std::string processor;
    CommandResult result = Check(run, options, &processor);
    SetExchangeObserver(nullptr, nullptr);
    g_run = nullptr;

    std::string trace;
    for (const std::string& line : run.trace) trace += line + "\n";
    if (!options.traceFile.empty())
        std::ofstream(std::filesystem::u8path(options.traceFile), std::ios::app) << trace;
    if (bundlePath.empty()) return result;

    std::string why;
    const std::string module = ModuleVersion(options.modulePath, &why);
    std::string versions = "tessaro-host " TESSARO_HOST_VERSION_TEXT "\n";
    versions += module.empty() ? "plug-in module: not read (" + why +
                                     "); tessaro-host was built with " TESSARO_HOST_VERSION_TEXT
                                     "\n"
                               : "plug-in module: " + module + " (" + options.modulePath + ")\n";
    std::uint8_t major = 0, minor = 0;
    GetLinkVersion(&major, &minor);
    versions += "command layer: " + std::to_string(major) + "." + std::to_string(minor) + "\n";
    versions += "processor: " + (processor.empty() ? "did not answer" : processor) + "\n";
    std::vector<ArchiveFile> files = {
        {"versions.txt", ""}, {"doctor.txt", run.report.str()}, {"trace.txt", trace}};
    std::string settings;
    if (options.settingsFile.empty()) {
        versions += "settings file: none in use\n";
    } else if (!platform::ReadWholeFile(options.settingsFile, &settings, nullptr)) {
        versions += "settings file: " + options.settingsFile + " is not there (not yet saved)\n";
    } else {
        const std::string name =
            std::filesystem::u8path(options.settingsFile).filename().u8string();
        versions += "settings file: " + name + " (" + options.settingsFile + ")\n";
        files.push_back({name, settings});
    }
    files[0].contents = versions;
    std::string error;
    if (!WriteTarArchive(bundlePath, files, &error)) return {kExitFailed, error};
    std::error_code ignored;
    out << "support bundle: "
        << std::filesystem::absolute(std::filesystem::u8path(bundlePath), ignored).u8string()
        << " (";
    for (const ArchiveFile& file : files)
        out << file.name << (&file == &files.back() ? ")\n" : " ");
    return result;
}

}  // namespace tessaro_host
