// A pseudo-terminal pair, for programs that stand on the far side of a serial
// line (simulators, test peers) on POSIX systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class PtyPair {
  public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Opens a new pair with the slave in raw mode and keeps the slave open, so
    // that the line stays up while clients come and go. On failure returns
    // false with a reason.
    bool Open(std::string* error);

    // Makes the slave the controlling terminal of this process, which must
    // lead its own session (setsid()). A process that opens the slave later
    // (Wine's server, say) then cannot take it as its own controlling
    // terminal and is not hung up when the master closes.
    bool BecomeControllingTerminal(std::string* error);

    // Points a symbolic link at the slave, replacing what was there.
    bool LinkSlaveAt(const std::string& linkPath, std::string* error);

    // Writes all of `data` to the master side (the device's answer); false
    // when the pair is gone.
    bool WriteMaster(const std::uint8_t* data, std::size_t count);

    int masterFd() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// Starts a new session with this process as its leader (see PtyPair).
bool StartNewSession(std::string* error);

// For programs serving lines until they are told to stop: SIGINT and SIGTERM
// set the flag that StopRequested reads (and interrupt blocking calls);
// SIGHUP, which a closing terminal may send, is ignored.
void CatchStopSignals();
bool StopRequested();

}  // namespace platform
