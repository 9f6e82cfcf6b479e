// What the three drives have in common: the operations they answer with a
// constant, the level scales, and the logical-device entries of their tables.
#pragma once

#include "host/kx_device_interfaces.h"

// An operation of the host's table that this plug-in answers with a
// constant and nothing else.
#define TESSARO_FIXED(R, Name, value) \
    R Name() override {               \
        return value;                 \
    }

// The constant answers every drive gives in the logical-device part of its
// table and in the part the three drive interfaces share.
#define TESSARO_DRIVE_COMMON_FIXED                                       \
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot06, KX_DM_NOT_SUPPORTED) \
    TESSARO_FIXED(EDeviceManagerReturnCode, Slot07, KX_DM_OK)            \
    TESSARO_FIXED(bool, Slot08, true)                                    \
    TESSARO_FIXED(bool, Slot12, true)                                    \
    TESSARO_FIXED(bool, Slot14, true)                                    \
    TESSARO_FIXED(bool, Slot27, true)                                    \
    TESSARO_FIXED(bool, Slot28, true)                                    \
    TESSARO_FIXED(bool, Slot29, true)

namespace tessaro {

// The speed, joystick and acceleration scales run from 0 to 100, and a
// level is the value itself.
inline constexpr unsigned kMaxLevel = 100;

inline EDeviceManagerReturnCode WriteMaxLevel(unsigned* max, unsigned value = kMaxLevel) {
    if (max) *max = value;
    return KX_DM_OK;
}

inline EDeviceManagerReturnCode LevelToValue(long long level, long long lowest, double* value) {
    if (level < lowest || level > kMaxLevel) return KX_DM_OUT_OF_RANGE;
    if (value) *value = static_cast<double>(level);
    return KX_DM_OK;
}

}  // namespace tessaro
