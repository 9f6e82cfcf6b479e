// The typed MotionLink commands: one function per processor command, named
// after it, built on a handful of packet builders (one per data shape).
//
// Every function takes the axis handle first, then its inputs, then pointers
// for its outputs, and returns the exchange's code unchanged: no retry, no
// range check, no translation. Outputs are written from the reply words also
// when the code is not zero (callers ignore them then); a null output pointer
// is skipped. Callers hold the controller's lock around every call.
#pragma once

#include <cstdint>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"
#include "cmotion/link_serial.h"

namespace cmotion {

// Version of this command layer, reported without any traffic.
inline constexpr std::uint8_t kLinkVersionMajor = 3;
inline constexpr std::uint8_t kLinkVersionMinor = 5;
LinkError GetLinkVersion(std::uint8_t* major, std::uint8_t* minor);

// --- Packet builders. Word 0 is (handle's axis << 8) | opcode. ------------
LinkError SendCommand(CLinkAxisHandle* handle, Opcode opcode);
LinkError SendCommandGet16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* value);
LinkError SendCommandGet32(CLinkAxisHandle* handle, Opcode opcode, std::uint32_t* value);
LinkError SendCommandGet16x2(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* first,
                             std::uint16_t* second);
LinkError SendCommandGet16x3(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* first,
                             std::uint16_t* second, std::uint16_t* third);
LinkError SendCommand16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t value);
LinkError SendCommand32(CLinkAxisHandle* handle, Opcode opcode, std::uint32_t value);
LinkError SendCommand16x2(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t first,
                          std::uint16_t second);
LinkError SendCommand16And32(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint32_t value);
LinkError SendCommand16Get16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint16_t* value);
LinkError SendCommand16Get32(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint32_t* value);

// --- Processor as a whole (sent as axis 0; the handle keeps its axis). ----
// The processor family's name for GetVersion's generation field
// ("Unknown" for a code no family has).
const char* GetFamilyName(std::uint16_t generation);
// GetVersion: w1 = generation:4 motorType:4 axes:4 chips:4,
//             w2 = kept:8 major:4 minor:4.
LinkError GetVersion(CLinkAxisHandle* handle, std::uint16_t* generation, std::uint16_t* motorType,
                     std::uint16_t* numberAxes, std::uint16_t* chipCount, std::uint16_t* kept,
                     std::uint16_t* versionMajor, std::uint16_t* versionMinor);
LinkError Reset(CLinkAxisHandle* handle);
LinkError MultiUpdate(CLinkAxisHandle* handle, std::uint16_t axisMask);
LinkError GetSampleTime(CLinkAxisHandle* handle, std::uint32_t* sampleTime);
LinkError GetTime(CLinkAxisHandle* handle, std::uint32_t* time);

// --- Status. --------------------------------------------------------------
LinkError GetActivityStatus(CLinkAxisHandle* handle, std::uint16_t* status);
LinkError GetEventStatus(CLinkAxisHandle* handle, std::uint16_t* status);
LinkError ResetEventStatus(CLinkAxisHandle* handle, std::uint16_t mask);
LinkError GetSignalStatus(CLinkAxisHandle* handle, std::uint16_t* status);
LinkError GetSignalSense(CLinkAxisHandle* handle, std::uint16_t* sense);
LinkError SetSignalSense(CLinkAxisHandle* handle, std::uint16_t sense);
LinkError GetInstructionError(CLinkAxisHandle* handle, std::uint16_t* error);

// --- Profile. Positions and velocities are signed and travel in two's
// complement; the conversion to and from the wire's unsigned words is here.
LinkError Update(CLinkAxisHandle* handle);
LinkError SetProfileMode(CLinkAxisHandle* handle, std::uint16_t mode);
LinkError GetProfileMode(CLinkAxisHandle* handle, std::uint16_t* mode);
LinkError SetPosition(CLinkAxisHandle* handle, std::int32_t position);
LinkError GetPosition(CLinkAxisHandle* handle, std::int32_t* position);
LinkError SetVelocity(CLinkAxisHandle* handle, std::int32_t velocity);
LinkError GetVelocity(CLinkAxisHandle* handle, std::int32_t* velocity);
LinkError SetAcceleration(CLinkAxisHandle* handle, std::uint32_t acceleration);
LinkError GetAcceleration(CLinkAxisHandle* handle, std::uint32_t* acceleration);
LinkError SetDeceleration(CLinkAxisHandle* handle, std::uint32_t deceleration);
LinkError GetDeceleration(CLinkAxisHandle* handle, std::uint32_t* deceleration);
LinkError SetJerk(CLinkAxisHandle* handle, std::uint32_t jerk);
LinkError GetJerk(CLinkAxisHandle* handle, std::uint32_t* jerk);
LinkError SetStartVelocity(CLinkAxisHandle* handle, std::uint32_t startVelocity);
LinkError GetStartVelocity(CLinkAxisHandle* handle, std::uint32_t* startVelocity);
LinkError SetStopMode(CLinkAxisHandle* handle, std::uint16_t mode);
LinkError GetStopMode(CLinkAxisHandle* handle, std::uint16_t* mode);
LinkError GetCommandedPosition(CLinkAxisHandle* handle, std::int32_t* position);
LinkError GetCommandedVelocity(CLinkAxisHandle* handle, std::int32_t* velocity);
LinkError GetActualPosition(CLinkAxisHandle* handle, std::int32_t* position);

// --- Motor and axis set-up. -----------------------------------------------
LinkError SetMotorType(CLinkAxisHandle* handle, std::uint8_t type);
LinkError GetMotorType(CLinkAxisHandle* handle, std::uint16_t* type);
LinkError SetMotorCommand(CLinkAxisHandle* handle, std::uint16_t command);
LinkError SetHoldingCurrent(CLinkAxisHandle* handle, std::uint16_t selector, std::uint16_t value);
LinkError GetHoldingCurrent(CLinkAxisHandle* handle, std::uint16_t selector, std::uint16_t* value);
LinkError SetOperatingMode(CLinkAxisHandle* handle, std::uint16_t mode);
LinkError GetOperatingMode(CLinkAxisHandle* handle, std::uint16_t* mode);
LinkError SetOutputMode(CLinkAxisHandle* handle, std::uint16_t mode);
LinkError GetOutputMode(CLinkAxisHandle* handle, std::uint16_t* mode);
LinkError SetPWMFrequency(CLinkAxisHandle* handle, std::uint16_t frequency);
LinkError SetPhaseCounts(CLinkAxisHandle* handle, std::uint16_t counts);
LinkError SetActualPositionUnits(CLinkAxisHandle* handle, std::uint16_t units);
LinkError SetEventAction(CLinkAxisHandle* handle, std::uint16_t event, std::uint16_t action);
LinkError GetEventAction(CLinkAxisHandle* handle, std::uint16_t event, std::uint16_t* action);

}  // namespace cmotion
