// The C interface over the host session tessaro-host uses: the same typed
// operations (checked as there, kept inside the user's limits, their
// failures explained by the device's own lines), run with the session's
// console off. Reads (positions, limits, parameters) go to the drives
// directly.
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <streambuf>
#include <string>
#include <thread>

#include "capi/event_delivery.h"
#include "capi/operation_slot.h"
#include "capi/tessaro.h"
#include "host/kx_module.h"
#include "host/kx_time.h"
#include "session/host_commands.h"
#include "session/host_session.h"
#include "session/operations.h"
#include "session/port_finder.h"
#include "tools/tessaro-host/tool_version.h"

using tessaro_capi::OperationSlot;
using tessaro_capi::Outcome;
using tessaro_host::MoveRequest;
using tessaro_host::OpResult;
using tessaro_host::ResultKind;

namespace {

thread_local std::string t_error;
thread_local std::string t_diagnostic;

// The session's own lines ("connected on ...") are the console's; a library
// keeps quiet.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

// One board at a time: the module's diagnostics and dialogs go to one sink.
std::atomic<bool> g_boardOpen{false};

int Report(const Outcome& outcome) {
    const bool ok = outcome.code == TESSARO_OK;
    t_error = ok ? std::string() : outcome.reason;
    t_diagnostic = ok ? std::string() : outcome.deviceLine;
    return outcome.code;
}
int Fail(int code, const std::string& reason) {
    return Report({code, reason});
}
int Succeed() {
    return Report({});
}

const char* DriveWord(int drive) {
    return drive == TESSARO_XY ? "xy" : drive == TESSARO_Z ? "z" : "r";
}

// An operation's result as the C interface names it (the hint, a command
// of tessaro-host, means nothing here). `motion`: a move or a search.
Outcome FromOperation(const OpResult& r, bool motion) {
    const int code = r.kind == ResultKind::kOk             ? TESSARO_OK
                     : r.kind == ResultKind::kUsage        ? TESSARO_ERROR_VALUE
                     : r.kind == ResultKind::kRefused      ? TESSARO_ERROR_VALUE
                     : r.kind == ResultKind::kNoDrive      ? TESSARO_ERROR_NO_DRIVE
                     : r.kind == ResultKind::kNotConnected ? TESSARO_ERROR_LINE
                     : r.kind == ResultKind::kLineLost     ? TESSARO_ERROR_LINE
                     : r.kind == ResultKind::kStopped      ? TESSARO_STOPPED
                     : r.kind == ResultKind::kInterrupted  ? TESSARO_STOPPED
                     : motion                              ? TESSARO_ERROR_MOTION
                                                           : TESSARO_ERROR;
    return {code, r.reason, r.deviceLine};
}

tessaro_host::Drive DriveOf(int drive) {
    return drive == TESSARO_XY  ? tessaro_host::Drive::kXY
           : drive == TESSARO_Z ? tessaro_host::Drive::kZ
                                : tessaro_host::Drive::kRotary;
}

// Shortest text that reads back as the same double, in every locale.
std::string Number(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

int CopyText(const std::string& text, char* out, std::size_t size, std::size_t* needed) {
    if (needed) *needed = text.size() + 1;
    if (out && size > 0) {
        const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return Succeed();
}

// A stop that failed: its result, and the device's line that says why.
int StopFailure(tessaro_host::HostSession& s, std::size_t told, int drive, const std::string& what,
                int code) {
    std::string why = what + " failed (result " + std::to_string(code) + ")";
    const std::vector<tessaro_host::DeviceLine> lines = s.DiagnosticsSince(told);
    const tessaro_host::DeviceLine* line = tessaro_host::WhyFailed(
        lines, drive == TESSARO_ALL ? tessaro_host::LineDrive::kNone
                                    : tessaro_host::LineDriveOf(DriveOf(drive)));
    if (line) why += "; " + line->text;
    // A stop is a packet or two: it fails only when the line did (lost, or a
    // reply that did not come back whole), and then it may not have reached
    // the board.
    return Report({TESSARO_ERROR_LINE, why, line ? line->text : std::string()});
}

}  // namespace

struct tessaro_board {
    // First, so that it goes last: the session's reports post into it.
    tessaro_capi::EventDelivery events;
    NullBuffer quiet;
    std::ostream out{&quiet};
    tessaro_host::HostSession session{out};
    // [0]: the collected moves, then one per drive.
    OperationSlot slots[4];
    std::mutex collectMutex;
    bool collecting = false;  // under collectMutex
    // Per drive: a jog started and not stopped since, when it started, and
    // when the drive last reported a new position (ms of KX_GetTimeCounter).
    std::atomic<bool> jogging[4] = {};
    std::atomic<int> jogsStarting{0};  // jogs past their check, not yet sent
    std::atomic<double> jogStartedMs[4] = {}, lastReportMs[4] = {};
    // The thread that began the collection: only its moves are stored
    // (another thread's move runs as usual), under collectMutex.
    std::thread::id collector;
    std::vector<MoveRequest> collected;  // the moves stored so far, under collectMutex

    bool Has(int drive) {
        return (drive == TESSARO_XY && session.xy) || (drive == TESSARO_Z && session.z) ||
               (drive == TESSARO_ROTARY && session.rotary);
    }
    tessaro_host::Operations Operations() { return tessaro_host::Operations(session); }
    // Every drive asked is stopped, whatever the one before answered; the
    // first failure, or 0.
    int Stop(int drive) {
        int first = 0;
        // A stop that did not reach the board leaves its jog running.
        const auto keep = [this, &first](int d, int code) {
            if (code == 0) jogging[d] = false;
            first = first ? first : code;
        };
        if ((drive == TESSARO_ALL || drive == TESSARO_XY) && session.xy)
            keep(TESSARO_XY, session.xy->MoveVelocity(0, 0));
        if ((drive == TESSARO_ALL || drive == TESSARO_Z) && session.z)
            keep(TESSARO_Z, session.z->MoveVelocity(0));
        if ((drive == TESSARO_ALL || drive == TESSARO_ROTARY) && session.rotary)
            keep(TESSARO_ROTARY, session.rotary->MoveVelocity(0));
        return first;
    }
    // Runs a long operation on the drive's slot; with `wait`, to its end.
    int Long(int drive, std::function<OpResult()> operation, int wait) {
        Outcome started;
        {
            std::lock_guard<std::mutex> lock(collectMutex);
            started = StartLocked(drive, std::move(operation));
        }
        if (started.code != TESSARO_OK || !wait) return Report(started);
        return Await(drive);
    }
    // The outcome of the drive's operation, once it has ended.
    int Await(int drive) {
        bool done = false;
        return Report(slots[drive].Wait(-1, &done));
    }
    // The check that no collected moves run on a drive's moves (and none of
    // the drives' on the collected ones) and the start, in one piece under
    // collectMutex.
    Outcome StartLocked(int drive, std::function<OpResult()> operation) {
        if (drive != TESSARO_ALL && slots[TESSARO_ALL].Running())
            return {TESSARO_ERROR_BUSY, "the collected moves are still running"};
        if (drive == TESSARO_ALL && jogsStarting > 0)
            return {TESSARO_ERROR_BUSY, "a jog is being started; the collected moves are kept"};
        for (int d = TESSARO_XY; drive == TESSARO_ALL && d <= TESSARO_ROTARY; ++d)
            if (slots[d].Running())
                return {TESSARO_ERROR_BUSY,
                        std::string("the ") + DriveWord(d) +
                            " drive is still carrying out its last operation; the collected moves "
                            "are kept"};
        return slots[drive].Start(
            [operation = std::move(operation)] { return FromOperation(operation(), true); });
    }
};

namespace {

// A callback replaced while a call of it did not return within its time.
int ReplacedLate() {
    return Fail(TESSARO_ERROR_TIMEOUT,
                "the new callback is installed, but a call of the one before has not returned "
                "within 10 s: it may still be running (it is not called again)");
}

// The checks every call on a drive makes first; 0 when it may go on.
int CheckDrive(tessaro_board* board, int drive, bool allowAll = false) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    if (drive == TESSARO_ALL && allowAll) return TESSARO_OK;
    if (drive < TESSARO_XY || drive > TESSARO_ROTARY)
        return Fail(TESSARO_ERROR_VALUE, "no drive number " + std::to_string(drive));
    if (!board->Has(drive))
        return Fail(TESSARO_ERROR_NO_DRIVE,
                    std::string("the controller has no ") + DriveWord(drive) + " drive");
    return TESSARO_OK;
}

int CheckFinite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return Fail(TESSARO_ERROR_VALUE, Number(v) + " is not a number");
    return TESSARO_OK;
}

}  // namespace

