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

bool Failed(std::string* error) {
    if (error) *error = std::strerror(errno);
    return false;
}

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

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Failed(error);
    bytes->clear();
    char chunk[65536];
    ssize_t n = 0;
    while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) bytes->append(chunk, static_cast<std::size_t>(n));
    const int failure = errno;
    close(fd);
    errno = failure;
    return n == 0 || Failed(error);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Failed(error);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int failure = errno;
    // A close that fails (NFS, a full disk) lost bytes too.
    const bool closed = close(fd) == 0;
    if (done < bytes.size()) errno = failure;
    return (done == bytes.size() && closed) || Failed(error);
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

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
