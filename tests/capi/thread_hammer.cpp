// thread_hammer [--seed N] [--seconds S] [--threads T] [--stall S] PORT [DEVICE]
//
// Several threads call libtessaro at random on one connected board for a
// while: moves (waited for or not), short waits, stops, jogs, reads,
// speeds, callbacks that call back into the library, collected moves, and
// now and then a disconnect and a fresh connect. It passes when nothing
// crashes, no call hangs (a watchdog fails the run when a call has not
// returned after --stall seconds, saying what each thread was doing), a
// short wait returns near its timeout, and every call answers with one of
// the results capi/tessaro.h allows it, a failure with its reason. The seed
// is printed first; --seed repeats the choices (not the interleaving).
#include <unistd.h>

#include <atomic>
#include <chrono>
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
using Seconds = std::chrono::duration<double>;

constexpr unsigned Bit(int code) {
    return 1u << code;
}
// A call that only checks its arguments (a callback replaced times out only
// when a call of it ran 10 s: the test's callbacks never run that long); a
// call on a drive; one that talks to the board; the end of a move.
constexpr unsigned kPlain = Bit(TESSARO_OK) | Bit(TESSARO_ERROR_VALUE);
constexpr unsigned kArgs = kPlain | Bit(TESSARO_ERROR_NO_DRIVE);
constexpr unsigned kBoard = kArgs | Bit(TESSARO_ERROR) | Bit(TESSARO_ERROR_LINE);
constexpr unsigned kEnd = kBoard | Bit(TESSARO_ERROR_MOTION) | Bit(TESSARO_STOPPED);
constexpr unsigned kBusy = Bit(TESSARO_ERROR_BUSY);

// Each call's results as capi/tessaro.h describes them (a stop fails only
// when it did not reach the board), and how often each came.
// clang-format off
struct Entry { const char* name; unsigned allowed; } const kCalls[] = {
    {"tessaro_move", kEnd | kBusy}, {"tessaro_wait", kEnd | Bit(TESSARO_ERROR_TIMEOUT)},
    {"tessaro_stop", kBoard}, {"tessaro_jog", kBoard | kBusy}, {"tessaro_position", kBoard},
    {"tessaro_trusted", kArgs}, {"tessaro_limits", kArgs | Bit(TESSARO_ERROR)},
    {"tessaro_get", kBoard}, {"tessaro_set", kBoard}, {"tessaro_on_position", kPlain},
    {"tessaro_on_line", kPlain}, {"tessaro_collect_begin", kPlain | kBusy},
    {"tessaro_collect_end", kEnd | kBusy}, {"tessaro_collect_drop", kPlain},
    {"tessaro_connect", kPlain | Bit(TESSARO_ERROR) | Bit(TESSARO_ERROR_LINE)},
    {"tessaro_disconnect", Bit(TESSARO_OK) | Bit(TESSARO_ERROR)}};
const char* const kCodes[] = {"OK", "ERROR", "VALUE", "LINE", "MOTION", "NO_DRIVE", "TIMEOUT",
                              "BUSY", "STOPPED", "other"};
// clang-format on
std::atomic<unsigned> g_counts[sizeof kCalls / sizeof kCalls[0]][10];
std::atomic<int> g_failures{0};
std::atomic<unsigned> g_callbacks{0};

#define FAIL(format, ...)        \
    (void)(++g_failures <= 20 && \
           std::fprintf(stderr, "thread_hammer: FAIL " format "\n", __VA_ARGS__) > 0)

// What one thread is doing, for the watchdog: the call it is in ("" between
// calls) and since when.
struct Activity {
    std::atomic<const char*> what{""};
    std::atomic<Clock::rep> since{0};
    void Set(const char* call) {
        since = Clock::now().time_since_epoch().count();
        what = call;
    }
    double For() const {
        return Seconds(Clock::now().time_since_epoch() - Clock::duration(since)).count();
    }
};
std::vector<Activity> g_activities;  // the workers', then the callbacks'