extern "C" {

TESSARO_API const char* tessaro_last_error(void) {
    return t_error.c_str();
}

TESSARO_API const char* tessaro_last_diagnostic(void) {
    return t_diagnostic.c_str();
}

TESSARO_API const char* tessaro_version(void) {
    return TESSARO_HOST_VERSION_TEXT;
}

TESSARO_API int tessaro_ports(int probe, char* text, size_t size, size_t* needed) {
    std::string lines;
    for (const tessaro_host::PortReport& port : tessaro_host::FindPorts(probe != 0))
        lines += std::to_string(port.number) + "\t" + port.path + "\t" + port.description + "\t" +
                 std::to_string(port.latencyMs) + "\t" + port.answer + "\n";
    return CopyText(lines, text, size, needed);
}

TESSARO_API int tessaro_connect(int port, const char* device, const char* settings,
                                const char* module, tessaro_board** board) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no place for the board (null)");
    *board = nullptr;
    if (port < 1 || port > 254)
        return Fail(TESSARO_ERROR_VALUE,
                    "a COM port number is 1 to 254, not " + std::to_string(port));
    tessaro_host::SessionOptions options;
    options.port = port;
    options.device = device ? device : "";
    options.settingsFile = settings ? settings : "";
    options.modulePath =
        module ? module
               : host::DirectoryOfAddress(reinterpret_cast<const void*>(&tessaro_connect)) +
                     host::ModuleFileName("TessaroDevice");
    options.metadata = false;
    options.console = false;
    if (!options.settingsFile.empty()) {
        if (std::string problem = tessaro_host::SettingsFileProblem(options.settingsFile);
            !problem.empty())
            return Fail(TESSARO_ERROR, problem);
    }
    if (std::string problem = tessaro_host::ModuleProblem(options.modulePath); !problem.empty())
        return Fail(TESSARO_ERROR, problem);
    bool expected = false;
    if (!g_boardOpen.compare_exchange_strong(expected, true))
        return Fail(TESSARO_ERROR, "a board is connected already (one at a time in a program)");
    if (std::string problem = tessaro_host::PortProblem(port, options.device); !problem.empty()) {
        g_boardOpen = false;
        return Fail(TESSARO_ERROR_LINE, problem);
    }
    auto made = std::make_unique<tessaro_board>();
    // The plug-in's reports only queue; the board's own thread calls the
    // program. From the start: the connect's own lines wait for a callback.
    tessaro_capi::EventDelivery& events = made->events;
    tessaro_board* at = made.get();
    made->session.SetPositionListener([at](unsigned id, double a, double b) {
        if (id < 4) at->lastReportMs[id] = KX_GetTimeCounter();
        at->events.Post(static_cast<int>(id), a, b);
    });
    made->session.SetLineListener(
        [&events](bool warning, const std::string& line) { events.PostLine(warning, line); });
    std::string error;
    if (!made->session.Open(options, &error)) {
        made->session.Close();
        g_boardOpen = false;
        return Fail(error.rfind("cannot load", 0) == 0 || error.rfind("the module", 0) == 0 ||
                            error.rfind("the factory", 0) == 0
                        ? TESSARO_ERROR
                        : TESSARO_ERROR_LINE,
                    error);
    }
    *board = made.release();
    return Succeed();
}

