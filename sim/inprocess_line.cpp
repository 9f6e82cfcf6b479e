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
    if (m_endpoint.hungUp()) return platform::kInvalidSerialHandle;  // the device is gone
    if (m_bOpen && shareMode == platform::kShareExclusive) return platform::kInvalidSerialHandle;
    m_bOpen = true;
    m_rx.clear();
    m_delayed.clear();
    return kHandle;
}

bool InProcessLine::SetControlBlock(platform::SerialHandle handle,
                                    const platform::SerialControlBlock& block) {
    if (handle != kHandle) return m_fallback.SetControlBlock(handle, block);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_block = block;
    return !m_endpoint.hungUp();
}

bool InProcessLine::GetControlBlock(platform::SerialHandle handle,
                                    platform::SerialControlBlock* block) {
    if (handle != kHandle) return m_fallback.GetControlBlock(handle, block);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (block) *block = m_block;
    return !m_endpoint.hungUp();
}

bool InProcessLine::SetTimeouts(platform::SerialHandle handle,
                                const platform::SerialTimeouts& timeouts) {
    if (handle != kHandle) return m_fallback.SetTimeouts(handle, timeouts);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeouts = timeouts;
    return !m_endpoint.hungUp();
}

bool InProcessLine::Purge(platform::SerialHandle handle, std::uint32_t flags) {
    if (handle != kHandle) return m_fallback.Purge(handle, flags);
    std::lock_guard<std::mutex> lock(m_mutex);
    DeliverLate();
    if (flags & platform::kPurgeRxClear) m_rx.clear();
    return !m_endpoint.hungUp();
}

bool InProcessLine::Write(platform::SerialHandle handle, const std::uint8_t* data,
                          std::uint32_t count, std::uint32_t* written) {
    if (handle != kHandle) return m_fallback.Write(handle, data, count, written);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (written) *written = 0;
    DeliverLate();
    if (m_endpoint.hungUp()) return false;
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
    if (handle != kHandle) return m_fallback.Read(handle, data, count, received);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (received) *received = 0;
    if (m_endpoint.hungUp()) return false;
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
    if (handle != kHandle) return m_fallback.Close(handle);
    std::lock_guard<std::mutex> lock(m_mutex);
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
    if (handle != kHandle) return m_fallback.PendingInput(handle, count);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (count) *count = static_cast<std::uint32_t>(m_rx.size());
    return !m_endpoint.hungUp();
}

}  // namespace sim
