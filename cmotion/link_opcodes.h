// The motion processor's opcodes: one list, from which both the `Opcode`
// enumeration and the 256-row name table are made.
#pragma once

#include <array>
#include <cstdint>

namespace cmotion {

// X(value, Name) for every opcode that has a command.
#define CMOTION_OPCODE_LIST(X)         \
    X(0x00, Nop)                       \
    X(0x02, SetMotorType)              \
    X(0x03, GetMotorType)              \
    X(0x04, SetBiQuadCoefficient)      \
    X(0x05, GetBiQuadCoefficient)      \
    X(0x06, SetMotorLimit)             \
    X(0x07, GetMotorLimit)             \
    X(0x08, SetAuxiliaryEncoderSource) \
    X(0x09, GetAuxiliaryEncoderSource) \
    X(0x0A, SetSPIMode)                \
    X(0x0B, GetSPIMode)                \
    X(0x0C, SetPWMFrequency)           \
    X(0x0D, GetPWMFrequency)           \
    X(0x0E, GetDriveStatus)            \
    X(0x0F, SetMotorBias)              \
    X(0x10, SetPosition)               \
    X(0x11, SetVelocity)               \
    X(0x12, SetCANMode)                \
    X(0x13, SetJerk)                   \
    X(0x14, SetGearRatio)              \
    X(0x15, GetCANMode)                \
    X(0x1A, Update)                    \
    X(0x1B, SetOverTemperatureLimit)   \
    X(0x1C, GetOverTemperatureLimit)   \
    X(0x1D, GetCommandedPosition)      \
    X(0x1E, GetCommandedVelocity)      \
    X(0x25, SetKp)                     \
    X(0x26, SetKi)                     \
    X(0x27, SetKd)                     \
    X(0x2B, SetKvff)                   \
    X(0x2C, GetPhaseAngle)             \
    X(0x2D, GetMotorBias)              \
    X(0x2E, RestoreOperatingMode)      \
    X(0x2F, SetInterruptMask)          \
    X(0x31, GetEventStatus)            \
    X(0x32, SetBreakpointUpdateMask)   \
    X(0x33, GetBreakpointUpdateMask)   \
    X(0x34, ResetEventStatus)          \
    X(0x36, GetCaptureValue)           \
    X(0x37, GetActualPosition)         \
    X(0x39, Reset)                     \
    X(0x3A, GetActiveMotorCommand)     \
    X(0x3B, SetSampleTime)             \
    X(0x3C, GetSampleTime)             \
    X(0x3E, GetTime)                   \
    X(0x40, GetBusVoltage)             \
    X(0x41, SetCurrentFoldback)        \
    X(0x42, GetCurrentFoldback)        \
    X(0x43, SetCurrentControlMode)     \
    X(0x44, GetCurrentControlMode)     \
    X(0x45, SetAxisOutMask)            \
    X(0x46, GetAxisOutMask)            \
    X(0x47, ClearPositionError)        \
    X(0x48, SetEventAction)            \
    X(0x49, GetEventAction)            \
    X(0x4A, GetPosition)               \
    X(0x4B, GetVelocity)               \
    X(0x4C, GetAcceleration)           \
    X(0x4D, SetActualPosition)         \
    X(0x50, GetKp)                     \
    X(0x51, GetKi)                     \
    X(0x52, GetKd)                     \
    X(0x53, GetTemperature)            \
    X(0x54, GetKvff)                   \
    X(0x55, GetPositionLoopValue)      \
    X(0x56, GetInterruptMask)          \
    X(0x57, GetActiveOperatingMode)    \
    X(0x58, GetJerk)                   \
    X(0x59, GetGearRatio)              \
    X(0x5A, GetFOCValue)               \
    X(0x5B, MultiUpdate)               \
    X(0x5E, SetHoldingCurrent)         \
    X(0x5F, GetHoldingCurrent)         \
    X(0x60, GetBusVoltageLimits)       \
    X(0x62, SetBusVoltageLimits)       \
    X(0x65, SetOperatingMode)          \
    X(0x66, GetOperatingMode)          \
    X(0x67, SetPositionLoop)           \
    X(0x68, GetPositionLoop)           \
    X(0x69, GetMotorCommand)           \
    X(0x6A, SetStartVelocity)          \
    X(0x6B, GetStartVelocity)          \
    X(0x6C, ClearDriveFaultStatus)     \
    X(0x6D, GetDriveFaultStatus)       \
    X(0x6E, GetOutputMode)             \
    X(0x71, GetCurrentLoopValue)       \
    X(0x72, SetPhaseInitializeTime)    \
    X(0x73, SetCurrentLoop)            \
    X(0x74, GetCurrentLoop)            \
    X(0x75, SetPhaseCounts)            \
    X(0x76, SetPhaseOffset)            \
    X(0x77, SetMotorCommand)           \
    X(0x7A, InitializePhase)           \
    X(0x7B, GetPhaseOffset)            \
    X(0x7C, GetPhaseInitializeTime)    \
    X(0x7D, GetPhaseCounts)            \
    X(0x80, SetLimitSwitchMode)        \
    X(0x81, GetLimitSwitchMode)        \
    X(0x82, WriteIO)                   \
    X(0x83, ReadIO)                    \
    X(0x84, SetPhaseAngle)             \
    X(0x87, SetAxisMode)               \
    X(0x88, GetAxisMode)               \
    X(0x89, SetDefault)                \
    X(0x8A, GetDefault)                \
    X(0x8B, SetSerialPortMode)         \
    X(0x8C, GetSerialPortMode)         \
    X(0x8D, SetEncoderModulus)         \
    X(0x8E, GetEncoderModulus)         \
    X(0x8F, GetVersion)                \
    X(0x90, SetAcceleration)           \
    X(0x91, SetDeceleration)           \
    X(0x92, GetDeceleration)           \
    X(0x93, SetKaff)                   \
    X(0x94, GetKaff)                   \
    X(0x95, SetIntegrationLimit)       \
    X(0x96, GetIntegrationLimit)       \
    X(0x97, SetPositionErrorLimit)     \
    X(0x98, GetPositionErrorLimit)     \
    X(0x99, GetPositionError)          \
    X(0x9A, GetIntegral)               \
    X(0x9B, GetDerivative)             \
    X(0x9C, SetDerivativeTime)         \
    X(0x9D, GetDerivativeTime)         \
    X(0x9E, SetKout)                   \
    X(0x9F, GetKout)                   \
    X(0xA0, SetProfileMode)            \
    X(0xA1, GetProfileMode)            \
    X(0xA2, SetSignalSense)            \
    X(0xA3, GetSignalSense)            \
    X(0xA4, GetSignalStatus)           \
    X(0xA5, GetInstructionError)       \
    X(0xA6, GetActivityStatus)         \
    X(0xA7, GetCommandedAcceleration)  \
    X(0xA8, SetTrackingWindow)         \
    X(0xA9, GetTrackingWindow)         \
    X(0xAA, SetSettleTime)             \
    X(0xAB, GetSettleTime)             \
    X(0xAC, ClearInterrupt)            \
    X(0xAD, GetActualVelocity)         \
    X(0xAE, SetGearMaster)             \
    X(0xAF, GetGearMaster)             \
    X(0xB0, SetTraceMode)              \
    X(0xB1, GetTraceMode)              \
    X(0xB2, SetTraceStart)             \
    X(0xB3, GetTraceStart)             \
    X(0xB4, SetTraceStop)              \
    X(0xB5, GetTraceStop)              \
    X(0xB6, SetTraceVariable)          \
    X(0xB7, GetTraceVariable)          \
    X(0xB8, SetTracePeriod)            \
    X(0xB9, GetTracePeriod)            \
    X(0xBA, GetTraceStatus)            \
    X(0xBB, GetTraceCount)             \
    X(0xBC, SetSettleWindow)           \
    X(0xBD, GetSettleWindow)           \
    X(0xBE, SetActualPositionUnits)    \
    X(0xBF, GetActualPositionUnits)    \
    X(0xC0, SetBufferStart)            \
    X(0xC1, GetBufferStart)            \
    X(0xC2, SetBufferLength)           \
    X(0xC3, GetBufferLength)           \
    X(0xC4, SetBufferWriteIndex)       \
    X(0xC5, GetBufferWriteIndex)       \
    X(0xC6, SetBufferReadIndex)        \
    X(0xC7, GetBufferReadIndex)        \
    X(0xC8, WriteBuffer)               \
    X(0xC9, ReadBuffer)                \
    X(0xCA, SetBufferFunction)         \
    X(0xCB, GetBufferFunction)         \
    X(0xCE, GetStepRange)              \
    X(0xCF, SetStepRange)              \
    X(0xD0, SetStopMode)               \
    X(0xD1, GetStopMode)               \
    X(0xD2, SetAutoStopMode)           \
    X(0xD3, GetAutoStopMode)           \
    X(0xD4, SetBreakpoint)             \
    X(0xD5, GetBreakpoint)             \
    X(0xD6, SetBreakpointValue)        \
    X(0xD7, GetBreakpointValue)        \
    X(0xD8, SetCaptureSource)          \
    X(0xD9, GetCaptureSource)          \
    X(0xDA, SetEncoderSource)          \
    X(0xDB, GetEncoderSource)          \
    X(0xDC, SetMotorMode)              \
    X(0xDD, GetMotorMode)              \
    X(0xDE, SetEncoderToStepRatio)     \
    X(0xDF, GetEncoderToStepRatio)     \
    X(0xE0, SetOutputMode)             \
    X(0xE1, GetInterruptAxis)          \
    X(0xE2, SetCommutationMode)        \
    X(0xE3, GetCommutationMode)        \
    X(0xE4, SetPhaseInitializeMode)    \
    X(0xE5, GetPhaseInitializeMode)    \
    X(0xE6, SetPhasePrescale)          \
    X(0xE7, GetPhasePrescale)          \
    X(0xE8, SetPhaseCorrectionMode)    \
    X(0xE9, GetPhaseCorrectionMode)    \
    X(0xEA, GetPhaseCommand)           \
    X(0xEB, SetMotionCompleteMode)     \
    X(0xEC, GetMotionCompleteMode)     \
    X(0xED, SetAxisOutSource)          \
    X(0xEE, GetAxisOutSource)          \
    X(0xEF, ReadAnalog)                \
    X(0xF2, SetSynchronizationMode)    \
    X(0xF3, GetSynchronizationMode)    \
    X(0xF5, AdjustActualPosition)      \
    X(0xF6, SetFOC)                    \
    X(0xF7, GetFOC)                    \
    X(0xF8, GetChecksum)               \
    X(0xF9, SetUpdateMask)             \
    X(0xFA, GetUpdateMask)             \
    X(0xFB, SetFaultOutMask)           \
    X(0xFC, GetFaultOutMask)

enum class Opcode : std::uint8_t {
#define CMOTION_OPCODE_ENUM(value, name) name = value,
    CMOTION_OPCODE_LIST(CMOTION_OPCODE_ENUM)
#undef CMOTION_OPCODE_ENUM
};

struct OpcodeRow {
    std::uint8_t opcode;
    const char* name;
};

inline constexpr const char* kInvalidOpcodeName = "Invalid opcode!";

// One row per opcode value 0x00 to 0xFF, in order.
extern const std::array<OpcodeRow, 256> kOpcodeTable;

// The command's name for the low eight bits of `opcode`; values with no
// command give "Invalid opcode!".
const char* GetOpcodeName(unsigned int opcode);

}  // namespace cmotion
