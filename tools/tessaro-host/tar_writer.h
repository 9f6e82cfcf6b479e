// A plain POSIX ustar archive of a few small text files, written whole: the
// support bundle of `tessaro-host doctor --bundle`. Every system's tar (and
// Windows' own tar.exe) reads it; nothing beyond the standard is used.
#pragma once

#include <string>
#include <vector>

namespace tessaro_host {

struct ArchiveFile {
    std::string name;  // at most 100 bytes, no folders
    std::string contents;
};

// Writes the files to `path`, replacing it; false with a one-line reason.
bool WriteTarArchive(const std::string& path, const std::vector<ArchiveFile>& files,
                     std::string* error);

}  // namespace tessaro_host
