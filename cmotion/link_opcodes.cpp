#include "cmotion/link_opcodes.h"

namespace cmotion {
namespace {

constexpr std::array<OpcodeRow, 256> MakeOpcodeTable() {
    std::array<OpcodeRow, 256> table{};
    for (unsigned int i = 0; i < table.size(); ++i) {
        table[i] = OpcodeRow{static_cast<std::uint8_t>(i), kInvalidOpcodeName};
    }
#define CMOTION_OPCODE_ROW(value, name) table[value] = OpcodeRow{value, #name};
    CMOTION_OPCODE_LIST(CMOTION_OPCODE_ROW)
#undef CMOTION_OPCODE_ROW
    return table;
}

}  // namespace

const std::array<OpcodeRow, 256> kOpcodeTable = MakeOpcodeTable();

const char* GetOpcodeName(unsigned int opcode) {
    return kOpcodeTable[opcode & 0xFFu].name;
}

}  // namespace cmotion
