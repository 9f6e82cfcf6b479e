// Bits of the motion processor's 16-bit status registers, as the commands
// GetEventStatus, GetActivityStatus and GetSignalStatus report them.
#pragma once

#include <cstdint>

namespace cmotion {

// Event status (cleared with ResetEventStatus: a 0 in the mask clears).
inline constexpr std::uint16_t kEventMotionComplete = 0x0001;
inline constexpr std::uint16_t kEventMotionError = 0x0010;
inline constexpr std::uint16_t kEventPositiveLimit = 0x0020;
inline constexpr std::uint16_t kEventNegativeLimit = 0x0040;
inline constexpr std::uint16_t kEventInstructionError = 0x0080;

// Activity status.
inline constexpr std::uint16_t kActivityInMotion = 0x0400;

// Signal status: the limit inputs after the signal sense; both 1 means no
// switch is active (with the sense bits clear, the inputs being active low).
inline constexpr std::uint16_t kSignalPositiveLimit = 0x0010;
inline constexpr std::uint16_t kSignalNegativeLimit = 0x0020;
inline constexpr std::uint16_t kSignalLimitInputs = kSignalPositiveLimit | kSignalNegativeLimit;

}  // namespace cmotion
