#include "controller/line_retry.h"

#include <cstdio>
#include <string>

#include "cmotion/link_opcodes.h"
#include "controller/motion_report.h"

namespace tessaro {
namespace {

using namespace cmotion;

thread_local FailedExchange t_lastFailure;

std::uint8_t OpcodeOf(std::uint16_t commandWordCount, const std::uint16_t* commandWords) {
    return commandWordCount > 0 && commandWords ? static_cast<std::uint8_t>(commandWords[0] & 0xFF)
                                                : 0;
}

// Whether the failed exchange found the device gone; if so the port is
// closed and the host told (once: later exchanges find it closed).
bool DroppedAsLost(CLinkSerialPort* port) {
    if (!port || port->m_hPort == platform::kInvalidSerialHandle) return false;
    std::string why;
    if (!platform::CurrentSerialApi().LineLost(port->m_hPort, &why)) return false;
    CloseSerialPort(port);
    char text[200];
    std::snprintf(text, sizeof text,
                  "line to COM%u lost (%s); commands fail until it is back, and the port is "
                  "opened again twice a second",
                  static_cast<unsigned>(port->m_uPortNumber), why.c_str());
    ReportControllerEvent(text);
    return true;
}

}  // namespace

bool IsLineFailure(LinkError code) {
    return code == kLinkCommPortRead || code == kLinkCommTimeout || code == kLinkChecksumError;
}

LinkError ExchangeWithRetry(CLinkSerialPort* port, std::uint16_t commandWordCount,
                            const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                            std::uint16_t* replyWords) {
    const std::uint8_t opcode = OpcodeOf(commandWordCount, commandWords);
    // The controller closes the port of its record only when the line went
    // away (a disconnect releases the record itself, under the controller
    // lock): a closed port here is a lost line.
    if (port && port->m_hPort == platform::kInvalidSerialHandle) {
        t_lastFailure = FailedExchange{opcode, kLineLost};
        return kLineLost;
    }
    LinkError result =
        ExchangePacket(port, commandWordCount, commandWords, replyWordCount, replyWords);
    if (result != kLinkOk && DroppedAsLost(port)) result = kLineLost;
    // Every command this system sends is safe to send twice: targets are
    // absolute, setters set, reads read, and Update (or MultiUpdate) starts
    // what the parameters say, which the first one, if it got through, has
    // already started. Only Reset is different: a second one could reset
    // a processor that has come back and been talked to in between, so a
    // lost answer to Reset stays lost.
    if (IsLineFailure(result) && opcode != static_cast<std::uint8_t>(Opcode::Reset)) {
        // The rest of a spoiled or late reply must not be taken for the
        // answer to the repeat.
        AwaitQuietLine(port);
        result = ExchangePacket(port, commandWordCount, commandWords, replyWordCount, replyWords);
        if (result != kLinkOk && DroppedAsLost(port)) result = kLineLost;
        // The repeat may have been answered by the first reply, come late,
        // with its own answer still on the way: let that arrive before the
        // next command's purge, so it cannot land in front of that reply.
        if (result == kLinkOk) AwaitQuietLine(port);
    }
    if (result != kLinkOk) t_lastFailure = FailedExchange{opcode, result};
    return result;
}

FailedExchange LastFailedExchange() {
    return t_lastFailure;
}

void ClearLastFailedExchange() {
    t_lastFailure = FailedExchange{};
}

}  // namespace tessaro
