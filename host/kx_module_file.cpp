#include "host/kx_module_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace host {
namespace {

// Little-endian reads that fail instead of reading past the end.
class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& data) : m_data(data) {}
    bool Has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= m_data.size() && size <= m_data.size() - offset;
    }
    std::uint64_t Get(std::uint64_t offset, int size) const {
        std::uint64_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = (value << 8) | m_data[offset + i];
        return value;
    }
    std::string Name(std::uint64_t offset, std::uint64_t maxLength) const {
        std::string name;
        for (std::uint64_t i = 0; i < maxLength && offset + i < m_data.size(); ++i) {
            const char c = static_cast<char>(m_data[offset + i]);
            if (c == '\0') break;
            name += c;
        }
        return name;
    }
    const std::vector<std::uint8_t>& data() const { return m_data; }

  private:
    const std::vector<std::uint8_t>& m_data;
};

bool Copy(const Reader& r, std::uint64_t offset, std::uint64_t size,
          std::vector<std::uint8_t>* bytes, std::string* error) {
    if (!r.Has(offset, size)) {
        *error = "section lies outside the file";
        return false;
    }
    bytes->assign(r.data().begin() + static_cast<std::ptrdiff_t>(offset),
                  r.data().begin() + static_cast<std::ptrdiff_t>(offset + size));
    return true;
}

bool FindInPe(const Reader& r, const std::string& name, std::vector<std::uint8_t>* bytes,
              std::string* error) {
    if (!r.Has(0x3C, 4)) return *error = "truncated DOS header", false;
    const std::uint64_t pe = r.Get(0x3C, 4);
    if (!r.Has(pe, 24) || r.Get(pe, 4) != 0x00004550) return *error = "no PE signature", false;
    const std::uint64_t sections = r.Get(pe + 6, 2);
    const std::uint64_t optionalSize = r.Get(pe + 20, 2);
    const std::uint64_t table = pe + 24 + optionalSize;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t entry = table + i * 40;
        if (!r.Has(entry, 40)) return *error = "truncated section table", false;
        // Names of up to 8 characters stand in the entry itself.
        if (r.Name(entry, 8) != name) continue;
        const std::uint64_t virtualSize = r.Get(entry + 8, 4);
        const std::uint64_t rawSize = r.Get(entry + 16, 4);
        const std::uint64_t rawOffset = r.Get(entry + 20, 4);
        // The file pads a section to its alignment; the loaded size is the
        // virtual size (or the raw size when a linker leaves that 0).
        const std::uint64_t size = virtualSize ? std::min(virtualSize, rawSize) : rawSize;
        return Copy(r, rawOffset, size, bytes, error);
    }
    *error = "no section \"" + name + "\"";
    return false;
}

bool FindInElf(const Reader& r, const std::string& name, std::vector<std::uint8_t>* bytes,
               std::string* error) {
    if (!r.Has(0, 64)) return *error = "truncated ELF header", false;
    if (r.Get(4, 1) != 2 || r.Get(5, 1) != 1) {
        *error = "only 64-bit little-endian ELF files are read";
        return false;
    }
    const std::uint64_t shoff = r.Get(0x28, 8);
    const std::uint64_t shentsize = r.Get(0x3A, 2);
    const std::uint64_t shnum = r.Get(0x3C, 2);
    const std::uint64_t shstrndx = r.Get(0x3E, 2);
    if (shentsize < 64 || shstrndx >= shnum || shnum > 0xFFFF)
        return *error = "bad section header table", false;
    if (!r.Has(shoff, shnum * shentsize)) return *error = "truncated section headers", false;
    const std::uint64_t strings = shoff + shstrndx * shentsize;
    const std::uint64_t namesOffset = r.Get(strings + 0x18, 8);
    const std::uint64_t namesSize = r.Get(strings + 0x20, 8);
    if (!r.Has(namesOffset, namesSize)) return *error = "truncated section names", false;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint64_t header = shoff + i * shentsize;
        const std::uint64_t nameIndex = r.Get(header, 4);
        if (nameIndex >= namesSize) continue;
        if (r.Name(namesOffset + nameIndex, namesSize - nameIndex) != name) continue;
        constexpr std::uint64_t kNoBits = 8;
        if (r.Get(header + 4, 4) == kNoBits) return *error = "section has no contents", false;
        return Copy(r, r.Get(header + 0x18, 8), r.Get(header + 0x20, 8), bytes, error);
    }
    *error = "no section \"" + name + "\"";
    return false;
}

}  // namespace

bool FindModuleSection(const std::vector<std::uint8_t>& file, const std::string& sectionName,
                       std::vector<std::uint8_t>* bytes, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (!bytes) return *error = "no output", false;
    const Reader r(file);
    if (r.Has(0, 4) && std::memcmp(file.data(),
                                   "\x7f"
                                   "ELF",
                                   4) == 0)
        return FindInElf(r, sectionName, bytes, error);
    if (r.Has(0, 2) && file[0] == 'M' && file[1] == 'Z')
        return FindInPe(r, sectionName, bytes, error);
    *error = "neither a PE nor an ELF file";
    return false;
}

bool ReadModuleSection(const std::string& path, const std::string& sectionName,
                       std::vector<std::uint8_t>* bytes, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    // The path is UTF-8 (as the module loader takes it), also on Windows.
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return *error = "cannot open " + path, false;
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    return FindModuleSection(file, sectionName, bytes, error);
}

}  // namespace host