// Runs `call` (a call of the library, `text` as written here), noted for the
// watchdog, and checks that its result is one its description allows and
// that a failure has a reason.
template <typename F>
int Do(Activity& activity, const char* text, F&& call) {
    activity.Set(text);
    const int code = call();
    activity.Set("");
    const Entry* entry = kCalls;
    while (std::strncmp(text, entry->name, std::strcspn(text, "("))) ++entry;
    const bool known = code >= 0 && code < 9;
    ++g_counts[entry - kCalls][known ? code : 9];
    const char* reason = tessaro_last_error();
    if (!known || !(entry->allowed & Bit(code)))
        FAIL("%s gave %d (%s), a result its description does not allow; \"%s\"", text, code,
             kCodes[known ? code : 9], reason);
    else if (code != TESSARO_OK && reason[0] == '\0')
        FAIL("%s gave %s without a reason", text, kCodes[code]);
    return code;
}
#define CALL(call) Do(activity, #call, [&] { return call; })

// The board's lifetime, a discipline of the test's own: a thread uses
// g_board only while it shares g_boardLock, and the reconnecting thread
// holds it alone (and the turnstile, which readers pass first, so that they
// cannot keep it out). Callbacks take no lock: the library promises that a
// disconnect waits for a running callback and calls none afterwards, so the
// board they get as context is valid while they run; that is tested too.
std::mutex g_turnstile;
std::shared_mutex g_boardLock;
tessaro_board* g_board;
int g_port;
const char* g_device;
unsigned g_seed;

// On the board's delivery thread (drive 0: a line): a read back into the
// library, and now and then a callback removed or installed from inside one.
void OnPosition(void* board, int drive, double, double);
void OnEvent(tessaro_board* board, int drive) {
    Activity& activity = g_activities.back();
    thread_local std::mt19937 random(g_seed ^ 0x5bd1e995u);
    ++g_callbacks;
    // Now and then slow (a disconnect meets it running), then a read.
    const unsigned pick = random() % 40;
    if (pick < 10) std::this_thread::sleep_for(std::chrono::milliseconds(10 * pick));
    double a = 0, b = 0;
    const int read = drive == 0 ? TESSARO_Z : drive;
    CALL(tessaro_position(board, read, &a, &b));
    if (pick == 0 && drive != 0) CALL(tessaro_on_position(board, nullptr, nullptr));
    if (pick == 0 && drive == 0) CALL(tessaro_on_line(board, nullptr, nullptr));
    if (pick == 1 && drive == 0) CALL(tessaro_on_position(board, OnPosition, board));
}
void OnPosition(void* board, int drive, double, double) {
    OnEvent(static_cast<tessaro_board*>(board), drive);
}
void OnLine(void* board, int, const char*) {
    OnEvent(static_cast<tessaro_board*>(board), 0);
}

