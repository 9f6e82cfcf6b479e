// The serial interface of the MotionLink layer: one port record per board,
// the axis handles that send commands through it, and the operations that
// open, synchronise, exchange packets on and close the port.
//
// The interface has no lock of its own. One port must never carry two
// exchanges at once (the receive queue is purged before each packet and the
// reply is read by count), so every caller holds the controller's lock.
#pragma once

#include <cstdint>

#include "cmotion/link_errors.h"
#include "platform/serial_port.h"

namespace cmotion {

inline constexpr std::uint32_t kDefaultBaudRate = 57600;
inline constexpr std::uint8_t kDefaultPortNumber = 1;

// Read time-outs: a read of n bytes ends after at most 100 + 10 * n ms with
// what arrived. Writes never time out.
inline constexpr std::uint32_t kReadTimeoutConstantMs = 100;
inline constexpr std::uint32_t kReadTimeoutPerByteMs = 10;
inline constexpr int kSyncAttempts = 15;

// When the line counts as quiet: no byte for a few byte times plus the USB
// adapter's latency. The adapter holds received bytes for up to its latency
// timer (16 ms unless the latency setup shortened it) and may hand a reply
// over in two pieces at that boundary; four byte times cover the gap of a
// plain UART. How long the wait for a quiet line may take at most, for a
// far side that never stops talking.
inline constexpr double kAdapterLatencyMs = 16.0;
inline constexpr int kQuietByteTimes = 4;
inline constexpr std::uint32_t kQuietLimitMs = 250;

// One open interface: allocated by OpenSerialInterface, released by
// CloseSerialInterface, shared by all axis handles of one controller.
struct CLinkSerialPort {
    std::uint16_t m_uAddress;    // multi-drop address, low five bits used; always 0
    std::uint8_t m_uPortNumber;  // COM port number 1 to 254
    platform::SerialHandle m_hPort;
    std::uint32_t m_uBaudRate;
    std::uint8_t m_uParity;    // 0 = none
    std::uint8_t m_uStopBits;  // 0 = one stop bit
};

using LinkExchangeFn = LinkError (*)(CLinkSerialPort* port, std::uint16_t commandWordCount,
                                     const std::uint16_t* commandWords,
                                     std::uint16_t replyWordCount, std::uint16_t* replyWords);
using LinkCloseFn = LinkError (*)(CLinkSerialPort* port);

// Told of every packet exchange after it ended: the command words sent, the
// reply words (meaningful only when `result` is 0 or a processor status)
// and the result. For traces; it runs on the exchanging thread under the
// caller's locks, so it must be quick and must not exchange itself.
using LinkExchangeObserver = void (*)(void* context, std::uint16_t commandWordCount,
                                      const std::uint16_t* commandWords,
                                      std::uint16_t replyWordCount, const std::uint16_t* replyWords,
                                      LinkError result);
// Set it while no exchange runs (before connecting); null removes it.
void SetExchangeObserver(LinkExchangeObserver observer, void* context);
// The observer set now and its context (null when none).
LinkExchangeObserver GetExchangeObserver(void** context);

// What every command is sent through. The controller holds the axis-0 handle;
// each axis holds a copy with its own axis number. Only the controller's
// handle is ever closed.
struct CLinkAxisHandle {
    std::uint16_t m_uAxis;
    LinkExchangeFn m_pfnExchange;
    LinkCloseFn m_pfnClose;
    CLinkSerialPort* m_pPort;  // not owned
};

// Creates the port record for COM `portNumber` (its low eight bits; 0 means
// COM1), fills the handle and opens the port. Returns 0 or kLinkInvalidSerialPort.
// The handle owns the record afterwards, also when opening failed: the caller
// releases it through the handle's close operation.
LinkError OpenSerialInterface(CLinkAxisHandle* handle, std::uint16_t axis, int portNumber);

// Opens COM<n> ("COM1".."COM9", "\\.\COM10".."\\.\COM254") exclusively and
// programs 57600 8N1 without flow control and the read time-outs.
LinkError OpenSerialPort(CLinkSerialPort* port);

// Records baud rate, parity and one stop bit, then programs the line. False
// when the port is not open or the system refused the settings.
bool SetLineSettings(CLinkSerialPort* port, std::uint32_t baudRate, std::uint8_t parity);

// The control block SetLineSettings programs: 8 data bits, the given parity,
// one stop bit, binary, no flow control of any kind, DTR and RTS held off.
platform::SerialControlBlock LineControlBlock(std::uint32_t baudRate, std::uint8_t parity);

// Sends single zero bytes, up to 15, until the processor answers one; its
// receiver is then at a packet boundary. The rest of that answer is let
// arrive (AwaitQuietLine) before the receive queue is purged. 0,
// kLinkCommPortWrite, kLinkCommTimeout or kLinkNotConnected.
LinkError SyncSerialPort(CLinkSerialPort* port);

// The quiet time of a line at `baudRate`: kAdapterLatencyMs plus
// kQuietByteTimes byte times (10 bits a byte), in whole milliseconds.
std::uint32_t QuietTimeMs(std::uint32_t baudRate);

// Reads and drops input until none has come for QuietTimeMs (bounded by
// kQuietLimitMs), so that the rest of a reply still on its way cannot land
// in front of the next one. Sends nothing; the read time-outs are restored
// afterwards. 0, kLinkNotConnected, or kLinkCommTimeout when the far side
// was still talking at the bound.
LinkError AwaitQuietLine(CLinkSerialPort* port);

// Discards unread input (not pending output). 0 or kLinkNotConnected.
LinkError PurgeReceiveBuffer(CLinkSerialPort* port);

// One command packet out, one reply in: the processor's status byte, or a
// code of this side (kLinkNotConnected, kLinkCommPortWrite, kLinkCommTimeout,
// kLinkCommPortRead, kLinkChecksumError). Never retries.
LinkError ExchangePacket(CLinkSerialPort* port, std::uint16_t commandWordCount,
                         const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                         std::uint16_t* replyWords);

// Closes the OS handle if it is open and marks the record closed, keeping
// the record (and every axis handle that points to it) for a later
// OpenSerialPort of the same port: a line whose device went away and may come
// back under the same name. Always 0.
LinkError CloseSerialPort(CLinkSerialPort* port);

// Closes the port if it is open and releases the record. Always 0.
LinkError CloseSerialInterface(CLinkSerialPort* port);

// Makes `copy` a duplicate of `source` that addresses `axis`; both share the
// port record.
void CopyAxisHandle(const CLinkAxisHandle& source, CLinkAxisHandle* copy, std::uint16_t axis);

}  // namespace cmotion
