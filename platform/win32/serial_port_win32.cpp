// Win32 back-end of the serial calls: each call forwards to the API of the
// same meaning, with the control block copied field for field into a DCB.
#include <windows.h>

#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/serial_port.h"
#include "platform/win32/system_error_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

namespace platform {
namespace {

HANDLE ToHandle(SerialHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

void TraceError(const char* what, DWORD error) {
    if (!SerialTraceEnabled()) return;
    const std::string message = SystemErrorText(error);
    SerialTrace(std::string("serial: ") + what + ": error " + std::to_string(error) + " (" +
                message + ")");
}

void TraceLastError(const char* what) {
    TraceError(what, GetLastError());
}

// What the calls on an open handle answer once its USB serial device has
// been removed: drivers differ (access denied, the device not recognising
// the command, a general failure, an aborted operation, no such device,
// device not connected or removed), and Wine reports a pseudo-terminal whose
// far side closed as a device that is not ready or an I/O device error.
// None of them comes from a device that is there and merely silent.
bool IsGoneError(DWORD error) {
    constexpr DWORD kErrorNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, not in every SDK
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case kErrorNoSuchDevice:
        case ERROR_OPERATION_ABORTED:
        case ERROR_IO_DEVICE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_BROKEN_PIPE:
            return true;
        default:
            return false;
    }
}

DCB ToDcb(const SerialControlBlock& block) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);  // every field not set below, the reserved ones included
    dcb.DCBlength = block.length;
    dcb.BaudRate = block.baudRate;
    dcb.fBinary = block.binary;
    dcb.fParity = block.parityCheck;
    dcb.fOutxCtsFlow = block.outxCtsFlow;
    dcb.fOutxDsrFlow = block.outxDsrFlow;
    dcb.fDtrControl = block.dtrControl;
    dcb.fDsrSensitivity = block.dsrSensitivity;
    dcb.fTXContinueOnXoff = block.txContinueOnXoff;
    dcb.fOutX = block.outX;
    dcb.fInX = block.inX;
    dcb.fErrorChar = block.errorCharReplace;
    dcb.fNull = block.nullStrip;
    dcb.fRtsControl = block.rtsControl;
    dcb.fAbortOnError = block.abortOnError;
    dcb.XonLim = block.xonLimit;
    dcb.XoffLim = block.xoffLimit;
    dcb.ByteSize = block.byteSize;
    dcb.Parity = block.parity;
    dcb.StopBits = block.stopBits;
    dcb.XonChar = block.xonChar;
    dcb.XoffChar = block.xoffChar;
    dcb.ErrorChar = block.errorChar;
    dcb.EofChar = block.eofChar;
    dcb.EvtChar = block.eventChar;
    return dcb;
}

SerialControlBlock FromDcb(const DCB& dcb) {
    SerialControlBlock block;
    block.length = dcb.DCBlength;
    block.baudRate = dcb.BaudRate;
    block.binary = dcb.fBinary;
    block.parityCheck = dcb.fParity;
    block.outxCtsFlow = dcb.fOutxCtsFlow;
    block.outxDsrFlow = dcb.fOutxDsrFlow;
    block.dtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    block.dsrSensitivity = dcb.fDsrSensitivity;
    block.txContinueOnXoff = dcb.fTXContinueOnXoff;
    block.outX = dcb.fOutX;
    block.inX = dcb.fInX;
    block.errorCharReplace = dcb.fErrorChar;
    block.nullStrip = dcb.fNull;
    block.rtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    block.abortOnError = dcb.fAbortOnError;
    block.xonLimit = dcb.XonLim;
    block.xoffLimit = dcb.XoffLim;
    block.byteSize = dcb.ByteSize;
    block.parity = dcb.Parity;
    block.stopBits = dcb.StopBits;
    block.xonChar = dcb.XonChar;
    block.xoffChar = dcb.XoffChar;
    block.errorChar = dcb.ErrorChar;
    block.eofChar = dcb.EofChar;
    block.eventChar = dcb.EvtChar;
    return block;
}