namespace {

int Disconnect(tessaro_board* board, bool save) {
    if (!board) return Succeed();
    // No call of the program's callbacks from here on (the caller may be
    // one: a callback that disconnects), before anything is stopped: a
    // callback still running could start what the stop below would miss.
    const bool quiet = board->events.SetCallback(nullptr) && board->events.SetLineCallback(nullptr);
    board->session.SetPositionListener(nullptr);
    board->session.SetLineListener(nullptr);
    // Nothing keeps moving once the program lets go of the board.
    bool running = false;
    for (OperationSlot& slot : board->slots) running = running || slot.Running();
    if (running) board->Stop(TESSARO_ALL);
    for (OperationSlot& slot : board->slots) {
        bool done = false;
        slot.Wait(-1, &done);
    }
    std::string error;
    if (!save) board->session.options.settingsFile.clear();
    const bool saved = board->session.Close(&error);
    // A callback that did not return in its time may still use the board:
    // what it holds stays (closed, every call answers so) rather than be
    // freed under it.
    if (quiet) delete board;
    g_boardOpen = false;
    return saved ? Succeed() : Fail(TESSARO_ERROR, error);
}

}  // namespace

TESSARO_API int tessaro_disconnect(tessaro_board* board) {
    return Disconnect(board, true);
}

