#include "cmotion/link_trace.h"

#include <cstdio>

#include "cmotion/link_opcodes.h"

namespace cmotion {

std::string FormatExchange(double milliseconds, std::uint16_t commandWordCount,
                           const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                           const std::uint16_t* replyWords, LinkError result) {
    if (commandWordCount == 0 || !commandWords) return {};
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%10.3f ms  axis %u  %-24s", milliseconds,
                  static_cast<unsigned>(commandWords[0] >> 8), GetOpcodeName(commandWords[0]));
    std::string line = buffer;
    for (std::uint16_t i = 1; i < commandWordCount; ++i) {
        std::snprintf(buffer, sizeof buffer, " %u", static_cast<unsigned>(commandWords[i]));
        line += buffer;
    }
    line += "  ->";
    if (result == kLinkOk) {
        for (std::uint16_t i = 0; replyWords && i < replyWordCount; ++i) {
            std::snprintf(buffer, sizeof buffer, " %u", static_cast<unsigned>(replyWords[i]));
            line += buffer;
        }
    } else {
        std::snprintf(buffer, sizeof buffer, " error %u (%s)", static_cast<unsigned>(result),
                      GetErrorText(result));
        line += buffer;
    }
    return line;
}

}  // namespace cmotion
