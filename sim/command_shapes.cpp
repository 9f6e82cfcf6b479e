#include "sim/command_shapes.h"

#include <array>
#include <cstring>

#include "cmotion/link_opcodes.h"

namespace sim {
namespace {

using cmotion::Opcode;

struct Override {
    Opcode opcode;
    std::uint8_t dataWords;
    std::uint8_t replyWords;
};

// Commands whose data are not one 16-bit word in or out. The first block is
// what the plug-in sends; the rest follow the same families (32-bit values,
// a selector before a value).
constexpr Override kOverrides[] = {
    {Opcode::GetVersion, 0, 2},
    {Opcode::MultiUpdate, 1, 0},
    {Opcode::ResetEventStatus, 1, 0},
    {Opcode::SetPosition, 2, 0},
    {Opcode::SetVelocity, 2, 0},
    {Opcode::SetAcceleration, 2, 0},
    {Opcode::SetDeceleration, 2, 0},
    {Opcode::SetJerk, 2, 0},
    {Opcode::SetStartVelocity, 2, 0},
    {Opcode::GetCommandedPosition, 0, 2},
    {Opcode::GetSampleTime, 0, 2},
    {Opcode::SetHoldingCurrent, 2, 0},
    {Opcode::SetEventAction, 2, 0},

    {Opcode::GetHoldingCurrent, 1, 1},
    {Opcode::GetEventAction, 1, 1},
    {Opcode::SetSampleTime, 2, 0},
    {Opcode::GetPosition, 0, 2},
    {Opcode::GetVelocity, 0, 2},
    {Opcode::GetAcceleration, 0, 2},
    {Opcode::GetDeceleration, 0, 2},
    {Opcode::GetJerk, 0, 2},
    {Opcode::GetStartVelocity, 0, 2},
    {Opcode::GetCommandedVelocity, 0, 2},
    {Opcode::GetCommandedAcceleration, 0, 2},
    {Opcode::GetActualPosition, 0, 2},
    {Opcode::SetActualPosition, 2, 0},
    {Opcode::AdjustActualPosition, 2, 0},
    {Opcode::GetActualVelocity, 0, 2},
    {Opcode::GetTime, 0, 2},
    {Opcode::GetCaptureValue, 0, 2},
    {Opcode::GetPositionError, 0, 2},
    {Opcode::SetPositionErrorLimit, 2, 0},
    {Opcode::GetPositionErrorLimit, 0, 2},
    {Opcode::SetGearRatio, 2, 0},
    {Opcode::GetGearRatio, 0, 2},
    {Opcode::SetKout, 2, 0},
    {Opcode::GetKout, 0, 2},
    {Opcode::SetIntegrationLimit, 2, 0},
    {Opcode::GetIntegrationLimit, 0, 2},
    {Opcode::GetIntegral, 0, 2},
    {Opcode::SetEncoderModulus, 2, 0},
    {Opcode::GetEncoderModulus, 0, 2},
    {Opcode::SetEncoderToStepRatio, 2, 0},
    {Opcode::GetEncoderToStepRatio, 0, 2},
    {Opcode::SetBreakpointValue, 3, 0},
    {Opcode::GetBreakpointValue, 1, 2},
    {Opcode::SetBreakpoint, 2, 0},
    {Opcode::GetBreakpoint, 1, 1},
    {Opcode::SetBufferStart, 3, 0},
    {Opcode::GetBufferStart, 1, 2},
    {Opcode::SetBufferLength, 3, 0},
    {Opcode::GetBufferLength, 1, 2},
    {Opcode::SetBufferWriteIndex, 3, 0},
    {Opcode::GetBufferWriteIndex, 1, 2},
    {Opcode::SetBufferReadIndex, 3, 0},
    {Opcode::GetBufferReadIndex, 1, 2},
    {Opcode::WriteBuffer, 3, 0},
    {Opcode::ReadBuffer, 1, 2},
    {Opcode::SetTraceStart, 1, 0},
    {Opcode::SetTraceStop, 1, 0},
    {Opcode::GetTraceCount, 0, 2},
    {Opcode::SetTraceVariable, 2, 0},
    {Opcode::GetTraceVariable, 1, 1},
    {Opcode::WriteIO, 2, 0},
    {Opcode::ReadIO, 1, 1},
    {Opcode::ReadAnalog, 1, 1},
    {Opcode::SetMotorLimit, 1, 0},
    {Opcode::SetBiQuadCoefficient, 3, 0},
    {Opcode::GetBiQuadCoefficient, 2, 1},
    {Opcode::SetCurrentLoop, 2, 0},
    {Opcode::GetCurrentLoop, 1, 1},
    {Opcode::SetPositionLoop, 3, 0},
    {Opcode::GetPositionLoop, 1, 2},
    {Opcode::GetPositionLoopValue, 1, 2},
    {Opcode::GetCurrentLoopValue, 1, 1},
    {Opcode::SetFOC, 2, 0},
    {Opcode::GetFOC, 1, 1},
    {Opcode::GetFOCValue, 1, 1},
    {Opcode::SetDefault, 3, 0},
    {Opcode::GetDefault, 1, 2},
    {Opcode::SetBusVoltageLimits, 2, 0},
    {Opcode::GetBusVoltageLimits, 1, 1},
    {Opcode::SetCurrentFoldback, 2, 0},
    {Opcode::GetCurrentFoldback, 1, 1},
    {Opcode::GetDriveStatus, 0, 3},
    {Opcode::GetChecksum, 0, 2},
};

std::array<CommandShape, 256> MakeTable() {
    std::array<CommandShape, 256> table{};
    for (unsigned int op = 0; op < 256; ++op) {
        const char* name = cmotion::kOpcodeTable[op].name;
        if (std::strcmp(name, cmotion::kInvalidOpcodeName) == 0) continue;
        CommandShape& shape = table[op];
        shape.known = true;
        // The plain families: SetX sends one word, GetX answers one word,
        // every other instruction (Update, Reset, Clear...) has no data.
        if (std::strncmp(name, "Set", 3) == 0) shape.dataWords = 1;
        if (std::strncmp(name, "Get", 3) == 0) shape.replyWords = 1;
    }
    for (const Override& o : kOverrides) {
        CommandShape& shape = table[static_cast<std::uint8_t>(o.opcode)];
        shape.dataWords = o.dataWords;
        shape.replyWords = o.replyWords;
    }
    return table;
}

}  // namespace

CommandShape ShapeOf(std::uint8_t opcode) {
    static const std::array<CommandShape, 256> kTable = MakeTable();
    return kTable[opcode];
}

}  // namespace sim
