// One bad packet is not a failed operation: the exchange the controller
// installs in its board handle (and so in every axis handle copied from it)
// sends a command once more when its exchange failed on the line.
#pragma once

#include <cstdint>

#include "cmotion/link_serial.h"

namespace tessaro {

// A reply lost or spoiled on the line: none or too few bytes, or a bad
// checksum. A processor's refusal is an answer and never counts.
bool IsLineFailure(cmotion::LinkError code);

// ExchangePacket, and after a line failure, once the line has gone quiet,
// ExchangePacket once more; only the second failure is returned. Reset is
// never repeated. A processor that is really silent fails after two read
// time-outs and one quiet wait.
cmotion::LinkError ExchangeWithRetry(cmotion::CLinkSerialPort* port, std::uint16_t commandWordCount,
                                     const std::uint16_t* commandWords,
                                     std::uint16_t replyWordCount, std::uint16_t* replyWords);

// The last exchange that failed on this thread (after its retry): its
// opcode and result. For diagnostics: a sequence that stopped at its first
// error can say which command it was.
struct FailedExchange {
    std::uint8_t opcode = 0;
    cmotion::LinkError code = cmotion::kLinkOk;
};
FailedExchange LastFailedExchange();
void ClearLastFailedExchange();

}  // namespace tessaro
