// Conversions from floating point to the processor's integers, and the
// 32-bit arithmetic of step counts.
//
// Every conversion truncates toward zero. Values an integer cannot hold get
// a defined result instead of undefined behaviour: NaN becomes 0, and values
// beyond the range (infinities included) become the nearest end of the range.
// Step counts are 32-bit and wrap around like the processor's counters.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "cmotion/link_packet.h"

namespace tessaro {

inline std::int64_t TruncToInt64(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

inline std::int32_t TruncToInt32(double value) {
    const std::int64_t v = TruncToInt64(value);
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Truncated toward zero into 0 to 2^32 - 1 (negative values and NaN give 0).
inline std::uint32_t TruncToUInt32(double value) {
    const std::int64_t v = TruncToInt64(value);
    if (v < 0) return 0;
    if (v > std::numeric_limits<std::uint32_t>::max())
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(v);
}

// The low 32 or 16 bits of a 64-bit value, as they go into data words.
inline std::uint32_t Low32(std::int64_t value) {
    return static_cast<std::uint32_t>(value & 0xFFFFFFFF);
}
inline std::uint16_t Low16(std::int64_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

// Two's-complement 32-bit arithmetic without signed overflow.
inline std::int32_t Wrap32(std::int64_t value) {
    return cmotion::SignedFromBits(Low32(value));
}
inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
    return Wrap32(static_cast<std::int64_t>(a) + b);
}
inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
    return Wrap32(static_cast<std::int64_t>(a) - b);
}
inline std::int32_t WrapMul(std::int32_t a, std::int32_t b) {
    return Wrap32(static_cast<std::int64_t>(a) * b);
}
// The low 32 bits of a 64-bit product (unsigned, so nothing overflows).
inline std::int32_t MulLow32(std::int64_t a, std::int64_t b) {
    const std::uint64_t product = static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b);
    return Wrap32(static_cast<std::int64_t>(product & 0xFFFFFFFFu));
}

}  // namespace tessaro
