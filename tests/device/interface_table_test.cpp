// The host's view of the interface tables: every entry stands at its slot,
// and every entry that this plug-in answers with a constant, or leaves to
// the host's default class, answers as listed here when called by position
// (with zero and null arguments).
//
// The table position is read from the pointer to the virtual member
// function. GCC (on Linux and in the MinGW build alike) represents it as 1
// plus the entry's byte offset in the table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "device/TessaroDevice.h"
#include "device/module_export.h"
#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "tests/support/plugin_host.h"

namespace {

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

using Answers = std::map<int, std::string>;

// "slot:answer" of the constant and default entries. Defaults answer 22,
// false or an empty text ("").
// clang-format off
const char* const kPhysicalDevice =
    "3:false 4:false 5:22 7:22 8:22 9:22 13:void 14:true 15:0 16:0 17:22 18:22 19:22 20:22 "
    "21:22 22:true 26:false 27:22 28:22 29:22 30:22 31:false 32:0 33:22 34:22 ";
const char* const kXYDrive =
    "6:22 7:0 8:true 11:22 12:true 14:true 15:22 16:22 17:22 18:22 19:22 20:22 21:22 22:22 "
    "23:false 24:\"\" 25:22 26:22 27:true 28:true 29:true 32:false 40:true 44:0 45:true 51:0 "
    "55:0 58:false 59:true 61:true 63:false 64:0 66:0 67:0 68:true 69:false 70:0 71:0 "
    "72:true 74:0 75:22 76:22 77:false 78:false 79:false 80:0 81:0 82:false 83:0 84:0 85:0 "
    "86:0 87:22 88:22 89:false 90:false 91:22 92:22 93:22 94:22 95:false 96:22 97:22 98:22 "
    "99:false 100:22 101:true 103:22 ";
const char* const kZDrive =
    "6:22 7:0 8:true 11:22 12:true 14:true 15:22 16:22 17:22 18:22 19:22 20:22 21:22 22:22 "
    "23:false 24:\"\" 25:22 26:22 27:true 28:true 29:true 32:false 39:true 43:true 47:0 "
    "50:22 51:22 52:0 56:true 57:false 58:true 60:true 62:false 65:false 66:22 67:22 "
    "68:false 69:false 70:22 71:22 72:22 74:0 75:0 76:0 77:0 78:true 80:22 81:true 83:0 "
    "84:false 85:false 86:22 87:22 88:false 89:22 90:22 91:22 92:22 93:false 94:22 95:22 "
    "96:22 97:22 98:22 99:22 100:22 101:false 102:22 103:22 104:22 105:22 106:22 107:22 "
    "108:22 109:22 110:22 111:22 112:22 113:22 114:22 115:22 116:22 117:22 118:22 119:22 "
    "120:22 121:22 122:22 123:22 124:22 125:true 127:22 128:22 ";
const char* const kRotaryDrive =
    "6:22 7:0 8:true 11:22 12:true 14:true 15:22 16:22 17:22 18:22 19:22 20:22 21:22 22:22 "
    "23:false 24:\"\" 25:22 26:22 27:true 28:true 29:true 38:true 42:true 48:false 49:false "
    "50:0 51:0 52:false 53:0 54:0 55:0 56:0 57:0 58:0 59:0 60:0 61:false 62:22 63:22 "
    "64:false 65:true 66:0 67:0 68:true 69:0 70:0 71:0 72:0 73:true 75:22 ";

// clang-format on

Answers Parse(const char* table) {
    Answers answers;
    std::istringstream in(table);
    std::string item;
    while (in >> item) answers[std::stoi(item)] = item.substr(item.find(':') + 1);
    return answers;
}

// Calls every entry by its position; every SlotNN entry must be listed.
template <typename I>
void ExpectAnswers(I* object, const std::vector<SlotEntry<I>>& table, const char* answers) {
    const Answers expected = Parse(answers);
    std::size_t checked = 0;
    for (const auto& entry : table) {
        const auto it = expected.find(entry.slot);
        if (it == expected.end()) {
            EXPECT_NE(std::string(entry.name).rfind("Slot", 0), 0u)
                << entry.name << " has no listed answer";
            continue;
        }
        EXPECT_EQ(entry.call(object), it->second) << "slot " << entry.slot << " " << entry.name;
        ++checked;
    }
    EXPECT_EQ(checked, expected.size());
}

template <typename I>
void ExpectSlotsInOrder(const std::vector<SlotEntry<I>>& table, int first, int count,
                        int tableOffset) {
    ASSERT_EQ(static_cast<int>(table.size()), count);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(table[i].slot, first + i) << table[i].name;
        EXPECT_EQ(table[i].tableIndex, table[i].slot + tableOffset) << table[i].name;
    }
}

TEST(InterfaceTables, EveryEntryStandsAtItsSlot) {
    // The physical device's table has no destructor; a logical device's
    // destructor is slot 0, which GCC compiles into two entries.
    ExpectSlotsInOrder(PhysicalDeviceSlots(), 0, 37, 0);
    ExpectSlotsInOrder(DeviceXYSlots(), 1, 103, 1);
    ExpectSlotsInOrder(DeviceZSlots(), 1, 128, 1);
    ExpectSlotsInOrder(DeviceRotarySlots(), 1, 75, 1);
}

TEST(InterfaceTables, ConstantAndDefaultEntriesAnswerAsListed) {
    // The answers touch no hardware: drives without a motion object and an
    // unconnected device give them too.
    tessaro::STessaro_XYDrive xy(nullptr);
    tessaro::STessaro_ZDrive z(nullptr);
    tessaro::STessaro_RDrive rotary(nullptr);
    ExpectAnswers<IKxDeviceXY>(&xy, DeviceXYSlots(), kXYDrive);
    ExpectAnswers<IKxDeviceZ>(&z, DeviceZSlots(), kZDrive);
    ExpectAnswers<IKxDeviceRotary>(&rotary, DeviceRotarySlots(), kRotaryDrive);

    testing_support::PluginHost plugin;
    ASSERT_NE(plugin.device, nullptr);
    ExpectAnswers(plugin.device, PhysicalDeviceSlots(), kPhysicalDevice);
}

TEST(InterfaceTables, ConstantEntriesWriteTheirOutputsWhenGiven) {
    tessaro::STessaro_ZDrive z(nullptr);
    tessaro::STessaro_RDrive rotary(nullptr);
    IKxDeviceZ& zi = z;
    IKxDeviceRotary& ri = rotary;
    double values[4] = {};
    unsigned counts[3] = {};
    bool flags[2] = {};
    EXPECT_EQ((std::vector<int>{zi.Slot75(&values[0], &counts[0]), zi.Slot77(&values[1], &flags[0]),
                                zi.Slot96(&counts[1]), zi.Slot97(&counts[2]),
                                ri.Slot60(&values[2], &flags[1]),
                                zi.Slot75(&values[3], nullptr)}),  // one output null
              (std::vector<int>{0, 0, 22, 22, 0, 0}));
    EXPECT_EQ((std::vector<double>{values[0], values[1], values[2], values[3], double(counts[0]),
                                   double(counts[1]), double(counts[2])}),
              (std::vector<double>{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(flags[0] && flags[1]);
}

}  // namespace
