// fault-matrix: every host-visible operation of the plug-in under every fault
// the simulator can inject, one fresh board per cell, printed as a table.
//
// A cell arms one fault on the first packet of the operation's own command
// (so that the polling thread cannot take it instead), runs the operation
// through the host's interfaces and then checks what a host relies on:
//   - the operation ends within its bound (a watchdog ends the program with
//     exit code 3 when a cell hangs);
//   - one bad packet (a fault that hits once, then a healthy line) costs
//     nothing: the result is the fault-free one;
//   - a fault that persists shows in the return code or the connection
//     state, where the operation has a failing code at all;
//   - the drives' settings texts are what they were (only the current
//     position and what the text says of it may differ), or what was
//     applied; and what a text saves is the truth or says it is not: a text
//     that does not flag its position carries the board's own count;
//   - DisconnectDevice answers 0, closes the port and ends the polling
//     thread (the process has as many threads as before the cell);
//   - on a healed line (not after a hang-up) a reconnect and a move work;
//   - a drop (the line away for two seconds, the board keeping its state):
//     the session goes on with the same positions, so an absolute move
//     goes where it went before, without a reconnect; a power cut (the same,
//     the board back reset): the stage and focus are flagged and nothing
//     absolute is sent.
// Exit code 0 when every cell keeps every rule, 1 otherwise.
#include <dirent.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/kx_settings.h"
#include "host/kx_time.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_host.h"
#include "tests/support/sim_board.h"
#include "tests/support/wait_for.h"
#include "tests/support/watchdog.h"

