#include "controller/motion_report.h"

#include "host/kx_diag.h"

namespace tessaro {

void ReportMotionEnding(const char* drive, const std::string& what) {
    ReportControllerEvent(std::string(drive) + " drive " + what);
}

void ReportControllerEvent(const std::string& what) {
    const std::string line = "Tessaro device " + what;
    // Our texts are ASCII; a system's error text quoted in one may not be
    // (a localised Windows), and its bytes are not UTF-16 code units.
    std::u16string wide;
    for (const char c : line) wide += static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : u'?';
    DiagOutputExW_hlp("TessaroMotion", __LINE__);
    DiagOutputExW(wide.c_str());
}

}  // namespace tessaro
