#include "cmotion/link_commands.h"

#include "cmotion/link_packet.h"

namespace cmotion {
namespace {

std::uint16_t Word0(const CLinkAxisHandle* handle, Opcode opcode) {
    return static_cast<std::uint16_t>((handle->m_uAxis << 8) | static_cast<std::uint8_t>(opcode));
}

LinkError Exchange(CLinkAxisHandle* handle, const std::uint16_t* words, std::uint16_t wordCount,
                   std::uint16_t* reply, std::uint16_t replyCount) {
    if (!handle || !handle->m_pfnExchange) return kLinkNotConnected;
    return handle->m_pfnExchange(handle->m_pPort, wordCount, words, replyCount, reply);
}

template <typename T>
void Put(T* out, T value) {
    if (out) *out = value;
}

// Signed values go out as their two's-complement bits (a defined
// conversion); SignedFromBits reads them back.
std::uint32_t Bits(std::int32_t value) {
    return static_cast<std::uint32_t>(value);
}

LinkError GetSigned32(CLinkAxisHandle* handle, Opcode opcode, std::int32_t* value) {
    std::uint32_t bits = 0;
    const LinkError code = SendCommandGet32(handle, opcode, &bits);
    Put(value, SignedFromBits(bits));
    return code;
}

// Commands that address the processor as a whole go out as axis 0, whatever
// axis the handle serves; its own number is restored afterwards, whatever
// the result.
template <typename Send>
LinkError SendAsProcessor(CLinkAxisHandle* handle, Send send) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t saved = handle->m_uAxis;
    handle->m_uAxis = 0;
    const LinkError code = send();
    handle->m_uAxis = saved;
    return code;
}

}  // namespace

LinkError GetLinkVersion(std::uint8_t* major, std::uint8_t* minor) {
    Put(major, kLinkVersionMajor);
    Put(minor, kLinkVersionMinor);
    return kLinkOk;
}

LinkError SendCommand(CLinkAxisHandle* handle, Opcode opcode) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[1] = {Word0(handle, opcode)};
    return Exchange(handle, words, 1, nullptr, 0);
}

LinkError SendCommandGet16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[1] = {Word0(handle, opcode)};
    std::uint16_t reply[1] = {};
    const LinkError code = Exchange(handle, words, 1, reply, 1);
    Put(value, reply[0]);
    return code;
}

LinkError SendCommandGet32(CLinkAxisHandle* handle, Opcode opcode, std::uint32_t* value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[1] = {Word0(handle, opcode)};
    std::uint16_t reply[2] = {};
    const LinkError code = Exchange(handle, words, 1, reply, 2);
    Put(value, JoinWords(reply[0], reply[1]));
    return code;
}

LinkError SendCommandGet16x2(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* first,
                             std::uint16_t* second) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[1] = {Word0(handle, opcode)};
    std::uint16_t reply[2] = {};
    const LinkError code = Exchange(handle, words, 1, reply, 2);
    Put(first, reply[0]);
    Put(second, reply[1]);
    return code;
}

LinkError SendCommandGet16x3(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t* first,
                             std::uint16_t* second, std::uint16_t* third) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[1] = {Word0(handle, opcode)};
    std::uint16_t reply[3] = {};
    const LinkError code = Exchange(handle, words, 1, reply, 3);
    Put(first, reply[0]);
    Put(second, reply[1]);
    Put(third, reply[2]);
    return code;
}

LinkError SendCommand16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[2] = {Word0(handle, opcode), value};
    return Exchange(handle, words, 2, nullptr, 0);
}

LinkError SendCommand32(CLinkAxisHandle* handle, Opcode opcode, std::uint32_t value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[3] = {Word0(handle, opcode), static_cast<std::uint16_t>(value >> 16),
                                    static_cast<std::uint16_t>(value & 0xFFFFu)};
    return Exchange(handle, words, 3, nullptr, 0);
}

LinkError SendCommand16x2(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t first,
                          std::uint16_t second) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[3] = {Word0(handle, opcode), first, second};
    return Exchange(handle, words, 3, nullptr, 0);
}

LinkError SendCommand16And32(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint32_t value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[4] = {Word0(handle, opcode), selector,
                                    static_cast<std::uint16_t>(value >> 16),
                                    static_cast<std::uint16_t>(value & 0xFFFFu)};
    return Exchange(handle, words, 4, nullptr, 0);
}

LinkError SendCommand16Get16(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint16_t* value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[2] = {Word0(handle, opcode), selector};
    std::uint16_t reply[1] = {};
    const LinkError code = Exchange(handle, words, 2, reply, 1);
    Put(value, reply[0]);
    return code;
}