namespace {

using testing_support::PluginHost;
using testing_support::SimBoard;

constexpr int kPort = 31;

// Entries of a /proc/self directory: threads, or open files.
int CountEntries(const char* path) {
    int n = 0;
    if (DIR* dir = opendir(path)) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

// Whether the number of threads comes down to `count` within a second: a
// joined thread may still be listed for a moment while the kernel finishes
// its exit.
bool ThreadsBackTo(int count) {
    return testing_support::WaitFor([&] { return CountEntries("/proc/self/task") <= count; },
                                    std::chrono::seconds(1));
}

// key=value; pairs of a settings text, without the current positions (a
// move may change them; that is what a move is for) and without what the
// text says of them (the truth rule checks that).
using KeyMap = std::map<std::u16string, std::u16string>;
bool AboutThePosition(const std::u16string& pair) {
    for (const char16_t* key :
         {u"currentPos_step", u"positionTrusted", u"positionDoubt", u"savedAtDisconnect"})
        if (pair.rfind(key, 0) == 0) return true;
    return false;
}
std::vector<KeyMap> KeysOf(const std::vector<CKxStringW>& texts) {
    std::vector<KeyMap> all;
    for (const CKxStringW& text : texts) {
        KeyMap& keys = all.emplace_back();
        const std::u16string s = text.GetString();
        for (std::size_t start = 0, end; start < s.size(); start = end + 1) {
            end = std::min(s.find(u';', start), s.size());
            const std::u16string pair = s.substr(start, end - start);
            const std::size_t eq = pair.find(u'=');
            if (!AboutThePosition(pair))
                keys[pair.substr(0, eq)] = eq == std::u16string::npos ? u"" : pair.substr(eq + 1);
        }
    }
    return all;
}

// The drives whose texts do not flag their position but carry another
// count than the board's own (texts of the stage, focus and rotary drives,
// for axes 0 and 1, 2, 3). A text saved at a disconnect speaks of the count
// before the board's reset: the lifecycle test checks those against where
// the stage physically stands.
std::string UntrueSaves(const std::vector<CKxStringW>& texts, sim::MotionProcessor& processor) {
    struct Axis {
        std::size_t text;
        const char16_t* suffix;
        int number;
    };
    std::string untrue;
    for (const Axis& a : {Axis{0, u"_x", 0}, Axis{0, u"_y", 1}, Axis{1, u"", 2}, Axis{2, u"", 3}}) {
        if (a.text >= texts.size()) continue;
        const char16_t* text = texts[a.text].GetString();
        const auto key = [&](const char16_t* name) { return std::u16string(name) + a.suffix; };
        int trusted = 1, atDisconnect = 0, current = 0, flip = 1;
        GetIntFromKey(text, key(u"positionTrusted").c_str(), &trusted);
        GetIntFromKey(text, key(u"savedAtDisconnect").c_str(), &atDisconnect);
        if (trusted == 0 || atDisconnect == 1) continue;
        GetIntFromKey(text, key(u"currentPos_step").c_str(), &current);
        GetIntFromKey(text, key(u"axisFlip").c_str(), &flip);
        const std::int64_t count = processor.Axis(a.number).CommandedSteps();
        if (current != flip * count)
            untrue += " axis " + std::to_string(a.number) + " saved at " + std::to_string(current) +
                      ", the board at " + std::to_string(flip * count) + ";";
    }
    return untrue.empty() ? untrue : "saved positions not the truth, unflagged:" + untrue;
}

struct Faults {
    const char* column;
    const char* spec;  // without its trigger; empty: no fault
    // Once: the fault hits one packet and the line is healthy after it (the
    // repeat of that command gets through). Otherwise it hits every packet
    // of the operation's command (or, for a processor reset, is the
    // processor's own answer) and persists.
    bool once;
};
// The longest delay of a late reply below (ms).
constexpr double kLateMs = 500;
const Faults kFaults[] = {
    {"none", "", false},
    {"no reply once", "noreply", true},
    {"short reply once", "short:bytes=2", true},
    {"bad checksum once", "badsum", true},
    {"late reply once", "late:ms=200", true},
    {"garbage once", "garbage:bytes=3", true},
    {"no reply always", "noreply", false},
    {"bad checksum always", "badsum", false},
    {"late reply always", "late:ms=500", false},
    {"processor reset", "reset", false},
    {"silence", "silence", false},
    {"hang-up", "hangup", false},
    {"drop", "unplug:ms=2000", false},
    {"power cut", "powercut:ms=2000", false},
};

// The board's Z count after an absolute move to 5 um on a fresh board: where
// the same move must end after a drop (measured before the first cell).
std::int32_t g_zCountAt5um = 0;

// A fresh simulated board with limit switches on the stage and focus axes.
struct RigBoard {
    explicit RigBoard(double speed) : board(kPort, 4, speed) {
        for (int axis = 0; axis < 3; ++axis) {
            sim::LimitSwitches s;
            s.hasNegative = s.hasPositive = true;
            // Far enough apart for the seek, which backs off at full speed
            // between its looks at the switches.
            s.negative = -200000;
            s.positive = 5000;
            board.endpoint.processor().SetLimitSwitches(axis, s);
        }
    }
    SimBoard board;
};

// The plug-in as the host holds it, on that board (the board base comes
// first: made before the device, gone after it).
struct Rig : RigBoard, PluginHost {
    explicit Rig(double speed) : RigBoard(speed) {}
    bool Connect() { return PluginHost::Connect(kPort); }
    std::vector<CKxStringW> SaveAll() {
        std::vector<CKxStringW> texts;
        for (IKxLogicalDevice* d : drives) {
            texts.emplace_back();
            d->SaveSettings(texts.back());
        }
        return texts;
    }
};

// What an operation did: its return code (or a word for those without one).
struct Result {
    std::string text;
    bool failed = false;  // the host can see that something went wrong
};

Result Code(EDeviceManagerReturnCode rc) {
    return {std::to_string(rc), rc != KX_DM_OK};
}

struct Operation {
    const char* name;
    // The fault fires on this command's first packet (empty: on the first
    // packet after it is armed).
    const char* opcode;
    double boundSeconds;  // on the host's (sped-up) clock
    // Whether a lost reply must show: false where the operation's answer is
    // fixed whatever the line does.
    bool mustShow;
    // What the operation does to the settings: nothing (only the position
    // moves), always the same change (a load), or a change only when it
    // succeeds (a limit search stores the limits it found).
    // kLowerSideMayStay: a stopped search stores nothing for the side it
    // was measuring; a lower limit found before the stop stays.
    enum Settings { kKept, kChanged, kChangedOnSuccess, kLowerSideMayStay } settings;
    std::function<Result(Rig&)> run;
    // Fails even on a healthy line (a search the host stops).
    bool failsByDesign = false;
};

// A limit search that the host stops (a velocity move of 0 from another
// thread, as a stop button does) a little after it began: it must end at
// once, with a failure and no limit stored.
Result StoppedSearch(const std::function<EDeviceManagerReturnCode()>& search,
                     const std::function<void()>& stop) {
    EDeviceManagerReturnCode code = KX_DM_OK;
    std::thread searching([&] { code = search(); });
    const double t0 = KX_GetTimeCounter();
    while (KX_GetTimeCounter() - t0 < 300)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop();
    searching.join();
    return Code(code);
}

// Both results of a jog: the start's, then the stop's.
Result Jog(EDeviceManagerReturnCode start, const std::function<EDeviceManagerReturnCode()>& stop) {
    const EDeviceManagerReturnCode stopped = stop();
    return {std::to_string(start) + "/" + std::to_string(stopped),
            start != KX_DM_OK || stopped != KX_DM_OK};
}

// Connect: the connection state and the drives the host gets.
Result Connect(Rig& r) {
    const bool connected = r.Connect();
    return Result{"state " + std::to_string(r.device->GetConnectionState()) + ", " +
                      std::to_string(r.drives.size()) + " drives",
                  !connected || r.drives.size() != 3};
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        // Synchronising is about getting in step with whatever the line
        // holds: any answer to its zero bytes will do.
        {"connect, fault on synchronisation", "", 5, false, Operation::kKept, Connect},
        {"connect, fault on GetVersion", "GetVersion", 5, true, Operation::kKept, Connect},
        // An axis whose set-up fails is left out: fewer drives.
        {"connect, fault on axis set-up", "SetMotorType", 5, true, Operation::kKept, Connect},
        {"XY move", "SetVelocity", 61, true, Operation::kKept,
         [](Rig& r) { return Code(r.xy->MoveAbsolute(30, -20)); }},
        {"Z move", "SetVelocity", 61, true, Operation::kKept,
         [](Rig& r) { return Code(r.z->MoveAbsolute(25)); }},
        {"Z move, fault while waiting", "GetEventStatus", 61, true, Operation::kKept,
         [](Rig& r) { return Code(r.z->MoveAbsolute(25)); }},
        {"rotary move", "SetVelocity", 61, true, Operation::kKept,
         [](Rig& r) { return Code(r.rotary->MoveAbsolute(30)); }},
        {"XY jog", "SetVelocity", 5, true, Operation::kKept,
         [](Rig& r) {
             return Jog(r.xy->MoveVelocity(1, 1), [&] { return r.xy->MoveVelocity(0, 0); });
         }},
        {"Z jog", "SetVelocity", 5, true, Operation::kKept,
         [](Rig& r) { return Jog(r.z->MoveJoystick(2), [&] { return r.z->MoveJoystick(0); }); }},
        {"rotary jog", "SetVelocity", 5, true, Operation::kKept,
         [](Rig& r) {
             return Jog(r.rotary->MoveVelocity(1), [&] { return r.rotary->MoveVelocity(0); });
         }},
        // The fault on the stage's start: a failed start shows in the answer.
        {"collected move", "SetVelocity", 61, true, Operation::kKept,
         [](Rig& r) {
             r.device->SetCollectMoves(true);
             r.xy->MoveAbsolute(30, -20);
             r.z->MoveAbsolute(25);
             r.rotary->MoveAbsolute(30);
             return Code(r.device->ExecuteCollectedMoves(0));
         }},
        // Ten turns, stopped by the host a little after they began.
        {"rotary move, stopped", "SetVelocity", 60, true, Operation::kKept,
         [](Rig& r) {
             return StoppedSearch([&] { return r.rotary->MoveRelative(3600); },
                                  [&] { r.rotary->MoveVelocity(0); });
         },
         true},
        // A search is a chain of waits of up to 60 s each.
        {"XY limit search", "SetVelocity", 1200, true, Operation::kChangedOnSuccess,
         [](Rig& r) { return Code(r.xy->FindLimits()); }},
        {"Z limit search", "SetVelocity", 600, true, Operation::kChangedOnSuccess,
         [](Rig& r) { return Code(r.z->FindLimits()); }},
        {"XY limit search, stopped", "SetVelocity", 60, true, Operation::kLowerSideMayStay,
         [](Rig& r) {
             return StoppedSearch([&] { return r.xy->FindLimits(); },
                                  [&] { r.xy->MoveVelocity(0, 0); });
         },
         true},
        {"Z limit search, stopped", "SetVelocity", 60, true, Operation::kLowerSideMayStay,
         [](Rig& r) {
             return StoppedSearch([&] { return r.z->FindLimits(); }, [&] { r.z->MoveVelocity(0); });
         },
         true},
        // Loading settings answers 0 whatever the processor said.
        {"settings apply (Z)", "SetMotorCommand", 5, false, Operation::kChanged,
         [](Rig& r) {
             CKxStringW text;
             r.z->SaveSettings(text);
             return Code(r.z->LoadSettings(text.GetString(), 2));
         }},
        // The polling thread has nobody to answer to: it tries again on its
        // next pass. Shown: whether a position change still reaches the host.
        {"polling", "GetCommandedPosition", 5, false, Operation::kKept,
         [](Rig& r) {
             static std::atomic<int> s_calls;
             s_calls = 0;
             r.device->SetPositionCallback(
                 [](std::uint32_t, SKxDevicePosition*, std::uint64_t) { ++s_calls; }, 0);
             r.board.endpoint.MoveByHand(2, 777);
             // Twenty polling periods on the host's clock.
             const double t0 = KX_GetTimeCounter();
             while (s_calls == 0 && KX_GetTimeCounter() - t0 < 1000)
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
             r.device->SetPositionCallback(nullptr, 0);
             return Result{s_calls > 0 ? "callback" : "no callback", s_calls == 0};
         }},
        {"disconnect", "Reset", 5, false, Operation::kKept,
         [](Rig& r) { return Code(r.device->DisconnectDevice()); }},
    };
    return ops;
}

struct Cell {
    std::string text;
    std::vector<std::string> broken;  // rules the cell broke
    std::vector<KeyMap> settings;     // of every drive, after the operation
    std::string result;               // without the timing
};

// The same settings, except that limits found by a search may differ by a
// few steps: where the processor stops at a switch depends on the cycle in
// which the approach meets it, and a slow machine (a sanitizer) shifts it.
bool NearlySame(const std::vector<KeyMap>& a, const std::vector<KeyMap>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t d = 0; d < a.size(); ++d) {
        if (a[d].size() != b[d].size()) return false;
        for (const auto& [key, value] : a[d]) {
            const auto other = b[d].find(key);
            if (other == b[d].end()) return false;
            if (value == other->second) continue;
            const bool limit = key.find(u"Pos_step") != std::u16string::npos;
            if (!limit ||
                std::abs(std::stoll(KX_ToUtf8(value)) - std::stoll(KX_ToUtf8(other->second))) > 4)
                return false;
        }
    }
    return true;
}

