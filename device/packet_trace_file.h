// The packet trace a user of the host application can send to support: when
// the environment variable TESSARO_TRACE names a file at connect, every
// exchange with the board is appended to it, one line each as tessaro-host's
// --trace prints it, until the disconnect. A trace a host program installed
// itself goes on receiving every exchange as well.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cmotion/link_serial.h"

class CPacketTraceFile {
  public:
    CPacketTraceFile() = default;
    ~CPacketTraceFile() { Stop(); }
    CPacketTraceFile(const CPacketTraceFile&) = delete;
    CPacketTraceFile& operator=(const CPacketTraceFile&) = delete;

    // At connect, before the first exchange: opens the file the variable
    // names (appending) and starts writing to it.
    void Start();
    // At disconnect, after the last exchange.
    void Stop();

  private:
    static void OnExchange(void* context, std::uint16_t commandWordCount,
                           const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                           const std::uint16_t* replyWords, cmotion::LinkError result);

    std::FILE* m_file = nullptr;
    cmotion::LinkExchangeObserver m_previous = nullptr;
    void* m_previousContext = nullptr;
    double m_startMs = 0;
};
