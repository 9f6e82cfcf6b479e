// What `tessaro-host doctor` makes of what it measured: the round-trip
// figures, the time the wire itself takes, and the problems with their
// fixes. No I/O here, so that the rules can be checked on their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro_host {

// An adapter's latency timer above this holds every reply that long.
inline constexpr int kWantedLatencyMs = 2;
// Replies slower than the wire by more than this have a cause worth naming
// (the host's own scheduling stays well below it).
inline constexpr double kSlowReplyMs = 3.0;

struct RoundTrips {
    double minimum = 0, median = 0, worst = 0;
};
// The figures of the exchange times in `ms` (zeros for none); the median of
// an even count is the mean of the middle two.
RoundTrips Summarise(std::vector<double> ms);

// How long `bytes` take on the wire at `baud` (10 bits a byte), in ms.
double WireTimeMs(std::size_t bytes, std::uint32_t baud);

// An axis's limit inputs as they stand at the connector (active low: a 0 bit
// of kSignalLimitInputs is a switch that is pressed).
struct AxisInputs {
    int axis = 0;
    std::uint16_t inputs = 0;
};

struct LineFindings {
    int latencyTimerMs = -1;  // the adapter's, -1 when the system does not show it
    std::string latencyFix;   // where this system sets it, for the fix
    RoundTrips roundTrip;
    int timed = 0;  // exchanges in roundTrip
    double wireMs = 0;
    int exchanges = 0, repeats = 0, failures = 0;
    std::vector<AxisInputs> axes;
};

// Each problem with its fix, one line each; none for a healthy line.
std::vector<std::string> FindProblems(const LineFindings& findings);

}  // namespace tessaro_host
