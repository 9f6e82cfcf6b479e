// `tessaro-host ports [--probe]`: the serial ports the system has, and with
// --probe which of them answer as a Tessaro board (synchronisation and
// GetVersion only: nothing is set up or moved).
#pragma once

#include <ostream>

#include "tools/tessaro-host/host_commands.h"

namespace tessaro_host {

CommandResult ListPorts(bool probe, std::ostream& out);

}  // namespace tessaro_host
