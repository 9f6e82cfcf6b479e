#include "session/operations.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include "host/kx_time.h"
#include "platform/console.h"

namespace tessaro_host {
namespace {

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

OpResult Failure(ResultKind kind, const std::string& reason, const std::string& hint = {}) {
    return {kind, reason, hint, {}};
}

std::string FailedText(const std::string& what, int code) {
    return what + " failed: " + Meaning(code) + " (result " + std::to_string(code) + ")";
}

LineDrive LineDriveOf(Drive drive) {
    return drive == Drive::kXY  ? LineDrive::kXY
           : drive == Drive::kZ ? LineDrive::kZ
                                : LineDrive::kRotary;
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

const char* DriveWord(Drive drive) {
    return drive == Drive::kXY ? "xy" : drive == Drive::kZ ? "z" : "r";
}

OpResult Operations::Check(Drive drive) const {
    if (!m_session.device) return Failure(ResultKind::kNotConnected, "not connected");
    const bool has = drive == Drive::kXY  ? m_session.xy != nullptr
                     : drive == Drive::kZ ? m_session.z != nullptr
                                          : m_session.rotary != nullptr;
    if (has) return {};
    return Failure(ResultKind::kNoDrive,
                   std::string("the controller has no ") + DriveWord(drive) + " drive");
}

OpResult Operations::Judge(Drive* drive, const std::string& what, int code, std::size_t told,
                           Judging judging) {
    const std::vector<DeviceLine> lines = m_session.DiagnosticsSince(told);
    const LineDrive about = drive ? LineDriveOf(*drive) : LineDrive::kNone;
    OpResult result;
    if (code != 0) {
        result = Failure(ResultKind::kFailed, FailedText(what, code));
        // The device names the processor's error, where there was one, or
        // why it refused the operation or stopped it; for a setting, the
        // value it did not take.
        const DeviceLine* why = nullptr;
        for (const DeviceLine& line : lines)
            if (judging == Judging::kSetting && !why && line.valueRefused) why = &line;
        if (judging != Judging::kSetting) why = WhyFailed(lines, about);
        if (why) {
            result.reason += "; " + why->text;
            result.deviceLine = why->text;
            result.kind = why->lineLost       ? ResultKind::kLineLost
                          : why->stopped      ? ResultKind::kStopped
                          : why->valueRefused ? ResultKind::kRefused
                                              : ResultKind::kFailed;
        }
        return result;
    }
    // A positioning move answers success also when it ended at a limit
    // switch or past its bound, and a search when it found no switch; the
    // device says so, and here that is a failure.
    for (const DeviceLine& line : lines) {
        if (judging != Judging::kMotion || !line.endedBadly ||
            (about != LineDrive::kNone && line.drive != about))
            continue;
        result = Failure(ResultKind::kFailed, what + ": " + line.text);
        result.deviceLine = line.text;
        return result;
    }
    return result;
}

OpResult Operations::Watched(Drive* drive, const std::string& what,
                             const std::function<int()>& operation, bool stoppable,
                             Judging judging) {
    // How Ctrl-C stops a drive: a velocity move of speed 0 from the watching
    // thread. The stage and focus waits let go of their drive between polls,
    // so it gets through at once; the rotary wait (and a limit search) takes
    // it as a request at its next poll.
    HostSession& s = m_session;
    const bool all = drive == nullptr;
    const Drive which = drive ? *drive : Drive::kXY;
    std::function<void()> stop;
    if (stoppable)
        stop = [&s, all, which] {
            if (s.xy && (all || which == Drive::kXY)) s.xy->MoveVelocity(0, 0);
            if (s.z && (all || which == Drive::kZ)) s.z->MoveVelocity(0);
            if (s.rotary && (all || which == Drive::kRotary)) s.rotary->MoveVelocity(0);
        };
    bool interrupted = false;
    const std::size_t told = s.DiagnosticCount();
    const int code = RunWatched(s, operation, stop, &interrupted);
    if (interrupted)
        return Failure(ResultKind::kInterrupted, what + " stopped by " + platform::InterruptName());
    return Judge(drive, what, code, told, judging);
}

int Operations::Start(const MoveRequest& m) {
    HostSession& s = m_session;
    switch (m.drive) {
        case Drive::kXY:
            return m.relative ? s.xy->MoveRelative(m.a, m.b) : s.xy->MoveAbsolute(m.a, m.b);
        case Drive::kZ:
            return m.relative ? s.z->MoveRelative(m.a) : s.z->MoveAbsolute(m.a);
        case Drive::kRotary:
            break;
    }
    return m.relative ? s.rotary->MoveRelative(m.a) : s.rotary->MoveAbsolute(m.a);
}

OpResult Operations::Beyond(const MoveRequest& m, const std::string& what) {
    // The session keeps moves inside the limits the user set; the drives
    // themselves do not.
    if (m.drive == Drive::kRotary) return {};
    const double target[2] = {m.a, m.b};
    const std::vector<AxisLimits> axes =
        ReadAxisLimits(m.drive == Drive::kXY ? m_session.xy : nullptr, m_session.z);
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const std::string beyond = BeyondLimits(
            axes[i].name, m.relative ? axes[i].position + target[i] : target[i], axes[i].limits);
        if (!beyond.empty())
            return Failure(
                ResultKind::kRefused, what + " refused: " + beyond,
                std::string("set ") + DriveWord(m.drive) + " lower/upper to change the limits");
    }
    return {};
}

OpResult Operations::Move(const MoveRequest& move) {
    if (OpResult checked = Check(move.drive); !checked.Ok()) return checked;
    const std::string what =
        std::string(DriveWord(move.drive)) + (move.relative ? " move-rel" : " move-abs");
    if (OpResult beyond = Beyond(move, what); !beyond.Ok()) return beyond;
    Drive drive = move.drive;
    return Watched(
        &drive, what, [this, move] { return Start(move); }, true, Judging::kMotion);
}

OpResult Operations::MoveTogether(const std::vector<MoveRequest>& moves) {
    for (const MoveRequest& move : moves) {
        if (OpResult checked = Check(move.drive); !checked.Ok()) return checked;
        const std::string what =
            std::string(DriveWord(move.drive)) + (move.relative ? " move-rel" : " move-abs");
        if (OpResult beyond = Beyond(move, what); !beyond.Ok()) return beyond;
    }
    IKxPhysicalDevice* device = m_session.device;
    // While collecting, the drives only store the moves.
    device->SetCollectMoves(true);
    for (const MoveRequest& move : moves) {
        const int code = Start(move);
        if (code == 0) continue;
        device->SetCollectMoves(false);
        return Failure(ResultKind::kFailed,
                       FailedText(std::string(DriveWord(move.drive)) +
                                      (move.relative ? " move-rel" : " move-abs"),
                                  code));
    }
    const OpResult result = Watched(
        nullptr, "collected move", [device] { return device->ExecuteCollectedMoves(0); }, true,
        Judging::kMotion);
    device->SetCollectMoves(false);
    return result;
}

OpResult Operations::FindLimits(Drive drive) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    if (drive == Drive::kRotary)
        return Failure(ResultKind::kUsage, "the rotary drive has no limit switches");
    HostSession& s = m_session;
    return Watched(
        &drive, std::string(DriveWord(drive)) + " find-limits",
        [&s, drive] { return drive == Drive::kXY ? s.xy->FindLimits() : s.z->FindLimits(); }, true,
        Judging::kMotion);
}

OpResult Operations::Jog(Drive drive, double a, double b, double seconds) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    HostSession& s = m_session;
    const auto velocity = [&s, drive](double va, double vb) {
        if (drive == Drive::kXY) return s.xy->MoveVelocity(va, vb);
        if (drive == Drive::kZ) return s.z->MoveVelocity(va);
        return s.rotary->MoveVelocity(va);
    };
    const bool moving = a != 0 || (drive == Drive::kXY && b != 0);
    const std::string what = std::string(DriveWord(drive)) + " jog";
    // A jog ends by its own wait (or is left running): no stop from the
    // watcher.
    OpResult result = Watched(
        &drive, what,
        [=] {
            const int code = velocity(a, b);
            if (code != 0 || !moving || seconds < 0) return code;
            WaitForInterrupt(seconds);
            return velocity(0, 0);
        },
        false, Judging::kJog);
    bool joystick = true;
    if (result.kind == ResultKind::kFailed && drive == Drive::kXY &&
        s.xy->GetJoystickEnabled(&joystick) == 0 && !joystick)
        return Failure(ResultKind::kFailed, what +
                                                " failed: the stage's joystick moves are "
                                                "switched off (set xy joystick on)");
    return result;
}

