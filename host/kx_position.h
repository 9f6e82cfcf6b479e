// The host's position record, which the plug-in fills and hands to the
// host's position callback after a move or when its polling sees a change.
// The host owns the layout; the plug-in fills the fields below and leaves
// every other byte zero.
#pragma once

#include <cstddef>
#include <cstdint>

struct SKxDevicePosition {
    std::uint8_t reserved0[8];
    std::uint32_t uKind;      // 8: 1
    std::uint32_t uDeviceId;  // 12: id of the drive
    std::uint8_t reserved1[252];
    std::uint8_t validity[128];  // 268: zeroed, then the first 32-bit word set to 1
    std::uint8_t reserved2[4];
    double dPosition[2];  // 400: position (X for a stage), 408: Y of a stage
    std::uint8_t reserved3[12288 - 416];
};

static_assert(offsetof(SKxDevicePosition, uKind) == 8, "host layout");
static_assert(offsetof(SKxDevicePosition, uDeviceId) == 12, "host layout");
static_assert(offsetof(SKxDevicePosition, validity) == 268, "host layout");
static_assert(offsetof(SKxDevicePosition, dPosition) == 400, "host layout");
static_assert(sizeof(SKxDevicePosition) == 12288, "host layout");

// kind (1 for a position), the record, and the context given with the
// callback.
typedef void (*KX_PositionCallback)(std::uint32_t kind, SKxDevicePosition* record,
                                    std::uint64_t context);
