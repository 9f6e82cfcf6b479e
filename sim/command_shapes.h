// How many data words each command carries and how many words its reply
// has: what the processor needs to know to cut the byte stream into packets.
#pragma once

#include <cstdint>

namespace sim {

struct CommandShape {
    bool known = false;          // false: not an instruction (status 2)
    std::uint8_t dataWords = 0;  // after word 0
    std::uint8_t replyWords = 0;
};

CommandShape ShapeOf(std::uint8_t opcode);

}  // namespace sim
