// soak: the plug-in as a host uses it for hours, compressed. The simulator
// sits on a pseudo-terminal pacing its bytes at 57600 baud (replies whole,
// after a USB adapter's latency) and the plug-in
// reaches it through the system's serial back-end. One host thread per
// drive moves it again and again while the polling thread runs; then the
// device is disconnected and connected again many times.
//
// What must hold (exit code 1 otherwise; 3 when the run stalls):
//   - every move answers 0 and the processor refuses no packet;
//   - every position change reaches the host once: after each move the last
//     callback of that drive carries the position the drive reports (none
//     missed), and no callback repeats the one before it (none duplicated);
//   - every reconnect connects with all three drives;
//   - nothing stalls (a watchdog); leaks are LeakSanitizer's to find when
//     this runs in the AddressSanitizer build.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/kx_position.h"
#include "host/kx_time.h"
#include "platform/serial_port.h"
#include "sim/processor_endpoint.h"
#include "sim/pty_link.h"
#include "tests/support/plugin_host.h"
#include "tests/support/watchdog.h"

namespace {

using testing_support::PluginHost;

constexpr int kPort = 33;
constexpr unsigned kXYId = 1, kZId = 2, kRotaryId = 3;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// What the host saw through the position callback, per drive id.
struct Callbacks {
    struct Drive {
        std::uint64_t calls = 0;
        std::uint64_t duplicates = 0;
        double last[2] = {NAN, NAN};
    };
    std::mutex mutex;
    std::map<unsigned, Drive> drives;

    static void Receive(std::uint32_t, SKxDevicePosition* p, std::uint64_t context) {
        auto* self = reinterpret_cast<Callbacks*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        Drive& d = self->drives[p->uDeviceId];
        ++d.calls;
        if (d.last[0] == p->dPosition[0] && d.last[1] == p->dPosition[1]) ++d.duplicates;
        d.last[0] = p->dPosition[0];
        d.last[1] = p->dPosition[1];
    }
    // Whether the last callback of `id` carried x (and y, for a stage).
    bool LastIs(unsigned id, double x, double y, bool stage) {
        std::lock_guard<std::mutex> lock(mutex);
        const Drive& d = drives[id];
        return d.last[0] == x && (!stage || d.last[1] == y);
    }
};

// Connects and gives each drive its id (which the callback carries) and
// its parameters, as a host does after every connect.
bool ConnectWithIds(PluginHost& plugin) {
    if (!plugin.Connect(kPort) || !plugin.xy || !plugin.z || !plugin.rotary) return false;
    plugin.xy->LoadSettings(u"", kXYId);
    plugin.z->LoadSettings(u"", kZId);
    plugin.rotary->LoadSettings(u"", kRotaryId);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Moves the three drives from several threads, then reconnects, against the "
        "simulator on a pseudo-terminal paced at 57600 baud."};
    int moves = 1000;
    int reconnects = 200;
    double speed = 4;
    double latencyMs = 2;
    app.add_option("--moves", moves, "Moves per drive")->check(CLI::Range(1, 1000000));
    app.add_option("--reconnects", reconnects, "Disconnect/connect cycles")
        ->check(CLI::Range(0, 100000));
    app.add_option("--speed", speed, "Speed factor of the simulated and the host's clock")
        ->check(CLI::Range(1.0, 50.0));
    app.add_option("--latency", latencyMs,
                   "The line: 0 for a plain UART paced byte by byte, else a USB adapter handing "
                   "each reply over whole after this many ms")
        ->check(CLI::Range(0.0, 100.0));
    CLI11_PARSE(app, argc, argv);

