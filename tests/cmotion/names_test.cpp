// Error texts and opcode names as the user reads them.
#include <gtest/gtest.h>

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

// Every opcode with its name, in hexadecimal; the 42 values missing here
// are no command.
// clang-format off
constexpr const char* kOpcodeNames =
        "00 Nop 02 SetMotorType 03 GetMotorType 04 SetBiQuadCoefficient 05 GetBiQuadCoefficient "
        "06 SetMotorLimit 07 GetMotorLimit 08 SetAuxiliaryEncoderSource "
        "09 GetAuxiliaryEncoderSource 0A SetSPIMode 0B GetSPIMode 0C SetPWMFrequency "
        "0D GetPWMFrequency 0E GetDriveStatus 0F SetMotorBias 10 SetPosition 11 SetVelocity "
        "12 SetCANMode 13 SetJerk 14 SetGearRatio 15 GetCANMode 1A Update "
        "1B SetOverTemperatureLimit 1C GetOverTemperatureLimit 1D GetCommandedPosition "
        "1E GetCommandedVelocity 25 SetKp 26 SetKi 27 SetKd 2B SetKvff 2C GetPhaseAngle "
        "2D GetMotorBias 2E RestoreOperatingMode 2F SetInterruptMask 31 GetEventStatus "
        "32 SetBreakpointUpdateMask 33 GetBreakpointUpdateMask 34 ResetEventStatus "
        "36 GetCaptureValue 37 GetActualPosition 39 Reset 3A GetActiveMotorCommand "
        "3B SetSampleTime 3C GetSampleTime 3E GetTime 40 GetBusVoltage 41 SetCurrentFoldback "
        "42 GetCurrentFoldback 43 SetCurrentControlMode 44 GetCurrentControlMode "
        "45 SetAxisOutMask 46 GetAxisOutMask 47 ClearPositionError 48 SetEventAction "
        "49 GetEventAction 4A GetPosition 4B GetVelocity 4C GetAcceleration 4D SetActualPosition "
        "50 GetKp 51 GetKi 52 GetKd 53 GetTemperature 54 GetKvff 55 GetPositionLoopValue "
        "56 GetInterruptMask 57 GetActiveOperatingMode 58 GetJerk 59 GetGearRatio 5A GetFOCValue "
        "5B MultiUpdate 5E SetHoldingCurrent 5F GetHoldingCurrent 60 GetBusVoltageLimits "
        "62 SetBusVoltageLimits 65 SetOperatingMode 66 GetOperatingMode 67 SetPositionLoop "
        "68 GetPositionLoop 69 GetMotorCommand 6A SetStartVelocity 6B GetStartVelocity "
        "6C ClearDriveFaultStatus 6D GetDriveFaultStatus 6E GetOutputMode 71 GetCurrentLoopValue "
        "72 SetPhaseInitializeTime 73 SetCurrentLoop 74 GetCurrentLoop 75 SetPhaseCounts "
        "76 SetPhaseOffset 77 SetMotorCommand 7A InitializePhase 7B GetPhaseOffset "
        "7C GetPhaseInitializeTime 7D GetPhaseCounts 80 SetLimitSwitchMode 81 GetLimitSwitchMode "
        "82 WriteIO 83 ReadIO 84 SetPhaseAngle 87 SetAxisMode 88 GetAxisMode 89 SetDefault "
        "8A GetDefault 8B SetSerialPortMode 8C GetSerialPortMode 8D SetEncoderModulus "
        "8E GetEncoderModulus 8F GetVersion 90 SetAcceleration 91 SetDeceleration "
        "92 GetDeceleration 93 SetKaff 94 GetKaff 95 SetIntegrationLimit 96 GetIntegrationLimit "
        "97 SetPositionErrorLimit 98 GetPositionErrorLimit 99 GetPositionError 9A GetIntegral "
        "9B GetDerivative 9C SetDerivativeTime 9D GetDerivativeTime 9E SetKout 9F GetKout "
        "A0 SetProfileMode A1 GetProfileMode A2 SetSignalSense A3 GetSignalSense "
        "A4 GetSignalStatus A5 GetInstructionError A6 GetActivityStatus "
        "A7 GetCommandedAcceleration A8 SetTrackingWindow A9 GetTrackingWindow AA SetSettleTime "
        "AB GetSettleTime AC ClearInterrupt AD GetActualVelocity AE SetGearMaster "
        "AF GetGearMaster B0 SetTraceMode B1 GetTraceMode B2 SetTraceStart B3 GetTraceStart "
        "B4 SetTraceStop B5 GetTraceStop B6 SetTraceVariable B7 GetTraceVariable "
        "B8 SetTracePeriod B9 GetTracePeriod BA GetTraceStatus BB GetTraceCount "
        "BC SetSettleWindow BD GetSettleWindow BE SetActualPositionUnits "
        "BF GetActualPositionUnits C0 SetBufferStart C1 GetBufferStart C2 SetBufferLength "
        "C3 GetBufferLength C4 SetBufferWriteIndex C5 GetBufferWriteIndex C6 SetBufferReadIndex "
        "C7 GetBufferReadIndex C8 WriteBuffer C9 ReadBuffer CA SetBufferFunction "
        "CB GetBufferFunction CE GetStepRange CF SetStepRange D0 SetStopMode D1 GetStopMode "
        "D2 SetAutoStopMode D3 GetAutoStopMode D4 SetBreakpoint D5 GetBreakpoint "
        "D6 SetBreakpointValue D7 GetBreakpointValue D8 SetCaptureSource D9 GetCaptureSource "
        "DA SetEncoderSource DB GetEncoderSource DC SetMotorMode DD GetMotorMode "
        "DE SetEncoderToStepRatio DF GetEncoderToStepRatio E0 SetOutputMode E1 GetInterruptAxis "
        "E2 SetCommutationMode E3 GetCommutationMode E4 SetPhaseInitializeMode "
        "E5 GetPhaseInitializeMode E6 SetPhasePrescale E7 GetPhasePrescale "
        "E8 SetPhaseCorrectionMode E9 GetPhaseCorrectionMode EA GetPhaseCommand "
        "EB SetMotionCompleteMode EC GetMotionCompleteMode ED SetAxisOutSource "
        "EE GetAxisOutSource EF ReadAnalog F2 SetSynchronizationMode F3 GetSynchronizationMode "
        "F5 AdjustActualPosition F6 SetFOC F7 GetFOC F8 GetChecksum F9 SetUpdateMask "
        "FA GetUpdateMask FB SetFaultOutMask FC GetFaultOutMask ";
// clang-format on

TEST(OpcodeName, EveryValueOfTheByte) {
    std::string expected[256];
    for (std::string& name : expected) name = "Invalid opcode!";
    std::istringstream table(kOpcodeNames);
    std::string hex, name;
    int named = 0;
    while (table >> hex >> name) {
        expected[std::stoi(hex, nullptr, 16)] = name;
        ++named;
    }
    ASSERT_EQ(named, 214);
    for (unsigned int i = 0; i < 256; ++i) {
        EXPECT_EQ(kOpcodeTable[i].opcode, i);
        EXPECT_EQ(GetOpcodeName(i), expected[i]) << std::hex << i;
    }
    // Only the low byte counts.
    EXPECT_STREQ(GetOpcodeName(0x0211), "SetVelocity");
    EXPECT_STREQ(GetOpcodeName(0xFFFFFF8Fu), "GetVersion");
}

}  // namespace
}  // namespace cmotion