TESSARO_API int tessaro_disconnect_unsaved(tessaro_board* board) {
    return Disconnect(board, false);
}

TESSARO_API int tessaro_has_drive(tessaro_board* board, int drive) {
    Succeed();
    return board && board->Has(drive) ? 1 : 0;
}

TESSARO_API int tessaro_info(tessaro_board* board, char* text, size_t size, size_t* needed) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    return CopyText(tessaro_host::InformationText(board->session), text, size, needed);
}

TESSARO_API int tessaro_position(tessaro_board* board, int drive, double* a, double* b) {
    if (int code = CheckDrive(board, drive)) return code;
    tessaro_host::HostSession& s = board->session;
    if (s.positions.line == tessaro_host::ReportedPositions::kLineLost)
        return Fail(TESSARO_ERROR_LINE, "the line to the board on COM" +
                                            std::to_string(s.options.port) +
                                            " is lost: no position is known until it is back");
    double first = 0, second = 0;
    int code = 0;
    if (drive == TESSARO_XY) code = s.xy->GetPosition(&first, &second);
    if (drive == TESSARO_Z) code = s.z->GetPosition(&first);
    if (drive == TESSARO_ROTARY) code = s.rotary->GetAngle(&first);
    if (code != 0 || !std::isfinite(first) || !std::isfinite(second))
        return Fail(TESSARO_ERROR, std::string("the ") + DriveWord(drive) +
                                       " drive gave no usable position (result " +
                                       std::to_string(code) + ")");
    if (a) *a = first;
    if (b) *b = second;
    return Succeed();
}

TESSARO_API int tessaro_trusted(tessaro_board* board, int drive, int* trusted) {
    if (int code = CheckDrive(board, drive)) return code;
    const tessaro_host::ReportedPositions& p = board->session.positions;
    // The rotary drive takes the board's count as it is: always its angle.
    const bool yes = drive == TESSARO_XY  ? p.xyTrusted.load()
                     : drive == TESSARO_Z ? p.zTrusted.load()
                                          : true;
    if (trusted) *trusted = yes ? 1 : 0;
    return Succeed();
}

TESSARO_API int tessaro_is_moving(tessaro_board* board, int drive, int* moving) {
    if (int code = CheckDrive(board, drive)) return code;
    // A jog's first position comes with the next poll (every 50 ms); after
    // that, new positions come while it runs.
    constexpr double kStillMs = 250.0;
    const double now = KX_GetTimeCounter();
    const bool jog = board->jogging[drive] && (now - board->jogStartedMs[drive] < kStillMs ||
                                               now - board->lastReportMs[drive] < kStillMs);
    const bool yes = jog || board->slots[drive].Running() || board->slots[TESSARO_ALL].Running();
    if (moving) *moving = yes ? 1 : 0;
    return Succeed();
}

TESSARO_API int tessaro_move(tessaro_board* board, int drive, int relative, double a, double b,
                             int wait) {
    if (int code = CheckDrive(board, drive)) return code;
    if (int code = CheckFinite({a, drive == TESSARO_XY ? b : 0.0})) return code;
    const MoveRequest move{DriveOf(drive), relative != 0, a, b};
    {
        std::lock_guard<std::mutex> lock(board->collectMutex);
        if (board->collecting && board->collector == std::this_thread::get_id()) {
            board->collected.push_back(move);
            return Succeed();
        }
    }
    return board->Long(
        drive, [board, move] { return board->Operations().Move(move); }, wait);
}

