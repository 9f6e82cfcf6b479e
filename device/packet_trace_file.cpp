#include "device/packet_trace_file.h"

#include <cstdlib>
#include <string>

#include "cmotion/link_trace.h"
#include "host/kx_time.h"

void CPacketTraceFile::Start() {
    Stop();
    const char* path = std::getenv("TESSARO_TRACE");
    if (!path || !*path) return;
    m_file = std::fopen(path, "a");
    if (!m_file) return;  // no trace is no reason to refuse a connection
    m_startMs = KX_GetTimeCounter();
    std::fprintf(m_file,
                 "# Tessaro packet trace: time since connect, axis, command, arguments "
                 "-> answer or error\n");
    std::fflush(m_file);
    m_previous = cmotion::GetExchangeObserver(&m_previousContext);
    cmotion::SetExchangeObserver(&CPacketTraceFile::OnExchange, this);
}

void CPacketTraceFile::Stop() {
    if (!m_file) return;
    cmotion::SetExchangeObserver(m_previous, m_previousContext);
    std::fclose(m_file);
    m_file = nullptr;
    m_previous = nullptr;
    m_previousContext = nullptr;
}

void CPacketTraceFile::OnExchange(void* context, std::uint16_t commandWordCount,
                                  const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                                  const std::uint16_t* replyWords, cmotion::LinkError result) {
    auto* self = static_cast<CPacketTraceFile*>(context);
    if (!self) return;
    if (self->m_file) {
        // Every exchange runs under the controller lock: one line at a time.
        const std::string line =
            cmotion::FormatExchange(KX_GetTimeCounter() - self->m_startMs, commandWordCount,
                                    commandWords, replyWordCount, replyWords, result);
        std::fprintf(self->m_file, "%s\n", line.c_str());
        std::fflush(self->m_file);
    }
    if (self->m_previous)
        self->m_previous(self->m_previousContext, commandWordCount, commandWords, replyWordCount,
                         replyWords, result);
}