class Win32SerialApi final : public SerialApi {
  public:
    bool LineLost(SerialHandle handle, std::string* why) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_lost.find(handle);
        if (it == m_lost.end()) return false;
        if (why) *why = it->second;
        return true;
    }

    SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                      std::uint32_t disposition, std::uint32_t flags) override {
        HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name), access, shareMode, nullptr,
                               disposition, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            TraceLastError("CreateFileW");
            return kInvalidSerialHandle;
        }
        return reinterpret_cast<SerialHandle>(h);
    }

    bool SetControlBlock(SerialHandle handle, const SerialControlBlock& block) override {
        DCB dcb = ToDcb(block);
        if (!SetCommState(ToHandle(handle), &dcb)) {
            Failed(handle, "SetCommState");
            return false;
        }
        return true;
    }

    bool GetControlBlock(SerialHandle handle, SerialControlBlock* block) override {
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(ToHandle(handle), &dcb)) {
            Failed(handle, "GetCommState");
            return false;
        }
        if (block) *block = FromDcb(dcb);
        return true;
    }

    bool SetTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) override {
        COMMTIMEOUTS ct{};
        ct.ReadIntervalTimeout = timeouts.readInterval;
        ct.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
        ct.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
        ct.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
        ct.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
        if (!SetCommTimeouts(ToHandle(handle), &ct)) {
            Failed(handle, "SetCommTimeouts");
            return false;
        }
        return true;
    }

    bool Purge(SerialHandle handle, std::uint32_t flags) override {
        if (!PurgeComm(ToHandle(handle), flags)) {
            Failed(handle, "PurgeComm");
            return false;
        }
        return true;
    }

    bool Write(SerialHandle handle, const std::uint8_t* data, std::uint32_t count,
               std::uint32_t* written) override {
        DWORD n = 0;
        const BOOL ok = WriteFile(ToHandle(handle), data, count, &n, nullptr);
        if (written) *written = n;
        if (!ok) Failed(handle, "WriteFile");
        return ok != FALSE;
    }

    bool Read(SerialHandle handle, std::uint8_t* data, std::uint32_t count,
              std::uint32_t* received) override {
        DWORD n = 0;
        const BOOL ok = ReadFile(ToHandle(handle), data, count, &n, nullptr);
        if (received) *received = n;
        if (!ok) Failed(handle, "ReadFile");
        return ok != FALSE;
    }

    bool Close(SerialHandle handle) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lost.erase(handle);
        }
        if (!CloseHandle(ToHandle(handle))) {
            TraceLastError("CloseHandle");
            return false;
        }
        return true;
    }

    bool PendingInput(SerialHandle handle, std::uint32_t* count) override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(ToHandle(handle), &errors, &stat)) {
            Failed(handle, "ClearCommError");
            return false;
        }
        if (count) *count = stat.cbInQue;
        return true;
    }

  private:
    // Traces a failed call and remembers a handle whose device is gone.
    void Failed(SerialHandle handle, const char* what) {
        const DWORD error = GetLastError();
        TraceError(what, error);
        if (!IsGoneError(error)) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_lost.count(handle))
            m_lost[handle] = std::string(what) + ": " + SystemErrorText(error) + " (error " +
                             std::to_string(error) + ")";
    }

    std::mutex m_mutex;
    std::unordered_map<SerialHandle, std::string> m_lost;  // handles whose device is gone
};

}  // namespace

SerialApi& SystemSerialApi() {
    static Win32SerialApi api;
    return api;
}

namespace {

// The port's name and, where the device namespace has it, the device behind
// it as its description; false when the namespace does not have it.
bool DosDeviceDetails(int n, SerialPortInfo* port) {
    const std::wstring name = L"COM" + std::to_wstring(n);
    wchar_t target[512] = {};
    port->number = n;
    port->path = "COM" + std::to_string(n);
    if (QueryDosDeviceW(name.c_str(), target, 512) == 0) return false;
    for (const wchar_t* c = target; *c; ++c)
        port->description += *c < 0x80 ? static_cast<char>(*c) : '?';
    return true;
}

}  // namespace

SerialPortInfo SerialPortDetails(int portNumber) {
    // Nothing is opened: the port may be another program's.
    SerialPortInfo port;
    DosDeviceDetails(portNumber, &port);
    return port;
}

std::vector<SerialPortInfo> ListSerialPorts() {
    // Every COM name the system knows, with the device behind it.
    std::vector<SerialPortInfo> ports;
    for (int n = 1; n <= 255; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        SerialPortInfo port;
        if (!DosDeviceDetails(n, &port)) {
            // Not every port is in the device namespace before someone
            // opens it (Wine's mapped ports are not): a port that opens, or
            // is held by another program, is there.
            const std::wstring device = L"\\\\.\\" + name;
            HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                CloseHandle(h);
            } else if (GetLastError() == ERROR_ACCESS_DENIED) {
                port.description = "held by another program";
            } else {
                continue;
            }
        }
        ports.push_back(port);
    }
    return ports;
}

std::string DescribeSerialPort(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::string DescribeSerialOpenProblem(int portNumber) {
    // Named as the transport names it.
    const std::wstring name =
        (portNumber <= 9 ? L"COM" : L"\\\\.\\COM") + std::to_wstring(portNumber);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "no such port";
    if (error == ERROR_ACCESS_DENIED) return "held by another program (or access denied)";
    const std::string reason = SystemErrorText(error);
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

}  // namespace platform