// After a drop or a power cut under an open session: the line comes back
// by itself, and the rule of the column holds. The rules it broke.
std::vector<std::string> LineReturnRules(Rig& r, bool powerCut, double speed,
                                         testing_support::DiagnosticCapture& diag) {
    if (!testing_support::WaitFor(
            [&] { return diag.Has(u"is back: "); },
            std::chrono::milliseconds(static_cast<long long>(10000.0 / speed * 2 + 5000))))
        return {"the line never came back"};
    const std::size_t from = r.board.CommandCount();
    if (!powerCut) {
        // Same positions: the absolute move ends where it does on a fresh
        // board, no reconnect between, and the drive says it is there.
        double z = 0;
        if (r.z->MoveAbsolute(5) != KX_DM_OK ||
            r.board.endpoint.processor().Axis(2).CommandedSteps() != g_zCountAt5um ||
            r.z->GetPosition(&z) != KX_DM_OK || std::abs(z - 5) > 1e-6)
            return {"positions not as before the drop"};
        return {};
    }
    const bool refused = r.z->MoveAbsolute(5) == KX_DM_MOTION_FAILED &&
                         r.xy->MoveAbsolute(1, 1) == KX_DM_MOTION_FAILED;
    if (!refused || r.board.Count("SetPosition", from) != 0)
        return {"power cut not flagged, or an absolute move sent"};
    return {};
}

