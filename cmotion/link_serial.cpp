#include "cmotion/link_serial.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <new>
#include <string>

#include "cmotion/link_packet.h"

namespace cmotion {
namespace {

bool IsOpen(const CLinkSerialPort* port) {
    return port && port->m_hPort != platform::kInvalidSerialHandle;
}

std::u16string PortName(unsigned int portNumber) {
    // Only COM1 to COM9 are reserved device names; higher ports must be
    // named through the device namespace.
    std::u16string name = portNumber <= 9 ? u"COM" : u"\\\\.\\COM";
    const std::string digits = std::to_string(portNumber);
    name.append(digits.begin(), digits.end());
    return name;
}

// A read of n bytes ends after at most 100 + 10 * n ms; writes never time out.
platform::SerialTimeouts StandardTimeouts() {
    platform::SerialTimeouts timeouts;
    timeouts.readInterval = 0;
    timeouts.readTotalMultiplier = kReadTimeoutPerByteMs;
    timeouts.readTotalConstant = kReadTimeoutConstantMs;
    timeouts.writeTotalMultiplier = 0;
    timeouts.writeTotalConstant = 0;
    return timeouts;
}

void CloseHandleOf(CLinkSerialPort* port) {
    platform::CurrentSerialApi().Close(port->m_hPort);
    port->m_hPort = platform::kInvalidSerialHandle;
}

}  // namespace

LinkError OpenSerialInterface(CLinkAxisHandle* handle, std::uint16_t axis, int portNumber) {
    if (!handle) return kLinkInvalidSerialPort;
    CLinkSerialPort* port = new (std::nothrow) CLinkSerialPort{};
    if (!port) return kLinkInvalidSerialPort;
    handle->m_uAxis = axis;
    port->m_uAddress = 0;
    port->m_uPortNumber = kDefaultPortNumber;
    // A zero-filled record would hold handle 0, which is a valid descriptor on
    // POSIX; a record is marked closed explicitly before anything else.
    port->m_hPort = platform::kInvalidSerialHandle;
    port->m_uBaudRate = kDefaultBaudRate;
    if (portNumber != 0) port->m_uPortNumber = static_cast<std::uint8_t>(portNumber & 0xFF);
    handle->m_pfnExchange = ExchangePacket;
    handle->m_pfnClose = CloseSerialInterface;
    handle->m_pPort = port;
    return OpenSerialPort(port);
}

LinkError OpenSerialPort(CLinkSerialPort* port) {
    if (!port) return kLinkInvalidSerialPort;
    // Reopening a record must not leak the handle it already holds.
    if (IsOpen(port)) CloseHandleOf(port);
    if (port->m_uPortNumber == 0 || port->m_uPortNumber == 255) return kLinkInvalidSerialPort;

    platform::SerialApi& api = platform::CurrentSerialApi();
    const std::u16string name = PortName(port->m_uPortNumber);
    port->m_hPort = api.Open(name.c_str(), platform::kAccessReadWrite, platform::kShareExclusive,
                             platform::kOpenExisting, platform::kAttributeNormal);
    if (!IsOpen(port)) return kLinkInvalidSerialPort;

    if (!SetLineSettings(port, port->m_uBaudRate, 0)) {
        CloseHandleOf(port);
        return kLinkInvalidSerialPort;
    }
    if (!api.SetTimeouts(port->m_hPort, StandardTimeouts())) {
        CloseHandleOf(port);
        return kLinkInvalidSerialPort;
    }
    return kLinkOk;
}

platform::SerialControlBlock LineControlBlock(std::uint32_t baudRate, std::uint8_t parity) {
    platform::SerialControlBlock block;  // every field not set here is zero
    block.length = 28;
    block.baudRate = baudRate;
    block.binary = true;
    block.parityCheck = true;
    block.outxCtsFlow = false;
    block.outxDsrFlow = false;
    block.dtrControl = platform::kDtrControlDisable;
    block.dsrSensitivity = false;
    block.txContinueOnXoff = false;
    block.outX = false;
    block.inX = false;
    block.errorCharReplace = false;
    block.nullStrip = false;
    block.rtsControl = platform::kRtsControlDisable;
    block.abortOnError = false;
    block.byteSize = 8;
    block.parity = parity;
    block.stopBits = platform::kOneStopBit;
    return block;
}

bool SetLineSettings(CLinkSerialPort* port, std::uint32_t baudRate, std::uint8_t parity) {
    if (!port) return false;
    port->m_uBaudRate = baudRate;
    port->m_uParity = parity;
    port->m_uStopBits = platform::kOneStopBit;
    if (!IsOpen(port)) return false;
    return platform::CurrentSerialApi().SetControlBlock(port->m_hPort,
                                                        LineControlBlock(baudRate, parity));
}

LinkError PurgeReceiveBuffer(CLinkSerialPort* port) {
    if (!IsOpen(port)) return kLinkNotConnected;
    // A failed purge is not fatal: the reply check still catches stale bytes.
    platform::CurrentSerialApi().Purge(port->m_hPort, platform::kPurgeRxClear);
    return kLinkOk;
}

std::uint32_t QuietTimeMs(std::uint32_t baudRate) {
    const double byteMs = baudRate ? 10.0 * 1000.0 / baudRate : 10.0;
    const double quiet = kAdapterLatencyMs + kQuietByteTimes * byteMs;
    return quiet < kQuietLimitMs ? static_cast<std::uint32_t>(std::ceil(quiet)) : kQuietLimitMs;
}

LinkError AwaitQuietLine(CLinkSerialPort* port) {
    if (!IsOpen(port)) return kLinkNotConnected;
    platform::SerialApi& api = platform::CurrentSerialApi();
    // Single bytes under a total time-out of the quiet time: a byte that is
    // there comes back at once, and a read that brings nothing means the
    // line has been quiet that long. Without the short time-out each read
    // waits the standard one: the same test, only slower.
    platform::SerialTimeouts window;
    window.readTotalConstant = QuietTimeMs(port->m_uBaudRate);
    const bool windowSet = api.SetTimeouts(port->m_hPort, window);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuietLimitMs);
    LinkError result = kLinkCommTimeout;
    do {
        std::uint8_t drop = 0;
        std::uint32_t received = 0;
        // A failed read: a dead line is as quiet as it gets, and the next
        // exchange says more.
        if (!api.Read(port->m_hPort, &drop, 1, &received) || received == 0) {
            result = kLinkOk;
            break;
        }
    } while (std::chrono::steady_clock::now() < deadline);
    if (windowSet) api.SetTimeouts(port->m_hPort, StandardTimeouts());
    return result;
}

