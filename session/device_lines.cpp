#include "session/device_lines.h"

namespace tessaro_host {
namespace {

bool Has(const std::string& text, const char* sign) {
    return text.find(sign) != std::string::npos;
}

bool HasAny(const std::string& text, std::initializer_list<const char*> signs) {
    for (const char* sign : signs)
        if (Has(text, sign)) return true;
    return false;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

DeviceLine ReadDeviceLine(const std::string& text) {
    DeviceLine line;
    line.text = text;
    for (const auto& [name, drive] : {std::pair<const char*, LineDrive>{"XY", LineDrive::kXY},
                                      {"Z", LineDrive::kZ},
                                      {"rotary", LineDrive::kRotary}}) {
        const std::string prefix = std::string("Tessaro device ") + name + " drive ";
        if (!StartsWith(text, prefix)) continue;
        line.drive = drive;
        line.settingKept = StartsWith(text, prefix + "kept ");
        line.positionDoubted = StartsWith(text, prefix + "position cannot be trusted");
        line.positionTrustedAgain = StartsWith(text, prefix + "position is trusted again");
    }
    if (StartsWith(text, "Tessaro device line to ")) {
        line.reportsLineLost = Has(text, " lost (");
        line.reportsLineBack = Has(text, " is back: ");
    }
    line.warning = HasAny(text, {" failed", " refused ", " stopped", " lost", "cannot be trusted",
                                 "did not", "steps from its target", "found no limit switch",
                                 " lies outside ", "not used", "kept ", "could not"});
    line.explainsFailure =
        HasAny(text, {" failed: ", " refused ", " stopped", " did not reach its target"});
    line.endedBadly = HasAny(text, {"steps from its target", "stopped at a limit switch",
                                    "did not reach its target", "found no limit switch"});
    line.stopped = HasAny(text, {"move stopped before its target", "limit search stopped"});
    line.valueRefused = HasAny(text, {" lies outside ", " lies above the ", " lies below the "});
    line.failedForLostLine = Has(text, "the line to the board is lost");
    return line;
}

const DeviceLine* WhyFailed(const std::vector<DeviceLine>& lines, LineDrive drive) {
    for (const DeviceLine& line : lines)
        if ((drive == LineDrive::kNone || line.drive == drive) && line.explainsFailure)
            return &line;
    return nullptr;
}

}  // namespace tessaro_host
