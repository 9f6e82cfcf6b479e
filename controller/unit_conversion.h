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

// Saturated into the signed 32-bit range.
inline std::int32_t Saturate32(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// A count (a velocity, or a step target) times the signs that give it its
// direction (axisFlip, a search direction: 8-bit values), saturated to 32
// bits. A value beyond the processor's range goes as far as the range allows
// in the direction asked for; a wrapped product could point the other way.
inline std::int32_t SignedCount(std::int64_t count, std::int8_t sign, std::int8_t sign2 = 1) {
    // |count| <= 2^31 and |sign| <= 2^7: the products stay far inside 64 bits.
    return Saturate32(static_cast<std::int64_t>(Saturate32(count)) * sign * sign2);
}

}  // namespace tessaro