LinkError SyncSerialPort(CLinkSerialPort* port) {
    if (!IsOpen(port)) return kLinkNotConnected;
    platform::SerialApi& api = platform::CurrentSerialApi();
    PurgeReceiveBuffer(port);
    // The processor answers once it has assembled a whole packet; zero bytes
    // complete whatever partial packet it holds and then form Nop packets, so
    // at most a few bytes bring an answer from a live processor.
    bool inStep = false;
    for (int attempt = 0; attempt < kSyncAttempts && !inStep; ++attempt) {
        const std::uint8_t zero = 0;
        std::uint32_t written = 0;
        if (!api.Write(port->m_hPort, &zero, 1, &written) || written != 1)
            return kLinkCommPortWrite;
        std::uint8_t answer = 0;
        std::uint32_t received = 0;
        inStep = api.Read(port->m_hPort, &answer, 1, &received) && received == 1;
    }
    if (!inStep) return kLinkCommTimeout;
    // The answer is a whole reply, of which only its first byte was read;
    // over a plain UART the rest is still on its way. Purging now would
    // leave it to land in front of the next reply.
    AwaitQuietLine(port);
    PurgeReceiveBuffer(port);
    return kLinkOk;
}

namespace {

std::atomic<LinkExchangeObserver> g_observer{nullptr};
std::atomic<void*> g_observerContext{nullptr};

LinkError ExchangeOnce(CLinkSerialPort* port, std::uint16_t commandWordCount,
                       const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                       std::uint16_t* replyWords) {
    if (!IsOpen(port)) return kLinkNotConnected;
    // Word counts outside the protocol are a caller's mistake, not a line
    // failure: refused before anything is sent.
    if (replyWordCount > kMaxReplyWords || (replyWordCount > 0 && !replyWords)) {
        return kLinkCommandError;
    }
    std::uint8_t packet[kMaxPacketBytes];
    const std::size_t length =
        BuildCommandPacket(port->m_uAddress, commandWords, commandWordCount, packet);
    if (length == 0) return kLinkCommandError;

    platform::SerialApi& api = platform::CurrentSerialApi();
    PurgeReceiveBuffer(port);
    std::uint32_t written = 0;
    if (!api.Write(port->m_hPort, packet, static_cast<std::uint32_t>(length), &written) ||
        written != length) {
        return kLinkCommPortWrite;
    }
    // The same buffer takes the reply, which is never longer than the request
    // buffer (2 + 2 * 3 bytes).
    const std::uint32_t expected = static_cast<std::uint32_t>(ReplyPacketLength(replyWordCount));
    std::uint32_t received = 0;
    if (!api.Read(port->m_hPort, packet, expected, &received)) return kLinkCommTimeout;
    return CheckReplyPacket(packet, received, replyWordCount, replyWords);
}

}  // namespace

void SetExchangeObserver(LinkExchangeObserver observer, void* context) {
    g_observerContext = context;
    g_observer = observer;
}

LinkExchangeObserver GetExchangeObserver(void** context) {
    if (context) *context = g_observerContext.load();
    return g_observer.load();
}

LinkError ExchangePacket(CLinkSerialPort* port, std::uint16_t commandWordCount,
                         const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                         std::uint16_t* replyWords) {
    const LinkError result =
        ExchangeOnce(port, commandWordCount, commandWords, replyWordCount, replyWords);
    if (LinkExchangeObserver observer = g_observer.load()) {
        observer(g_observerContext.load(), commandWordCount, commandWords,
                 replyWords ? replyWordCount : 0, replyWords, result);
    }
    return result;
}

LinkError CloseSerialPort(CLinkSerialPort* port) {
    if (IsOpen(port)) CloseHandleOf(port);
    return kLinkOk;
}

LinkError CloseSerialInterface(CLinkSerialPort* port) {
    if (!port) return kLinkOk;
    CloseSerialPort(port);
    delete port;
    return kLinkOk;
}

void CopyAxisHandle(const CLinkAxisHandle& source, CLinkAxisHandle* copy, std::uint16_t axis) {
    if (!copy) return;
    *copy = source;
    copy->m_uAxis = axis;
}

}  // namespace cmotion