// `reference`: the settings after the operation without a fault.
// `healthy`: the operation's result without a fault.
Cell RunCell(const Operation& op, const Faults& fault, double speed,
             const std::vector<KeyMap>* reference, const std::string& healthy) {
    Cell cell;
    const std::string kind = std::string(fault.spec).substr(0, std::string(fault.spec).find(':'));
    const bool lineAway = kind == "unplug" || kind == "powercut";
    testing_support::DiagnosticCapture diag;
    const int threadsBefore = CountEntries("/proc/self/task");
    {
        Rig rig(speed);
        // The simulator's own threads and files (on a pseudo-terminal) are
        // there from here on; the plug-in's come and go with the connection.
        const int threadsIdle = CountEntries("/proc/self/task");
        const int filesIdle = CountEntries("/proc/self/fd");
        const bool connectCell = std::string(op.name).rfind("connect", 0) == 0;
        if (!connectCell && (!rig.Connect() || rig.drives.size() != 3)) {
            cell.broken.push_back("no connection without a fault");
            cell.text = "-";
            return cell;
        }
        const std::vector<CKxStringW> before = rig.SaveAll();
        const sim::EndpointStats stats0 = rig.board.endpoint.stats();
        if (fault.spec[0]) {
            std::string spec = fault.spec;
            const bool oneShot = fault.once || kind == "reset" || lineAway;
            if (op.opcode[0])
                spec += std::string(":op=") + op.opcode + (oneShot ? ":count=1" : "");
            else
                spec += oneShot ? ":next" : ":from=1";
            sim::FaultRule rule;
            std::string error;
            if (!sim::ParseFault(spec, &rule, &error)) {
                cell.broken.push_back("bad fault " + spec + ": " + error);
                return cell;
            }
            rig.board.endpoint.faults().Add(rule);
        }

        Result result;
        const double t0 = KX_GetTimeCounter();
        {
            // The bound on the host's clock, in real time, with room for a
            // busy machine.
            const auto limit = std::chrono::milliseconds(
                static_cast<long long>(op.boundSeconds * 1000.0 / speed * 2) + 10000);
            testing_support::Watchdog watchdog(
                limit, "fault-matrix: " + std::string(op.name) + " / " + fault.column);
            result = op.run(rig);
        }
        const double seconds = (KX_GetTimeCounter() - t0) / 1000.0;
        const bool fired = rig.board.endpoint.stats().faults > stats0.faults;
        char timing[32];
        std::snprintf(timing, sizeof timing, " (%.2f s)", seconds);
        cell.text = result.text + timing;
        cell.result = result.text;

        // A session still open rides out a drop or a power cut (a
        // disconnect leaves the connection state as it was).
        if (lineAway && rig.device->QueryConnection() == KX_DM_CONNECTED && rig.z && rig.xy &&
            std::string(op.name) != "disconnect")
            for (const std::string& b : LineReturnRules(rig, kind == "powercut", speed, diag))
                cell.broken.push_back(b);

        if (seconds > op.boundSeconds) cell.broken.push_back("too slow");
        if (fault.spec[0] && !fired) cell.broken.push_back("fault never fired");
        const bool replyLost = fault.spec[0] != '\0' && fired;
        // One bad packet is repeated and costs the operation nothing; a
        // fault that persists must show.
        if (fault.once && fired && (result.text != healthy || (result.failed && !op.failsByDesign)))
            cell.broken.push_back("one fault not absorbed");
        if (!fault.once && op.mustShow && replyLost && !result.failed)
            cell.broken.push_back("failure not shown");
        if (!fault.spec[0] && result.failed && !op.failsByDesign)
            cell.broken.push_back("fails without a fault");

        // The drives' settings as the host would save them now, against what
        // the operation may do to them (a cell without a fault-free
        // reference is not checked where the operation changes them).
        const std::vector<CKxStringW> saved = rig.SaveAll();
        cell.settings = KeysOf(saved);
        if (const std::string untrue = UntrueSaves(saved, rig.board.endpoint.processor());
            !untrue.empty())
            cell.broken.push_back(untrue);
        std::vector<KeyMap> now = cell.settings, kept = KeysOf(before);
        const bool keeps =
            op.settings == Operation::kKept || op.settings == Operation::kLowerSideMayStay;
        if (!connectCell && (reference || keeps)) {
            if (op.settings == Operation::kLowerSideMayStay)
                for (auto* maps : {&now, &kept})
                    for (KeyMap& m : *maps)
                        for (auto it = m.begin(); it != m.end();)
                            it = it->first.rfind(u"minPos_step", 0) == 0 ||
                                         it->first.rfind(u"lowerLimitAtSwitch", 0) == 0
                                     ? m.erase(it)
                                     : ++it;
            const std::vector<KeyMap>& expected =
                keeps || op.settings == Operation::kChangedOnSuccess ? kept : *reference;
            const bool fine = now == expected || (op.settings == Operation::kChangedOnSuccess &&
                                                  NearlySame(now, *reference));
            std::string what = "settings changed:";
            for (std::size_t d = 0; !fine && d < now.size() && d < expected.size(); ++d)
                for (const auto& [key, value] : now[d])
                    if (expected[d].count(key) == 0 || expected[d].at(key) != value)
                        what += " " + KX_ToUtf8(key) + "=" + KX_ToUtf8(value);
            if (!fine) cell.broken.push_back(what);
        }

        if (rig.device->DisconnectDevice() != KX_DM_OK) cell.broken.push_back("disconnect failed");
        if (rig.board.line.isOpen() || CountEntries("/proc/self/fd") > filesIdle)
            cell.broken.push_back("port left open");
        if (!ThreadsBackTo(threadsIdle)) cell.broken.push_back("thread left running");

        // The line healed (a silent processor or a line gone stay so): the
        // same device connects again and moves.
        if (kind != "silence" && kind != "hangup") {
            rig.board.endpoint.faults().Clear();
            testing_support::WaitFor([&] { return !rig.board.endpoint.unplugged(); },
                                     std::chrono::seconds(10));
            // Late replies still on their way belong to the fault: the line
            // has healed once they are in (on a real line the simulator
            // answers in order, each one after its delay).
            if (kind.rfind("late", 0) == 0)
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(static_cast<long long>(2 * kLateMs / speed) + 1));
            if (!rig.Connect() || !rig.z || rig.z->MoveAbsolute(5) != KX_DM_OK)
                cell.broken.push_back("no recovery");
            rig.device->DisconnectDevice();
        }
    }
    if (!ThreadsBackTo(threadsBefore)) cell.broken.push_back("thread left running");
    return cell;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Runs every host-visible operation under every injected fault and prints the "
        "outcomes as a markdown table."};
    double speed = 20;
    std::string only;
    app.add_option("--speed", speed, "Speed factor of the simulated and the host's clock")
        ->check(CLI::Range(1.0, 200.0));
    app.add_option("--only", only, "Run only the operations whose name contains this text");
    std::string line = "inprocess";
    app.add_option("--line", line,
                   "The simulator in process (reads never wait), or on a pseudo-terminal behind "
                   "the system's serial back-end (real read time-outs: use --speed 1)")
        ->check(CLI::IsMember({"inprocess", "pty"}));
    CLI11_PARSE(app, argc, argv);
    setenv("TESSARO_SIM_LINE", line.c_str(), 1);
    // A thread started and joined once, so that a runtime that starts a
    // helper thread of its own with the first one (ThreadSanitizer does)
    // has it running before any cell counts threads.
    std::thread([] {}).join();

    {
        Rig fresh(speed);
        if (!fresh.Connect() || fresh.z->MoveAbsolute(5) != KX_DM_OK) {
            std::printf("fault-matrix: no healthy board to measure against\n");
            return 1;
        }
        g_zCountAt5um = fresh.board.endpoint.processor().Axis(2).CommandedSteps();
    }
    std::printf("| operation |");
    for (const Faults& f : kFaults) std::printf(" %s |", f.column);
    std::printf("\n|---|");
    for (std::size_t i = 0; i < std::size(kFaults); ++i) std::printf("---|");
    std::printf("\n");
    int cells = 0, brokenCells = 0;
    std::vector<std::string> problems;
    for (const Operation& op : Operations()) {
        if (!only.empty() && std::string(op.name).find(only) == std::string::npos) continue;
        std::printf("| %s |", op.name);
        std::fflush(stdout);
        std::vector<KeyMap> reference;
        std::string healthy;
        for (const Faults& f : kFaults) {
            const Cell cell = RunCell(op, f, speed, f.spec[0] ? &reference : nullptr, healthy);
            if (!f.spec[0]) {
                reference = cell.settings;
                healthy = cell.result;
            }
            ++cells;
            std::string mark = cell.text;
            if (!cell.broken.empty()) {
                ++brokenCells;
                mark += " **BROKEN**";
                std::string why = std::string(op.name) + " / " + f.column + ":";
                for (const std::string& b : cell.broken) why += " " + b + ";";
                problems.push_back(why);
            }
            std::printf(" %s |", mark.c_str());
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    std::printf("\n%d cells, %d broke a rule.\n", cells, brokenCells);
    for (const std::string& p : problems) std::printf("- %s\n", p.c_str());
    return brokenCells ? 1 : 0;
}
