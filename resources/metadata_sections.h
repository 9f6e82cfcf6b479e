// Slot sizes of the metadata sections, in characters.
#pragma once

#include <cstddef>

namespace tessaro {

inline constexpr std::size_t kClassRecordSlot = 496;
// The device record fills the rest of "ver6IDX"; we give it a slot of the
// same size.
inline constexpr std::size_t kDeviceRecordSlot = 496;
inline constexpr std::size_t kVersionRecordSlot = 256;
inline constexpr std::size_t kVersionRecordCount = 13;

}  // namespace tessaro
