// Files of host programs: where a user's settings live, and replacing a file
// in one step (so that a crash or a full disk never leaves half a file).
#pragma once

#include <string>

namespace platform {

// The user's folder for program settings: $XDG_CONFIG_HOME, else
// ~/.config (POSIX); %APPDATA% (Windows). Empty when the system names none.
std::string UserConfigFolder();

// Puts `from` in the place of `to` in one step (the old `to`, if any, is
// replaced). False with the system's reason.
bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error);

}  // namespace platform
