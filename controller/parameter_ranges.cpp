#include "controller/parameter_ranges.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "controller/motion_report.h"

namespace tessaro {
namespace {

struct Range {
    const char* key;
    double low, high;
    bool endsOnly;  // only the two ends (a direction is -1 or 1)
};

// Calibration: 1 um/rev (a fine-pitch focus drive geared down) to 1 m/rev
// (belt-driven stages move some 60 mm a turn). At the finest calibration
// and the default 51000 steps a turn a 32-bit count still spans 42 mm, and
// a micrometre is many steps even at the coarsest. Microsteps: the phase
// count (four a microstep) must fit the processor's 16 bits without
// wrapping to 0. Holding current: as far as the dialogs let it go.
constexpr Range kRanges[] = {
    {"speed_revolutionPerSecond", 0.0, DBL_MAX, false},
    {"maxJoystickSpeed_revolutionPerSecond", 0.0, DBL_MAX, false},
    {"acceleration_revolutionPerSecond2", 0.0, DBL_MAX, false},
    {"deceleration_revolutionPerSecond2", 0.0, DBL_MAX, false},
    {"jerk_revolutionPerSecond3", 0.0, DBL_MAX, false},
    {"current_percent", 0.0, 100.0, false},
    {"holdingCurrent_percent", 0.0, 30.0, false},
    {"holdingDelay_ms", 0.0, DBL_MAX, false},
    {"calibration_umPerRevolution", 1.0, 1000000.0, false},
    {"microsteps", 1.0, 16383.0, false},
    {"axisFlip", -1.0, 1.0, true},
};

const Range* Find(const std::string& key) {
    std::string base = key;
    if (base.size() > 2 && (base.compare(base.size() - 2, 2, "_x") == 0 ||
                            base.compare(base.size() - 2, 2, "_y") == 0))
        base.resize(base.size() - 2);
    for (const Range& r : kRanges)
        if (base == r.key) return &r;
    return nullptr;
}

bool Inside(const Range& r, double v) {
    if (!std::isfinite(v) || v < r.low || v > r.high) return false;
    return !r.endsOnly || v == r.low || v == r.high;
}

}  // namespace

bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source) {
    return AcceptParameter(drive, key, value, kept, source, value);
}

bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source, double shown) {
    const Range* r = Find(key);
    if (!r || Inside(*r, value)) return true;
    char range[64];
    if (r->endsOnly)
        std::snprintf(range, sizeof range, "%g or %g", r->low, r->high);
    else if (r->high == DBL_MAX)
        std::snprintf(range, sizeof range, "%g or more", r->low);
    else
        std::snprintf(range, sizeof range, "%g to %g", r->low, r->high);
    char text[240];
    std::snprintf(text, sizeof text, "kept %s at %g: %g from %s lies outside %s", key.c_str(), kept,
                  shown, source, range);
    ReportMotionEnding(drive, text);
    return false;
}

}  // namespace tessaro
