// The host's interface tables, slot by slot, for tests: for each entry of an
// interface's slot list, where the compiler put it in the table and a way to
// call it with zero and null arguments.
//
// The table position is read from the pointer to the virtual member
// function. GCC (on Linux and in the MinGW build alike) represents it as 1
// plus the entry's byte offset in the table.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "host/kx_device_interfaces.h"

namespace testing_support {

// What an operation answered, as text: "22", "0", "true", "false", the
// returned string in quotes, or "void".
using SlotAnswer = std::string;

template <typename I>
struct SlotEntry {
    int slot;
    const char* name;
    long tableIndex;  // the entry's index in the compiled table
    std::function<SlotAnswer(I*)> call;
};

template <typename R>
SlotAnswer Describe(const R& value) {
    if constexpr (std::is_same_v<R, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_same_v<R, CKxStringW>) {
        std::string text = "\"";
        for (char16_t c : value.str()) text += static_cast<char>(c);
        return text + "\"";
    } else {
        return std::to_string(value);
    }
}

template <typename F>
long TableIndex(F member) {
    static_assert(sizeof(F) == 2 * sizeof(void*), "GCC's pointer to member function");
    std::uintptr_t words[2];
    std::memcpy(words, &member, sizeof words);
    // Not virtual (an even address): no table entry.
    if ((words[0] & 1) == 0) return -1;
    return static_cast<long>((words[0] - 1) / sizeof(void*));
}

template <typename I, typename C, typename R, typename... A>
SlotEntry<I> MakeSlot(int slot, const char* name, R (C::*member)(A...)) {
    static_assert(std::is_base_of_v<C, I>, "an operation of the interface");
    SlotEntry<I> entry{slot, name, TableIndex(member), nullptr};
    entry.call = [member](I* object) -> SlotAnswer {
        // Zero, false or null for every argument; references get a local.
        std::tuple<std::decay_t<A>...> args{};
        auto invoke = [&](auto&... a) { return (object->*member)(a...); };
        if constexpr (std::is_void_v<R>) {
            std::apply(invoke, args);
            return "void";
        } else {
            return Describe(std::apply(invoke, args));
        }
    };
    return entry;
}

#define TESSARO_SLOT_ENTRY(slot, R, Name, Params) \
    table.push_back(MakeSlot<Interface>(slot, #Name, &Interface::Name));

inline std::vector<SlotEntry<IKxPhysicalDevice>> PhysicalDeviceSlots() {
    using Interface = IKxPhysicalDevice;
    std::vector<SlotEntry<Interface>> table;
    KX_PHYSICAL_DEVICE_SLOTS(TESSARO_SLOT_ENTRY)
    return table;
}

#define TESSARO_DRIVE_SLOTS(Function, I, Own)       \
    inline std::vector<SlotEntry<I>> Function() {   \
        using Interface = I;                        \
        std::vector<SlotEntry<Interface>> table;    \
        KX_LOGICAL_DEVICE_SLOTS(TESSARO_SLOT_ENTRY) \
        KX_DRIVE_COMMON_SLOTS(TESSARO_SLOT_ENTRY)   \
        Own(TESSARO_SLOT_ENTRY) return table;       \
    }

TESSARO_DRIVE_SLOTS(DeviceXYSlots, IKxDeviceXY, KX_DEVICE_XY_SLOTS)
TESSARO_DRIVE_SLOTS(DeviceZSlots, IKxDeviceZ, KX_DEVICE_Z_SLOTS)
TESSARO_DRIVE_SLOTS(DeviceRotarySlots, IKxDeviceRotary, KX_DEVICE_ROTARY_SLOTS)

#undef TESSARO_DRIVE_SLOTS
#undef TESSARO_SLOT_ENTRY

}  // namespace testing_support
