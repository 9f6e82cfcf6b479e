#include "controller/motion_report.h"

#include "host/kx_diag.h"

namespace tessaro {

void ReportMotionEnding(const char* drive, const std::string& what) {
    const std::string line = std::string("Tessaro device ") + drive + " drive " + what;
    // The texts are ASCII.
    const std::u16string wide(line.begin(), line.end());
    DiagOutputExW_hlp("TessaroMotion", __LINE__);
    DiagOutputExW(wide.c_str());
}

}  // namespace tessaro
