// thread_hammer [--seed N] [--seconds S] [--threads T] [--stall S] PORT [DEVICE]
//
// Several threads call libtessaro at random on one connected board for a
// while: moves (waited for or not), short waits, stops, jogs, reads,
// speeds, callbacks that call back into the library, collected moves, and
// now and then a disconnect and a fresh connect. It passes when nothing
// crashes, no call hangs (a watchdog fails the run when a call has not
// returned after --stall seconds, saying what each thread was doing), and
// every call answers with one of the results its description in
// capi/tessaro.h allows, a failure with its reason. The seed is printed
// first; --seed repeats the choices (the threads' interleaving differs).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "capi/tessaro.h"

namespace {

using Clock = std::chrono::steady_clock;

// clang-format off
enum Call {
    kMove, kWait, kStop, kJog, kPosition, kTrusted, kLimits, kGet, kSet, kOnPosition, kOnLine,
    kCollectBegin, kCollectEnd, kCollectDrop, kConnect, kDisconnect, kCalls
};
// clang-format on

constexpr unsigned Bit(int code) {
    return 1u << code;
}
// What any call on a drive may answer: an argument not taken, no such drive.
constexpr unsigned kArgs = Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE) | Bit(TESSARO_ERROR_NO_DRIVE);
// ... and once it talks to the plug-in and the board: their failures.
constexpr unsigned kBoard = kArgs | Bit(TESSARO_ERROR) | Bit(TESSARO_ERROR_LINE);
// The end of a move or search, as a wait (or a move's next start) tells it.
constexpr unsigned kEnd = kBoard | Bit(TESSARO_ERROR_MOTION) | Bit(TESSARO_STOPPED);

// Each call's results as capi/tessaro.h describes them.
const struct {
    const char* name;
    unsigned allowed;
} kTable[kCalls] = {
    {"tessaro_move", kEnd | Bit(TESSARO_ERROR_BUSY)},
    {"tessaro_wait", kEnd | Bit(TESSARO_ERROR_TIMEOUT)},
    // A stop fails only when it did not reach the board.
    {"tessaro_stop", kBoard},
    {"tessaro_jog", kBoard | Bit(TESSARO_ERROR_BUSY)},
    {"tessaro_position", kBoard},
    {"tessaro_trusted", kArgs},
    {"tessaro_limits", kArgs | Bit(TESSARO_ERROR)},
    {"tessaro_get", kBoard},
    {"tessaro_set", kBoard},
    {"tessaro_on_position",
     Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE) | Bit(TESSARO_ERROR_TIMEOUT)},
    {"tessaro_on_line", Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE) | Bit(TESSARO_ERROR_TIMEOUT)},
    {"tessaro_collect_begin", Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE) | Bit(TESSARO_ERROR_BUSY)},
    {"tessaro_collect_end", kEnd | Bit(TESSARO_ERROR_BUSY)},
    {"tessaro_collect_drop", Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE)},
    {"tessaro_connect",
     Bit(TESSARO_OK) | Bit(TESSARO_ERROR) | Bit(TESSARO_ERROR_VALUE) | Bit(TESSARO_ERROR_LINE)},
    {"tessaro_disconnect", Bit(TESSARO_OK) | Bit(TESSARO_ERROR)},
};
const char* const kCodes[] = {"OK",       "ERROR",   "VALUE", "LINE",   "MOTION",
                              "NO_DRIVE", "TIMEOUT", "BUSY",  "STOPPED"};
constexpr int kCodeCount = 9;

std::atomic<unsigned> g_counts[kCalls][kCodeCount + 1];
std::atomic<int> g_failures{0};
std::atomic<unsigned> g_positionCalls{0}, g_lineCalls{0};