TESSARO_API int tessaro_find_limits(tessaro_board* board, int drive, int wait) {
    if (int code = CheckDrive(board, drive)) return code;
    if (drive == TESSARO_ROTARY)
        return Fail(TESSARO_ERROR_VALUE, "the rotary drive has no limit switches");
    const tessaro_host::Drive which = DriveOf(drive);
    return board->Long(
        drive, [board, which] { return board->Operations().FindLimits(which); }, wait);
}

TESSARO_API int tessaro_wait(tessaro_board* board, int drive, int timeout_ms) {
    if (int code = CheckDrive(board, drive, true)) return code;
    bool done = false;
    return Report(board->slots[drive].Wait(timeout_ms, &done));
}

TESSARO_API int tessaro_jog(tessaro_board* board, int drive, double a, double b) {
    if (int code = CheckDrive(board, drive)) return code;
    if (int code = CheckFinite({a, drive == TESSARO_XY ? b : 0.0})) return code;
    // The check under collectMutex, as a move's start; the jog itself after
    // it (a few packets, which other threads' starts should not wait for),
    // marked as starting meanwhile so that collected moves do not start into
    // it.
    {
        std::lock_guard<std::mutex> lock(board->collectMutex);
        if (board->slots[drive].Running() || board->slots[TESSARO_ALL].Running())
            return Fail(TESSARO_ERROR_BUSY,
                        "the drive is still carrying out its last operation "
                        "(stop it first)");
        ++board->jogsStarting;
    }
    const Outcome outcome = FromOperation(board->Operations().Jog(DriveOf(drive), a, b), true);
    --board->jogsStarting;
    if (outcome.code == TESSARO_OK) {
        board->jogStartedMs[drive] = KX_GetTimeCounter();
        board->jogging[drive] = a != 0 || (drive == TESSARO_XY && b != 0);
    }
    return Report(outcome);
}

TESSARO_API int tessaro_stop(tessaro_board* board, int drive) {
    if (int code = CheckDrive(board, drive, true)) return code;
    tessaro_host::HostSession& s = board->session;
    const std::size_t told = s.DiagnosticCount();
    // A stop that did not reach the board says so: the jog it was meant
    // for runs on.
    int code = board->Stop(drive);
    // A move or search started on a slot's thread may not have gone out
    // yet when the stop did (tessaro_move returns before its start is
    // sent): it would run on. While one runs, the stop goes out again every
    // 50 ms until it has ended (a stop that reaches a move ends its wait),
    // for 10 s at most.
    const auto ended = [board, drive] {
        for (int d = TESSARO_ALL; d <= TESSARO_ROTARY; ++d) {
            if ((drive == TESSARO_ALL || d == drive || d == TESSARO_ALL) &&
                !board->slots[d].Ended(50))
                return false;
        }
        return true;
    };
    for (int round = 0; round < 200 && code == 0 && !ended(); ++round) code = board->Stop(drive);
    if (code == 0) return Succeed();
    const char* word = drive == TESSARO_ALL ? "" : DriveWord(drive);
    return StopFailure(s, told, drive, std::string(word) + (*word ? " stop" : "stop"), code);
}

TESSARO_API int tessaro_limits(tessaro_board* board, int drive, double* lower_a, double* upper_a,
                               double* lower_b, double* upper_b) {
    if (int code = CheckDrive(board, drive)) return code;
    double v[4] = {0, 0, 0, 0};
    int code = 22;
    if (drive == TESSARO_XY) code = board->session.xy->GetRange(&v[0], &v[1], &v[2], &v[3]);
    if (drive == TESSARO_Z) code = board->session.z->GetRange(&v[0], &v[1]);
    if (code != 0) return Fail(TESSARO_ERROR_VALUE, "the rotary drive has no travel limits");
    if (lower_a) *lower_a = v[0];
    if (upper_a) *upper_a = v[1];
    if (lower_b) *lower_b = v[2];
    if (upper_b) *upper_b = v[3];
    return Succeed();
}