    sim::RealClock clock(speed);
    host::SetTimeSpeed(speed);
    sim::ProcessorEndpoint endpoint(sim::BoardConfig{}, clock);
    endpoint.trace().KeepEntries(false);  // hours of packets
    sim::PtyLink::Options options;
    options.baud = 57600;
    // By default whole replies, as from the board's USB serial adapter with
    // the 2 ms latency timer the plug-in sets; 0: byte by byte.
    options.latencyMs = latencyMs;
    sim::PtyLink line(endpoint, options);
    std::string error;
    if (!line.Start(&error)) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return 2;
    }
    platform::SetComPortPath(kPort, line.slavePath());

    // No move or reconnect for a minute: stalled.
    testing_support::Watchdog watchdog(std::chrono::seconds(60), "soak");
    Callbacks callbacks;
    int failures = 0;
    std::uint64_t missed = 0;
    const auto t0 = std::chrono::steady_clock::now();
    long rssAfterFirstConnect = 0, rssEnd = 0;
    {
        PluginHost plugin;
        if (!ConnectWithIds(plugin)) {
            std::fprintf(stderr, "soak: no connection\n");
            return 1;
        }
        rssAfterFirstConnect = ResidentKiB();
        plugin.device->SetPositionCallback(&Callbacks::Receive,
                                           reinterpret_cast<std::uint64_t>(&callbacks));

        std::atomic<int> failed{0};
        std::atomic<std::uint64_t> notSeen{0};
        // Each thread moves its drive between positions that differ from
        // one move to the next (from the second move on: the first may start
        // where it ends), and checks the host heard of the arrival.
        const auto check = [&](int i, bool ok, unsigned id, double x, double y) {
            if (!ok) ++failed;
            if (i > 0 && !callbacks.LastIs(id, x, y, id == kXYId)) ++notSeen;
            watchdog.Progress();
        };
        std::vector<std::thread> threads;
        threads.emplace_back([&] {
            for (int i = 0; i < moves; ++i) {
                const bool ok = plugin.xy->MoveAbsolute(5.0 * (i % 7), -3.0 * (i % 5)) == KX_DM_OK;
                double x = 0, y = 0;
                plugin.xy->GetPosition(&x, &y);
                check(i, ok, kXYId, x, y);
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < moves; ++i) {
                const bool ok = plugin.z->MoveAbsolute(2.0 * (i % 11) - 10.0) == KX_DM_OK;
                double um = 0;
                plugin.z->GetPosition(&um);
                check(i, ok, kZId, um, 0);
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < moves; ++i) {
                const bool ok = plugin.rotary->MoveAbsolute(1.5 * (i % 4)) == KX_DM_OK;
                double angle = 0;
                plugin.rotary->GetAngle(&angle);
                check(i, ok, kRotaryId, angle, 0);
            }
        });
        for (std::thread& t : threads) t.join();
        failures += failed;
        missed = notSeen;
        const double moveSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%d moves of each of 3 drives in %.1f s (%.0f moves/s), %d failed\n", moves,
                    moveSeconds, 3 * moves / moveSeconds, static_cast<int>(failed));

        const auto r0 = std::chrono::steady_clock::now();
        int badReconnects = 0;
        for (int i = 0; i < reconnects; ++i) {
            plugin.device->DisconnectDevice();
            if (!ConnectWithIds(plugin)) {
                ++badReconnects;
                continue;
            }
            // New drives, new motion objects: the host hands the callback
            // over again, as after every connect.
            plugin.device->SetPositionCallback(&Callbacks::Receive,
                                               reinterpret_cast<std::uint64_t>(&callbacks));
            // The processor counts from 0 after the reset of the last
            // disconnect: a move to +-1 um always changes the position.
            const bool ok = plugin.z->MoveAbsolute(i % 2 ? 1.0 : -1.0) == KX_DM_OK;
            double um = 0;
            plugin.z->GetPosition(&um);
            if (!ok) ++badReconnects;
            if (!callbacks.LastIs(kZId, um, 0, false)) ++missed;
            watchdog.Progress();
        }
        failures += badReconnects;
        rssEnd = ResidentKiB();
        std::printf("%d reconnects in %.1f s, %d failed\n", reconnects,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count(),
                    badReconnects);
        plugin.device->SetPositionCallback(nullptr, 0);
    }

    std::uint64_t calls = 0, duplicates = 0;
    for (const auto& [id, d] : callbacks.drives) {
        calls += d.calls;
        duplicates += d.duplicates;
        std::printf("drive %u: %llu callbacks, %llu repeated\n", id,
                    static_cast<unsigned long long>(d.calls),
                    static_cast<unsigned long long>(d.duplicates));
    }
    const sim::EndpointStats stats = endpoint.stats();
    std::printf("callbacks missed: %llu\n", static_cast<unsigned long long>(missed));
    std::printf("packets %llu, refused %llu\n", static_cast<unsigned long long>(stats.packets),
                static_cast<unsigned long long>(stats.refusals));
    std::printf("resident memory: %ld KiB after the first connect, %ld KiB after the last\n",
                rssAfterFirstConnect, rssEnd);
    const bool ok =
        failures == 0 && missed == 0 && duplicates == 0 && stats.refusals == 0 && calls > 0;
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
