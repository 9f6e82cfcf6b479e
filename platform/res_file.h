// Reading a compiled resource file (.res): the resources it holds, each with
// its type, name, language and data. Pure: bytes in, entries out; every
// size is checked against the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A type or name: a number, or a text when `isNumber` is false.
struct ResourceId {
    bool isNumber = true;
    std::uint16_t number = 0;
    std::u16string text;

    bool Matches(const char16_t* name) const;
    bool Matches(std::uint16_t id) const { return isNumber && number == id; }
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
};

// The entries of a .res file (the empty first entry left out); false with
// a reason when the bytes are not a well-formed .res file.
bool ParseResFile(const std::uint8_t* bytes, std::size_t size, std::vector<ResourceEntry>* entries,
                  std::string* error);

}  // namespace platform
