// POSIX back-end of the serial calls: termios, non-blocking descriptors and
// poll() with deadlines, giving the Win32 meaning of each call.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/serial_port.h"

namespace platform {
namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// Win32 lets a port be programmed with no time-out at all (block until the
// count is complete, or a write that never gives up). Here every wait has an
// end: such a wait gives up after this long and reports what it got.
constexpr std::int64_t kNoTimeoutLimitMs = 2000;

// Until the owner programs time-outs, reads behave as the transport programs
// them anyway, rather than blocking without end.
constexpr SerialTimeouts kDefaultTimeouts{0, 10, 100, 0, 0};

std::int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void TraceErrno(const std::string& what, int error) {
    if (!SerialTraceEnabled()) return;
    SerialTrace("serial: " + what + ": errno " + std::to_string(error) + " (" + strerror(error) +
                ")");
}

struct BaudRate {
    std::uint32_t baud;
    speed_t speed;
};
constexpr BaudRate kRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},    {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},  {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};

bool BaudToSpeed(std::uint32_t baud, speed_t* pSpeed) {
    for (const auto& rate : kRates) {
        if (rate.baud == baud) {
            *pSpeed = rate.speed;
            return true;
        }
    }
    return false;
}

struct ByteSize {
    std::uint8_t bits;
    tcflag_t flag;
};
constexpr ByteSize kByteSizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

const tcflag_t* ByteSizeFlag(std::uint8_t bits) {
    for (const auto& size : kByteSizes) {
        if (size.bits == bits) return &size.flag;
    }
    return nullptr;
}

std::uint32_t SpeedToBaud(speed_t speed) {
    for (const auto& rate : kRates) {
        if (rate.speed == speed) return rate.baud;
    }
    return 0;
}

// The errors of a descriptor whose device has gone: EIO once a USB adapter
// is unplugged or the master of a pseudo-terminal closed, ENXIO and ENODEV
// when the driver let go of the device.
bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Pseudo-terminals and some adapters have no modem lines; that is not a
// reason to refuse the line settings.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

