#include "platform/res_file.h"

namespace platform {
namespace {

std::uint32_t Read32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// A type or name in a resource header: 0xFFFF and a number, or a
// zero-terminated UTF-16 text. Advances `pos`; false when it runs past `end`.
bool ReadId(const std::uint8_t* bytes, std::size_t* pos, std::size_t end, ResourceId* id) {
    if (*pos + 2 > end) return false;
    if (Read16(bytes + *pos) == 0xFFFF) {
        if (*pos + 4 > end) return false;
        id->isNumber = true;
        id->number = Read16(bytes + *pos + 2);
        *pos += 4;
        return true;
    }
    id->isNumber = false;
    id->text.clear();
    while (true) {
        if (*pos + 2 > end) return false;
        const char16_t c = Read16(bytes + *pos);
        *pos += 2;
        if (c == 0) return true;
        id->text += c;
    }
}

}  // namespace

bool ResourceId::Matches(const char16_t* name) const {
    if (isNumber || !name) return false;
    // Resource names compare without regard to ASCII case, as Windows does.
    std::size_t i = 0;
    for (; name[i] && i < text.size(); ++i) {
        auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
        if (upper(name[i]) != upper(text[i])) return false;
    }
    return !name[i] && i == text.size();
}

bool ParseResFile(const std::uint8_t* bytes, std::size_t size, std::vector<ResourceEntry>* entries,
                  std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    entries->clear();
    std::size_t pos = 0;
    while (pos < size) {
        if (size - pos < 8) return *error = "truncated resource header", false;
        const std::uint32_t dataSize = Read32(bytes + pos);
        const std::uint32_t headerSize = Read32(bytes + pos + 4);
        if (headerSize < 16 || headerSize > size - pos || dataSize > size - pos - headerSize)
            return *error = "resource sizes beyond the file", false;
        const std::size_t headerEnd = pos + headerSize;
        std::size_t field = pos + 8;
        ResourceEntry entry;
        if (!ReadId(bytes, &field, headerEnd, &entry.type) ||
            !ReadId(bytes, &field, headerEnd, &entry.name))
            return *error = "bad resource type or name", false;
        field = (field + 3) & ~std::size_t{3};
        // DataVersion (4), MemoryFlags (2), LanguageId (2), Version, Characteristics.
        if (field + 16 > headerEnd) return *error = "truncated resource header", false;
        entry.language = Read16(bytes + field + 6);
        entry.data = bytes + headerEnd;
        entry.size = dataSize;
        // The file starts with an empty entry of type 0.
        if (!(entry.type.isNumber && entry.type.number == 0 && dataSize == 0))
            entries->push_back(entry);
        pos = (headerEnd + dataSize + 3) & ~std::size_t{3};
    }
    return true;
}

}  // namespace platform
