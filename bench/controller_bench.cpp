// Controller benchmarks (native): the simulator on a pseudo-terminal in its
// own thread, the controller on the real serial back-end.
//
//  1. CPU time of the polling thread while connected and idle with 4 axes,
//     as a share of one core; and what the literal busy wait between passes
//     (reading the time counter until 50 ms have passed) costs.
//  2. Delay from a position change in the simulator to the host callback.
//  3. Delay from the simulator's motion complete to the return of a
//     MoveAndWait.
//  4. Allocations made by the polling thread per notification (and per
//     idle pass): counted by this program's operator new, for that thread
//     only (the simulator, in this process too, allocates freely).
//  5. Close (what DisconnectDevice does) while the polling thread runs.
//  6. Open against a simulator pacing its bytes at 57600 baud (whole
//     replies, as from a USB adapter), as a ratio to the protocol's own
//     minimum: the synchronisation's three unanswered reads plus the wire
//     time of every packet.
//  7. Time from a line's return (the simulator's line unplugged for a
//     second, then back under its link) to the end of the first move that
//     works: what a drop costs an acquisition beyond its own length.
//  8. What waiting for a rotary move costs: the event status reads a second
//     on the line and the waiting thread's CPU, as a share of one core.
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "cmotion/link_opcodes.h"
#include "cmotion/link_serial.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "host/kx_time.h"
#include "platform/serial_port.h"
#include "sim/command_shapes.h"
#include "sim/pty_link.h"

// Allocations of one thread, counted by the global operator new.
namespace {
std::atomic<bool> g_bCounting{false};
pthread_t g_countedThread;
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_bCounting.load(std::memory_order_acquire) &&
        pthread_equal(pthread_self(), g_countedThread))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace tessaro;

void CountAllocationsOf(pthread_t thread) {
    g_countedThread = thread;
    g_allocations = 0;
    g_bCounting.store(true, std::memory_order_release);
}
std::uint64_t StopCounting() {
    g_bCounting.store(false, std::memory_order_release);
    return g_allocations.load();
}

// One row of the report: measure, native result, Wine result, goal, met.
void Row(const char* measure, const std::string& result, const char* goal, bool met,
         const std::string& notes = "") {
    std::printf("| %s | %s | - | %s | %s | %s |\n", measure, result.c_str(), goal,
                met ? "yes" : "**no**", notes.c_str());
}

std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Text(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}
using Clock = std::chrono::steady_clock;

constexpr int kPort = 40;

double ThreadCpuSeconds(pthread_t thread) {
    clockid_t id;
    if (pthread_getcpuclockid(thread, &id) != 0) return -1;
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
};

Percentiles Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    Percentiles p;
    if (v.empty()) return p;
    p.p50 = v[v.size() / 2];
    p.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    p.max = v.back();
    return p;
}

// A simulated board on a pseudo-terminal as COM kPort.
struct Board {
    explicit Board(std::uint32_t baud = 0, double latencyMs = 0, std::string link = "")
        : endpoint(sim::BoardConfig{}, clock) {
        sim::PtyLink::Options options;
        options.baud = baud;
        options.latencyMs = latencyMs;
        options.linkPath = link;
        line = std::make_unique<sim::PtyLink>(endpoint, options);
        std::string error;
        if (!line->Start(&error)) {
            std::fprintf(stderr, "controller-bench: %s\n", error.c_str());
            std::exit(1);
        }
        platform::SetComPortPath(kPort, link.empty() ? line->slavePath() : link);
    }
    sim::RealClock clock;
    sim::ProcessorEndpoint endpoint;
    std::unique_ptr<sim::PtyLink> line;
};

void IdlePollingCpu(double seconds) {
    Board board;
    CTessaroController controller(kPort);
    if (!controller.Open()) std::exit(1);
    const double cpu0 = ThreadCpuSeconds(controller.m_thread);
    CountAllocationsOf(controller.m_thread);
    const auto t0 = Clock::now();
    const std::uint64_t packets0 = board.endpoint.stats().packets;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ThreadCpuSeconds(controller.m_thread) - cpu0;
    const std::uint64_t idleAllocations = StopCounting();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double passes = (board.endpoint.stats().packets - packets0) / 4.0;
    controller.Close();

    // The literal wait for comparison: read the time counter (and test for
    // cancellation) until 50 ms have passed, again and again.
    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        while (!stop) {
            const double start = KX_GetTimeCounter();
            while (KX_GetTimeCounter() - start <= 50.0 && !stop) pthread_testcancel();
        }
    });
    const double spin0 = ThreadCpuSeconds(spinner.native_handle());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double spin = ThreadCpuSeconds(spinner.native_handle()) - spin0;
    stop = true;
    spinner.join();

    const double share = 100.0 * cpu / wall;
    Row("idle polling CPU, 4 axes (share of one core)", Text("%.3f %%", share), "<= 0.5 %",
        share <= 0.5,
        Text("%.0f passes in %.1f s, %.1f ms a pass; %llu allocations in idle passes; the "
             "literal busy wait: %.1f %%",
             passes, wall, 1000.0 * wall / passes, static_cast<unsigned long long>(idleAllocations),
             100.0 * spin / 2.0));
}

