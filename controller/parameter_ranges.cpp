#include "controller/parameter_ranges.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "controller/motion_report.h"
#include "controller/tessaro_axis.h"

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
    // As fast as the dialogs let a drive go.
    {"speed_revolutionPerSecond", 0.0, 100.0, false},
    {"maxJoystickSpeed_revolutionPerSecond", 0.0, 100.0, false},
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

bool Refuse(const char* drive, const std::string& key, double kept, double shown,
            const char* source, const char* range) {
    char text[240];
    std::snprintf(text, sizeof text, "kept %s at %g: %g from %s lies outside %s", key.c_str(), kept,
                  shown, source, range);
    ReportMotionEnding(drive, text);
    return false;
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
    return Refuse(drive, key, kept, shown, source, range);
}

double SlowestSpeed(const CTessaroAxis& axis) {
    // One count: the speed of 1/65536 step a cycle, rounded up so that it
    // converts to a count again.
    const double perCount =
        1.0 / (axis.GetStepsPerRevolutionF() / axis.GetCyclesPerSecond() * 65536.0);
    return std::nextafter(perCount, HUGE_VAL);
}

bool AcceptAxisParameter(const char* drive, const CTessaroAxis& axis, const std::string& key,
                         double value, double kept, const char* source) {
    if (!AcceptParameter(drive, key, value, kept, source)) return false;
    const Range* r = Find(key);
    if (!r || axis.m_uSampleTime_us == 0) return true;
    const std::string base = r->key;
    char range[64] = "";
    if (base == "speed_revolutionPerSecond" || base == "maxJoystickSpeed_revolutionPerSecond") {
        if (axis.VelocityToCounts(value) >= 1) return true;
        std::snprintf(range, sizeof range, "%.3g to %g", SlowestSpeed(axis), r->high);
    } else if (base == "acceleration_revolutionPerSecond2" ||
               base == "deceleration_revolutionPerSecond2") {
        constexpr std::int64_t kTop = 0xFFFFFFFF;
        const bool up = base[0] == 'a';
        const std::int64_t reg =
            up ? axis.AccelerationRegister(value) : axis.DecelerationRegister(value);
        if (reg <= kTop) return true;
        // The highest rate whose register fits (to a thousandth, down), from
        // the one asked for.
        const double top = value * static_cast<double>(kTop) / static_cast<double>(reg);
        std::snprintf(range, sizeof range, "0 to %.10g", std::floor(top * 1000.0) / 1000.0);
    } else {
        return true;
    }
    return Refuse(drive, key, kept, value, source, range);
}

}  // namespace tessaro