OpResult Operations::SetSpeed(Drive drive, double v) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    HostSession& s = m_session;
    const std::size_t told = s.DiagnosticCount();
    const int code = drive == Drive::kXY  ? s.xy->SetSpeed(v)
                     : drive == Drive::kZ ? s.z->SetSpeed(v)
                                          : s.rotary->SetSpeed(v);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " speed", code, told,
                 Judging::kSetting);
}

OpResult Operations::SetJoystickSpeed(Drive drive, double v) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    HostSession& s = m_session;
    const std::size_t told = s.DiagnosticCount();
    const int code = drive == Drive::kXY  ? s.xy->SetMaxJoystickSpeed(v)
                     : drive == Drive::kZ ? s.z->SetMaxJoystickSpeed(v)
                                          : s.rotary->SetMaxJoystickSpeed(v);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " joystick-speed", code, told,
                 Judging::kSetting);
}

OpResult Operations::SetAcceleration(Drive drive, double v) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    // The drives take whole numbers; only a value checked to fit is
    // converted (a value of 1e10 converted unchecked would be undefined).
    if (!(v >= 0 && v <= 4294967295.0 && v == std::floor(v)))
        return Failure(ResultKind::kUsage, "the acceleration is a whole number of rev/s^2");
    const unsigned value = static_cast<unsigned>(v);
    HostSession& s = m_session;
    const std::size_t told = s.DiagnosticCount();
    const int code = drive == Drive::kXY  ? s.xy->SetAcceleration(value)
                     : drive == Drive::kZ ? s.z->SetAcceleration(value)
                                          : s.rotary->SetAcceleration(value);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " acceleration", code, told,
                 Judging::kSetting);
}