void NotificationLatency(int samples) {
    Board board;
    CTessaroController controller(kPort);
    if (!controller.Open()) std::exit(1);
    struct Probe {
        std::mutex mutex;
        Clock::time_point changedAt;
        std::vector<double> ms;
        std::atomic<int> pending{0};
    } probe;
    // The probe's own records must not count as the plug-in's allocations.
    probe.ms.reserve(static_cast<std::size_t>(samples));
    controller.m_pZMotion->m_pCallbackContext = reinterpret_cast<std::uint64_t>(&probe);
    controller.m_pZMotion->m_pfnPositionCallback = [](std::uint32_t, SKxDevicePosition*,
                                                      std::uint64_t context) {
        auto* p = reinterpret_cast<Probe*>(context);
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(p->mutex);
        if (p->pending.exchange(0))
            p->ms.push_back(std::chrono::duration<double, std::milli>(now - p->changedAt).count());
    };
    CountAllocationsOf(controller.m_thread);
    for (int i = 0; i < samples; ++i) {
        // At a moment unrelated to the polling phase.
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + (i * 7919) % 40000));
        {
            std::lock_guard<std::mutex> lock(probe.mutex);
            probe.changedAt = Clock::now();
            probe.pending = 1;
        }
        board.endpoint.MoveByHand(2, (i % 2) ? 1000 : 2000);
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (probe.pending && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::uint64_t allocations = StopCounting();
    controller.Close();
    const Percentiles p = Summarise(probe.ms);
    Row("position change to host callback", Text("p50 %.1f ms, p99 %.1f ms", p.p50, p.p99),
        "p99 <= 55 ms", p.p99 <= 55.0, Text("max %.1f ms, %zu samples", p.max, probe.ms.size()));
    const double perNotification =
        probe.ms.empty() ? 0 : static_cast<double>(allocations) / probe.ms.size();
    Row("allocations per notification (polling thread)", Text("%.2f", perNotification), "0",
        allocations == 0,
        Text("%llu allocations over %zu notifications and the passes between them",
             static_cast<unsigned long long>(allocations), probe.ms.size()));
}

void MoveDoneLatency(int samples) {
    Board board;
    CTessaroController controller(kPort);
    if (!controller.Open()) std::exit(1);
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        if (!controller.m_pZMotion->MoveAndWait((i % 2) ? 20.0 : 0.0, false)) std::exit(1);
        const std::int64_t returned = board.clock.NowMicros();
        const std::int64_t completed = board.endpoint.processor().Axis(2).completedAtMicros;
        ms.push_back((returned - completed) / 1000.0);
    }
    controller.Close();
    const Percentiles p = Summarise(ms);
    Row("motion complete to MoveAndWait return", Text("p50 %.1f ms, p99 %.1f ms", p.p50, p.p99),
        "p99 <= 12 ms", p.p99 <= 12.0, Text("max %.1f ms, %d moves", p.max, samples));
}

