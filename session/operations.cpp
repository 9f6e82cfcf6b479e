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

LineDrive LineDriveOf(Drive drive) {
    return drive == Drive::kXY  ? LineDrive::kXY
           : drive == Drive::kZ ? LineDrive::kZ
                                : LineDrive::kRotary;
}

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
        const DeviceLine* why = judging == Judging::kSetting ? nullptr : WhyFailed(lines, about);
        for (const DeviceLine& line : lines)
            if (judging == Judging::kSetting && !why && line.valueRefused &&
                (about == LineDrive::kNone || line.drive == about))
                why = &line;
        if (why) {
            result.reason += "; " + why->text;
            result.deviceLine = why->text;
            result.kind = why->failedForLostLine ? ResultKind::kLineLost
                          : why->stopped         ? ResultKind::kStopped
                          : why->valueRefused    ? ResultKind::kRefused
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
    if (!std::isfinite(move.a) || !std::isfinite(move.b))
        return Failure(ResultKind::kUsage, what + " takes finite numbers");
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
    if (!std::isfinite(a) || !std::isfinite(b))
        return Failure(ResultKind::kUsage, what + " takes finite numbers");
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
    // The stage refuses velocity moves while its joystick moves are
    // switched off: that, rather than any line, is why.
    bool joystick = true;
    if (!result.Ok() && result.kind != ResultKind::kInterrupted && drive == Drive::kXY &&
        s.xy->GetJoystickEnabled(&joystick) == 0 && !joystick)
        return Failure(ResultKind::kFailed,
                       what + " failed: the stage's joystick moves are switched off",
                       "set xy joystick on");
    return result;
}

std::string SettingValueProblem(const std::string& what, const std::string& key, double a,
                                double b) {
    if (key == "speed" || key == "joystick-speed")
        return std::isfinite(a) && a > 0 ? "" : what + " takes a speed in rev/s above 0";
    // The drives take the acceleration as a whole number of rev/s^2 (a
    // settings file or dialog may hold a fraction, such as the default 4.5,
    // but this interface cannot set one); only a value checked to fit is
    // converted (1e10 converted unchecked would be undefined).
    if (key == "acceleration")
        return a >= 1 && a <= 4294967295.0 && a == std::floor(a)
                   ? ""
                   : what +
                         " takes a whole number of rev/s^2, 1 or more (the drives' interface "
                         "sets whole numbers only)";
    if (key == "flip")
        return (a == 1 || a == -1) && (b == 1 || b == -1) ? "" : what + ": a direction is 1 or -1";
    return std::isfinite(a) && std::isfinite(b) ? "" : what + " takes finite numbers";
}

OpResult Operations::Setting(Drive drive, const std::string& key, double a, double b,
                             const std::function<int(Drive, double, double)>& set,
                             const std::function<std::string(double, double)>& refuse) {
    if (OpResult checked = Check(drive); !checked.Ok()) return checked;
    const std::string what = std::string("set ") + DriveWord(drive) + " " + key;
    if (drive == Drive::kRotary &&
        (key == "lower" || key == "upper" || key == "origin" || key == "flip"))
        return Failure(ResultKind::kUsage, "the rotary drive has no " + key);
    if (drive != Drive::kXY) b = key == "flip" ? 1 : 0;
    if (std::string problem = SettingValueProblem(what, key, a, b); !problem.empty())
        return Failure(ResultKind::kUsage, problem, "try help");
    if (std::string problem = refuse ? refuse(a, b) : std::string(); !problem.empty())
        return Failure(ResultKind::kUsage, what + ": " + problem);
    const std::size_t told = m_session.DiagnosticCount();
    const int code = set(drive, a, b);
    return Judge(&drive, what, code, told, Judging::kSetting);
}

// Calls `call` with the drive's interface: the three share their setters.
template <typename Call>
int OnDrive(HostSession& s, Drive drive, Call call) {
    return drive == Drive::kXY  ? static_cast<int>(call(s.xy))
           : drive == Drive::kZ ? static_cast<int>(call(s.z))
                                : static_cast<int>(call(s.rotary));
}

OpResult Operations::SetSpeed(Drive drive, double v) {
    HostSession& s = m_session;
    return Setting(drive, "speed", v, 0, [&s](Drive d, double a, double) {
        return OnDrive(s, d, [a](auto* x) { return x->SetSpeed(a); });
    });
}

OpResult Operations::SetJoystickSpeed(Drive drive, double v) {
    HostSession& s = m_session;
    return Setting(drive, "joystick-speed", v, 0, [&s](Drive d, double a, double) {
        return OnDrive(s, d, [a](auto* x) { return x->SetMaxJoystickSpeed(a); });
    });
}

OpResult Operations::SetAcceleration(Drive drive, double v) {
    HostSession& s = m_session;
    return Setting(drive, "acceleration", v, 0, [&s](Drive d, double a, double) {
        const unsigned value = static_cast<unsigned>(a);  // checked to fit
        return OnDrive(s, d, [value](auto* x) { return x->SetAcceleration(value); });
    });
}

OpResult Operations::SetJoystick(Drive drive, bool on) {
    HostSession& s = m_session;
    return Setting(drive, "joystick", 0, 0, [&s, on](Drive d, double, double) {
        return OnDrive(s, d, [on](auto* x) { return x->SetJoystickEnabled(on); });
    });
}

OpResult Operations::SetLimit(Drive drive, bool lower, double a, double b) {
    HostSession& s = m_session;
    const char* key = lower ? "lower" : "upper";
    const bool xy = drive == Drive::kXY;
    // The new limit may not cross the other one.
    const auto crossing = [&s, lower, xy](double va, double vb) {
        const double v[2] = {va, vb};
        const std::vector<AxisLimits> axes = ReadAxisLimits(xy ? s.xy : nullptr, s.z);
        for (std::size_t i = 0; i < axes.size(); ++i)
            if (std::string text = CrossesLimits(axes[i].name, lower, v[i], axes[i].limits);
                !text.empty())
                return text;
        return std::string();
    };
    return Setting(
        drive, key, a, b,
        [&s, lower, xy](Drive, double va, double vb) {
            return lower ? (xy ? s.xy->SetLowerLimits(va, vb) : s.z->SetLowerLimit(va))
                         : (xy ? s.xy->SetUpperLimits(va, vb) : s.z->SetUpperLimit(va));
        },
        crossing);
}

OpResult Operations::SetOrigin(Drive drive, bool here, double a, double b) {
    HostSession& s = m_session;
    // The present position becomes the origin.
    if (here && drive == Drive::kXY && s.xy && s.xy->GetPosition(&a, &b) != 0)
        return Failure(ResultKind::kFailed,
                       "set xy origin: the stage's position could not be read");
    if (here && drive == Drive::kZ && s.z && s.z->GetPosition(&a) != 0)
        return Failure(ResultKind::kFailed,
                       "set z origin: the focus drive's position could not be read");
    return Setting(drive, "origin", a, b, [&s](Drive d, double va, double vb) {
        return d == Drive::kXY ? s.xy->SetAsZero(va, vb) : s.z->SetAsZero(va);
    });
}

OpResult Operations::SetFlip(Drive drive, double a, double b) {
    HostSession& s = m_session;
    return Setting(drive, "flip", a, b, [&s](Drive d, double va, double vb) {
        const int fa = va < 0 ? -1 : 1, fb = vb < 0 ? -1 : 1;
        return d == Drive::kXY ? s.xy->SetAxisFlip(fa, fb) : s.z->SetAxisFlip(fa);
    });
}

}  // namespace tessaro_host