struct Worker {
    std::mt19937 random;
    Activity& activity;

    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    }
    int Pick(int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); }
    int Drive() { return TESSARO_XY + Pick(3); }

    // A small move: micrometres on the stage and focus drive, degrees on the
    // rotary drive (there up to a turn: a few seconds).
    void Move(tessaro_board* board, int drive, int wait) {
        const int by = Pick(2);
        const double span = drive == TESSARO_ROTARY ? (by ? 5 : 360) : (by ? 20 : 100);
        const double a = Uniform(-span, span), b = Uniform(-span, span);
        CALL(tessaro_move(board, drive, by, a, b, wait));
    }

    void Operation(tessaro_board* board) {
        const int drive = Drive();
        int all = Pick(4) == 0 ? TESSARO_ALL : drive;
        double a = 0, b = 0, c = 0, d = 0;
        int trusted = 0;
        switch (Pick(8)) {
            case 0:
            case 1:
                Move(board, drive, Pick(2));
                break;
            case 2: {
                // Polled for a moment, as a script does: mostly a turn or
                // two of the rotary drive just started (longer than the
                // margin, unless stopped), else any move, or every drive's.
                if (Pick(4)) {
                    a = Uniform(-720, 720);
                    CALL(tessaro_move(board, TESSARO_ROTARY, 1, a, 0, 0));
                }
                all = Pick(4) ? TESSARO_ROTARY : all;
                const int ms = Pick(50);
                const auto begun = Clock::now();
                CALL(tessaro_wait(board, all, ms));
                const double took = Seconds(Clock::now() - begun).count();
                if (took > ms / 1000.0 + 0.75)
                    FAIL("tessaro_wait(drive %d, %d ms) took %.2f s", all, ms, took);
                break;
            }
            case 3:
                CALL(tessaro_stop(board, all));
                break;
            case 4:
                // rev/s, for a few tens of milliseconds.
                a = Uniform(-0.2, 0.2), b = Uniform(-0.2, 0.2);
                CALL(tessaro_jog(board, drive, a, b));
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + Pick(30)));
                CALL(tessaro_stop(board, drive));
                break;
            case 5:
                CALL(tessaro_position(board, drive, &a, &b));
                CALL(tessaro_trusted(board, drive, &trusted));
                CALL(tessaro_limits(board, drive, &a, &b, &c, &d));
                CALL(tessaro_get(board, drive, TESSARO_SPEED, &a, &b));
                a = drive == TESSARO_ROTARY ? Uniform(0.2, 0.5) : Uniform(2, 5);
                CALL(tessaro_set(board, drive, TESSARO_SPEED, a, a));
                break;
            case 6:
                if (Pick(2))
                    CALL(tessaro_on_line(board, all ? OnLine : nullptr, board));
                else
                    CALL(tessaro_on_position(board, all ? OnPosition : nullptr, board));
                break;
            case 7:
                if (CALL(tessaro_collect_begin(board))) break;
                for (int n = 1 + Pick(3), first = Drive(); n > 0; --n)
                    Move(board, TESSARO_XY + (first + n) % 3, 1);
                // An end refused (a drive busy) keeps the collection: dropped.
                if (!all || CALL(tessaro_collect_end(board, Pick(2))) == TESSARO_ERROR_BUSY)
                    CALL(tessaro_collect_drop(board));
                break;
        }
    }

    // Every other thread is out of the board while it is gone.
    void Reconnect() {
        activity.Set("waiting for the other threads to leave the board");
        std::lock_guard<std::mutex> turn(g_turnstile);
        std::unique_lock<std::shared_mutex> alone(g_boardLock);
        CALL(tessaro_disconnect(g_board));
        g_board = nullptr;
        for (int attempt = 0; attempt < 3 && !g_board; ++attempt) {
            if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            CALL(tessaro_connect(g_port, g_device, nullptr, nullptr, &g_board));
        }
        if (!g_board) FAIL("%s", "no connect after a disconnect");
    }

    void Run(bool reconnects, Clock::time_point end, double reconnectSeconds) {
        Clock::time_point next{};  // the first reconnect: after a while
        while (Clock::now() < end && g_failures == 0) {
            if (reconnects && Clock::now() >= next) {
                if (next != Clock::time_point()) Reconnect();
                next = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          Seconds(Uniform(0.5, 1.5) * reconnectSeconds));
                continue;
            }
            activity.Set("waiting for a reconnect to finish");
            { std::lock_guard<std::mutex> turn(g_turnstile); }
            std::shared_lock<std::shared_mutex> shared(g_boardLock);
            activity.Set("");
            if (!g_board) return;
            Operation(g_board);
        }
    }
};

