// Exchange benchmark: one command of 4 bytes answered by a 6-byte reply
// (GetVersion), against link-peer on a pseudo-terminal.
//
//  1. The peer answers at once: exchanges per second, mean and p99 of one
//     exchange -- the cost of this side (purge, write, read) plus the pty.
//  2. The peer paces its reply as a 57600 baud line would (request and reply
//     bytes at ten bit times each): measured time / wire time, where the wire
//     time is 10 bytes * 10 bits / 57600 = 1.736 ms.
//
// Run through `make bench`, which starts the peer; natively and under Wine.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "tests/support/peer_control.h"

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
    CLI11_PARSE(app, argc, argv);

    testing_support::ConfigurePeerPorts();
    testing_support::PeerControl control;
    std::string error;
    if (!control.Open(&error) || !control.Ok("reset")) {
        std::fprintf(stderr, "link-exchange-bench: %s (is link-peer running?)\n", error.c_str());
        return 1;
    }
    cmotion::CLinkAxisHandle handle{};
    cmotion::LinkError code =
        cmotion::OpenSerialInterface(&handle, 0, testing_support::kPeerDataPort);
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
    control.Ok("reset");
    handle.m_pfnClose(handle.m_pPort);

    std::printf("| %s | %d | %.0f | %.1f | %.1f | %d | %.1f | %.1f | %.4f | %.4f | %d |\n",
                label.c_str(), instantCount, instant.perSecond, instant.meanUs, instant.p99Us,
                pacedCount, wireUs, paced.meanUs, paced.meanUs / wireUs, paced.p99Us / wireUs,
                instant.failures + paced.failures);
    return instant.failures + paced.failures == 0 ? 0 : 1;
}