LinkError SendCommand16Get32(CLinkAxisHandle* handle, Opcode opcode, std::uint16_t selector,
                             std::uint32_t* value) {
    if (!handle) return kLinkNotConnected;
    const std::uint16_t words[2] = {Word0(handle, opcode), selector};
    std::uint16_t reply[2] = {};
    const LinkError code = Exchange(handle, words, 2, reply, 2);
    Put(value, JoinWords(reply[0], reply[1]));
    return code;
}

const char* GetFamilyName(std::uint16_t generation) {
    switch (generation) {
        case 2:
            return "Navigarot";
        case 3:
            return "Corvane";
        case 5:
            return "Marivel";
        case 9:
            return "Ulor";
        default:
            return "Unknown";
    }
}

LinkError GetVersion(CLinkAxisHandle* handle, std::uint16_t* generation, std::uint16_t* motorType,
                     std::uint16_t* numberAxes, std::uint16_t* chipCount, std::uint16_t* kept,
                     std::uint16_t* versionMajor, std::uint16_t* versionMinor) {
    std::uint16_t w1 = 0;
    std::uint16_t w2 = 0;
    const LinkError code = SendCommandGet16x2(handle, Opcode::GetVersion, &w1, &w2);
    Put<std::uint16_t>(generation, (w1 >> 12) & 0xF);
    Put<std::uint16_t>(motorType, (w1 >> 8) & 0xF);
    Put<std::uint16_t>(numberAxes, (w1 >> 4) & 0xF);
    Put<std::uint16_t>(chipCount, w1 & 0xF);
    Put<std::uint16_t>(kept, (w2 >> 8) & 0xFF);
    Put<std::uint16_t>(versionMajor, (w2 >> 4) & 0xF);
    Put<std::uint16_t>(versionMinor, w2 & 0xF);
    return code;
}

LinkError Reset(CLinkAxisHandle* handle) {
    return SendAsProcessor(handle, [&] { return SendCommand(handle, Opcode::Reset); });
}

LinkError MultiUpdate(CLinkAxisHandle* handle, std::uint16_t axisMask) {
    return SendCommand16(handle, Opcode::MultiUpdate, axisMask);
}

LinkError GetSampleTime(CLinkAxisHandle* handle, std::uint32_t* sampleTime) {
    return SendCommandGet32(handle, Opcode::GetSampleTime, sampleTime);
}

LinkError GetTime(CLinkAxisHandle* handle, std::uint32_t* time) {
    return SendCommandGet32(handle, Opcode::GetTime, time);
}

LinkError GetActivityStatus(CLinkAxisHandle* handle, std::uint16_t* status) {
    return SendCommandGet16(handle, Opcode::GetActivityStatus, status);
}

LinkError GetEventStatus(CLinkAxisHandle* handle, std::uint16_t* status) {
    return SendCommandGet16(handle, Opcode::GetEventStatus, status);
}

LinkError ResetEventStatus(CLinkAxisHandle* handle, std::uint16_t mask) {
    return SendCommand16(handle, Opcode::ResetEventStatus, mask);
}

LinkError GetSignalStatus(CLinkAxisHandle* handle, std::uint16_t* status) {
    return SendCommandGet16(handle, Opcode::GetSignalStatus, status);
}

LinkError GetSignalSense(CLinkAxisHandle* handle, std::uint16_t* sense) {
    return SendCommandGet16(handle, Opcode::GetSignalSense, sense);
}

LinkError SetSignalSense(CLinkAxisHandle* handle, std::uint16_t sense) {
    return SendCommand16(handle, Opcode::SetSignalSense, sense);
}

LinkError GetInstructionError(CLinkAxisHandle* handle, std::uint16_t* error) {
    return SendCommandGet16(handle, Opcode::GetInstructionError, error);
}

LinkError Update(CLinkAxisHandle* handle) {
    return SendCommand(handle, Opcode::Update);
}

LinkError SetProfileMode(CLinkAxisHandle* handle, std::uint16_t mode) {
    return SendCommand16(handle, Opcode::SetProfileMode, mode);
}

LinkError GetProfileMode(CLinkAxisHandle* handle, std::uint16_t* mode) {
    return SendCommandGet16(handle, Opcode::GetProfileMode, mode);
}

LinkError SetPosition(CLinkAxisHandle* handle, std::int32_t position) {
    return SendCommand32(handle, Opcode::SetPosition, Bits(position));
}

LinkError GetPosition(CLinkAxisHandle* handle, std::int32_t* position) {
    return GetSigned32(handle, Opcode::GetPosition, position);
}

LinkError SetVelocity(CLinkAxisHandle* handle, std::int32_t velocity) {
    return SendCommand32(handle, Opcode::SetVelocity, Bits(velocity));
}

LinkError GetVelocity(CLinkAxisHandle* handle, std::int32_t* velocity) {
    return GetSigned32(handle, Opcode::GetVelocity, velocity);
}

LinkError SetAcceleration(CLinkAxisHandle* handle, std::uint32_t acceleration) {
    return SendCommand32(handle, Opcode::SetAcceleration, acceleration);
}