void DisconnectWhilePolling(int runs) {
    std::vector<double> ms;
    Board board;
    for (int r = 0; r < runs; ++r) {
        CTessaroController controller(kPort);
        if (!controller.Open()) std::exit(1);
        // At a moment unrelated to the polling phase: mostly while the
        // thread waits between passes, sometimes during a pass.
        std::this_thread::sleep_for(std::chrono::microseconds(30000 + (r * 7919) % 50000));
        const auto t0 = Clock::now();
        controller.Close();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const Percentiles p = Summarise(ms);
    Row("DisconnectDevice while polling (Close)", Text("p50 %.2f ms, p99 %.2f ms", p.p50, p.p99),
        "p99 <= 15 ms", p.p99 <= 15.0,
        Text("max %.2f ms, %d disconnects; includes the Reset exchange", p.max, runs));
}

void OpenTime(int runs) {
    constexpr double kBaud = 57600.0;
    std::vector<double> ratios;
    double lastMs = 0, lastMinimum = 0;
    for (int r = 0; r < runs; ++r) {
        Board board(57600, 0.001);
        CTessaroController controller(kPort);
        const auto t0 = Clock::now();
        if (!controller.Open()) std::exit(1);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        // The protocol's minimum: three zero bytes unanswered (110 ms each)
        // and the wire time of every packet and its reply.
        double wireBytes = 0;
        for (const sim::TraceEntry& e : board.endpoint.trace().Snapshot()) {
            wireBytes += 4 + 2.0 * e.args.size();
            if (e.answered) wireBytes += 2 + 2.0 * e.reply.size();
        }
        // Plus one quiet time after the synchronisation's answer, which lets
        // the rest of that answer arrive before the purge.
        const double minimum =
            3 * 110.0 + cmotion::QuietTimeMs(57600) + wireBytes * 10.0 / kBaud * 1000.0;
        ratios.push_back(ms / minimum);
        lastMs = ms;
        lastMinimum = minimum;
        controller.Close();
    }
    const Percentiles p = Summarise(ratios);
    Row("Open at 57600 baud / protocol minimum", Text("%.3f median, %.3f worst", p.p50, p.max),
        "<= 1.05 (median)", p.p50 <= 1.05,
        Text("%d opens; last %.1f ms against %.1f ms", runs, lastMs, lastMinimum));
}

void LineReturnToMove(int drops) {
    const std::string link = "/tmp/controller-bench-" + std::to_string(getpid());
    Board board(57600, 1.0, link);
    CTessaroController controller(kPort);
    if (!controller.Open()) std::exit(1);
    std::vector<double> ms;
    for (int d = 0; d < drops; ++d) {
        // At a moment unrelated to the reopening's phase.
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + (d * 7919) % 50000));
        // For about a second, the length varied so that the return does
        // not keep one phase to the reopening.
        board.endpoint.Unplug(1000 + (d * 137) % 450, false);
        // Moves are asked for all along, as a script would retry them.
        bool sawBack = false;
        Clock::time_point back{};
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (!sawBack && !board.endpoint.unplugged()) {
                sawBack = true;
                back = Clock::now();
            }
            if (sawBack && controller.m_pZMotion->MoveAndWait((d % 2) ? 1.0 : 0.0, false)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - back).count());
    }
    controller.Close();
    board.line.reset();
    const Percentiles p = Summarise(ms);
    // Bounded by one reopening period (500 ms), one synchronisation (three
    // zero bytes that form no packet yet, 110 ms unanswered each, then the
    // answer and a quiet time of 17 ms) and the reads after it, plus the
    // move of 1 um itself (a few ms): 500 + 330 + 17 + about 20 ms.
    Row("line back to first move done (1-1.5 s drop)",
        Text("p50 %.0f ms, max %.0f ms", p.p50, p.max), "max <= 900 ms", p.max <= 900.0,
        Text("%d drops; reopened every 500 ms", drops));
}

void RotaryWaitCost(double seconds) {
    Board board;
    CTessaroController controller(kPort);
    if (!controller.Open()) std::exit(1);
    CTessaroRotaryMotion& r = *controller.m_pRotaryMotion;
    // A turn at the default 0.5 rev/s lasts 2 s: as many as fill the time.
    const double degrees = 360.0 * 0.5 * seconds;
    const std::size_t mark = board.endpoint.trace().Snapshot().size();
    std::atomic<bool> moved{false};
    double cpu = 0;
    const auto t0 = Clock::now();
    std::thread waiter([&] {
        const double cpu0 = ThreadCpuSeconds(pthread_self());
        moved = r.MoveAndWait(degrees, true);
        cpu = ThreadCpuSeconds(pthread_self()) - cpu0;
    });
    waiter.join();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto trace = board.endpoint.trace().Snapshot();
    std::size_t reads = 0;
    for (std::size_t i = mark; i < trace.size(); ++i)
        reads += trace[i].axis == 3 &&
                 trace[i].opcode == static_cast<std::uint8_t>(cmotion::Opcode::GetEventStatus);
    controller.Close();
    if (!moved) std::exit(1);
    const double perSecond = reads / wall, share = 100.0 * cpu / wall;
    Row("rotary move waited for: status reads a second, CPU of the wait",
        Text("%.0f reads/s, %.2f %%", perSecond, share), "<= 100 reads/s, <= 2 %",
        perSecond <= 100.0 && share <= 2.0,
        Text("%.0f degrees in %.1f s, %zu reads", degrees, wall, reads));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Controller benchmarks against the simulator on a pseudo-terminal."};
    double idleSeconds = 5;
    int notifications = 100;
    int moves = 100;
    int opens = 11;
    int disconnects = 100;
    int drops = 10;
    double rotarySeconds = 4;
    app.add_option("--idle-seconds", idleSeconds, "How long to measure the idle polling thread");
    app.add_option("--notifications", notifications, "Position changes to time");
    app.add_option("--moves", moves, "Moves to time");
    app.add_option("--opens", opens, "Opens to time");
    app.add_option("--disconnects", disconnects, "Disconnects to time");
    app.add_option("--drops", drops, "Line drops to time");
    app.add_option("--rotary-seconds", rotarySeconds, "How long the rotary move waited for lasts");
    CLI11_PARSE(app, argc, argv);

    // Rows only: run-benchmarks.sh puts them into its table.
    IdlePollingCpu(idleSeconds);
    NotificationLatency(notifications);
    MoveDoneLatency(moves);
    DisconnectWhilePolling(disconnects);
    OpenTime(opens);
    LineReturnToMove(drops);
    RotaryWaitCost(rotarySeconds);
    return 0;
}
