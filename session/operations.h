// The operations of a session as typed calls: numbers in, a typed result
// out. tessaro-host's command language parses its text into these calls;
// libtessaro calls them directly. Each checks what the drives do not (the
// user's limits, whole accelerations), runs the drive's call and reads the
// device's lines of that call for its result. Long operations run on the
// calling thread; with a console (tessaro-host) Ctrl-C stops them and a
// terminal shows the positions meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "session/host_session.h"

namespace tessaro_host {

enum class Drive { kXY, kZ, kRotary };
// "xy", "z", "r": the drives' names in the command language and in reasons.
const char* DriveWord(Drive drive);
// The drive's name among the device's lines.
LineDrive LineDriveOf(Drive drive);

enum class ResultKind {
    kOk,
    kUsage,         // an argument the operation does not take (nothing was sent)
    kRefused,       // a value or target outside what the drive or the user's limits allow
    kNoDrive,       // the controller has no such drive
    kNotConnected,  // no session
    kLineLost,      // the line to the board is away
    kStopped,       // ended by the user's stop
    kInterrupted,   // ended by Ctrl-C (or another interrupt) at the console
    kFailed,        // the drive did not do what was asked
};

struct OpResult {
    ResultKind kind = ResultKind::kOk;
    std::string reason;      // one line, for a result that is not kOk
    std::string hint;        // what tessaro-host's user may do about it (a command)
    std::string deviceLine;  // the device's line that says why, when one did
    bool Ok() const { return kind == ResultKind::kOk; }
};

struct MoveRequest {
    Drive drive = Drive::kZ;
    bool relative = false;
    double a = 0, b = 0;  // micrometres (b: the stage's y) or degrees
};

class Operations {
  public:
    explicit Operations(HostSession& session) : m_session(session) {}

    // Whether the session has that drive: kOk, kNoDrive or kNotConnected.
    OpResult Check(Drive drive) const;
    // Waits for the move's end (the stage and focus drive keep it inside
    // the user's limits).
    OpResult Move(const MoveRequest& move);
    // The moves started together (each kept inside the limits first).
    OpResult MoveTogether(const std::vector<MoveRequest>& moves);
    OpResult FindLimits(Drive drive);
    // A velocity move in rev/s (0 stops); `seconds` >= 0: stopped again after
    // that long or at Ctrl-C, otherwise left running.
    OpResult Jog(Drive drive, double a, double b, double seconds = -1);
    OpResult SetSpeed(Drive drive, double revolutionsPerSecond);
    OpResult SetJoystickSpeed(Drive drive, double revolutionsPerSecond);
    OpResult SetAcceleration(Drive drive, double revolutionsPerSecond2);
    OpResult SetJoystick(Drive drive, bool on);
    OpResult SetLimit(Drive drive, bool lower, double a, double b);
    // The origin at `a` (and `b`) of the present frame, or where the drive
    // stands for `here`.
    OpResult SetOrigin(Drive drive, bool here, double a = 0, double b = 0);
    OpResult SetFlip(Drive drive, double a, double b);

  private:
    // How a drive call's result is read: a move or a search (which may also
    // answer 0 for an ending that was not asked for), a velocity move, a
    // setting (its line is the value not taken).
    enum class Judging { kMotion, kJog, kSetting };
    // The drive call's result as an operation's, from the device's lines
    // since `told`: `what` names the operation ("z move-rel").
    OpResult Judge(Drive* drive, const std::string& what, int code, std::size_t told,
                   Judging judging);
    // Why the move may not start (its target beyond the user's limits).
    OpResult Beyond(const MoveRequest& move, const std::string& what);
    // The drive's call that starts (or, while collecting, stores) a move.
    int Start(const MoveRequest& move);
    OpResult Watched(Drive* drive, const std::string& what, const std::function<int()>& operation,
                     bool stoppable, Judging judging);

    // A setting: the drive checked, the value checked (then `refuse`, for
    // what it depends on), `set` called, its result judged.
    OpResult Setting(Drive drive, const std::string& key, double a, double b,
                     const std::function<int(Drive, double, double)>& set,
                     const std::function<std::string(double, double)>& refuse = nullptr);

    HostSession& m_session;
};

// Why `what` ("set z speed") does not take the value(s) of its `key`
// (speed, joystick-speed, acceleration, flip; any other key: finite
// numbers); "" when it does. The language's check and the library share it.
std::string SettingValueProblem(const std::string& what, const std::string& key, double a,
                                double b);

}  // namespace tessaro_host
