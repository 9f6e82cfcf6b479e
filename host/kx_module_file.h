// Reading a module file as the host does before it loads the module: the
// bytes of a named section of a PE (Windows DLL) or ELF (Linux shared
// object) file. The reader trusts nothing in the file: every offset and size
// is checked against the file's length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/kx_export.h"

namespace host {

// The section's contents as the module sees them when loaded (for PE, the
// section's virtual size, limited to what the file holds). False with a
// reason in `error` when the file cannot be read, is neither PE nor ELF, or
// has no such section.
KX_HOST_API bool ReadModuleSection(const std::string& path, const std::string& sectionName,
                                   std::vector<std::uint8_t>* bytes, std::string* error);

// The same over a file's bytes already in memory.
KX_HOST_API bool FindModuleSection(const std::vector<std::uint8_t>& file,
                                   const std::string& sectionName, std::vector<std::uint8_t>* bytes,
                                   std::string* error);

}  // namespace host
