// The diagnostic lines the plug-in writes while a capture lives (timed
// scopes apart), for tests that check what the host is told.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host/kx_diag.h"

namespace testing_support {

class DiagnosticCapture {
  public:
    DiagnosticCapture() {
        host::SetDiagnosticSink([this](const host::DiagnosticLine& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (line.elapsedMs < 0)
                lines.push_back(line);
            else
                scopes.push_back(line.message);
        });
    }
    ~DiagnosticCapture() { host::SetDiagnosticSink(nullptr); }
    std::vector<std::u16string> Messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::u16string> out;
        for (const auto& line : lines) out.push_back(line.message);
        return out;
    }
    // Whether a line containing `part` was written.
    bool Has(const std::u16string& part) {
        for (const std::u16string& m : Messages())
            if (m.find(part) != std::u16string::npos) return true;
        return false;
    }
    std::vector<host::DiagnosticLine> lines;
    std::vector<std::u16string> scopes;

  private:
    std::mutex m_mutex;
};

}  // namespace testing_support