TESSARO_API int tessaro_set_limits(tessaro_board* board, int drive, double lower_a, double upper_a,
                                   double lower_b, double upper_b) {
    double now[4];
    if (int code = tessaro_limits(board, drive, &now[0], &now[1], &now[2], &now[3])) return code;
    const bool xy = drive == TESSARO_XY;
    if (int code = CheckFinite({lower_a, upper_a, xy ? lower_b : 0.0, xy ? upper_b : 0.0}))
        return code;
    if (lower_a > upper_a || (xy && lower_b > upper_b))
        return Fail(TESSARO_ERROR_VALUE, "a lower limit lies above its upper limit");
    // The drives keep each lower limit below its upper one at every step:
    // the upper ends go out as far as either range reaches, then the lower
    // ends are set, then the upper ones.
    tessaro_host::Operations operations = board->Operations();
    const tessaro_host::Drive which = DriveOf(drive);
    // One after the other; the first that fails ends them.
    OpResult step =
        operations.SetLimit(which, false, std::fmax(upper_a, now[1]), std::fmax(upper_b, now[3]));
    if (step.Ok()) step = operations.SetLimit(which, true, lower_a, lower_b);
    if (step.Ok()) step = operations.SetLimit(which, false, upper_a, upper_b);
    return Report(FromOperation(step, false));
}

TESSARO_API int tessaro_set_origin(tessaro_board* board, int drive) {
    if (int code = CheckDrive(board, drive)) return code;
    return Report(FromOperation(board->Operations().SetOrigin(DriveOf(drive), true), false));
}

TESSARO_API int tessaro_get(tessaro_board* board, int drive, int parameter, double* a, double* b) {
    if (int code = CheckDrive(board, drive)) return code;
    tessaro_host::HostSession& s = board->session;
    double first = 0, second = 0;
    int code = 22;
    if (parameter == TESSARO_SPEED) {
        code = drive == TESSARO_XY  ? s.xy->GetSpeed(&first)
               : drive == TESSARO_Z ? s.z->GetSpeed(&first)
                                    : s.rotary->GetSpeed(&first);
    } else if (parameter == TESSARO_ACCELERATION) {
        unsigned value = 0;
        code = drive == TESSARO_XY  ? s.xy->GetAcceleration(&value)
               : drive == TESSARO_Z ? s.z->GetAcceleration(&value)
                                    : s.rotary->GetAcceleration(&value);
        first = value;
    } else if (parameter == TESSARO_FLIP && drive != TESSARO_ROTARY) {
        int fa = 1, fb = 1;
        code = drive == TESSARO_XY ? s.xy->GetAxisFlip(&fa, &fb) : s.z->GetAxisFlip(&fa);
        first = fa;
        second = drive == TESSARO_XY ? fb : 0;
    } else {
        return Fail(TESSARO_ERROR_VALUE, std::string("the ") + DriveWord(drive) +
                                             " drive has no parameter " +
                                             std::to_string(parameter));
    }
    if (code != 0)
        return Fail(TESSARO_ERROR,
                    "the drive did not give it (result " + std::to_string(code) + ")");
    if (a) *a = first;
    if (b) *b = second;
    return Succeed();
}

TESSARO_API int tessaro_set(tessaro_board* board, int drive, int parameter, double a, double b) {
    if (int code = CheckDrive(board, drive)) return code;
    const bool xy = drive == TESSARO_XY;
    if (int code = CheckFinite({a, xy ? b : 0.0})) return code;
    tessaro_host::Operations operations = board->Operations();
    const tessaro_host::Drive which = DriveOf(drive);
    switch (parameter) {
        case TESSARO_SPEED:
            return Report(FromOperation(operations.SetSpeed(which, a), false));
        case TESSARO_ACCELERATION:
            return Report(FromOperation(operations.SetAcceleration(which, a), false));
        case TESSARO_FLIP:
            return Report(FromOperation(operations.SetFlip(which, a, xy ? b : a), false));
        default:
            return Fail(TESSARO_ERROR_VALUE, "no parameter " + std::to_string(parameter));
    }
}

TESSARO_API int tessaro_on_position(tessaro_board* board, tessaro_position_callback callback,
                                    void* context) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    const bool replaced =
        callback ? board->events.SetCallback([callback, context](int drive, double a, double b) {
            callback(context, drive, a, drive == TESSARO_XY ? b : 0.0);
        })
                 : board->events.SetCallback(nullptr);
    return replaced ? Succeed() : ReplacedLate();
}

