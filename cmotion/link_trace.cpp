#include "cmotion/link_trace.h"

#include <cstdio>

#include "cmotion/link_opcodes.h"

namespace cmotion {

namespace {

// Where one 32-bit value stands in an exchange: the commands of
// link_commands.cpp that send one (high word first) or get one back. Traced
// as the number the command means, not as its two halves.
enum class Wide { kNone, kUnsigned, kSigned };
struct Shape {
    Wide argument = Wide::kNone;
    Wide reply = Wide::kNone;
};

Shape ShapeOf(unsigned opcode) {
    switch (static_cast<Opcode>(opcode & 0xFFu)) {
        case Opcode::SetPosition:
        case Opcode::SetVelocity:
            return {Wide::kSigned, Wide::kNone};
        case Opcode::SetAcceleration:
        case Opcode::SetDeceleration:
        case Opcode::SetJerk:
        case Opcode::SetStartVelocity:
            return {Wide::kUnsigned, Wide::kNone};
        case Opcode::GetPosition:
        case Opcode::GetVelocity:
        case Opcode::GetCommandedPosition:
        case Opcode::GetCommandedVelocity:
        case Opcode::GetActualPosition:
            return {Wide::kNone, Wide::kSigned};
        case Opcode::GetAcceleration:
        case Opcode::GetDeceleration:
        case Opcode::GetJerk:
        case Opcode::GetStartVelocity:
        case Opcode::GetSampleTime:
        case Opcode::GetTime:
            return {Wide::kNone, Wide::kUnsigned};
        default:
            return {};
    }
}

// The words as the line shows them: one 32-bit value when `wide` says the
// two words are one, else each word.
void AppendWords(std::string& line, Wide wide, std::uint16_t count, const std::uint16_t* words) {
    char buffer[32];
    if (wide != Wide::kNone && count == 2) {
        const std::uint32_t bits = (static_cast<std::uint32_t>(words[0]) << 16) | words[1];
        if (wide == Wide::kSigned)
            std::snprintf(buffer, sizeof buffer, " %lld",
                          static_cast<long long>(bits) - (bits >> 31 ? 0x100000000LL : 0));
        else
            std::snprintf(buffer, sizeof buffer, " %lu", static_cast<unsigned long>(bits));
        line += buffer;
        return;
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, " %u", static_cast<unsigned>(words[i]));
        line += buffer;
    }
}

}  // namespace

std::string FormatExchange(double milliseconds, std::uint16_t commandWordCount,
                           const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                           const std::uint16_t* replyWords, LinkError result) {
    if (commandWordCount == 0 || !commandWords) return {};
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%10.3f ms  axis %u  %-24s", milliseconds,
                  static_cast<unsigned>(commandWords[0] >> 8), GetOpcodeName(commandWords[0]));
    std::string line = buffer;
    const Shape shape = ShapeOf(commandWords[0]);
    AppendWords(line, shape.argument, static_cast<std::uint16_t>(commandWordCount - 1),
                commandWords + 1);
    line += "  ->";
    if (result == kLinkOk) {
        if (replyWords) AppendWords(line, shape.reply, replyWordCount, replyWords);
    } else {
        std::snprintf(buffer, sizeof buffer, " error %u (%s)", static_cast<unsigned>(result),
                      GetErrorText(result));
        line += buffer;
    }
    return line;
}

}  // namespace cmotion
