#include "session/host_commands.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "host/kx_dialogs.h"
#include "host/kx_string.h"
#include "session/command_check.h"
#include "session/operations.h"

namespace tessaro_host {
namespace {

constexpr double kDefaultJogSeconds = 60.0;  // a jog without a duration ends after this

CommandResult Ok() {
    return {};
}
CommandResult Usage(const std::string& reason) {
    return {kExitUsage, reason};
}
// An operation's result as the command's.
CommandResult FromOperation(const OpResult& r) {
    const int code = r.kind == ResultKind::kOk             ? kExitOk
                     : r.kind == ResultKind::kUsage        ? kExitUsage
                     : r.kind == ResultKind::kNoDrive      ? kExitNoController
                     : r.kind == ResultKind::kNotConnected ? kExitNoController
                     : r.kind == ResultKind::kInterrupted  ? kExitInterrupted
                                                           : kExitFailed;
    return {code, r.hint.empty() ? r.reason : r.reason + " (" + r.hint + ")"};
}

// The drive a word of the language names.
bool DriveNamed(const std::string& word, Drive* drive) {
    if (word == "xy")
        *drive = Drive::kXY;
    else if (word == "z")
        *drive = Drive::kZ;
    else if (word == "r" || word == "rotary")
        *drive = Drive::kRotary;
    else
        return false;
    return true;
}

}  // namespace

bool ParseFiniteNumber(const std::string& text, double* value) {
    // from_chars reads the same in every locale: a program that set a
    // numeric locale with a decimal comma (GUI toolkits do) reads "2.5" as
    // 2.5, as every file and script writes it. It takes no leading '+'; a
    // user may type one.
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
    double v = 0;
    const auto [stop, error] = std::from_chars(begin, end, v);
    if (begin == end || error != std::errc() || stop != end || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

bool ParseNumbers(const std::vector<std::string>& words, std::size_t first, std::size_t count,
                  double* out) {
    if (words.size() != first + count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!ParseFiniteNumber(words[first + i], &out[i])) return false;
    return true;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

std::vector<std::string> SplitScript(const std::string& script) {
    std::vector<std::string> commands;
    std::string current;
    bool quoted = false;
    for (char c : script) {
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            commands.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    commands.push_back(current);
    return commands;
}

std::string CommandRunner::Help(bool topLevel) {
    std::string help =
        "commands:\n"
        "  info                      controller information and the drive list\n"
        "  pos                       positions of all drives\n"
        "  xy move-abs X Y | move-rel DX DY     micrometres\n"
        "  z move-abs UM | move-rel UM          micrometres\n"
        "  r move-abs DEG | move-rel DEG        degrees\n"
        "  xy jog VX VY [S] | z jog V [S] | r jog V [S]\n"
        "                            velocity move in rev/s for S seconds (default 60)\n"
        "                            or until Ctrl-C; 0 stops\n"
        "  xy find-limits | z find-limits\n"
        "  collect \"MOVE; MOVE; ...\"  moves of several drives started together\n"
        "  set DRIVE speed V | joystick-speed V | acceleration N | joystick on|off\n"
        "  set DRIVE lower X [Y] | upper X [Y] | origin [X [Y]] | flip S [S]\n"
        "  save                      write the drives' settings to the settings file\n"
        "  dialog device|xy|z|r      show a dialog (on Linux as text)\n";
    // What only the command line takes (the shell and a script do not).
    if (topLevel)
        help +=
            "  run \"CMD; CMD; ...\"       several commands in one connection\n"
            "  shell                     an interactive prompt (Ctrl-D or exit leaves it)\n"
            "  ports [--probe]           the serial ports; --probe: which answer as a board\n"
            "  doctor [--bundle FILE]    a read-only check of the line: adapter, latency, round\n"
            "                            trip, repeats, limit switches, problems and fixes;\n"
            "                            --bundle: also an archive of it for support\n";
    help += "  help [COMMAND]\n";
    help += topLevel ? "Ctrl-C stops a move, a jog or a limit search.\n"
                     : "Ctrl-C stops a move, a jog or a limit search; exit (or Ctrl-D) leaves.\n";
    return help;
}

std::string CommandRunner::HelpFor(const std::string& verb, bool topLevel) {
    // The lines of the command list that name `verb` as a command ("  z
    // move-abs ...", "... | z jog V [S]"), each with the lines that go on
    // describing it.
    const std::string full = Help(topLevel);
    std::string found;
    bool taking = false;
    std::size_t at = 0;
    while (at < full.size()) {
        const std::size_t end = full.find('\n', at);
        const std::string line = full.substr(at, end - at + 1);
        at = end + 1;
        const bool continuation = line.rfind("                  ", 0) == 0;
        if (!continuation)
            taking = line.rfind("  " + verb + " ", 0) == 0 ||
                     line.find(" | " + verb + " ") != std::string::npos ||
                     line == "  " + verb + "\n";
        if (taking) found += line;
    }
    return found;
}

CommandResult CommandRunner::RunScript(const std::string& script) {
    // The whole script is checked before its first command runs.
    const CommandResult checked = CheckScript(script);
    if (checked.exitCode != kExitOk) return checked;
    for (const std::string& command : SplitScript(script)) {
        if (SplitWords(command).empty()) continue;
        const CommandResult r = Run(command);
        if (r.exitCode != kExitOk) return r;
    }
    return Ok();
}

CommandResult CommandRunner::Run(const std::string& line) {
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return Ok();
    const std::string& verb = words[0];
    if (verb == "help") {
        if (words.size() == 1) {
            m_out << Help(false);
            return Ok();
        }
        const std::string lines = words.size() == 2 ? HelpFor(words[1], false) : std::string();
        if (lines.empty()) return Usage("help takes one command's name (try help)");
        m_out << lines;
        return Ok();
    }
    if (!m_session.device) return {kExitNoController, "not connected"};
    if (verb == "info" && words.size() == 1) return Info();
    if (verb == "pos" && words.size() == 1) return Positions();
    if (verb == "xy" || verb == "z" || verb == "r" || verb == "rotary") return DriveCommand(words);
    if (verb == "set") return Set(words);
    if (verb == "collect" && words.size() == 2) return Collect(words[1]);
    if (verb == "save" && words.size() == 1) {
        std::string error;
        if (!m_session.SaveSettings(&error)) return {kExitFailed, error};
        m_out << "settings saved to " << m_session.options.settingsFile << "\n";
        return Ok();
    }
    if (verb == "dialog") return Dialog(words);
    return Usage("unknown command: " + line + " (try help)");
}

std::string InformationText(HostSession& session) {
    // Read from the information dialog as the user would see it.
    std::u16string text;
    host::SetDialogDriver([&](KxWindow dialog) {
        text = host::DialogItemText(dialog, 1034);
        host::ClickDialogButton(dialog, 1);
    });
    session.device->ShowDeviceDialog(0, nullptr);
    host::SetDialogDriver(nullptr);
    std::string narrow;
    for (char16_t c : text)
        if (c != u'\r') narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

CommandResult CommandRunner::Info() {
    CKxStringW name;
    m_session.device->GetDeviceName(name);
    m_out << KX_ToUtf8(name.str()) << ", connection state "
          << m_session.device->GetConnectionState() << "\n";
    m_out << InformationText(m_session) << "\n";
    m_out << "drives:\n";
    for (IKxLogicalDevice* d : m_session.drives) {
        unsigned id = 0;
        d->GetDeviceId(&id);
        m_out << "  " << KX_ToUtf8(d->GetDisplayName(0).str()) << " ("
              << KX_ToUtf8(d->GetInterfaceName().str()) << ", id " << id << ")\n";
    }
    return Ok();
}

CommandResult CommandRunner::Positions() {
    m_session.ReadPositions();
    const ReportedPositions& p = m_session.positions;
    char line[160];
    // A position that cannot be trusted says so on its line.
    const auto trust = [](const std::atomic<bool>& trusted) {
        return trusted ? "" : " (not trusted: set the origin or search the limits)";
    };
    if (m_session.xy) {
        std::snprintf(line, sizeof line, "xy %.3f %.3f um%s\n", p.x.load(), p.y.load(),
                      trust(p.xyTrusted));
        m_out << line;
    }
    if (m_session.z) {
        std::snprintf(line, sizeof line, "z %.3f um%s\n", p.z.load(), trust(p.zTrusted));
        m_out << line;
    }
    if (m_session.rotary) {
        std::snprintf(line, sizeof line, "r %.3f deg\n", p.angle.load());
        m_out << line;
    }
    return Ok();
}

CommandResult CommandRunner::DriveCommand(const std::vector<std::string>& words) {
    if (words.size() < 2) return Usage("what should " + words[0] + " do? (try help)");
    Drive drive = Drive::kZ;
    DriveNamed(words[0], &drive);
    const std::string name = DriveWord(drive);
    const std::string& action = words[1];
    const std::string what = name + " " + action;
    Operations operations(m_session);
    if (OpResult checked = operations.Check(drive); !checked.Ok()) return FromOperation(checked);
    double v[2] = {0, 0};
    if (action == "move-abs" || action == "move-rel") {
        const bool xy = drive == Drive::kXY;
        if (!ParseNumbers(words, 2, xy ? 2 : 1, v))
            return Usage(what + (xy                   ? " takes X Y in micrometres"
                                 : drive == Drive::kZ ? " takes micrometres"
                                                      : " takes degrees"));
        const MoveRequest move{drive, action == "move-rel", v[0], v[1]};
        if (m_collecting) {
            m_collected.push_back(move);
            return Ok();
        }
        return FromOperation(operations.Move(move));
    }
    if (action == "jog") {
        const std::size_t speeds = drive == Drive::kXY ? 2 : 1;
        double seconds = kDefaultJogSeconds;
        if (words.size() == 3 + speeds) {
            if (!ParseFiniteNumber(words.back(), &seconds) || seconds < 0)
                return Usage(what + ": bad duration");
        }
        if (!(words.size() == 2 + speeds || words.size() == 3 + speeds))
            return Usage(what + " takes " + (speeds == 2 ? "VX VY" : "V") + " [SECONDS]");
        for (std::size_t i = 0; i < speeds; ++i)
            if (!ParseFiniteNumber(words[2 + i], &v[i]))
                return Usage(what + ": bad speed " + words[2 + i]);
        return FromOperation(operations.Jog(drive, v[0], v[1], seconds));
    }
    if (action == "find-limits" && words.size() == 2 && drive != Drive::kRotary)
        return FromOperation(operations.FindLimits(drive));
    return Usage("unknown " + name + " command: " + action + " (try help)");
}

CommandResult CommandRunner::Set(const std::vector<std::string>& words) {
    if (words.size() < 3) return Usage("set DRIVE KEY VALUE (try help)");
    Drive drive = Drive::kZ;
    if (!DriveNamed(words[1], &drive) || !Operations(m_session).Check(drive).Ok())
        return {kExitNoController, "no drive " + words[1]};
    const std::string name = DriveWord(drive);
    const std::string& key = words[2];
    const bool xy = drive == Drive::kXY;
    const std::size_t values = words.size() - 3;
    Operations operations(m_session);
    double v[2] = {0, 0};
    if (key == "speed" || key == "joystick-speed" || key == "acceleration") {
        if (!ParseNumbers(words, 3, 1, v))
            return Usage("set " + name + " " + key + " takes one number");
        return FromOperation(key == "speed"            ? operations.SetSpeed(drive, v[0])
                             : key == "joystick-speed" ? operations.SetJoystickSpeed(drive, v[0])
                                                       : operations.SetAcceleration(drive, v[0]));
    }
    if (key == "joystick") {
        if (values != 1 || (words[3] != "on" && words[3] != "off"))
            return Usage("set " + name + " joystick on|off");
        return FromOperation(operations.SetJoystick(drive, words[3] == "on"));
    }
    if (key == "lower" || key == "upper" || key == "origin" || key == "flip") {
        if (drive == Drive::kRotary) return Usage("the rotary drive has no " + key);
        const bool here = key == "origin" && values == 0;
        if (!here && !ParseNumbers(words, 3, xy ? 2 : 1, v))
            return Usage("set " + name + " " + key + " takes " + (xy ? "X Y" : "one number"));
        if (key == "origin") return FromOperation(operations.SetOrigin(drive, here, v[0], v[1]));
        if (key == "flip") return FromOperation(operations.SetFlip(drive, v[0], v[1]));
        return FromOperation(operations.SetLimit(drive, key == "lower", v[0], v[1]));
    }
    return Usage("unknown setting: " + key + " (try help)");
}

CommandResult CommandRunner::Collect(const std::string& moves) {
    // The moves are parsed (and checked as commands) first, then started
    // together.
    m_collecting = true;
    m_collected.clear();
    const CommandResult stored = RunScript(moves);
    m_collecting = false;
    if (stored.exitCode != kExitOk) return stored;
    return FromOperation(Operations(m_session).MoveTogether(m_collected));
}

CommandResult CommandRunner::Dialog(const std::vector<std::string>& words) {
    if (words.size() != 2) return Usage("dialog device|xy|z|r");
    const std::string& name = words[1];
    IKxLogicalDevice* drive = name == "xy"  ? static_cast<IKxLogicalDevice*>(m_session.xy)
                              : name == "z" ? static_cast<IKxLogicalDevice*>(m_session.z)
                              : name == "r" || name == "rotary"
                                  ? static_cast<IKxLogicalDevice*>(m_session.rotary)
                                  : nullptr;
    if (name != "device" && !drive) return Usage("no dialog " + name);
    // Without a window system the dialog is shown as text and closed again
    // without changes; on Windows the user works it.
    if (!host::HasWindowSystem()) {
        host::SetDialogDriver([&](KxWindow dialog) {
            m_out << host::DialogAsText(dialog);
            host::ClickDialogButton(dialog, name == "device" ? 1 : 2);
        });
    }
    if (drive)
        drive->ShowConfigurationDialog(nullptr);
    else
        m_session.device->ShowDeviceDialog(0, nullptr);
    host::SetDialogDriver(nullptr);
    return Ok();
}

}  // namespace tessaro_host
