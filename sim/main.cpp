// tessaro-sim: the board's motion processor on a pseudo-terminal, for the
// plug-in, its tests and demos to talk to as if it were a COM port.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/pty_pair.h"
#include "resources/module_version.h"
#include "sim/control_channel.h"
#include "sim/processor_endpoint.h"
#include "sim/pty_link.h"

namespace {

// SIGUSR1 takes the line away as an unplugged adapter, SIGUSR2 cuts the
// board's power as well; the main loop carries it out.
volatile sig_atomic_t g_unplugAsked = 0;  // 0 none, 1 unplug, 2 power cut

void AskUnplug(int signal) {
    g_unplugAsked = signal == SIGUSR2 ? 2 : 1;
}

// "8.203.1273.0": the version as command-line tools print it.
std::string DottedVersion() {
    const int parts[] = {TESSARO_FILE_VERSION};
    std::string text;
    for (const int part : parts) text += (text.empty() ? "" : ".") + std::to_string(part);
    return text;
}

// "AXIS:NEG:POS": limit switches of an axis at step counts; either side may
// be left empty for none.
bool ParseLimits(const std::string& text, int* axis, sim::LimitSwitches* limits,
                 std::string* error) {
    const std::size_t a = text.find(':');
    const std::size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) {
        *error = "--limit takes AXIS:NEG:POS, e.g. 2:-50000:50000";
        return false;
    }
    try {
        *axis = std::stoi(text.substr(0, a));
        const std::string neg = text.substr(a + 1, b - a - 1);
        const std::string pos = text.substr(b + 1);
        limits->hasNegative = !neg.empty();
        limits->hasPositive = !pos.empty();
        if (limits->hasNegative) limits->negative = std::stoi(neg);
        if (limits->hasPositive) limits->positive = std::stoi(pos);
    } catch (const std::exception&) {
        *error = "bad --limit '" + text + "'";
        return false;
    }
    if (*axis < 0 || *axis > 3) {
        *error = "--limit axis must be 0 to 3";
        return false;
    }
    if (limits->hasNegative && limits->hasPositive && limits->negative >= limits->positive) {
        *error = "--limit '" + text + "': the negative switch must lie below the positive one";
        return false;
    }
    return true;
}

// One simulator per link: a second one would take the line over and, when
// it ends, delete the link the first one still serves. An exclusive lock on
// LINK.lock, held for the program's life (the system lets go of it when the
// program ends, however it ends).
bool LockLink(const std::string& link, std::string* error) {
    const std::string path = link + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = link + " is served by another tessaro-sim already";
        close(fd);
        return false;
    }
    return true;  // the descriptor stays open: the lock lives as long as we do
}

// The folder the link goes into must exist: found now, before the line is
// set up, rather than as a lost line later.
bool LinkFolderUsable(const std::string& link, std::string* error) {
    const std::size_t slash = link.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : link.substr(0, slash + 1);
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = "no folder " + folder + " for the link " + link;
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        *error = "cannot write into " + folder + " (for the link " + link + ")";
        return false;
    }
    return true;
}

const char* const kFaultHelp = R"(
Faults (--fault KIND[:OPTION]..., repeatable; the first rule that fires wins):
  noreply   the command is carried out, its reply is lost
  short     the reply lacks its last bytes (bytes=N, default 1)
  badsum    the reply's checksum is off by one
  late      the reply comes ms=N milliseconds late (default 500)
  garbage   bytes=N stray bytes (default 1) come before the reply
  reset     the processor resets before the command and answers status 1
  silence   from then on nothing is answered
  hangup    the line disappears
  refuse    the command is refused with status=N (default 13), not carried out
  unplug    the line goes away before the command for ms=N (default 2000),
            then comes back under the same link; the processor keeps its state
  powercut  the same, and the board loses power: it comes back reset
When it fires (default: the next packet, once):
  next      the next packet          op=NAME|0xNN  packets of that command
  from=N    every packet from the N-th on (counted from 1)
  p=P       at random with probability P (seed=N repeats a sequence)
  count=N   at most N times           axis=N      only that axis's packets
Examples:
  --fault badsum:op=GetEventStatus:count=2   two spoiled status replies
  --fault silence:from=100                   the processor dies at packet 100
  --fault late:ms=200:op=SetVelocity:axis=2  one late reply to Z's speed

Unplugging by signal: SIGUSR1 takes the line away for --drop-ms as 'unplug'
does, SIGUSR2 as 'powercut' (kill -USR1 PID).

Limit switches (--limit AXIS:NEG:POS, repeatable): switches at step counts of
the first connection's origin, either side may be empty; they stay on the
stage across processor resets.

