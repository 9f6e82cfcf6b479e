// The far side of the serial line: bytes from the host in, bytes for the host
// out. Assembles packets, checks them, has the processor model carry them
// out, applies the fault plan and keeps the trace. The attachments (in
// process, pseudo-terminal) only move bytes to and from it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/faults.h"
#include "sim/motion_processor.h"
#include "sim/packet_assembler.h"
#include "sim/sim_clock.h"
#include "sim/trace.h"

namespace sim {

// Something to send back: `bytes` after `delayMicros`, or the end of the line.
struct Emission {
    std::vector<std::uint8_t> bytes;
    std::int64_t delayMicros = 0;
    bool hangUp = false;
};

struct EndpointStats {
    std::uint64_t packets = 0;
    std::uint64_t refusals = 0;  // answered with a non-zero status
    std::uint64_t faults = 0;    // faults injected
    // Times the processor came up from its power-up state (Reset commands
    // carried out, reset faults): a board that served two connections
    // without one kept its counts between them.
    std::uint64_t resets = 0;
};

class ProcessorEndpoint {
  public:
    ProcessorEndpoint(const BoardConfig& config, const Clock& clock);

    std::vector<Emission> Receive(const std::uint8_t* bytes, std::size_t count);

    MotionProcessor& processor() { return m_processor; }
    // Moves an axis as a hand on the stage would, between two packets (the
    // processor is the packets' to change while the line is in use).
    void MoveByHand(int axis, std::int32_t steps) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_processor.MoveByHand(axis, steps);
    }
    FaultPlan& faults() { return m_faults; }
    Trace& trace() { return m_trace; }
    EndpointStats stats() const;
    bool hungUp() const { return m_bHungUp; }

    // Takes the line away for `ms` of the simulated time, as a USB adapter
    // that drops off the bus: nothing is received meanwhile, and the
    // attachments close the line and bring up a new one when the time is
    // over. With `powerCut` the board loses power too and comes back reset.
    void Unplug(int ms, bool powerCut);
    // Whether the line is away now.
    bool unplugged() const;
    // How many times the line was taken away so far: an attachment that saw
    // fewer still holds a line that is gone.
    std::uint64_t unplugs() const { return m_unplugs.load(std::memory_order_acquire); }

  private:
    void HandlePacket(const std::vector<std::uint8_t>& packet, std::vector<Emission>* out);
    void UnplugLocked(int ms, bool powerCut);  // with m_mutex held

    const Clock& m_clock;
    MotionProcessor m_processor;
    FaultPlan m_faults;
    Trace m_trace;
    mutable std::mutex m_mutex;  // one stream of bytes at a time
    PacketAssembler m_assembler;
    EndpointStats m_stats;
    bool m_bSilent = false;
    std::atomic<bool> m_bHungUp{false};
    std::atomic<std::int64_t> m_unpluggedUntilMicros{0};
    std::atomic<std::uint64_t> m_unplugs{0};
};

}  // namespace sim
