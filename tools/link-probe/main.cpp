// link-probe: opens a COM port the way the controller does, brings the line
// into step with the motion processor, asks for its version and exchanges a
// few commands, printing each packet. A first look at a board (or at a peer
// on a pseudo-terminal) before anything else is connected.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "platform/serial_port.h"
#include "tools/tessaro-host/tool_version.h"

namespace {

using namespace cmotion;

bool g_bTrace = false;
std::chrono::steady_clock::time_point g_start;
std::string g_lastSystemError;  // the serial back-end's own words for the last failure

// Sits between the commands and the port, printing every exchange.
LinkError TracingExchange(CLinkSerialPort* port, std::uint16_t count, const std::uint16_t* words,
                          std::uint16_t replyCount, std::uint16_t* reply) {
    const LinkError code = ExchangePacket(port, count, words, replyCount, reply);
    if (!g_bTrace) return code;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start)
            .count();
    std::string line;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "  %9.3f ms  axis %u  %-22s", ms, words[0] >> 8,
                  GetOpcodeName(words[0]));
    line += buffer;
    for (std::uint16_t i = 1; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, " %04X", words[i]);
        line += buffer;
    }
    line += code == kLinkOk ? "  ->" : "  -> " + std::string(GetErrorText(code));
    // Reply words mean nothing after a failure of this side of the line.
    if (code < kLinkPositionNotifyFailed) {
        for (std::uint16_t i = 0; i < replyCount; ++i) {
            std::snprintf(buffer, sizeof buffer, " %04X", reply[i]);
            line += buffer;
        }
    }
    std::printf("%s\n", line.c_str());
    return code;
}

int Fail(const char* what, LinkError code) {
    std::fprintf(stderr, "link-probe: %s: %s (%u)%s%s\n", what, GetErrorText(code), code,
                 g_lastSystemError.empty() ? "" : "; ", g_lastSystemError.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Open a COM port as the controller does, synchronise and query the motion processor."};
    int port = 1;
    std::string device;
    int roundTrips = 200;
    app.add_option("--port", port, "COM port number")->check(CLI::Range(1, 254));
    app.add_option(
        "--device", device,
        "Device that stands behind the COM port (POSIX only), e.g. /dev/ttyUSB0 or a pty");
    app.add_option("--round-trips", roundTrips, "Position round trips to time")
        ->check(CLI::Range(0, 1000000));
    app.add_flag("--trace", g_bTrace, "Print every packet");
    app.set_version_flag("--version", "link-probe " TESSARO_HOST_VERSION_TEXT);
    CLI11_PARSE(app, argc, argv);

    if (!device.empty()) platform::SetComPortPath(port, device);
    platform::SetSerialTraceSink([](std::string_view line) { g_lastSystemError = line; });
    g_start = std::chrono::steady_clock::now();

    std::uint8_t linkMajor = 0, linkMinor = 0;
    GetLinkVersion(&linkMajor, &linkMinor);
    std::printf("MotionLink command layer V%u.%u\n", linkMajor, linkMinor);

    CLinkAxisHandle handle{};
    LinkError code = OpenSerialInterface(&handle, 0, port);
    // Every command goes through the tracing exchange from here on.
    handle.m_pfnExchange = TracingExchange;
    const auto close = [&] { handle.m_pfnClose(handle.m_pPort); };
    if (code != kLinkOk) {
        close();
        return Fail(("COM" + std::to_string(port)).c_str(), code);
    }
    std::printf("COM%d open: %u baud, 8 data bits, no parity, one stop bit, no flow control\n",
                port, handle.m_pPort->m_uBaudRate);

    const auto syncStart = std::chrono::steady_clock::now();
    code = SyncSerialPort(handle.m_pPort);
    const double syncMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - syncStart)
            .count();
    if (code != kLinkOk) {
        close();
        return Fail("synchronising", code);
    }
    std::printf("line in step with the processor after %.1f ms\n", syncMs);

    std::uint16_t generation = 0, motorType = 0, axes = 0, chips = 0, kept = 0, major = 0,
                  minor = 0;
    code = GetVersion(&handle, &generation, &motorType, &axes, &chips, &kept, &major, &minor);
    if (code != kLinkOk) {
        close();
        return Fail("GetVersion", code);
    }
    std::printf("processor: generation %u, motor type %u, %u axes, chip count %u, version %u.%u\n",
                generation, motorType, axes, chips, major, minor);

    std::uint16_t events = 0;
    code = GetEventStatus(&handle, &events);
    if (code != kLinkOk) {
        close();
        return Fail("GetEventStatus", code);
    }
    std::printf("event status of axis 0: 0x%04X\n", events);

    // Round trips of a destination (set, then read back): every byte value
    // both ways, and the time one exchange takes on this line.
    const bool trace = g_bTrace;
    g_bTrace = false;
    std::vector<double> us;
    int mismatches = 0;
    for (int i = 0; i < roundTrips; ++i) {
        const std::uint32_t b = static_cast<std::uint32_t>(i * 4) & 0xFF;
        const std::int32_t position =
            static_cast<std::int32_t>((b << 24) | ((b + 1) << 16) | ((b + 2) << 8) | (b + 3));
        std::int32_t back = 0;
        const auto t0 = std::chrono::steady_clock::now();
        code = SetPosition(&handle, position);
        if (code == kLinkOk) code = GetPosition(&handle, &back);
        us.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count() /
            2);
        if (code != kLinkOk) {
            close();
            return Fail("position round trip", code);
        }
        if (back != position) ++mismatches;
    }
    g_bTrace = trace;
    if (!us.empty()) {
        std::sort(us.begin(), us.end());
        std::printf(
            "%d position round trips, %d mismatches; one exchange: median %.1f us, p99 %.1f us\n",
            roundTrips, mismatches, us[us.size() / 2],
            us[std::min(us.size() - 1, us.size() * 99 / 100)]);
    }

    code = Reset(&handle);
    close();
    if (code != kLinkOk) return Fail("Reset", code);
    std::printf("processor reset, COM%d closed\n", port);
    return mismatches == 0 ? 0 : 1;
}
