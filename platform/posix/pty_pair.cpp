#include "platform/posix/pty_pair.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

volatile sig_atomic_t g_stopRequested = 0;
void OnStopSignal(int) {
    g_stopRequested = 1;
}

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + strerror(errno);
    return false;
}

}  // namespace

PtyPair::~PtyPair() {
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
}

bool PtyPair::Open(std::string* error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) return Fail(error, "posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) return Fail(error, "grantpt/unlockpt");
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) return Fail(error, "ptsname_r");
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) return Fail(error, "open " + m_slavePath);
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0) return Fail(error, "tcgetattr");
    // Raw from the start: no echo, no signals from control bytes, no CR/LF
    // translation, whatever the client does or does not program later.
    cfmakeraw(&tio);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) return Fail(error, "tcsetattr");
    return true;
}

bool PtyPair::BecomeControllingTerminal(std::string* error) {
    if (ioctl(m_slave, TIOCSCTTY, 0) != 0) return Fail(error, "TIOCSCTTY");
    return true;
}

bool PtyPair::LinkSlaveAt(const std::string& linkPath, std::string* error) {
    if (unlink(linkPath.c_str()) != 0 && errno != ENOENT) return Fail(error, "unlink " + linkPath);
    if (symlink(m_slavePath.c_str(), linkPath.c_str()) != 0)
        return Fail(error, "symlink " + linkPath);
    return true;
}

bool PtyPair::WriteMaster(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = write(m_master, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
    }
    return true;
}

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;  // no SA_RESTART: blocking calls return EINTR
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGHUP, SIG_IGN);
}

bool StopRequested() {
    return g_stopRequested != 0;
}

bool StartNewSession(std::string* error) {
    if (setsid() < 0 && getsid(0) != getpid()) return Fail(error, "setsid");
    return true;
}

}  // namespace platform
