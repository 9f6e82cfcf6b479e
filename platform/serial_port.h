// The operating system's serial-port calls, behind one small interface.
//
// The MotionLink transport is written against the Win32 serial model: open a
// COM port by name, program a device control block and read time-outs, purge
// the receive queue, and do synchronous reads and writes. `SerialApi` carries
// exactly those calls. The Win32 back-end forwards them to the real API; the
// POSIX back-end reproduces their meaning with termios. Tests and in-process
// simulators can install their own implementation with `ScopedSerialApi`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// An open port. Win32 handles and POSIX descriptors both fit; -1 is the
// invalid value on both (INVALID_HANDLE_VALUE, and no descriptor is negative).
using SerialHandle = std::intptr_t;
inline constexpr SerialHandle kInvalidSerialHandle = -1;

// Arguments of the open call, with their Win32 values.
inline constexpr std::uint32_t kAccessReadWrite = 0xC0000000u;  // GENERIC_READ | GENERIC_WRITE
inline constexpr std::uint32_t kShareExclusive = 0;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kAttributeNormal = 0x80;

// Purge flags, Win32 values.
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

// DTR and RTS control values, Win32 values.
inline constexpr std::uint8_t kDtrControlDisable = 0;
inline constexpr std::uint8_t kRtsControlDisable = 0;

// Parity and stop-bit codes, Win32 values.
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;

// The serial control block, field for field the Win32 DCB (the bit fields as
// separate members), so that a caller states every field it programs.
struct SerialControlBlock {
    std::uint32_t length = 0;
    std::uint32_t baudRate = 0;
    bool binary = false;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    std::uint8_t dtrControl = 0;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    bool errorCharReplace = false;
    bool nullStrip = false;
    std::uint8_t rtsControl = 0;
    bool abortOnError = false;
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = 0;
    std::uint8_t stopBits = 0;
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char eventChar = 0;
};

// Read and write time-outs in milliseconds, as Win32 COMMTIMEOUTS. A read of
// n bytes returns after at most readTotalConstant + n * readTotalMultiplier
// with whatever arrived; zero write values mean writes do not time out.
struct SerialTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

class SerialApi {
  public:
    virtual ~SerialApi() = default;

    // Opens a port by its Win32 name ("COM3", "\\.\COM12"); returns
    // kInvalidSerialHandle on failure.
    virtual SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                              std::uint32_t disposition, std::uint32_t flags) = 0;
    virtual bool SetControlBlock(SerialHandle handle, const SerialControlBlock& block) = 0;
    // Reads back what the port is programmed with (diagnostics and tests).
    virtual bool GetControlBlock(SerialHandle handle, SerialControlBlock* block) = 0;
    virtual bool SetTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) = 0;
    virtual bool Purge(SerialHandle handle, std::uint32_t flags) = 0;
    // Both return false only when the call itself failed; a read that ends by
    // time-out succeeds with the bytes that arrived.
    virtual bool Write(SerialHandle handle, const std::uint8_t* data, std::uint32_t count,
                       std::uint32_t* written) = 0;
    virtual bool Read(SerialHandle handle, std::uint8_t* data, std::uint32_t count,
                      std::uint32_t* received) = 0;
    virtual bool Close(SerialHandle handle) = 0;
    // Bytes received and not yet read (diagnostics and tests).
    virtual bool PendingInput(SerialHandle handle, std::uint32_t* count) = 0;
    // Whether the device behind `handle` is gone: a call on it failed the
    // way only a vanished device makes it fail (a USB adapter unplugged, the
    // far side of a pseudo-terminal closed). A device that merely stays
    // silent is never lost. Once lost, a handle stays lost until it is
    // closed; `why` (when given) receives the system's words for it.
    virtual bool LineLost(SerialHandle handle, std::string* why) {
        (void)handle;
        (void)why;
        return false;
    }
};

// The back-end of this operating system.
SerialApi& SystemSerialApi();

// The implementation the transport uses now: the system one unless replaced.
SerialApi& CurrentSerialApi();

// Replaces the current implementation while it lives (tests, simulators).
// Install it before any port is opened and keep it until they are closed.
class ScopedSerialApi {
  public:
    explicit ScopedSerialApi(SerialApi& api);
    ~ScopedSerialApi();
    ScopedSerialApi(const ScopedSerialApi&) = delete;
    ScopedSerialApi& operator=(const ScopedSerialApi&) = delete;

  private:
    SerialApi* m_pPrevious;
};

// Where back-ends report the operating system's own error detail (errno or
// GetLastError, with its text). Nothing is reported unless a sink is set.
using SerialTraceSink = std::function<void(std::string_view line)>;
void SetSerialTraceSink(SerialTraceSink sink);
void SerialTrace(std::string_view line);
bool SerialTraceEnabled();

// Why COM `portNumber` cannot be opened as the transport opens it
// (exclusively, for reading and writing), in words for the user: no such
// device, permission denied (with what to do), held by another program, not
// a serial device, or the system's own text. Empty when it can be opened
// (it is closed again at once). For host programs, before they connect.
std::string DescribeSerialOpenProblem(int portNumber);
// Where COM `portNumber` leads, for messages: the device path on systems
// without COM names, else the port's name.
std::string DescribeSerialPort(int portNumber);

// A serial port the system has, for finding the board.
struct SerialPortInfo {
    int number = 0;           // its COM number; 0 when it has none (reach it with a path)
    std::string path;         // the device path (POSIX) or the port's name (Windows)
    std::string description;  // the driver or adapter, as far as the system tells
    int latencyMs = -1;       // a USB adapter's latency timer, -1 when unknown
};
// The system's serial ports, and every port a host program pointed at a
// device with SetComPortPath.
std::vector<SerialPortInfo> ListSerialPorts();
// What the system tells of COM `portNumber` alone, as ListSerialPorts
// would list it, without opening any port (a port it does not know has just
// its number and path).
SerialPortInfo SerialPortDetails(int portNumber);

// The COM port number in a Win32 port name ("COM7", "\\.\COM12"), or 0 when
// the name is not of that form or the number is not 1 to 255.
int ComPortNumberFromName(std::u16string_view name);

// Which device stands behind a COM port number on systems without COM names.
// By default COMn is /dev/ttyS(n-1); a host can point any port at another
// device (a USB adapter, a pseudo-terminal). Windows names its ports itself
// and ignores this table. An empty path gives the port its default again.
void SetComPortPath(int portNumber, std::string path);
void ClearComPortPaths();
std::string ComPortPath(int portNumber);
// The ports pointed at a device so far, by number.
std::vector<std::pair<int, std::string>> MappedComPorts();

}  // namespace platform
