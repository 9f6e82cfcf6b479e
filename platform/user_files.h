// Files of host programs: where a user's settings live, whole files read and
// written, and replacing a file in one step (so that a crash or a full disk
// never leaves half a file). Paths are UTF-8 throughout: on Windows the
// narrow calls would take them in the ANSI code page, where a user folder
// such as C:\users\Jürgen does not fit.
#pragma once

#include <string>

namespace platform {

// The user's folder for program settings: $XDG_CONFIG_HOME, else
// ~/.config (POSIX); %APPDATA% (Windows). Empty when the system names none.
std::string UserConfigFolder();

// The file's bytes, all of them. False with the system's reason.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

// Creates or truncates the file and writes `bytes`. False with the system's
// reason (the file may then hold part of them).
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);

// Removes a file; false when it could not (or was not there).
bool RemoveFile(const std::string& path);

// Puts `from` in the place of `to` in one step (the old `to`, if any, is
// replaced). False with the system's reason.
bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error);

}  // namespace platform
