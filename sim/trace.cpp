#include "sim/trace.h"

#include <cstdio>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"

namespace sim {

std::string FormatTraceEntry(const TraceEntry& e) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%10.3f ms #%-6llu axis %u %-22s", e.timeMicros / 1000.0,
                  static_cast<unsigned long long>(e.number), e.axis,
                  cmotion::GetOpcodeName(e.opcode));
    std::string line = buffer;
    for (std::uint16_t w : e.args) {
        std::snprintf(buffer, sizeof buffer, " %04X", w);
        line += buffer;
    }
    if (!e.answered) {
        line += "  -> (no reply)";
    } else {
        line += "  ->";
        if (e.status != 0) {
            line += " status " + std::to_string(e.status) + " (" + cmotion::GetErrorText(e.status) +
                    ")";
        }
        for (std::uint16_t w : e.reply) {
            std::snprintf(buffer, sizeof buffer, " %04X", w);
            line += buffer;
        }
    }
    if (!e.fault.empty()) line += "  [fault: " + e.fault + "]";
    return line;
}

void Trace::Record(const TraceEntry& entry) {
    std::function<void(const TraceEntry&)> sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bKeep) m_entries.push_back(entry);
        sink = m_sink;
    }
    if (sink) sink(entry);
}

std::vector<TraceEntry> Trace::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

void Trace::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

void Trace::KeepEntries(bool keep) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bKeep = keep;
    if (!keep) m_entries.clear();
}

void Trace::SetSink(std::function<void(const TraceEntry&)> sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

}  // namespace sim
