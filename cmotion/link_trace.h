// One exchange as a line of text, the same in every trace (tessaro-host's
// --trace, the module's trace file): time, axis, command, arguments, then
// the answer's words or the error with its text. A 32-bit value is one
// number (signed where the command's is), not two words.
#pragma once

#include <cstdint>
#include <string>

#include "cmotion/link_errors.h"

namespace cmotion {

std::string FormatExchange(double milliseconds, std::uint16_t commandWordCount,
                           const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                           const std::uint16_t* replyWords, LinkError result);

}  // namespace cmotion
