// Error texts and opcode names as the user reads them.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"

namespace cmotion {
namespace {

TEST(ErrorText, EveryCodeAndTheUndefinedOnes) {
    // "hex text|" for every defined code.
    // clang-format off
    std::istringstream table(
        "0 No Error|1 Processor Reset|2 Invalid Instruction|3 Invalid Axis|"
        "4 Invalid Data Parameter|5 Trace Currently Running|7 Block Out of Bounds|"
        "8 Zero Length Trace Buffer|9 Invalid Checksum|B Invalid Negative Value for Profile Mode|"
        "C Invalid Parameter Change for Profile Mode|D Invalid Move with Limit Event Pending|"
        "E Invalid Move into Limit|10 Invalid Operating Mode Restore|"
        "11 Command Not Valid in this Operating Mode|7FD1 Not Connected|"
        "7FD2 Device Not Responding|7FD3 Comm Port Read|7FD4 Comm Port Write|"
        "7FDB Invalid Serial Port|7FDF Interface Not Initialized|7FE0 Cannot Open Windows Driver|"
        "7FE1 Windows Driver Error|7FE2 DPRAM not supported|7FE3 Error accessing DPRAM|"
        "7FFC Communication Error|7FFD Communication Timeout Error|7FFE Checksum Error|"
        "7FFF Command Error|");
    // clang-format on
    int defined = 0;
    for (std::string entry; std::getline(table, entry, '|'); ++defined) {
        const std::size_t space = entry.find(' ');
        const unsigned int code = std::stoul(entry.substr(0, space), nullptr, 16);
        EXPECT_STREQ(GetErrorText(static_cast<LinkError>(code)), entry.substr(space + 1).c_str())
            << code;
    }
    EXPECT_EQ(defined, 29);
    // Gaps between defined codes, and the ends of both ranges.
    for (unsigned int code : {6u, 10u, 15u, 18u, 255u, 0x7FD0u, 0x7FD5u, 0x7FE4u, 0x8000u, 65535u})
        EXPECT_STREQ(GetErrorText(static_cast<LinkError>(code)), "Undefined error occurred")
            << code;
}

// The opcode table is the list the commands are made from: 214 commands,
// each name once, every other value of the byte no command. The values the
// plug-in sends are pinned by the command tests' words.
TEST(OpcodeName, EveryValueOfTheByte) {
    std::set<std::string> names;
    int named = 0;
    for (unsigned int i = 0; i < 256; ++i) {
        EXPECT_EQ(kOpcodeTable[i].opcode, i);
        const std::string name = GetOpcodeName(i);
        if (name == "Invalid opcode!") continue;
        ++named;
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
    }
    EXPECT_EQ(named, 214);
    for (const auto& [opcode, name] : {std::pair<unsigned, const char*>{0x00, "Nop"},
                                       {0x01, "Invalid opcode!"},
                                       {0x8F, "GetVersion"},
                                       {0xFC, "GetFaultOutMask"},
                                       {0xFD, "Invalid opcode!"}})
        EXPECT_STREQ(GetOpcodeName(opcode), name) << opcode;
    // Only the low byte counts.
    EXPECT_STREQ(GetOpcodeName(0x0211), "SetVelocity");
    EXPECT_STREQ(GetOpcodeName(0xFFFFFF8Fu), "GetVersion");
}

}  // namespace
}  // namespace cmotion
