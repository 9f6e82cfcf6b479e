#include "host/kx_diag.h"

#include <mutex>

#include "host/kx_time.h"

namespace {

std::mutex g_sinkMutex;
host::DiagnosticSink g_sink;

// The source and line given by the _hlp call, for this thread's next line.
thread_local std::string t_source;
thread_local int t_line = 0;

void Emit(const host::DiagnosticLine& line) {
    host::DiagnosticSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink) sink(line);
}

}  // namespace

void DiagOutputExW_hlp(const char* source, int line) {
    t_source = source ? source : "";
    t_line = line;
}

void DiagOutputExW(const char16_t* message) {
    host::DiagnosticLine line;
    line.source = t_source;
    line.line = t_line;
    line.message = message ? message : u"";
    t_source.clear();
    t_line = 0;
    Emit(line);
}

CKxTraceExecutionTime::CKxTraceExecutionTime(const char16_t* scope, int)
    : m_scope(scope ? scope : u""), m_startMs(KX_GetTimeCounter()) {}

CKxTraceExecutionTime::~CKxTraceExecutionTime() {
    host::DiagnosticLine line;
    line.message = m_scope;
    line.elapsedMs = KX_GetTimeCounter() - m_startMs;
    Emit(line);
}

namespace host {

void SetDiagnosticSink(DiagnosticSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

}  // namespace host