// What one thread is doing, for the watchdog: the call it is in and since
// when (none while between calls).
struct Activity {
    std::mutex mutex;
    std::string what;
    Clock::time_point since;
    bool inCall = false;
    void Begin(std::string call) {
        std::lock_guard<std::mutex> lock(mutex);
        what = std::move(call);
        since = Clock::now();
        inCall = true;
    }
    void End() {
        std::lock_guard<std::mutex> lock(mutex);
        inCall = false;
    }
};
std::vector<Activity> g_activities;  // the workers', then the callbacks'
Activity* g_callbackActivity;

// Runs a call of the library, noting it for the watchdog, and checks its
// result: documented for that call, and a failure comes with its reason.
template <typename F>
int Do(Activity& activity, Call call, const std::string& args, F&& f) {
    const std::string what = std::string(kTable[call].name) + "(" + args + ")";
    activity.Begin(what);
    const int code = f();
    activity.End();
    const bool known = code >= 0 && code < kCodeCount;
    ++g_counts[call][known ? code : kCodeCount];
    const char* reason = tessaro_last_error();
    const char* wrong = !known || !(kTable[call].allowed & Bit(code))
                            ? "a result its description does not allow"
                        : code != TESSARO_OK && reason[0] == '\0' ? "a failure without a reason"
                                                                  : nullptr;
    if (wrong && ++g_failures <= 20)
        std::fprintf(stderr, "thread_hammer: FAIL %s gave %d (%s), %s; last error: \"%s\"\n",
                     what.c_str(), code, known ? kCodes[code] : "?", wrong, reason);
    return code;
}

// The board and its lifetime. A test's own discipline, not the library's:
// a thread uses g_board only while it shares g_boardLock, and the thread
// that disconnects and connects again holds it alone, so no thread ever
// calls with a board that is gone. Readers pass g_turnstile first and the
// reconnecting thread holds it while it waits, so that readers coming one
// after another cannot keep it out. Callbacks do not take the lock: the
// library promises that a disconnect waits for a running callback and calls
// none afterwards, so their context (their own board) is valid while they
// run; that is part of what is tested.
std::mutex g_turnstile;
std::shared_mutex g_boardLock;
tessaro_board* g_board;
int g_port;
const char* g_device;
unsigned g_seed;

