// One bad packet is not a failed operation: the exchange the controller
// installs in its board handle (and so in every axis handle copied from it)
// sends a command once more when its exchange failed on the line.
#pragma once

#include <cstdint>

#include "cmotion/link_serial.h"

namespace tessaro {

// The line's device went away (a USB adapter unplugged): this side's own
// code, below the link's range. From the exchange that found it gone, every
// exchange answers it at once, unsent, until the controller has opened the
// port again (see CTessaroController::TryRestoreLine).
inline constexpr cmotion::LinkError kLineLost = 32716;

// A reply lost or spoiled on the line: none or too few bytes, or a bad
// checksum. A processor's refusal is an answer and never counts.
bool IsLineFailure(cmotion::LinkError code);

// ExchangePacket, and after a line failure, once the line has gone quiet,
// ExchangePacket once more; only the second failure is returned. Reset is
// never repeated. A processor that is really silent fails after two read
// time-outs and one quiet wait.
// A failure the system reports as the device gone is not repeated: the port
// is closed (its record kept), the host is told once, and kLineLost is the
// answer to this and every later exchange until the port is open again.
// So while the line is away nothing waits out a time-out.
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
