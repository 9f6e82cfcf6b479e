// Fuzz target: any text as a settings text. The key functions must never
// crash, a value they report found must survive writing and reading back,
// and the three drives' LoadSettings must take any text and leave settings
// that save and load again to the same parameters.
//
// The drives stand on axis records without a controller: loading applies
// the parameters, which then fail quietly without any line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_motion.h"
#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "host/kx_settings.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Keys as the drives use them, and one the input chooses itself.
const char16_t* const kKeys[] = {u"speed_revolutionPerSecond",
                                 u"microsteps_x",
                                 u"axisFlip",
                                 u"joystickEnable",
                                 u"zeroPos_step",
                                 u"m_iPort",
                                 u"",
                                 u"a=b",
                                 u"\\u0041"};

void CheckRoundTrip(const char16_t* text, const std::u16string& key) {
    int i = 0;
    if (GetIntFromKey(text, key.c_str(), &i)) {
        CKxStringW again;
        SetIntToKey(again, key.c_str(), i);
        int j = ~i;
        Require(GetIntFromKey(again.GetString(), key.c_str(), &j) && j == i);
    }
    double d = 0;
    if (GetDoubleFromKey(text, key.c_str(), &d)) {
        CKxStringW again;
        SetDoubleToKey(again, key.c_str(), d);
        double e = 0;
        Require(GetDoubleFromKey(again.GetString(), key.c_str(), &e));
        Require(e == d || (e != e && d != d));
    }
    bool b = false;
    if (GetBoolFromKey(text, key.c_str(), &b)) {
        CKxStringW again;
        SetBoolToKey(again, key.c_str(), b);
        bool c = !b;
        Require(GetBoolFromKey(again.GetString(), key.c_str(), &c) && c == b);
    }
}

// Parameters (everything but the four positions) of a saved text.
std::u16string Parameters(IKxLogicalDevice& drive) {
    CKxStringW text;
    drive.SaveSettings(text);
    std::u16string out;
    const std::u16string& s = text.str();
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t end = s.find(u';', start);
        if (end == std::u16string::npos) break;
        const std::u16string pair = s.substr(start, end - start + 1);
        if (pair.find(u"Pos_step") == std::u16string::npos) out += pair;
        start = end + 1;
    }
    return out;
}

void CheckLoad(IKxLogicalDevice& drive, const char16_t* text) {
    drive.LoadSettings(text, 1);
    const std::u16string first = Parameters(drive);
    CKxStringW saved;
    drive.SaveSettings(saved);
    drive.LoadSettings(saved.GetString(), 2);
    Require(Parameters(drive) == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input as UTF-16 text, in code units of two bytes.
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    for (const char16_t* key : kKeys) CheckRoundTrip(text.c_str(), key);
    // A key taken from the text itself: up to its first '='.
    CheckRoundTrip(text.c_str(), text.substr(0, text.find(u'=')));

    using tessaro::CTessaroAxis;
    CTessaroAxis x({}, 0, nullptr), y({}, 1, nullptr), z({}, 2, nullptr), r({}, 3, nullptr);
    tessaro::CTessaroXYMotion xyMotion(&x, &y);
    tessaro::CTessaroZMotion zMotion(&z);
    tessaro::CTessaroRotaryMotion rotaryMotion(&r);
    tessaro::STessaro_XYDrive xy(&xyMotion);
    tessaro::STessaro_ZDrive zd(&zMotion);
    tessaro::STessaro_RDrive rd(&rotaryMotion);
    CheckLoad(xy, text.c_str());
    CheckLoad(zd, text.c_str());
    CheckLoad(rd, text.c_str());
    // The getters read whatever was loaded without trouble.
    double v = 0, w = 0;
    unsigned u = 0;
    xy.GetPosition(&v, &w);
    zd.GetRange(&v, &w);
    rd.GetAcceleration(&u);
    rd.GetAngle(&v);
    return 0;
}
