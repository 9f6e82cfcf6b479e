// The host's diagnostics: DiagOutputExW_hlp (source, line) followed by
// DiagOutputExW (message) writes one log line; CKxTraceExecutionTime times a
// scope. Where the lines go is the host program's choice (a sink); without
// one they go nowhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/kx_export.h"

KX_HOST_API void DiagOutputExW_hlp(const char* source, int line);
KX_HOST_API void DiagOutputExW(const char16_t* message);

class KX_HOST_API CKxTraceExecutionTime {
  public:
    CKxTraceExecutionTime(const char16_t* scope, int level);
    ~CKxTraceExecutionTime();
    CKxTraceExecutionTime(const CKxTraceExecutionTime&) = delete;
    CKxTraceExecutionTime& operator=(const CKxTraceExecutionTime&) = delete;

  private:
    std::u16string m_scope;
    double m_startMs;
};

namespace host {

struct DiagnosticLine {
    std::string source;  // "" for a timed scope
    int line = 0;
    std::u16string message;  // for a timed scope: its name
    double elapsedMs = -1;   // for a timed scope: how long it took
};

using DiagnosticSink = std::function<void(const DiagnosticLine&)>;
KX_HOST_API void SetDiagnosticSink(DiagnosticSink sink);

}  // namespace host
