// The serial ports the system has, and on request which of them answer as a
// Tessaro board (synchronisation and GetVersion only: nothing is set up or
// moved). `tessaro-host ports [--probe]` prints them; libtessaro returns them.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "session/host_commands.h"

namespace tessaro_host {

struct PortReport {
    int number = 0;  // the COM number, 0 when the port has none
    std::string path;
    std::string description;  // "" when the system gives none
    int latencyMs = -1;       // the adapter's latency timer, -1 when unknown
    std::string answer;       // with the probe: what answered ("a Tessaro board: ...")
};

// What GetVersion told of a processor, as people read it: "Marivel (family
// 5), 4 axes, version 1.2".
std::string DescribeProcessor(std::uint16_t generation, std::uint16_t numberAxes,
                              std::uint16_t versionMajor, std::uint16_t versionMinor);

// `each` (when given) sees each port as soon as it is known.
std::vector<PortReport> FindPorts(bool probe,
                                  const std::function<void(const PortReport&)>& each = {});
CommandResult ListPorts(bool probe, std::ostream& out);

}  // namespace tessaro_host
