// tessaro-host's commands checked before anything is connected: the verb,
// and the number and form of its values, so that a mistyped command costs no
// connection, no processor reset and no packet.
#pragma once

#include <string>

#include "session/host_commands.h"

namespace tessaro_host {

// One command as the shell, `run` and `collect` take it; `topLevel`: the
// command line itself (where run and shell are allowed too). Ok, or exit 2
// with a one-line reason that ends with a hint.
CommandResult CheckCommand(const std::string& line, bool topLevel = false);
// Every command of a script ("A; B; ...").
CommandResult CheckScript(const std::string& script);

}  // namespace tessaro_host