OpResult Operations::SetJoystick(Drive drive, bool on) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    HostSession& s = m_session;
    const std::size_t told = s.DiagnosticCount();
    const int code = drive == Drive::kXY  ? s.xy->SetJoystickEnabled(on)
                     : drive == Drive::kZ ? s.z->SetJoystickEnabled(on)
                                          : s.rotary->SetJoystickEnabled(on);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " joystick", code, told,
                 Judging::kSetting);
}

OpResult Operations::SetLimit(Drive drive, bool lower, double a, double b) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    const char* key = lower ? "lower" : "upper";
    if (drive == Drive::kRotary)
        return Failure(ResultKind::kUsage, std::string("the rotary drive has no ") + key);
    HostSession& s = m_session;
    const bool xy = drive == Drive::kXY;
    const double v[2] = {a, b};
    const std::vector<AxisLimits> axes = ReadAxisLimits(xy ? s.xy : nullptr, s.z);
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const std::string crossing = CrossesLimits(axes[i].name, lower, v[i], axes[i].limits);
        if (!crossing.empty())
            return Failure(ResultKind::kUsage,
                           std::string("set ") + DriveWord(drive) + " " + key + ": " + crossing);
    }
    const std::size_t told = s.DiagnosticCount();
    const int code = lower ? (xy ? s.xy->SetLowerLimits(a, b) : s.z->SetLowerLimit(a))
                           : (xy ? s.xy->SetUpperLimits(a, b) : s.z->SetUpperLimit(a));
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " " + key, code, told,
                 Judging::kSetting);
}

OpResult Operations::SetOrigin(Drive drive, bool here, double a, double b) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    if (drive == Drive::kRotary)
        return Failure(ResultKind::kUsage, "the rotary drive has no origin");
    HostSession& s = m_session;
    const bool xy = drive == Drive::kXY;
    // The present position becomes the origin.
    if (here && xy) s.xy->GetPosition(&a, &b);
    if (here && !xy) s.z->GetPosition(&a);
    const std::size_t told = s.DiagnosticCount();
    const int code = xy ? s.xy->SetAsZero(a, b) : s.z->SetAsZero(a);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " origin", code, told,
                 Judging::kSetting);
}

OpResult Operations::SetFlip(Drive drive, double a, double b) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    if (drive == Drive::kRotary) return Failure(ResultKind::kUsage, "the rotary drive has no flip");
    HostSession& s = m_session;
    const int fa = a < 0 ? -1 : 1, fb = b < 0 ? -1 : 1;
    const std::size_t told = s.DiagnosticCount();
    const int code = drive == Drive::kXY ? s.xy->SetAxisFlip(fa, fb) : s.z->SetAxisFlip(fa);
    return Judge(nullptr, std::string("set ") + DriveWord(drive) + " flip", code, told,
                 Judging::kSetting);
}

}  // namespace tessaro_host
