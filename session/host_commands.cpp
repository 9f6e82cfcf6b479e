#include "session/host_commands.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "host/kx_dialogs.h"
#include "host/kx_string.h"
#include "host/kx_time.h"
#include "platform/console.h"
#include "session/command_check.h"

namespace tessaro_host {
namespace {

constexpr double kDefaultJogSeconds = 60.0;  // a jog without a duration ends after this

CommandResult Ok() {
    return {};
}
CommandResult Usage(const std::string& reason) {
    return {kExitUsage, reason};
}
// The host's result codes, as the user should read them.
const char* Meaning(int code) {
    switch (code) {
        case 1:
            return "the drive reported a failure";
        case 7:
            return "cancelled";
        case 12:
            return "a value out of range";
        case 21:
            return "the controller did not carry the motion out";
        case 22:
            return "not supported by this drive";
        default:
            return "unexpected result";
    }
}

CommandResult Failed(const std::string& what, int code) {
    return {kExitFailed,
            what + " failed: " + Meaning(code) + " (result " + std::to_string(code) + ")"};
}

// Whether a device line is about this drive ("xy", "z", "r"): moves of
// other drives may run at the same time and write their own.
bool AboutDrive(const std::string& line, const std::string& drive) {
    const char* name = drive == "xy" ? "XY" : drive == "z" ? "Z" : "rotary";
    return line.rfind(std::string("Tessaro device ") + name + " drive ", 0) == 0;
}

// Lines the device writes when a move or a search did not end as asked.
bool EndedBadly(const std::string& line) {
    for (const char* sign : {"steps from its target", "stopped at a limit switch",
                             "did not reach its target", "found no limit switch"})
        if (line.find(sign) != std::string::npos) return true;
    return false;
}

// The travel limits in micrometres (the drives keep them ordered; the
// whole travel reads as its two ends).
struct Limits {
    double low = 0, high = 0;
};

// Each axis of the stage (xy given) or of the focus drive: its name, where
// it stands and its limits, in micrometres.
struct AxisLimits {
    const char* name;
    double position = 0;
    Limits limits;
};
std::vector<AxisLimits> ReadAxisLimits(IKxDeviceXY* xy, IKxDeviceZ* z) {
    if (xy) {
        std::vector<AxisLimits> axes = {{"x", 0, {}}, {"y", 0, {}}};
        xy->GetPosition(&axes[0].position, &axes[1].position);
        xy->GetRange(&axes[0].limits.low, &axes[0].limits.high, &axes[1].limits.low,
                     &axes[1].limits.high);
        return axes;
    }
    std::vector<AxisLimits> axes = {{"z", 0, {}}};
    z->GetPosition(&axes[0].position);
    z->GetRange(&axes[0].limits.low, &axes[0].limits.high);
    return axes;
}

// Why `target` on `axis` may not be moved to; empty when it may.
std::string BeyondLimits(const std::string& axis, double target, const Limits& limits) {
    if (target >= limits.low && target <= limits.high) return {};
    char text[160];
    const bool below = target < limits.low;
    std::snprintf(text, sizeof text, "%s %.3f um lies %s the %s limit %.3f um", axis.c_str(),
                  target, below ? "below" : "above", below ? "lower" : "upper",
                  below ? limits.low : limits.high);
    return text;
}

// Why a new limit on `axis` would cross the other one; empty when it would
// not.
std::string CrossesLimits(const std::string& axis, bool lower, double value, const Limits& limits) {
    if (lower ? value <= limits.high : value >= limits.low) return {};
    char text[160];
    std::snprintf(text, sizeof text, "the %s %s limit %.3f um would lie %s the %s limit %.3f um",
                  axis.c_str(), lower ? "lower" : "upper", value, lower ? "above" : "below",
                  lower ? "upper" : "lower", lower ? limits.high : limits.low);
    return text;
}

}  // namespace

std::string FailureLine(const std::vector<std::string>& lines, const std::string& drive) {
    for (const std::string& line : lines)
        if ((drive.empty() || AboutDrive(line, drive)) &&
            (line.find(" failed: ") != std::string::npos ||
             line.find(" refused ") != std::string::npos ||
             line.find(" stopped") != std::string::npos ||
             line.find(" did not reach its target") != std::string::npos))
            return line;
    return {};
}

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
    if (verb == "xy" || verb == "z" || verb == "r" || verb == "rotary") return Drive(words);
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

namespace {

// Runs a long operation on this thread while another thread watches for
// Ctrl-C (then calls `stop` once) and, on a terminal, shows the positions the
// plug-in reports on one updating line.
int RunWatched(HostSession& session, const std::function<int()>& operation,
               const std::function<void()>& stop, bool* interrupted) {
    *interrupted = false;
    // Without a console the caller stops the operation itself.
    if (!session.options.console) return operation();
    platform::ClearInterrupt();
    std::atomic<bool> done{false};
    const bool status = platform::ErrorIsTerminal();
    // The line starts from where the drives stand now, not from 0 until
    // each has reported.
    session.ReadPositions();
    ReportedPositions& p = session.positions;
    if (p.line == ReportedPositions::kLineBack) p.line = ReportedPositions::kLineUp;
    // A '?' after a drive's figures: its position cannot be trusted. Then
    // the line's state, while it is not the usual one.
    const auto print = [&] {
        const int line = p.line;
        std::fprintf(stderr, "\r  x %10.3f  y %10.3f%c z %10.3f%c r %8.3f  %-9s", p.x.load(),
                     p.y.load(), p.xyTrusted ? ' ' : '?', p.z.load(), p.zTrusted ? ' ' : '?',
                     p.angle.load(),
                     line == ReportedPositions::kLineLost   ? "line lost"
                     : line == ReportedPositions::kLineBack ? "line back"
                                                            : "");
    };
    // The watcher looks every 50 ms and is woken at the end, so that the
    // operation's end is not held up by its sleep.
    std::mutex mutex;
    std::condition_variable ended;
    std::thread watcher([&] {
        bool stopped = false;
        std::unique_lock<std::mutex> lock(mutex);
        while (!done) {
            if (!stopped && platform::InterruptRequested()) {
                stopped = true;
                if (stop) stop();
            }
            if (status) print();
            ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done.load(); });
        }
    });
    const int result = operation();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    ended.notify_all();
    watcher.join();
    if (status) {
        // The final positions stay on screen.
        print();
        std::fprintf(stderr, "\n");
    }
    *interrupted = platform::InterruptRequested();
    platform::ClearInterrupt();
    return result;
}