std::mt19937& CallbackRandom() {
    thread_local std::mt19937 random(g_seed ^ 0x5bd1e995u);
    return random;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const char* DriveName(int drive) {
    static const char* const names[] = {"ALL", "XY", "Z", "ROTARY"};
    return names[drive];
}

// Runs on the board's delivery thread: reads back into the library, and now
// and then takes itself out.
void OnPosition(void* context, int drive, double, double) {
    auto* board = static_cast<tessaro_board*>(context);
    ++g_positionCalls;
    double a = 0, b = 0;
    const int read = drive >= TESSARO_XY && drive <= TESSARO_ROTARY ? drive : TESSARO_Z;
    Do(*g_callbackActivity, kPosition, Format("%s, in a position callback", DriveName(read)),
       [&] { return tessaro_position(board, read, &a, &b); });
    if (CallbackRandom()() % 40 == 0)
        Do(*g_callbackActivity, kOnPosition, "null, from its own callback",
           [&] { return tessaro_on_position(board, nullptr, nullptr); });
}

void OnLine(void* context, int, const char*) {
    auto* board = static_cast<tessaro_board*>(context);
    ++g_lineCalls;
    double a = 0;
    Do(*g_callbackActivity, kPosition, "Z, in a line callback",
       [&] { return tessaro_position(board, TESSARO_Z, &a, nullptr); });
    const unsigned pick = CallbackRandom()() % 30;
    if (pick == 0)
        Do(*g_callbackActivity, kOnLine, "null, from its own callback",
           [&] { return tessaro_on_line(board, nullptr, nullptr); });
    if (pick == 1)
        Do(*g_callbackActivity, kOnPosition, "from a line callback",
           [&] { return tessaro_on_position(board, OnPosition, board); });
}

struct Worker {
    int index;
    std::mt19937 random;
    Activity& activity;

    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    }
    int Pick(int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); }
    int Drive() { return TESSARO_XY + Pick(3); }
    template <typename F>
    int Call(Call call, const std::string& args, F&& f) {
        return Do(activity, call, args, std::forward<F>(f));
    }

    // A small move: micrometres on the stage and focus drive, degrees on
    // the rotary drive (there up to a few seconds long: up to a turn).
    int Move(tessaro_board* board, int drive, int wait) {
        const bool relative = Pick(2);
        const double span = drive == TESSARO_ROTARY ? (relative ? 5 : 360) : (relative ? 20 : 100);
        const double a = Uniform(-span, span), b = Uniform(-span, span);
        return Call(kMove,
                    Format("%s, %s %.3f %.3f, wait %d", DriveName(drive), relative ? "by" : "to", a,
                           b, wait),
                    [&] { return tessaro_move(board, drive, relative, a, b, wait); });
    }

    // A short wait returns within its time: the moves it may wait for
    // (the rotary drive's) last longer than the margin.
    void Wait(tessaro_board* board, int drive) {
        const int timeout = Pick(50);
        const auto begun = Clock::now();
        Call(kWait, Format("%s, %d ms", DriveName(drive), timeout),
             [&] { return tessaro_wait(board, drive, timeout); });
        const double took = std::chrono::duration<double>(Clock::now() - begun).count();
        if (took > timeout / 1000.0 + 0.75 && ++g_failures <= 20)
            std::fprintf(stderr, "thread_hammer: FAIL tessaro_wait(%s, %d ms) took %.2f s\n",
                         DriveName(drive), timeout, took);
    }

    void Operation(tessaro_board* board) {
        const int drive = Drive();
        const char* name = DriveName(drive);
        double a = 0, b = 0, c = 0, d = 0;
        int trusted = 0;
        switch (Pick(9)) {
            case 0:
                Move(board, drive, 1);
                break;
            case 1:
                // Started and polled for a moment, as a script does; or a
                // look at any drive's operation, maybe another thread's.
                if (Pick(2)) Move(board, drive, 0);
                Wait(board, Pick(4) == 0 ? TESSARO_ALL : Pick(2) ? drive : Drive());
                break;
            case 2:
                Move(board, drive, 0);
                break;
            case 3: {
                const int which = Pick(4) == 0 ? TESSARO_ALL : drive;
                Call(kStop, DriveName(which), [&] { return tessaro_stop(board, which); });
                break;
            }
            case 4: {
                // rev/s, for a few tens of milliseconds.
                const double va = Uniform(-0.2, 0.2), vb = Uniform(-0.2, 0.2);
                Call(kJog, Format("%s, %.3f %.3f", name, va, vb),
                     [&] { return tessaro_jog(board, drive, va, vb); });
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + Pick(30)));
                Call(kStop, Format("%s, after a jog", name),
                     [&] { return tessaro_stop(board, drive); });
                break;
            }
            case 5:
                Call(kPosition, name, [&] { return tessaro_position(board, drive, &a, &b); });
                Call(kTrusted, name, [&] { return tessaro_trusted(board, drive, &trusted); });
                Call(kLimits, name, [&] { return tessaro_limits(board, drive, &a, &b, &c, &d); });
                Call(kGet, Format("%s, speed", name),
                     [&] { return tessaro_get(board, drive, TESSARO_SPEED, &a, &b); });
                break;
            case 6: {
                const double speed =
                    drive == TESSARO_ROTARY ? Uniform(0.2, 0.5) : Uniform(2.0, 5.0);
                Call(kSet, Format("%s, speed %.3f", name, speed),
                     [&] { return tessaro_set(board, drive, TESSARO_SPEED, speed, speed); });
                break;
            }
            case 7: {
                const bool none = Pick(4) == 0;
                if (Pick(2))
                    Call(kOnPosition, none ? "null" : "a callback that reads", [&] {
                        return tessaro_on_position(board, none ? nullptr : OnPosition, board);
                    });
                else
                    Call(kOnLine, none ? "null" : "a callback that reads",
                         [&] { return tessaro_on_line(board, none ? nullptr : OnLine, board); });
                break;
            }
            case 8: {
                if (Call(kCollectBegin, "", [&] { return tessaro_collect_begin(board); }) !=
                    TESSARO_OK)
                    break;
                for (int n = 1 + Pick(3), first = Drive(); n > 0; --n)
                    Move(board, TESSARO_XY + (first + n) % 3, 1);
                const int wait = Pick(2);
                // An end refused (a drive busy) keeps the collection: dropped.
                if (Pick(4) == 0 || Call(kCollectEnd, Format("wait %d", wait), [&] {
                                        return tessaro_collect_end(board, wait);
                                    }) == TESSARO_ERROR_BUSY)
                    Call(kCollectDrop, "", [&] { return tessaro_collect_drop(board); });
                break;
            }
        }
    }

    // The reconnecting thread's turn: every other thread is out of the
    // board while it is gone.
    void Reconnect() {
        activity.Begin("waiting for the other threads to leave the board");
        std::lock_guard<std::mutex> turn(g_turnstile);
        std::unique_lock<std::shared_mutex> alone(g_boardLock);
        activity.End();
        Call(kDisconnect, "", [&] { return tessaro_disconnect(g_board); });
        g_board = nullptr;
        for (int attempt = 0; attempt < 3 && !g_board; ++attempt) {
            tessaro_board* board = nullptr;
            if (Call(kConnect, Format("%d, %s", g_port, g_device ? g_device : "null"), [&] {
                    return tessaro_connect(g_port, g_device, nullptr, nullptr, &board);
                }) == TESSARO_OK)
                g_board = board;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        if (!g_board) {
            ++g_failures;
            std::fprintf(stderr, "thread_hammer: FAIL no connect after a disconnect\n");
        }
    }

    void Run(Clock::time_point end, double reconnectSeconds) {
        auto nextReconnect =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(Uniform(0.5, 1.5) * reconnectSeconds));
        while (Clock::now() < end && g_failures == 0) {
            if (index == 0 && Clock::now() >= nextReconnect) {
                Reconnect();
                nextReconnect =
                    Clock::now() +
                    std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(Uniform(0.5, 1.5) * reconnectSeconds));
                continue;
            }
            activity.Begin("waiting for a reconnect to finish");
            { std::lock_guard<std::mutex> turn(g_turnstile); }
            std::shared_lock<std::shared_mutex> shared(g_boardLock);
            activity.End();
            if (!g_board) return;
            Operation(g_board);
        }
    }
};

