// Exchange benchmark: one command of 4 bytes answered by a 6-byte reply
// (GetVersion), against link-peer on a pseudo-terminal.
//
//  1. The peer answers at once: exchanges per second, mean and p99 of one
//     exchange -- the cost of this side (purge, write, read) plus the pty.
//  2. The peer paces its reply as a 57600 baud line would (request and reply
//     bytes at ten bit times each): measured time / wire time, where the wire
//     time is 10 bytes * 10 bits / 57600 = 1.736 ms.
//
//  3. Natively, where this program and the peer share one monotonic clock:
//     where the time of a paced exchange goes (this side's purge and write,
//     the pseudo-terminal to the peer, the peer's pacing, the way back and
//     the wake-up of the read).
//
// Run through `make bench`, which starts the peer; natively and under Wine.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "tools/link-peer/peer_control.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double perSecond = 0;
    double meanUs = 0;
    double p50Us = 0;
    double p99Us = 0;
    int failures = 0;
};

Figures Measure(cmotion::CLinkAxisHandle* handle, int count) {
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(count));
    Figures f;
    const auto begin = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::uint16_t w1 = 0, w2 = 0;
        const auto t0 = Clock::now();
        const cmotion::LinkError code =
            cmotion::SendCommandGet16x2(handle, cmotion::Opcode::GetVersion, &w1, &w2);
        const auto t1 = Clock::now();
        if (code != cmotion::kLinkOk || w1 != 0x5340) ++f.failures;
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    const double total = std::chrono::duration<double>(Clock::now() - begin).count();
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us) sum += u;
    f.perSecond = count / total;
    f.meanUs = sum / count;
    f.p50Us = us[us.size() / 2];
    f.p99Us = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    return f;
}

#ifndef _WIN32
// steady_clock is CLOCK_MONOTONIC here, the clock of the peer's time stamps.
long long MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void PrintBreakdown(cmotion::CLinkAxisHandle* handle, link_peer::PeerControl& control, int count,
                    double wireUs) {
    platform::SerialApi& api = platform::CurrentSerialApi();
    const platform::SerialHandle h = handle->m_pPort->m_hPort;
    double ourSide = 0, toPeer = 0, peer = 0, back = 0;
    for (int i = 0; i < count; ++i) {
        // The exchange's own steps, one by one, with the clock read between.
        const std::uint8_t request[4] = {0x00, 0x71, 0x00, 0x8F};
        std::uint8_t reply[6];
        std::uint32_t n = 0;
        const long long t0 = MonotonicNs();
        api.Purge(h, platform::kPurgeRxClear);
        api.Write(h, request, 4, &n);
        const long long written = MonotonicNs();
        api.Read(h, reply, 6, &n);
        const long long read = MonotonicNs();
        std::istringstream in(control.Command("times"));
        std::string ok;
        long long received = 0, sent = 0;
        in >> ok >> received >> sent;
        ourSide += static_cast<double>(written - t0);
        toPeer += static_cast<double>(received - written);
        peer += static_cast<double>(sent - received);
        back += static_cast<double>(read - sent);
    }
    const double k = 1000.0 * count;
    std::printf(
        "native paced exchange, mean of %d: purge+write %.1f us, pty to peer %.1f us, "
        "peer %.1f us (wire %.1f us), pty back and read wake-up %.1f us\n",
        count, ourSide / k, toPeer / k, peer / k, wireUs, back / k);
    // This side's own share of an exchange: what it does before the bytes
    // leave. The read's return after the last byte is in cannot be told
    // apart from the pseudo-terminal's hop back; on a real adapter it is the
    // driver's completion, a few microseconds.
    std::printf("own share: %.2f %% of the wire time\n", 100.0 * ourSide / k / wireUs);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Exchange time of the serial transport against link-peer."};
    int instantCount = 20000;
    int pacedCount = 1000;
    std::string label =
#ifdef _WIN32
        "windows (wine)";
#else
        "native";
#endif
    app.add_option("--instant", instantCount, "Exchanges against the answering-at-once peer");
    app.add_option("--paced", pacedCount, "Exchanges against the 57600-baud paced peer");
    app.add_option("--label", label, "Name of this run in the report");
    bool breakdown = false;
    app.add_flag("--breakdown", breakdown, "Where a paced exchange's time goes (native only)");
    CLI11_PARSE(app, argc, argv);

    link_peer::ConfigurePeerPorts();
    link_peer::PeerControl control;
    std::string error;
    if (!control.Open(&error) || !control.Ok("reset")) {
        std::fprintf(stderr, "link-exchange-bench: %s (is link-peer running?)\n", error.c_str());
        return 1;
    }
    cmotion::CLinkAxisHandle handle{};
    cmotion::LinkError code = cmotion::OpenSerialInterface(&handle, 0, link_peer::kPeerDataPort);
    if (code == cmotion::kLinkOk) code = cmotion::SyncSerialPort(handle.m_pPort);
    if (code != cmotion::kLinkOk) {
        std::fprintf(stderr, "link-exchange-bench: COM5: %s\n", cmotion::GetErrorText(code));
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
        return 1;
    }

    Measure(&handle, std::min(instantCount, 500));  // warm-up
    const Figures instant = Measure(&handle, instantCount);

    constexpr double kBaud = 57600.0;
    const double wireUs = 10 * 10 / kBaud * 1e6;
    control.Ok("pace 57600");
    const Figures paced = Measure(&handle, pacedCount);
#ifndef _WIN32
    if (breakdown) PrintBreakdown(&handle, control, 200, wireUs);
#endif
    control.Ok("reset");
    handle.m_pfnClose(handle.m_pPort);

    std::printf("| %s | %d | %.0f | %.1f | %.1f | %d | %.1f | %.1f | %.4f | %.4f | %d |\n",
                label.c_str(), instantCount, instant.perSecond, instant.meanUs, instant.p99Us,
                pacedCount, wireUs, paced.meanUs, paced.meanUs / wireUs, paced.p99Us / wireUs,
                instant.failures + paced.failures);
    return instant.failures + paced.failures == 0 ? 0 : 1;
}