TESSARO_API int tessaro_on_line(tessaro_board* board, tessaro_line_callback callback,
                                void* context) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    const bool replaced = callback
                              ? board->events.SetLineCallback(
                                    [callback, context](bool warning, const std::string& line) {
                                        callback(context, warning ? 1 : 0, line.c_str());
                                    })
                              : board->events.SetLineCallback(nullptr);
    return replaced ? Succeed() : ReplacedLate();
}

TESSARO_API int tessaro_collect_begin(tessaro_board* board) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    std::lock_guard<std::mutex> lock(board->collectMutex);
    if (board->collecting) return Fail(TESSARO_ERROR_BUSY, "moves are being collected already");
    board->collecting = true;
    board->collector = std::this_thread::get_id();
    board->collected.clear();
    return Succeed();
}

namespace {

// Why this thread may not end the collection; "" when it may.
std::string NotCollector(const tessaro_board& board) {
    if (!board.collecting) return "no moves are being collected";
    if (board.collector != std::this_thread::get_id())
        return "the moves are being collected by another thread";
    return {};
}

}  // namespace

TESSARO_API int tessaro_collect_end(tessaro_board* board, int wait) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(board->collectMutex);
        if (std::string why = NotCollector(*board); !why.empty())
            return Fail(TESSARO_ERROR_VALUE, why);
        started = !board->collected.empty();
        if (started) {
            // Started in one piece with the checks that no drive is busy
            // (and none starts in between); a start refused keeps the
            // collection as it is: the caller may wait and end it again,
            // or drop it.
            const Outcome start =
                board->StartLocked(TESSARO_ALL, [board, moves = board->collected] {
                    return board->Operations().MoveTogether(moves);
                });
            if (start.code != TESSARO_OK) return Report(start);
        }
        board->collecting = false;
        board->collected.clear();
    }
    if (!started || !wait) return Succeed();
    return board->Await(TESSARO_ALL);
}

TESSARO_API int tessaro_collect_drop(tessaro_board* board) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    std::lock_guard<std::mutex> lock(board->collectMutex);
    // Nothing collected is nothing to drop; another thread's collection is
    // not this one's.
    if (board->collecting && board->collector != std::this_thread::get_id())
        return Fail(TESSARO_ERROR_VALUE, NotCollector(*board));
    board->collecting = false;
    board->collected.clear();
    return Succeed();
}

TESSARO_API int tessaro_save_settings(tessaro_board* board, const char* path) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    std::string error;
    tessaro_host::HostSession& s = board->session;
    if (!path && s.options.settingsFile.empty())
        return Fail(TESSARO_ERROR_VALUE, "no settings file was given at connect: name one");
    const bool saved = path ? s.SaveSettingsTo(path, &error) : s.SaveSettings(&error);
    return saved ? Succeed() : Fail(TESSARO_ERROR, error);
}

TESSARO_API int tessaro_load_settings(tessaro_board* board, const char* path) {
    if (!board || !path) return Fail(TESSARO_ERROR_VALUE, "no board or no file (null)");
    std::string error;
    return board->session.LoadSettingsFrom(path, &error) ? Succeed() : Fail(TESSARO_ERROR, error);
}

TESSARO_API int tessaro_load_usable_settings(tessaro_board* board, const char* path) {
    if (!board || !path) return Fail(TESSARO_ERROR_VALUE, "no board or no file (null)");
    std::string error;
    return board->session.LoadSettingsFrom(path, &error, true) ? Succeed()
                                                               : Fail(TESSARO_ERROR, error);
}

TESSARO_API int tessaro_check_settings(const char* path, char* text, size_t size, size_t* needed) {
    if (!path) return Fail(TESSARO_ERROR_VALUE, "no file (null)");
    std::string error, lines;
    for (const std::string& problem : tessaro_host::SettingsFileNotes(path, &error))
        lines += problem + "\n";
    if (!error.empty()) return Fail(TESSARO_ERROR, error);
    return CopyText(lines, text, size, needed);
}

TESSARO_API int tessaro_settings_problems(tessaro_board* board, char* text, size_t size,
                                          size_t* needed) {
    if (!board) return Fail(TESSARO_ERROR_VALUE, "no board (null)");
    std::string lines;
    for (const std::string& problem : board->session.SettingsProblems()) lines += problem + "\n";
    return CopyText(lines, text, size, needed);
}

}  // extern "C"