// Waits for Ctrl-C or `seconds`, whichever comes first.
void WaitForInterrupt(double seconds) {
    const double end = KX_GetTimeCounter() + seconds * 1000.0;
    while (!platform::InterruptRequested() && KX_GetTimeCounter() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

CommandResult CommandRunner::Drive(const std::vector<std::string>& words) {
    if (words.size() < 2) return Usage("what should " + words[0] + " do? (try help)");
    const std::string drive = words[0] == "rotary" ? "r" : words[0];
    const std::string& action = words[1];
    const std::string what = drive + " " + action;
    IKxDeviceXY* xy = m_session.xy;
    IKxDeviceZ* z = m_session.z;
    IKxDeviceRotary* r = m_session.rotary;
    if ((drive == "xy" && !xy) || (drive == "z" && !z) || (drive == "r" && !r))
        return {kExitNoController, "the controller has no " + drive + " drive"};

    // How Ctrl-C stops each drive: a velocity move of speed 0 from the
    // watching thread. The stage and focus waits let go of their drive
    // between polls, so it gets through at once; the rotary wait (and a
    // limit search) takes it as a request at its next poll.
    std::function<void()> stop;
    if (drive == "xy") {
        stop = [xy] { xy->MoveVelocity(0, 0); };
    } else if (drive == "z") {
        stop = [z] { z->MoveVelocity(0); };
    } else {
        stop = [r] { r->MoveVelocity(0); };
    }

    double v[2] = {0, 0};
    std::function<int()> operation;
    if (action == "move-abs" || action == "move-rel") {
        const bool relative = action == "move-rel";
        if (drive == "xy") {
            if (!ParseNumbers(words, 2, 2, v)) return Usage(what + " takes X Y in micrometres");
            operation = [=] {
                return relative ? xy->MoveRelative(v[0], v[1]) : xy->MoveAbsolute(v[0], v[1]);
            };
        } else if (drive == "z") {
            if (!ParseNumbers(words, 2, 1, v)) return Usage(what + " takes micrometres");
            operation = [=] { return relative ? z->MoveRelative(v[0]) : z->MoveAbsolute(v[0]); };
        } else {
            if (!ParseNumbers(words, 2, 1, v)) return Usage(what + " takes degrees");
            operation = [=] { return relative ? r->MoveRelative(v[0]) : r->MoveAbsolute(v[0]); };
        }
        // The tool keeps moves inside the limits the user set; the drives
        // themselves do not.
        if (drive != "r") {
            std::string beyond;
            const std::vector<AxisLimits> axes = ReadAxisLimits(drive == "xy" ? xy : nullptr, z);
            for (std::size_t i = 0; i < axes.size() && beyond.empty(); ++i)
                beyond = BeyondLimits(axes[i].name, relative ? axes[i].position + v[i] : v[i],
                                      axes[i].limits);
            if (!beyond.empty())
                return {kExitFailed, what + " refused: " + beyond + " (set " + drive +
                                         " lower/upper to change the limits)"};
        }
        // While collecting, the drive only stores the move.
        if (m_collecting) {
            const int code = operation();
            return code == 0 ? Ok() : Failed(what, code);
        }
    } else if (action == "jog") {
        const std::size_t speeds = drive == "xy" ? 2 : 1;
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
        auto velocity = [=](double a, double b) {
            if (drive == "xy") return xy->MoveVelocity(a, b);
            if (drive == "z") return z->MoveVelocity(a);
            return r->MoveVelocity(a);
        };
        const bool moving = v[0] != 0 || v[1] != 0;
        operation = [=] {
            const int code = velocity(v[0], v[1]);
            if (code != 0 || !moving) return code;
            WaitForInterrupt(seconds);
            return velocity(0, 0);
        };
        // A jog ends by its own wait; a rotary jog is a velocity move and
        // stops like the others.
        stop = nullptr;
    } else if (action == "find-limits" && words.size() == 2 && drive != "r") {
        operation = [=] { return drive == "xy" ? xy->FindLimits() : z->FindLimits(); };
    } else {
        return Usage("unknown " + drive + " command: " + action + " (try help)");
    }

    bool interrupted = false;
    const std::size_t told = m_session.DiagnosticCount();
    const int code = RunWatched(m_session, operation, stop, &interrupted);
    if (interrupted) return {kExitInterrupted, what + " stopped by " + platform::InterruptName()};
    if (code != 0) {
        bool joystick = true;
        if (action == "jog" && xy && drive == "xy" && xy->GetJoystickEnabled(&joystick) == 0 &&
            !joystick)
            return {kExitFailed, what +
                                     " failed: the stage's joystick moves are switched off "
                                     "(set xy joystick on)"};
        // The device names the processor's error, where there was one, or
        // why it refused the move.
        const std::string line = FailureLine(m_session.DiagnosticsSince(told), drive);
        if (!line.empty()) return {kExitFailed, Failed(what, code).reason + "; " + line};
        return Failed(what, code);
    }
    // A positioning move answers success also when it ended at a limit
    // switch or after its 60 s wait, and a search when it found no switch;
    // the device says so, and here that is a failure.
    if (action != "jog") {
        for (const std::string& line : m_session.DiagnosticsSince(told))
            if (AboutDrive(line, drive) && EndedBadly(line))
                return {kExitFailed, what + ": " + line};
    }
    return Ok();
}

CommandResult CommandRunner::Set(const std::vector<std::string>& words) {
    if (words.size() < 3) return Usage("set DRIVE KEY VALUE (try help)");
    const std::string drive = words[1] == "rotary" ? "r" : words[1];
    const std::string& key = words[2];
    IKxLogicalDevice* target = drive == "xy"  ? static_cast<IKxLogicalDevice*>(m_session.xy)
                               : drive == "z" ? static_cast<IKxLogicalDevice*>(m_session.z)
                               : drive == "r" ? static_cast<IKxLogicalDevice*>(m_session.rotary)
                                              : nullptr;
    if (!target) return {kExitNoController, "no drive " + words[1]};
    IKxDeviceXY* xy = m_session.xy;
    IKxDeviceZ* z = drive == "z" ? m_session.z : nullptr;
    IKxDeviceRotary* r = drive == "r" ? m_session.rotary : nullptr;
    const bool isXY = drive == "xy";
    const std::size_t values = words.size() - 3;
    const std::size_t told = m_session.DiagnosticCount();
    double v[2] = {0, 0};
    int code = 0;
    auto one = [&](double* out) { return ParseNumbers(words, 3, 1, out); };
    if (key == "speed" || key == "joystick-speed" || key == "acceleration") {
        if (!one(v)) return Usage("set " + drive + " " + key + " takes one number");
        if (key == "acceleration" && (v[0] < 0 || v[0] > 4294967295.0 || v[0] != std::floor(v[0])))
            return Usage("the acceleration is a whole number of rev/s^2");
        // Only an acceleration is a whole number checked to fit; a speed of
        // 1e10 converted here would be undefined.
        const unsigned acceleration = key == "acceleration" ? static_cast<unsigned>(v[0]) : 0;
        if (key == "speed")
            code = isXY ? xy->SetSpeed(v[0]) : z ? z->SetSpeed(v[0]) : r->SetSpeed(v[0]);
        if (key == "joystick-speed")
            code = isXY ? xy->SetMaxJoystickSpeed(v[0])
                   : z  ? z->SetMaxJoystickSpeed(v[0])
                        : r->SetMaxJoystickSpeed(v[0]);
        if (key == "acceleration")
            code = isXY ? xy->SetAcceleration(acceleration)
                   : z  ? z->SetAcceleration(acceleration)
                        : r->SetAcceleration(acceleration);
    } else if (key == "joystick") {
        if (values != 1 || (words[3] != "on" && words[3] != "off"))
            return Usage("set " + drive + " joystick on|off");
        const bool on = words[3] == "on";
        code = isXY ? xy->SetJoystickEnabled(on)
               : z  ? z->SetJoystickEnabled(on)
                    : r->SetJoystickEnabled(on);
    } else if (key == "lower" || key == "upper" || key == "origin" || key == "flip") {
        if (r) return Usage("the rotary drive has no " + key);
        const std::size_t needed = isXY ? 2 : 1;
        if (key == "origin" && values == 0) {
            // The present position becomes the origin.
            if (isXY)
                xy->GetPosition(&v[0], &v[1]);
            else
                z->GetPosition(&v[0]);
        } else if (!ParseNumbers(words, 3, needed, v)) {
            return Usage("set " + drive + " " + key + " takes " + (isXY ? "X Y" : "one number"));
        }
        if (key == "lower" || key == "upper") {
            const bool lower = key == "lower";
            std::string crossing;
            const std::vector<AxisLimits> axes = ReadAxisLimits(isXY ? xy : nullptr, z);
            for (std::size_t i = 0; i < axes.size() && crossing.empty(); ++i)
                crossing = CrossesLimits(axes[i].name, lower, v[i], axes[i].limits);
            if (!crossing.empty()) return Usage("set " + drive + " " + key + ": " + crossing);
        }
        if (key == "lower") code = isXY ? xy->SetLowerLimits(v[0], v[1]) : z->SetLowerLimit(v[0]);
        if (key == "upper") code = isXY ? xy->SetUpperLimits(v[0], v[1]) : z->SetUpperLimit(v[0]);
        if (key == "origin") code = isXY ? xy->SetAsZero(v[0], v[1]) : z->SetAsZero(v[0]);
        if (key == "flip") {
            const int fx = v[0] < 0 ? -1 : 1, fy = v[1] < 0 ? -1 : 1;
            code = isXY ? xy->SetAxisFlip(fx, fy) : z->SetAxisFlip(fx);
        }
    } else {
        return Usage("unknown setting: " + key + " (try help)");
    }
    if (code != 0) {
        // A value the drive did not take: its line says why.
        for (const std::string& line : m_session.DiagnosticsSince(told))
            if (line.find(" lies outside ") != std::string::npos)
                return {kExitFailed, Failed("set " + drive + " " + key, code).reason + "; " + line};
        return Failed("set " + drive + " " + key, code);
    }
    return Ok();
}

CommandResult CommandRunner::Collect(const std::string& moves) {
    IKxPhysicalDevice* device = m_session.device;
    device->SetCollectMoves(true);
    m_collecting = true;
    CommandResult stored = RunScript(moves);
    m_collecting = false;
    if (stored.exitCode != kExitOk) {
        device->SetCollectMoves(false);
        return stored;
    }
    bool interrupted = false;
    const std::size_t told = m_session.DiagnosticCount();
    const int code = RunWatched(
        m_session, [device] { return device->ExecuteCollectedMoves(0); },
        [this] {
            if (m_session.xy) m_session.xy->MoveVelocity(0, 0);
            if (m_session.z) m_session.z->MoveVelocity(0);
            if (m_session.rotary) m_session.rotary->MoveVelocity(0);
        },
        &interrupted);
    device->SetCollectMoves(false);
    if (interrupted)
        return {kExitInterrupted,
                std::string("collected move stopped by ") + platform::InterruptName()};
    if (code != 0) {
        // The device names the drive that failed, and why.
        const std::string line = FailureLine(m_session.DiagnosticsSince(told));
        if (!line.empty())
            return {kExitFailed, Failed("collected move", code).reason + "; " + line};
        return Failed("collected move", code);
    }
    for (const std::string& line : m_session.DiagnosticsSince(told))
        if (EndedBadly(line)) return {kExitFailed, "collected move: " + line};
    return Ok();
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
