#include <fcntl.h>
#include <unistd.h>

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

namespace {

// What the system still holds of `path` in memory, written to the disk.
// A file system that cannot sync (EINVAL) has nothing to write: as synced.
// errno is the failure's when false.
bool SyncToDisk(const std::string& path, int flags) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int failure = errno;
    close(fd);
    errno = failure;
    return synced;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error) {
    // The new file's bytes reach the disk before its name replaces the old
    // one: a power loss of the computer after the rename must not leave an
    // empty file where the old one was.
    if (!SyncToDisk(from, 0)) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    // rename() replaces the target atomically within one file system.
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    // The rename itself is an entry of the folder: written too (a folder
    // that cannot be opened so leaves it to the system's next write-back).
    const std::size_t slash = to.rfind('/');
    SyncToDisk(slash == std::string::npos ? "."
               : slash == 0               ? "/"
                                          : to.substr(0, slash),
               O_DIRECTORY);
    return true;
}

}  // namespace platform