The control socket (--control PATH) takes one request a line:
  where          "steps S0 .. moving M0 .. resets R": where each axis stands
                 in steps of the frame the simulator started in, whatever
                 resets came since; whether it moves; processor resets so far
  unplug MS      the line away for MS ms      powercut MS  the same, reset
  fault SPEC     one more --fault rule        clear-faults every rule dropped)";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Simulated Tessaro motion processor on a pseudo-terminal. Prints the slave device on its "
        "first "
        "line, serves until interrupted, then prints a summary."};
    app.footer(kFaultHelp);
    sim::BoardConfig board;
    std::string link;
    std::uint32_t baud = 0;
    double latencyMs = 0;
    double speed = 1.0;
    std::vector<std::string> faultSpecs;
    std::vector<std::string> limitSpecs;
    bool trace = false;
    int dropMs = 2000;
    std::string control;
    app.add_option("--axes", board.axes, "Number of axes the processor reports")
        ->check(CLI::Range(1, 4));
    app.add_option("--link", link,
                   "Symbolic link to make at the slave device (e.g. a Wine COM device)")
        ->required();
    app.add_option("--baud", baud, "Pace replies at this baud rate (10 bits a byte); 0: no pacing")
        ->check(CLI::Range(0, 4000000));
    app.add_option("--latency", latencyMs, "Adapter latency before each reply, ms")
        ->check(CLI::Range(0.0, 1000.0));
    app.add_option("--speed", speed, "Speed factor of the simulated time")
        ->check(CLI::Range(0.001, 10000.0));
    app.add_option("--sample-time", board.sampleTimeMicros, "Profile cycle, microseconds")
        ->check(CLI::Range(1, 100000));
    app.add_option("--limit", limitSpecs,
                   "Limit switches AXIS:NEG:POS at step counts (repeatable)");
    app.add_option(
        "--fault", faultSpecs,
        "Fault KIND[:OPTION]... (repeatable); KIND noreply short badsum late garbage reset silence "
        "hangup refuse unplug powercut; OPTION next op=NAME|0xNN p=PROB seed=N from=N count=N ms=N "
        "bytes=N axis=N "
        "status=N");
    app.add_flag("--trace", trace, "Print every packet");
    app.add_option("--drop-ms", dropMs,
                   "How long SIGUSR1 (unplug) and SIGUSR2 (power cut) take the line away, ms")
        ->check(CLI::Range(1, 600000));
    app.add_option("--control", control,
                   "Local socket for requests no host can make: where each axis physically "
                   "stands, unplug, power cut, faults (one request a line; see below)");
    app.set_version_flag("--version", "tessaro-sim " + DottedVersion());
    CLI11_PARSE(app, argc, argv);

    sim::RealClock clock(speed);
    sim::ProcessorEndpoint endpoint(board, clock);
    for (const std::string& spec : faultSpecs) {
        sim::FaultRule rule;
        std::string error;
        if (!sim::ParseFault(spec, &rule, &error)) {
            std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
            return 2;
        }
        endpoint.faults().Add(rule);
    }
    for (const std::string& spec : limitSpecs) {
        int axis = 0;
        sim::LimitSwitches limits;
        std::string error;
        if (!ParseLimits(spec, &axis, &limits, &error)) {
            std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
            return 2;
        }
        endpoint.processor().SetLimitSwitches(axis, limits);
    }
    // The program runs for hours: it prints packets (with --trace) but keeps
    // none; its summary comes from the endpoint's counters.
    endpoint.trace().KeepEntries(false);
    std::mutex printMutex;
    if (trace) {
        endpoint.trace().SetSink([&](const sim::TraceEntry& e) {
            std::lock_guard<std::mutex> lock(printMutex);
            std::printf("%s\n", sim::FormatTraceEntry(e).c_str());
            std::fflush(stdout);
        });
    }

    std::string error;
    if (!LinkFolderUsable(link, &error)) {
        std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
        return 2;
    }
    if (!LockLink(link, &error)) {
        std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
        return 1;
    }
    // Our own session with the line as controlling terminal: a Wine server
    // that opens the line later cannot adopt it and be hung up by it.
    sim::PtyLink::Options options;
    options.linkPath = link;
    options.baud = baud;
    options.latencyMs = latencyMs;
    options.controllingTerminal = true;
    sim::PtyLink line(endpoint, options);
    if (!platform::StartNewSession(&error) || !line.Start(&error)) {
        std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
        return 1;
    }
    sim::ControlChannel channel(endpoint);
    if (!control.empty() && !channel.Start(control, &error)) {
        std::fprintf(stderr, "tessaro-sim: %s\n", error.c_str());
        return 1;
    }
    platform::CatchStopSignals();
    struct sigaction unplug {};
    unplug.sa_handler = AskUnplug;
    sigemptyset(&unplug.sa_mask);
    sigaction(SIGUSR1, &unplug, nullptr);
    sigaction(SIGUSR2, &unplug, nullptr);
    {
        std::lock_guard<std::mutex> lock(printMutex);
        std::printf("%s\n", line.slavePath().c_str());
        std::fflush(stdout);
    }
    // A bounded sleep rather than pause(): a signal that lands between the
    // test and pause() would otherwise be missed until the next one.
    while (!platform::StopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (const int asked = g_unplugAsked) {
            g_unplugAsked = 0;
            endpoint.Unplug(dropMs, asked == 2);
        }
    }
    channel.Stop();
    line.Stop();

    const sim::EndpointStats stats = endpoint.stats();
    std::lock_guard<std::mutex> lock(printMutex);
    std::printf("tessaro-sim: %llu packets, %llu refused, %llu faults injected, %llu resets\n",
                static_cast<unsigned long long>(stats.packets),
                static_cast<unsigned long long>(stats.refusals),
                static_cast<unsigned long long>(stats.faults),
                static_cast<unsigned long long>(stats.resets));
    return 0;
}
