#include "session/command_check.h"

#include <vector>

#include "session/operations.h"

namespace tessaro_host {
namespace {

CommandResult Bad(const std::string& reason) {
    return {kExitUsage, reason + " (try help)"};
}

bool IsDrive(const std::string& word) {
    return word == "xy" || word == "z" || word == "r" || word == "rotary";
}

CommandResult CheckDrive(const std::vector<std::string>& words) {
    const std::string drive = words[0] == "rotary" ? "r" : words[0];
    if (words.size() < 2) return Bad("what should " + words[0] + " do?");
    const std::string& action = words[1];
    const std::string what = drive + " " + action;
    const bool xy = drive == "xy";
    double v[3] = {0, 0, 0};
    if (action == "move-abs" || action == "move-rel") {
        if (!ParseNumbers(words, 2, xy ? 2 : 1, v))
            return Bad(what + " takes " +
                       (xy             ? "X Y in micrometres"
                        : drive == "z" ? "micrometres"
                                       : "degrees"));
        return {};
    }
    if (action == "jog") {
        const std::size_t speeds = xy ? 2 : 1;
        const bool timed = words.size() == 3 + speeds;
        if (!ParseNumbers(words, 2, speeds + (timed ? 1 : 0), v))
            return Bad(what + " takes " + (xy ? "VX VY" : "V") + " in rev/s and a duration [S]");
        if (timed && v[speeds] < 0) return Bad(what + ": the duration is not negative");
        return {};
    }
    if (action == "find-limits" && drive != "r") {
        if (words.size() != 2) return Bad(what + " takes nothing");
        return {};
    }
    return Bad("unknown " + drive + " command: " + action);
}

CommandResult CheckSet(const std::vector<std::string>& words) {
    if (words.size() < 3 || !IsDrive(words[1])) return Bad("set DRIVE KEY VALUE");
    const std::string drive = words[1] == "rotary" ? "r" : words[1];
    const std::string& key = words[2];
    const std::string what = "set " + drive + " " + key;
    const bool xy = drive == "xy";
    double v[2] = {0, 0};
    if (key == "speed" || key == "joystick-speed" || key == "acceleration") {
        if (!ParseNumbers(words, 3, 1, v)) v[0] = -1;  // said as the value's rule
        const std::string problem = SettingValueProblem(what, key, v[0], 0);
        return problem.empty() ? CommandResult{} : Bad(problem);
    }
    if (key == "joystick") {
        if (words.size() != 4 || (words[3] != "on" && words[3] != "off"))
            return Bad(what + " on|off");
        return {};
    }
    if (key == "lower" || key == "upper" || key == "origin" || key == "flip") {
        if (drive == "r") return Bad("the rotary drive has no " + key);
        const std::size_t needed = xy ? 2 : 1;
        if (key == "origin" && words.size() == 3) return {};  // here
        if (!ParseNumbers(words, 3, needed, v))
            return Bad(what + " takes " + (xy ? "X Y" : "one number") +
                       (key == "flip" ? ", each 1 or -1" : " in micrometres"));
        const std::string problem = SettingValueProblem(what, key, v[0], xy ? v[1] : v[0]);
        return problem.empty() ? CommandResult{} : Bad(problem);
    }
    return Bad("unknown setting: " + key);
}

}  // namespace

CommandResult CheckCommand(const std::string& line, bool topLevel) {
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return {};
    const std::string& verb = words[0];
    if ((verb == "help" || verb == "info" || verb == "pos" || verb == "save") && words.size() == 1)
        return {};
    if (verb == "help") {
        if (words.size() == 2 && !CommandRunner::HelpFor(words[1], topLevel).empty()) return {};
        return Bad("help takes one command's name");
    }
    if (IsDrive(verb)) return CheckDrive(words);
    if (verb == "set") return CheckSet(words);
    if (verb == "collect") {
        if (words.size() != 2) return Bad("collect takes its moves in one quoted text");
        bool any = false;
        for (const std::string& move : SplitScript(words[1])) {
            const std::vector<std::string> w = SplitWords(move);
            if (w.empty()) continue;
            any = true;
            if (w.size() < 2 || !IsDrive(w[0]) || (w[1] != "move-abs" && w[1] != "move-rel"))
                return Bad("collect takes only moves (move-abs, move-rel), not '" + move + "'");
            const CommandResult r = CheckDrive(w);
            if (r.exitCode != kExitOk) return r;
        }
        if (!any) return Bad("collect needs at least one move");
        return {};
    }
    if (verb == "dialog") {
        if (words.size() == 2 && (words[1] == "device" || IsDrive(words[1]))) return {};
        return Bad("dialog device|xy|z|r");
    }
    if (topLevel && verb == "shell" && words.size() == 1) return {};
    if (topLevel && verb == "ports" &&
        (words.size() == 1 || (words.size() == 2 && words[1] == "--probe")))
        return {};
    if (topLevel && verb == "doctor") {
        if (words.size() == 1 || (words.size() == 3 && words[1] == "--bundle")) return {};
        return Bad("doctor takes nothing or --bundle FILE");
    }
    if (topLevel && verb == "run") {
        if (words.size() != 2) return Bad("run takes its commands in one quoted text");
        return CheckScript(words[1]);
    }
    return Bad("unknown command: " + line);
}

CommandResult CheckScript(const std::string& script) {
    for (const std::string& command : SplitScript(script)) {
        const CommandResult r = CheckCommand(command);
        if (r.exitCode != kExitOk) return r;
    }
    return {};
}

}  // namespace tessaro_host