// Fails the run when a call has not returned in time: what every thread was
// doing, and (with gdb at hand) every thread's stack.
void Watchdog(std::atomic<bool>& done, double stallSeconds) {
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto now = Clock::now();
        bool stalled = false;
        for (Activity& activity : g_activities) {
            std::lock_guard<std::mutex> lock(activity.mutex);
            stalled =
                stalled || (activity.inCall &&
                            now - activity.since > std::chrono::duration<double>(stallSeconds));
        }
        if (!stalled) continue;
        std::fprintf(stderr, "thread_hammer: FAIL a call has not returned in %.0f s (seed %u):\n",
                     stallSeconds, g_seed);
        for (std::size_t i = 0; i < g_activities.size(); ++i) {
            Activity& activity = g_activities[i];
            std::lock_guard<std::mutex> lock(activity.mutex);
            std::fprintf(stderr, "  %s %zu: %s%s for %.1f s\n",
                         i + 1 < g_activities.size() ? "thread" : "callbacks", i,
                         activity.inCall ? "in " : "last in ", activity.what.c_str(),
                         std::chrono::duration<double>(now - activity.since).count());
        }
        std::fflush(stderr);
        if (std::system("command -v gdb >/dev/null") == 0) {
            const std::string command = "timeout 60 gdb -q -batch -p " + std::to_string(getpid()) +
                                        " -ex 'thread apply all bt' >&2 2>/dev/null";
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "(no stacks)\n");
        }
        std::_Exit(3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 15, stallSeconds = 30;
    int threads = 4;
    g_seed = static_cast<unsigned>(std::random_device()());
    std::vector<const char*> positional;
    for (int i = 1; i < argc; ++i) {
        const bool value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seed") && value)
            g_seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        else if (!std::strcmp(argv[i], "--seconds") && value)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--threads") && value)
            threads = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--stall") && value)
            stallSeconds = std::atof(argv[++i]);
        else
            positional.push_back(argv[i]);
    }
    if (positional.empty() || threads < 1) {
        std::fprintf(stderr,
                     "usage: thread_hammer [--seed N] [--seconds S] [--threads T] [--stall S] "
                     "PORT [DEVICE]\n");
        return 2;
    }
    g_port = std::atoi(positional[0]);
    g_device = positional.size() > 1 ? positional[1] : nullptr;
    std::printf("thread_hammer: seed %u (--seed %u repeats it), %d threads for %.0f s\n", g_seed,
                g_seed, threads, seconds);
    std::fflush(stdout);

    g_activities = std::vector<Activity>(static_cast<std::size_t>(threads) + 1);
    g_callbackActivity = &g_activities.back();
    std::atomic<bool> done{false};
    std::thread watchdog(Watchdog, std::ref(done), stallSeconds);

    Activity& self = g_activities[0];
    if (Do(self, kConnect, "", [] {
            return tessaro_connect(g_port, g_device, nullptr, nullptr, &g_board);
        }) != TESSARO_OK) {
        done = true;
        watchdog.join();
        return 1;
    }
    // Put back at the end: the next test on this simulator finds the board
    // as this one found it.
    double start[4][2] = {}, speed[4] = {};
    for (int drive = TESSARO_XY; drive <= TESSARO_ROTARY; ++drive) {
        tessaro_position(g_board, drive, &start[drive][0], &start[drive][1]);
        tessaro_get(g_board, drive, TESSARO_SPEED, &speed[drive], nullptr);
    }

    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([i, end, seconds] {
            Worker worker{i, std::mt19937(g_seed * 1009u + static_cast<unsigned>(i)),
                          g_activities[static_cast<std::size_t>(i)]};
            worker.Run(end, seconds / 4);
        });
    for (std::thread& worker : workers) worker.join();

    if (g_board) {
        Do(self, kOnPosition, "null",
           [] { return tessaro_on_position(g_board, nullptr, nullptr); });
        Do(self, kOnLine, "null", [] { return tessaro_on_line(g_board, nullptr, nullptr); });
        Do(self, kStop, "ALL", [] { return tessaro_stop(g_board, TESSARO_ALL); });
        for (int drive = TESSARO_XY; drive <= TESSARO_ROTARY; ++drive) {
            const double* at = start[drive];
            Do(self, kWait, DriveName(drive), [&] { return tessaro_wait(g_board, drive, 10000); });
            Do(self, kSet, "speed as found", [&] {
                return tessaro_set(g_board, drive, TESSARO_SPEED, speed[drive], speed[drive]);
            });
            Do(self, kMove, "back to where it stood",
               [&] { return tessaro_move(g_board, drive, 0, at[0], at[1], 1); });
        }
        Do(self, kDisconnect, "", [] { return tessaro_disconnect(g_board); });
    }
    done = true;
    watchdog.join();

    for (int call = 0; call < kCalls; ++call) {
        std::string line;
        for (int code = 0; code <= kCodeCount; ++code)
            if (unsigned n = g_counts[call][code])
                line += Format(" %s %u", code < kCodeCount ? kCodes[code] : "other", n);
        std::printf("  %-22s%s\n", kTable[call].name, line.c_str());
    }
    std::printf("  callbacks: %u positions, %u lines\n", g_positionCalls.load(),
                g_lineCalls.load());
    if (g_failures) {
        std::printf("thread_hammer: %d failures (seed %u)\n", g_failures.load(), g_seed);
        return 1;
    }
    std::printf("thread_hammer: ok\n");
    return 0;
}
