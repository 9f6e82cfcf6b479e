#include "sim/inprocess_line.h"

#include <algorithm>

namespace sim {

InProcessLine::InProcessLine(ProcessorEndpoint& endpoint, int portNumber,
                             platform::SerialApi& fallback)
    : m_endpoint(endpoint), m_portNumber(portNumber), m_fallback(fallback) {}

void InProcessLine::DeliverLate() {
    for (const Emission& e : m_delayed) m_rx.insert(m_rx.end(), e.bytes.begin(), e.bytes.end());
    m_delayed.clear();
}

platform::SerialHandle InProcessLine::Open(const char16_t* name, std::uint32_t access,
                                           std::uint32_t shareMode, std::uint32_t disposition,
                                           std::uint32_t flags) {
    if (!name || platform::ComPortNumberFromName(name) != m_portNumber) {
        return m_fallback.Open(name, access, shareMode, disposition, flags);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    // The device is gone, or away for now.
    if (m_endpoint.hungUp() || m_endpoint.unplugged()) return platform::kInvalidSerialHandle;
    if (Alive(m_hOpen) && shareMode == platform::kShareExclusive)
        return platform::kInvalidSerialHandle;
    m_bOpen = true;
    m_hOpen = kHandle + static_cast<platform::SerialHandle>(m_endpoint.unplugs() & 0xFFFF);
    m_rx.clear();
    m_delayed.clear();
    return m_hOpen;
}

bool InProcessLine::Alive(platform::SerialHandle handle) {
    if (m_bOpen &&
        (m_endpoint.unplugs() & 0xFFFF) != static_cast<std::uint64_t>(m_hOpen - kHandle)) {
        // The line was taken away under the open port: that opening is over.
        m_bOpen = false;
        m_rx.clear();
        m_delayed.clear();
    }
    return m_bOpen && handle == m_hOpen && !m_endpoint.hungUp() && !m_endpoint.unplugged();
}

bool InProcessLine::LineLost(platform::SerialHandle handle, std::string* why) {
    if (!Ours(handle)) return m_fallback.LineLost(handle, why);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Alive(handle)) return false;
    if (why)
        *why = m_endpoint.hungUp() ? "the simulated line hung up"
                                   : "the simulated line was taken away";
    return true;
}

bool InProcessLine::SetControlBlock(platform::SerialHandle handle,
                                    const platform::SerialControlBlock& block) {
    if (!Ours(handle)) return m_fallback.SetControlBlock(handle, block);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_block = block;
    return Alive(handle);
}

bool InProcessLine::GetControlBlock(platform::SerialHandle handle,
                                    platform::SerialControlBlock* block) {
    if (!Ours(handle)) return m_fallback.GetControlBlock(handle, block);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (block) *block = m_block;
    return Alive(handle);
}

bool InProcessLine::SetTimeouts(platform::SerialHandle handle,
                                const platform::SerialTimeouts& timeouts) {
    if (!Ours(handle)) return m_fallback.SetTimeouts(handle, timeouts);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeouts = timeouts;
    return Alive(handle);
}

bool InProcessLine::Purge(platform::SerialHandle handle, std::uint32_t flags) {
    if (!Ours(handle)) return m_fallback.Purge(handle, flags);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Alive(handle)) return false;
    DeliverLate();
    if (flags & platform::kPurgeRxClear) m_rx.clear();
    return true;
}

bool InProcessLine::Write(platform::SerialHandle handle, const std::uint8_t* data,
                          std::uint32_t count, std::uint32_t* written) {
    if (!Ours(handle)) return m_fallback.Write(handle, data, count, written);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (written) *written = 0;
    if (!Alive(handle)) return false;
    DeliverLate();
    for (const Emission& e : m_endpoint.Receive(data, count)) {
        if (e.hangUp) break;
        if (e.delayMicros > 0) {
            m_delayed.push_back(e);
        } else {
            m_rx.insert(m_rx.end(), e.bytes.begin(), e.bytes.end());
        }
    }
    if (written) *written = count;
    return true;
}

bool InProcessLine::Read(platform::SerialHandle handle, std::uint8_t* data, std::uint32_t count,
                         std::uint32_t* received) {
    if (!Ours(handle)) return m_fallback.Read(handle, data, count, received);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (received) *received = 0;
    if (!Alive(handle)) return false;
    // Delayed replies that arrive within this read's time-out are read now;
    // the others stay delayed and arrive by the next call.
    const std::int64_t limitMicros =
        1000LL * (m_timeouts.readTotalConstant +
                  static_cast<std::int64_t>(m_timeouts.readTotalMultiplier) * count);
    for (auto it = m_delayed.begin(); it != m_delayed.end();) {
        if (it->delayMicros <= limitMicros) {
            m_rx.insert(m_rx.end(), it->bytes.begin(), it->bytes.end());
            it = m_delayed.erase(it);
        } else {
            ++it;
        }
    }
    const std::uint32_t n = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(m_rx.size()));
    std::copy(m_rx.begin(), m_rx.begin() + n, data);
    m_rx.erase(m_rx.begin(), m_rx.begin() + n);
    if (received) *received = n;
    return true;
}

bool InProcessLine::Close(platform::SerialHandle handle) {
    if (!Ours(handle)) return m_fallback.Close(handle);
    std::lock_guard<std::mutex> lock(m_mutex);
    // A handle of an earlier opening (its line was taken away) closes
    // nothing of the present one.
    if (handle != m_hOpen) return true;
    const bool wasOpen = m_bOpen;
    m_bOpen = false;
    m_rx.clear();
    m_delayed.clear();
    return wasOpen;
}

bool InProcessLine::isOpen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bOpen;
}

bool InProcessLine::PendingInput(platform::SerialHandle handle, std::uint32_t* count) {
    if (!Ours(handle)) return m_fallback.PendingInput(handle, count);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (count) *count = static_cast<std::uint32_t>(m_rx.size());
    return Alive(handle);
}

}  // namespace sim
