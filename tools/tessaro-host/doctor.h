// `tessaro-host doctor [--bundle FILE]`: a read-only health check of one
// line for support and users. It opens the port with the command layer
// alone (the plug-in is not loaded: its connect sets the axes up and its
// disconnect resets the processor), reads, times and reports, and with
// --bundle writes the report, a packet trace and the versions into one
// archive.
#pragma once

#include <ostream>
#include <string>

#include "session/host_commands.h"
#include "session/host_session.h"

namespace tessaro_host {

// Checks COM options.port (options.settingsFile: the file the other
// commands would use, "" for none) and prints the report. Exit 0 when the
// checks ran (the problems found are advice), 3 when the line does not open
// or no processor answers, 1 when the bundle could not be written (the
// bundle is written in either case: a failed line is when support needs it).
CommandResult RunDoctor(const SessionOptions& options, const std::string& bundlePath,
                        std::ostream& out);

}  // namespace tessaro_host
