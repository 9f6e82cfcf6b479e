#include "tools/tessaro-host/tar_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace tessaro_host {
namespace {

constexpr std::size_t kBlock = 512;

// A number field: octal digits, zero-padded, ending in NUL.
void PutOctal(char* field, std::size_t width, unsigned long long value) {
    std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), value);
}

std::string Header(const ArchiveFile& file, unsigned long long mtime) {
    std::string block(kBlock, '\0');
    char* h = &block[0];
    std::memcpy(h, file.name.data(), std::min<std::size_t>(file.name.size(), 100));
    PutOctal(h + 100, 8, 0644);  // mode
    PutOctal(h + 108, 8, 0);     // uid
    PutOctal(h + 116, 8, 0);     // gid
    PutOctal(h + 124, 12, file.contents.size());
    PutOctal(h + 136, 12, mtime);
    h[156] = '0';  // a regular file
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    // The checksum: the sum of the header's bytes with its own field read
    // as spaces, six octal digits, NUL, space.
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (char c : block) sum += static_cast<unsigned char>(c);
    std::snprintf(h + 148, 7, "%06o", sum);
    h[155] = ' ';
    return block;
}

}  // namespace

bool WriteTarArchive(const std::string& path, const std::vector<ArchiveFile>& files,
                     std::string* error) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    if (!out) return *error = "cannot write " + path + ": " + std::strerror(errno), false;
    const auto mtime = static_cast<unsigned long long>(std::time(nullptr));
    for (const ArchiveFile& file : files) {
        out << Header(file, mtime) << file.contents;
        out << std::string((kBlock - file.contents.size() % kBlock) % kBlock, '\0');
    }
    out << std::string(2 * kBlock, '\0');  // the end of the archive
    out.close();
    if (!out) return *error = "cannot write " + path + ": the write failed", false;
    return true;
}

}  // namespace tessaro_host