// Fails the run when a call has not returned in time: what every thread was
// doing, and (with gdb at hand) every thread's stack.
void Watchdog(std::atomic<bool>& done, double stallSeconds) {
    for (bool stalled = false; !stalled;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (done) return;
        for (const Activity& activity : g_activities)
            stalled |= *activity.what && activity.For() > stallSeconds;
    }
    std::fprintf(stderr, "thread_hammer: FAIL a call has not returned in %g s (seed %u):\n",
                 stallSeconds, g_seed);
    for (const Activity& activity : g_activities)
        std::fprintf(stderr, "  %s: %s for %.1f s\n",
                     &activity == &g_activities.back() ? "callbacks" : "a thread",
                     *activity.what ? activity.what.load() : "between calls", activity.For());
    const std::string gdb = "command -v gdb >/dev/null && timeout 60 gdb -q -batch -p " +
                            std::to_string(getpid()) + " -ex 'thread apply all bt' >&2";
    std::fflush(stderr);
    if (std::system(gdb.c_str()) != 0) std::fprintf(stderr, "(no stacks)\n");
    std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    const char* const options[] = {"--seed", "--seconds", "--threads", "--stall"};
    double values[] = {static_cast<double>(std::random_device()()), 15, 4, 30};
    const double &seconds = values[1], &threads = values[2], &stallSeconds = values[3];
    std::vector<const char*> positional;
    for (int i = 1, n = 0; i < argc; ++i, n = 0) {
        while (n < 4 && std::strcmp(argv[i], options[n])) ++n;
        if (n < 4 && i + 1 < argc)
            values[n] = std::strtod(argv[++i], nullptr);
        else
            positional.push_back(argv[i]);
    }
    if (positional.empty() || threads < 1) {
        std::fputs(
            "usage: thread_hammer [--seed N] [--seconds S] [--threads T] [--stall S] PORT "
            "[DEVICE]\n",
            stderr);
        return 2;
    }
    g_seed = static_cast<unsigned>(values[0]);
    g_port = std::atoi(positional[0]);
    g_device = positional.size() > 1 ? positional[1] : nullptr;
    std::printf("thread_hammer: seed %u, %.0f threads for %.0f s\n", g_seed, threads, seconds);
    std::fflush(stdout);

    g_activities = std::vector<Activity>(static_cast<std::size_t>(threads) + 1);
    Activity& activity = g_activities[0];
    std::atomic<bool> done{false};
    std::thread watchdog(Watchdog, std::ref(done), stallSeconds);
    CALL(tessaro_connect(g_port, g_device, nullptr, nullptr, &g_board));
    // Put back at the end: the next test on this simulator finds the board
    // as this one found it.
    double start[4][2] = {}, speed[4] = {};
    for (int drive = TESSARO_XY; g_board && drive <= TESSARO_ROTARY; ++drive) {
        tessaro_position(g_board, drive, &start[drive][0], &start[drive][1]);
        tessaro_get(g_board, drive, TESSARO_SPEED, &speed[drive], nullptr);
    }

    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
    std::vector<std::thread> workers;
    for (unsigned i = 0, connected = g_board != nullptr; connected && i < threads; ++i)
        workers.emplace_back([i, end, seconds] {
            Worker{std::mt19937(g_seed * 1009u + i), g_activities[i]}.Run(i == 0, end, seconds / 4);
        });
    for (std::thread& worker : workers) worker.join();

    if (!g_board) {
        FAIL("%s", "no board");
    } else {
        CALL(tessaro_on_position(g_board, nullptr, nullptr));
        CALL(tessaro_on_line(g_board, nullptr, nullptr));
        CALL(tessaro_stop(g_board, TESSARO_ALL));
        for (int drive = TESSARO_XY; drive <= TESSARO_ROTARY; ++drive) {
            CALL(tessaro_wait(g_board, drive, 10000));
            CALL(tessaro_set(g_board, drive, TESSARO_SPEED, speed[drive], speed[drive]));
            CALL(tessaro_move(g_board, drive, 0, start[drive][0], start[drive][1], 1));
        }
        CALL(tessaro_disconnect(g_board));
    }
    done = true;
    watchdog.join();

    for (const Entry& entry : kCalls) {
        std::printf("  %-22s", entry.name);
        for (int code = 0; code < 10; ++code)
            if (unsigned n = g_counts[&entry - kCalls][code])
                std::printf(" %s %u", kCodes[code], n);
        std::printf("\n");
    }
    std::printf("  %u callbacks\nthread_hammer: %s (seed %u)\n", g_callbacks.load(),
                g_failures ? "failed" : "ok", g_seed);
    return g_failures ? 1 : 0;
}
