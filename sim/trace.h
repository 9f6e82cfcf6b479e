// Every packet the simulated processor received, with what it answered.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct TraceEntry {
    std::int64_t timeMicros = 0;  // the simulator's clock
    std::uint64_t number = 0;     // packet number, from 1
    std::uint8_t axis = 0;
    std::uint8_t opcode = 0;
    std::vector<std::uint16_t> args;
    bool answered = true;  // false: no reply went out (fault)
    std::uint8_t status = 0;
    std::vector<std::uint16_t> reply;
    std::string fault;  // the fault injected on this packet, if any
};

// One readable line: time, axis, command name, arguments, status and reply.
std::string FormatTraceEntry(const TraceEntry& entry);

class Trace {
  public:
    void Record(const TraceEntry& entry);
    std::vector<TraceEntry> Snapshot() const;
    void Clear();
    // Whether entries are kept for Snapshot (the default). A long-running
    // simulator that only prints them turns this off, so that its memory
    // does not grow with every packet.
    void KeepEntries(bool keep);
    // Called for each new entry (e.g. to print it as it happens).
    void SetSink(std::function<void(const TraceEntry&)> sink);

  private:
    mutable std::mutex m_mutex;
    std::vector<TraceEntry> m_entries;
    bool m_bKeep = true;
    std::function<void(const TraceEntry&)> m_sink;
};

}  // namespace sim