class PosixSerialApi final : public SerialApi {
  public:
    bool LineLost(SerialHandle handle, std::string* why) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_lost.find(static_cast<int>(handle));
        if (it == m_lost.end()) return false;
        if (why) *why = it->second;
        return true;
    }

    SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                      std::uint32_t disposition, std::uint32_t /*flags*/) override {
        const int port = name ? ComPortNumberFromName(name) : 0;
        if (port == 0 || disposition != kOpenExisting) {
            TraceErrno("open: not a COM port name", ENOENT);
            return kInvalidSerialHandle;
        }
        const std::string path = ComPortPath(port);
        int mode = O_RDWR;
        if ((access & kAccessReadWrite) == 0x80000000u) mode = O_RDONLY;
        if ((access & kAccessReadWrite) == 0x40000000u) mode = O_WRONLY;
        const int fd = ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            TraceErrno("open " + path + " (COM" + std::to_string(port) + ")", errno);
            return kInvalidSerialHandle;
        }
        if (!isatty(fd)) {
            TraceErrno("open " + path + ": not a terminal", ENOTTY);
            ::close(fd);
            return kInvalidSerialHandle;
        }
        if (shareMode == kShareExclusive) {
            // flock() keeps out every other opener that asks for the port the
            // same way, root included; TIOCEXCL also refuses other programs'
            // plain opens (for unprivileged users).
            if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
                TraceErrno("open " + path + ": port in use", errno);
                ::close(fd);
                return kInvalidSerialHandle;
            }
            ioctl(fd, TIOCEXCL);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timeouts[fd] = kDefaultTimeouts;
        return fd;
    }

    bool SetControlBlock(SerialHandle handle, const SerialControlBlock& block) override {
        const int fd = static_cast<int>(handle);
        termios tio{};
        if (tcgetattr(fd, &tio) != 0) {
            Failed(fd, "tcgetattr", errno);
            return false;
        }
        // Win32 control value 0 is "disabled" (line held inactive), 1 "enabled";
        // handshake modes are not offered here. Everything is checked before
        // the line is touched, so a refused block changes nothing.
        if (block.dtrControl > 1 || block.rtsControl > 1) {
            TraceErrno("DTR/RTS handshake modes are not supported", EINVAL);
            return false;
        }
        speed_t speed{};
        if (!BaudToSpeed(block.baudRate, &speed)) {
            TraceErrno("unsupported baud rate " + std::to_string(block.baudRate), EINVAL);
            return false;
        }
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        const tcflag_t* sizeFlag = ByteSizeFlag(block.byteSize);
        if (!sizeFlag) {
            TraceErrno("unsupported byte size", EINVAL);
            return false;
        }
        tio.c_cflag |= *sizeFlag;
        switch (block.parity) {
            case kNoParity:
                break;
            case kOddParity:
                tio.c_cflag |= PARENB | PARODD;
                break;
            case kEvenParity:
                tio.c_cflag |= PARENB;
                break;
            default:
                TraceErrno("unsupported parity", EINVAL);
                return false;
        }
        if (block.parity != kNoParity && block.parityCheck) tio.c_iflag |= INPCK;
        switch (block.stopBits) {
            case kOneStopBit:
                break;
            case kTwoStopBits:
                tio.c_cflag |= CSTOPB;
                break;
            default:
                TraceErrno("unsupported stop bits", EINVAL);
                return false;
        }
        if (block.outxCtsFlow) tio.c_cflag |= CRTSCTS;
        if (block.outX) tio.c_iflag |= IXON;
        if (block.inX) tio.c_iflag |= IXOFF;
        // The descriptor is non-blocking and waits happen in poll(). VMIN 1
        // makes an empty queue read as EAGAIN, so that a read of 0 bytes
        // means only one thing: the line hung up.
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            Failed(fd, "tcsetattr", errno);
            return false;
        }
        if (!SetModemLine(fd, TIOCM_DTR, block.dtrControl == 1) ||
            !SetModemLine(fd, TIOCM_RTS, block.rtsControl == 1)) {
            TraceErrno("DTR/RTS", errno);
            return false;
        }
        return true;
    }

    bool GetControlBlock(SerialHandle handle, SerialControlBlock* block) override {
        const int fd = static_cast<int>(handle);
        termios tio{};
        if (tcgetattr(fd, &tio) != 0) {
            TraceErrno("tcgetattr", errno);
            return false;
        }
        SerialControlBlock b;
        b.length = 28;
        b.baudRate = SpeedToBaud(cfgetospeed(&tio));
        b.binary = (tio.c_lflag & ICANON) == 0 && (tio.c_oflag & OPOST) == 0;
        b.parityCheck = (tio.c_iflag & INPCK) != 0;
        b.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
        b.outX = (tio.c_iflag & IXON) != 0;
        b.inX = (tio.c_iflag & IXOFF) != 0;
        b.byteSize = 8;
        for (const auto& size : kByteSizes) {
            if ((tio.c_cflag & CSIZE) == size.flag) b.byteSize = size.bits;
        }
        b.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? kOddParity : kEvenParity)
                                          : kNoParity;
        b.stopBits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
        int lines = 0;
        if (ioctl(fd, TIOCMGET, &lines) == 0) {
            b.dtrControl = (lines & TIOCM_DTR) ? 1 : 0;
            b.rtsControl = (lines & TIOCM_RTS) ? 1 : 0;
        }
        if (block) *block = b;
        return true;
    }

    bool SetTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_timeouts.find(static_cast<int>(handle));
        if (it == m_timeouts.end()) return false;
        it->second = timeouts;
        return true;
    }

    bool Purge(SerialHandle handle, std::uint32_t flags) override {
        // Reads and writes are synchronous, so there is never an operation in
        // flight to abort; only the clear flags do something.
        const bool rx = (flags & kPurgeRxClear) != 0;
        const bool tx = (flags & kPurgeTxClear) != 0;
        if (!rx && !tx) return true;
        const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
        if (tcflush(static_cast<int>(handle), queue) != 0) {
            Failed(static_cast<int>(handle), "tcflush", errno);
            return false;
        }
        return true;
    }

    bool Write(SerialHandle handle, const std::uint8_t* data, std::uint32_t count,
               std::uint32_t* written) override {
        const int fd = static_cast<int>(handle);
        const SerialTimeouts timeouts = TimeoutsOf(fd);
        std::int64_t limit = static_cast<std::int64_t>(timeouts.writeTotalMultiplier) * count +
                             timeouts.writeTotalConstant;
        if (limit == 0) limit = kNoTimeoutLimitMs;
        const std::int64_t deadline = NowMs() + limit;
        std::uint32_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd, data + done, count - done);
            if (n > 0) {
                done += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                Failed(fd, "write", errno);
                if (written) *written = done;
                return false;
            }
            const std::int64_t remaining = deadline - NowMs();
            if (remaining <= 0) break;
            pollfd pfd{fd, POLLOUT, 0};
            if (poll(&pfd, 1, static_cast<int>(remaining)) < 0 && errno != EINTR) {
                TraceErrno("poll for write", errno);
                if (written) *written = done;
                return false;
            }
        }
        if (written) *written = done;
        return true;
    }

    bool Read(SerialHandle handle, std::uint8_t* data, std::uint32_t count,
              std::uint32_t* received) override {
        const int fd = static_cast<int>(handle);
        const SerialTimeouts timeouts = TimeoutsOf(fd);
        std::uint32_t got = 0;
        if (received) *received = 0;
        // Win32: interval MAXDWORD with zero totals returns at once with
        // whatever is already there.
        const bool immediate = timeouts.readInterval == kMaxDword &&
                               timeouts.readTotalMultiplier == 0 && timeouts.readTotalConstant == 0;
        std::int64_t limit = static_cast<std::int64_t>(timeouts.readTotalMultiplier) * count +
                             timeouts.readTotalConstant;
        if (limit == 0 && !immediate) limit = kNoTimeoutLimitMs;
        const std::int64_t deadline = NowMs() + limit;
        const bool useInterval = timeouts.readInterval != 0 && timeouts.readInterval != kMaxDword;
        std::int64_t lastByteAt = 0;
        // Wait first, then read: a reply is never there the moment the
        // request has gone out, so reading first would only cost a call.
        while (got < count) {
            if (!immediate) {
                const std::int64_t now = NowMs();
                std::int64_t wait = deadline - now;
                if (useInterval && got > 0) {
                    wait = std::min<std::int64_t>(wait, lastByteAt + timeouts.readInterval - now);
                }
                pollfd pfd{fd, POLLIN, 0};
                const int ready = poll(&pfd, 1, static_cast<int>(std::max<std::int64_t>(wait, 0)));
                if (ready < 0) {
                    if (errno == EINTR) continue;
                    TraceErrno("poll for read", errno);
                    if (received) *received = got;
                    return false;
                }
                if (ready == 0) break;  // time-out: what arrived is the result
                // Readable, or hung up or failed: read() says which.
            }
            const ssize_t n = ::read(fd, data + got, count - got);
            if (n > 0) {
                got += static_cast<std::uint32_t>(n);
                lastByteAt = NowMs();
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // End of file or an error: the line is gone (a USB adapter
                // unplugged, the far side of a pseudo-terminal closed).
                Failed(fd, "read", n == 0 ? EIO : errno);
                if (received) *received = got;
                return false;
            }
            if (immediate) break;
        }
        if (received) *received = got;
        return true;
    }

    bool Close(SerialHandle handle) override {
        const int fd = static_cast<int>(handle);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lost.erase(fd);
            if (m_timeouts.erase(fd) == 0) return false;
        }
        // The exclusive flag belongs to the terminal, not to this descriptor:
        // it would outlive us while anyone else (a pty peer) holds the line.
        ioctl(fd, TIOCNXCL);
        if (::close(fd) != 0) {
            TraceErrno("close", errno);
            return false;
        }
        return true;
    }

    bool PendingInput(SerialHandle handle, std::uint32_t* count) override {
        int n = 0;
        if (ioctl(static_cast<int>(handle), FIONREAD, &n) != 0) return false;
        if (count) *count = static_cast<std::uint32_t>(std::max(n, 0));
        return true;
    }

  private:
    // Traces a failed call and remembers a descriptor whose device is gone.
    void Failed(int fd, const char* what, int error) {
        TraceErrno(what, error);
        if (!IsGoneError(error)) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_timeouts.count(fd) && !m_lost.count(fd))
            m_lost[fd] = std::string(what) + ": " + strerror(error);
    }

    SerialTimeouts TimeoutsOf(int fd) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_timeouts.find(fd);
        return it == m_timeouts.end() ? kDefaultTimeouts : it->second;
    }

    std::mutex m_mutex;
    std::unordered_map<int, SerialTimeouts> m_timeouts;
    std::unordered_map<int, std::string> m_lost;  // descriptors whose device is gone
};

}  // namespace