LinkError GetAcceleration(CLinkAxisHandle* handle, std::uint32_t* acceleration) {
    return SendCommandGet32(handle, Opcode::GetAcceleration, acceleration);
}

LinkError SetDeceleration(CLinkAxisHandle* handle, std::uint32_t deceleration) {
    return SendCommand32(handle, Opcode::SetDeceleration, deceleration);
}

LinkError GetDeceleration(CLinkAxisHandle* handle, std::uint32_t* deceleration) {
    return SendCommandGet32(handle, Opcode::GetDeceleration, deceleration);
}

LinkError SetJerk(CLinkAxisHandle* handle, std::uint32_t jerk) {
    return SendCommand32(handle, Opcode::SetJerk, jerk);
}

LinkError GetJerk(CLinkAxisHandle* handle, std::uint32_t* jerk) {
    return SendCommandGet32(handle, Opcode::GetJerk, jerk);
}

LinkError SetStartVelocity(CLinkAxisHandle* handle, std::uint32_t startVelocity) {
    return SendCommand32(handle, Opcode::SetStartVelocity, startVelocity);
}

LinkError GetStartVelocity(CLinkAxisHandle* handle, std::uint32_t* startVelocity) {
    return SendCommandGet32(handle, Opcode::GetStartVelocity, startVelocity);
}

LinkError SetStopMode(CLinkAxisHandle* handle, std::uint16_t mode) {
    return SendCommand16(handle, Opcode::SetStopMode, mode);
}

LinkError GetStopMode(CLinkAxisHandle* handle, std::uint16_t* mode) {
    return SendCommandGet16(handle, Opcode::GetStopMode, mode);
}

LinkError GetCommandedPosition(CLinkAxisHandle* handle, std::int32_t* position) {
    return GetSigned32(handle, Opcode::GetCommandedPosition, position);
}

LinkError GetCommandedVelocity(CLinkAxisHandle* handle, std::int32_t* velocity) {
    return GetSigned32(handle, Opcode::GetCommandedVelocity, velocity);
}

LinkError GetActualPosition(CLinkAxisHandle* handle, std::int32_t* position) {
    return GetSigned32(handle, Opcode::GetActualPosition, position);
}

LinkError SetMotorType(CLinkAxisHandle* handle, std::uint8_t type) {
    return SendCommand16(handle, Opcode::SetMotorType, type);
}

LinkError GetMotorType(CLinkAxisHandle* handle, std::uint16_t* type) {
    return SendCommandGet16(handle, Opcode::GetMotorType, type);
}

LinkError SetMotorCommand(CLinkAxisHandle* handle, std::uint16_t command) {
    return SendCommand16(handle, Opcode::SetMotorCommand, command);
}

LinkError SetHoldingCurrent(CLinkAxisHandle* handle, std::uint16_t selector, std::uint16_t value) {
    return SendCommand16x2(handle, Opcode::SetHoldingCurrent, selector, value);
}

LinkError GetHoldingCurrent(CLinkAxisHandle* handle, std::uint16_t selector, std::uint16_t* value) {
    return SendCommand16Get16(handle, Opcode::GetHoldingCurrent, selector, value);
}

LinkError SetOperatingMode(CLinkAxisHandle* handle, std::uint16_t mode) {
    return SendCommand16(handle, Opcode::SetOperatingMode, mode);
}

LinkError GetOperatingMode(CLinkAxisHandle* handle, std::uint16_t* mode) {
    return SendCommandGet16(handle, Opcode::GetOperatingMode, mode);
}

LinkError SetOutputMode(CLinkAxisHandle* handle, std::uint16_t mode) {
    return SendCommand16(handle, Opcode::SetOutputMode, mode);
}

LinkError GetOutputMode(CLinkAxisHandle* handle, std::uint16_t* mode) {
    return SendCommandGet16(handle, Opcode::GetOutputMode, mode);
}

LinkError SetPWMFrequency(CLinkAxisHandle* handle, std::uint16_t frequency) {
    return SendCommand16(handle, Opcode::SetPWMFrequency, frequency);
}

LinkError SetPhaseCounts(CLinkAxisHandle* handle, std::uint16_t counts) {
    return SendCommand16(handle, Opcode::SetPhaseCounts, counts);
}

LinkError SetActualPositionUnits(CLinkAxisHandle* handle, std::uint16_t units) {
    return SendCommand16(handle, Opcode::SetActualPositionUnits, units);
}

LinkError SetEventAction(CLinkAxisHandle* handle, std::uint16_t event, std::uint16_t action) {
    return SendCommand16x2(handle, Opcode::SetEventAction, event, action);
}

LinkError GetEventAction(CLinkAxisHandle* handle, std::uint16_t event, std::uint16_t* action) {
    return SendCommand16Get16(handle, Opcode::GetEventAction, event, action);
}

}  // namespace cmotion
