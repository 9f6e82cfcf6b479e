// Error texts and opcode names as the user reads them.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"

namespace cmotion {
namespace {

TEST(ErrorText, EveryCodeAndTheUndefinedOnes) {
    const struct {
        unsigned int code;
        const char* text;
    } kTexts[] = {
        {0, "No Error"},
        {1, "Processor Reset"},
        {2, "Invalid Instruction"},
        {3, "Invalid Axis"},
        {4, "Invalid Data Parameter"},
        {5, "Trace Currently Running"},
        {7, "Block Out of Bounds"},
        {8, "Zero Length Trace Buffer"},
        {9, "Invalid Checksum"},
        {11, "Invalid Negative Value for Profile Mode"},
        {12, "Invalid Parameter Change for Profile Mode"},
        {13, "Invalid Move with Limit Event Pending"},
        {14, "Invalid Move into Limit"},
        {16, "Invalid Operating Mode Restore"},
        {17, "Command Not Valid in this Operating Mode"},
        {0x7FD1, "Not Connected"},
        {0x7FD2, "Device Not Responding"},
        {0x7FD3, "Comm Port Read"},
        {0x7FD4, "Comm Port Write"},
        {0x7FDB, "Invalid Serial Port"},
        {0x7FDF, "Interface Not Initialized"},
        {0x7FE0, "Cannot Open Windows Driver"},
        {0x7FE1, "Windows Driver Error"},
        {0x7FE2, "DPRAM not supported"},
        {0x7FE3, "Error accessing DPRAM"},
        {0x7FFC, "Communication Error"},
        {0x7FFD, "Communication Timeout Error"},
        {0x7FFE, "Checksum Error"},
        {0x7FFF, "Command Error"},
    };
    for (const auto& t : kTexts) {
        EXPECT_STREQ(GetErrorText(static_cast<LinkError>(t.code)), t.text) << t.code;
    }
    for (unsigned int code : {6u, 10u, 15u, 18u, 255u, 32720u, 32725u, 32768u, 65535u}) {
        EXPECT_STREQ(GetErrorText(static_cast<LinkError>(code)), "Undefined error occurred")
            << code;
    }
}

TEST(OpcodeName, TableRowsNamesAndInvalidValues) {
    EXPECT_STREQ(GetOpcodeName(0x3B), "SetSampleTime");
    EXPECT_STREQ(GetOpcodeName(0x3C), "GetSampleTime");
    EXPECT_STREQ(GetOpcodeName(0x38), "Invalid opcode!");
    EXPECT_STREQ(GetOpcodeName(0x61), "Invalid opcode!");
    EXPECT_STREQ(GetOpcodeName(0x00), "Nop");
    EXPECT_STREQ(GetOpcodeName(0xFF), "Invalid opcode!");
    EXPECT_STREQ(GetOpcodeName(0x11), "SetVelocity");
    EXPECT_STREQ(GetOpcodeName(0xFC), "GetFaultOutMask");
    // Only the low byte counts.
    EXPECT_STREQ(GetOpcodeName(0x0211), "SetVelocity");
    EXPECT_STREQ(GetOpcodeName(0xFFFFFF8Fu), "GetVersion");

    const std::set<unsigned int> invalid = {
        0x01, 0x16, 0x17, 0x18, 0x19, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x28, 0x29, 0x2A,
        0x30, 0x35, 0x38, 0x3D, 0x3F, 0x4E, 0x4F, 0x5C, 0x5D, 0x61, 0x63, 0x64, 0x6F, 0x70,
        0x78, 0x79, 0x7E, 0x7F, 0x85, 0x86, 0xCC, 0xCD, 0xF0, 0xF1, 0xF4, 0xFD, 0xFE, 0xFF};
    ASSERT_EQ(invalid.size(), 42u);
    std::set<std::string> names;
    for (unsigned int i = 0; i < 256; ++i) {
        EXPECT_EQ(kOpcodeTable[i].opcode, i);
        const std::string name = kOpcodeTable[i].name;
        EXPECT_EQ(name == "Invalid opcode!", invalid.count(i) == 1) << std::hex << i;
        if (!invalid.count(i)) names.insert(name);
    }
    EXPECT_EQ(names.size(), 214u);  // every command named once
    EXPECT_EQ(static_cast<unsigned>(Opcode::MultiUpdate), 0x5Bu);
    EXPECT_EQ(static_cast<unsigned>(Opcode::SetEventAction), 0x48u);
}

}  // namespace
}  // namespace cmotion
