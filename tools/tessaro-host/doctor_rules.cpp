#include "tools/tessaro-host/doctor_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cmotion/link_status_bits.h"

namespace tessaro_host {
namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

RoundTrips Summarise(std::vector<double> ms) {
    RoundTrips r;
    if (ms.empty()) return r;
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    r.minimum = ms.front();
    r.worst = ms.back();
    r.median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    return r;
}

double WireTimeMs(std::size_t bytes, std::uint32_t baud) {
    return baud ? 10.0 * 1000.0 * static_cast<double>(bytes) / baud : 0;
}

std::vector<std::string> FindProblems(const LineFindings& f) {
    std::vector<std::string> problems;
    const std::string setIt = "set it to 2 ms: " + f.latencyFix;
    if (f.latencyTimerMs > kWantedLatencyMs)
        problems.push_back("the adapter's latency timer is " + std::to_string(f.latencyTimerMs) +
                           " ms (it holds every reply that long): " + setIt);
    const double late = f.roundTrip.median - f.wireMs;
    if (f.timed > 0 && late > kSlowReplyMs) {
        std::string line = Format(
            "replies come %.1f ms later than the wire explains (median "
            "%.1f ms, wire %.1f ms): ",
            late, f.roundTrip.median, f.wireMs);
        // An adapter's timer that is already short cannot be the cause.
        if (f.latencyTimerMs > kWantedLatencyMs)
            line += "the adapter's latency timer above is the likely cause";
        else if (f.latencyTimerMs >= 0)
            line +=
                "the latency timer is short, so likely a USB hub, a virtual machine's USB "
                "pass-through or an adapter that holds replies; plug the adapter in "
                "directly or try another one";
        else
            line += Format("likely an adapter latency timer of about %.0f ms; ", std::round(late)) +
                    setIt;
        problems.push_back(line);
    }
    if (f.repeats > 0 || f.failures > 0)
        problems.push_back(std::to_string(f.repeats) + " of " + std::to_string(f.exchanges) +
                           " exchanges needed a repeat and " + std::to_string(f.failures) +
                           " failed even so: replies are lost or spoiled on the line; check the "
                           "cable and its plugs, one common ground for computer and board, motor "
                           "cables kept apart, and that no other program uses the port");
    for (const AxisInputs& a : f.axes) {
        const std::string axis = "axis " + std::to_string(a.axis);
        const bool positive = !(a.inputs & cmotion::kSignalPositiveLimit);
        const bool negative = !(a.inputs & cmotion::kSignalNegativeLimit);
        if (positive && negative)
            problems.push_back(axis +
                               ": both limit switches read active: they are likely wired the "
                               "other way round (active high); switch the drive's "
                               "positive-limit-switches setting off");
        else if (positive || negative)
            problems.push_back(
                axis + ": the " + (positive ? "positive" : "negative") +
                " limit switch reads active: the stage rests on it (move it off), or the switches "
                "are wired the other way round (then switch the drive's positive-limit-switches "
                "setting off)");
    }
    return problems;
}

}  // namespace tessaro_host