SerialApi& SystemSerialApi() {
    static PosixSerialApi api;
    return api;
}

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, f)) text = buffer;
        std::fclose(f);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    return target;
}

std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The COM number a device path is reached under: a mapping, else the
// default /dev/ttyS(n-1).
int NumberOf(const std::string& path, const std::vector<std::pair<int, std::string>>& mapped) {
    const std::string real = Canonical(path);
    for (const auto& [number, mappedPath] : mapped)
        if (Canonical(mappedPath) == real) return number;
    if (real.rfind("/dev/ttyS", 0) == 0) {
        const int n = std::atoi(real.c_str() + 9);
        if (n >= 0 && n < 254 && real.size() > 9) return n + 1;
    }
    return 0;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<SerialPortInfo> ports;
    const auto mapped = MappedComPorts();
    // Adapters by their stable names, where udev made them.
    std::vector<std::pair<std::string, std::string>> byId;  // device, name
    if (DIR* dir = opendir("/dev/serial/by-id")) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            const std::string link = std::string("/dev/serial/by-id/") + e->d_name;
            byId.emplace_back(Canonical(link), e->d_name);
        }
        closedir(dir);
    }
    // Every tty the kernel has hardware for.
    if (DIR* dir = opendir("/sys/class/tty")) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name[0] == '.') continue;
            const std::string sys = "/sys/class/tty/" + name;
            const std::string device = LinkTarget(sys + "/device");
            if (device.empty()) continue;
            SerialPortInfo port;
            port.path = "/dev/" + name;
            const std::string driver = LinkTarget(sys + "/device/driver");
            port.description = driver.substr(driver.find_last_of('/') + 1);
            const std::string product = ReadFirstLine(sys + "/device/../product");
            if (!product.empty()) port.description += ", " + product;
            for (const auto& [target, idName] : byId)
                if (target == port.path) port.description += ", " + idName;
            const std::string latency = ReadFirstLine(sys + "/device/latency_timer");
            if (!latency.empty()) port.latencyMs = std::atoi(latency.c_str());
            port.number = NumberOf(port.path, mapped);
            ports.push_back(port);
        }
        closedir(dir);
    }
    // Ports pointed at other devices (a USB adapter's by-id name, a
    // pseudo-terminal).
    for (const auto& [number, path] : mapped) {
        bool listed = false;
        for (const SerialPortInfo& p : ports)
            listed = listed || Canonical(p.path) == Canonical(path);
        if (listed) continue;
        SerialPortInfo port;
        port.number = number;
        port.path = path;
        port.description = Canonical(path).rfind("/dev/pts/", 0) == 0 ? "pseudo-terminal" : "";
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return a.number != b.number ? (a.number == 0 ? false : b.number == 0 || a.number < b.number)
                                    : a.path < b.path;
    });
    return ports;
}

SerialPortInfo SerialPortDetails(int portNumber) {
    // By the device itself: with a port pointed at a USB adapter, the
    // default /dev/ttyS device of the same number is another line.
    const std::string real = Canonical(ComPortPath(portNumber));
    for (SerialPortInfo& port : ListSerialPorts())
        if (Canonical(port.path) == real) return port;
    SerialPortInfo port;
    port.number = portNumber;
    port.path = ComPortPath(portNumber);
    return port;
}

std::string DescribeSerialPort(int portNumber) {
    return ComPortPath(portNumber);
}

std::string DescribeSerialOpenProblem(int portNumber) {
    const std::string path = ComPortPath(portNumber);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return "no such device";
        if (error == EACCES || error == EPERM)
            return "permission denied (the user needs read and write access: sudo usermod -aG "
                   "dialout $USER, then log in again)";
        if (error == EBUSY) return "held by another program";
        return strerror(error);
    }
    std::string problem;
    if (!isatty(fd)) {
        problem = "not a serial device";
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        problem = "held by another program";
    }
    ::close(fd);  // also lets go of the lock
    return problem;
}

}  // namespace platform
