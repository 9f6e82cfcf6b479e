#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/user_files.h"

namespace platform {

std::string UserConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    return {};
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error) {
    // rename() replaces the target atomically within one file system.
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (error) *error = std::strerror(errno);
    return false;
}

}  // namespace platform
