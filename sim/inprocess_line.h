// The simulator behind the serial interface, in the same process: a SerialApi
// that serves one COM port number from a ProcessorEndpoint and hands every
// other port to the system's back-end. For fast tests: nothing waits.
//
// Timing: reads never block. A read that cannot be satisfied returns at once
// with what there is, as if its time-out had passed. A reply that the
// endpoint delays arrives within the read when the delay fits in the read's
// time-out, and otherwise just after it (the next call finds it in the
// receive queue, where the next command's purge discards it).
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/serial_port.h"
#include "sim/processor_endpoint.h"

namespace sim {

class InProcessLine final : public platform::SerialApi {
  public:
    InProcessLine(ProcessorEndpoint& endpoint, int portNumber,
                  platform::SerialApi& fallback = platform::SystemSerialApi());

    platform::SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition, std::uint32_t flags) override;
    bool SetControlBlock(platform::SerialHandle handle,
                         const platform::SerialControlBlock& block) override;
    bool GetControlBlock(platform::SerialHandle handle,
                         platform::SerialControlBlock* block) override;
    bool SetTimeouts(platform::SerialHandle handle,
                     const platform::SerialTimeouts& timeouts) override;
    bool Purge(platform::SerialHandle handle, std::uint32_t flags) override;
    bool Write(platform::SerialHandle handle, const std::uint8_t* data, std::uint32_t count,
               std::uint32_t* written) override;
    bool Read(platform::SerialHandle handle, std::uint8_t* data, std::uint32_t count,
              std::uint32_t* received) override;
    bool Close(platform::SerialHandle handle) override;
    bool PendingInput(platform::SerialHandle handle, std::uint32_t* count) override;
    // A handle of a line that was taken away (ProcessorEndpoint::Unplug) is
    // lost; the port opens again, under a new handle, once the line is back.
    bool LineLost(platform::SerialHandle handle, std::string* why) override;

    // Whether the host holds the simulated port open now.
    bool isOpen();

    // The handles the simulated port is opened under (never system handles):
    // this, plus the number of times the line was taken away before.
    static constexpr platform::SerialHandle kHandle = 0x5E1D0000;

  private:
    static bool Ours(platform::SerialHandle handle) { return (handle & ~0xFFFF) == kHandle; }
    // With m_mutex held: whether `handle` is the open port on a line that is
    // there (a handle of a line taken away never comes back).
    bool Alive(platform::SerialHandle handle);
    void DeliverLate();  // with m_mutex held: delayed replies have arrived by now

    ProcessorEndpoint& m_endpoint;
    const int m_portNumber;
    platform::SerialApi& m_fallback;
    std::mutex m_mutex;
    bool m_bOpen = false;
    platform::SerialHandle m_hOpen = kHandle;  // the handle of the present opening
    platform::SerialControlBlock m_block;
    platform::SerialTimeouts m_timeouts{0, 10, 100, 0, 0};
    std::deque<std::uint8_t> m_rx;
    std::vector<Emission> m_delayed;  // replies on their way
};

}  // namespace sim
