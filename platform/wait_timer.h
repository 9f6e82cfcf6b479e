// Sleeping for short, exact times, and waits that another thread can cut
// short. The plug-in polls the processor every 10 ms while a move runs and
// every 50 ms in the background; on Windows a plain Sleep rounds each of
// those up to the system tick (15.6 ms unless someone raised the timer
// resolution), which would make every move end late and polling passes
// a quarter longer than meant.
//
// Windows: a high-resolution waitable timer where the system has one
// (Windows 10 1803 and later); elsewhere the timer resolution is raised to
// 1 ms while a `TimerResolutionScope` lives. POSIX: the clock's own sleeps,
// which are already exact to well under a millisecond.
#pragma once

#include <cstdint>

namespace platform {

enum class WaitTimerKind {
    HighResolution,  // a high-resolution waitable timer (Windows)
    RaisedPeriod,    // Sleep with the timer resolution raised to 1 ms (older Windows)
    SystemClock,     // the operating system's exact sleeps (POSIX)
};

// The kind the sleeps below use on this system (probed once).
WaitTimerKind CurrentWaitTimerKind();

inline const char* WaitTimerKindName(WaitTimerKind kind) {
    switch (kind) {
        case WaitTimerKind::HighResolution:
            return "high-resolution waitable timer";
        case WaitTimerKind::RaisedPeriod:
            return "Sleep with the timer resolution raised to 1 ms";
        case WaitTimerKind::SystemClock:
            return "system clock";
    }
    return "unknown";
}

// Sleeps `ms` milliseconds of real time (fractions count).
void PreciseSleep(double ms);

// While one lives, waits are exact to about a millisecond even without a
// high-resolution timer (the system timer resolution is raised, and lowered
// again with the last scope). Where a high-resolution timer exists it does
// nothing.
class TimerResolutionScope {
  public:
    TimerResolutionScope();
    ~TimerResolutionScope();
    TimerResolutionScope(const TimerResolutionScope&) = delete;
    TimerResolutionScope& operator=(const TimerResolutionScope&) = delete;

  private:
    bool m_bRaised = false;
};

// A sleep that another thread can end early. One thread waits; any thread
// may wake it. A wake that comes before the wait ends the wait at once, and
// the object stays woken until Reset.
class WakeableWait {
  public:
    WakeableWait();
    ~WakeableWait();
    WakeableWait(const WakeableWait&) = delete;
    WakeableWait& operator=(const WakeableWait&) = delete;

    // Waits up to `ms` milliseconds of real time; true when woken.
    bool WaitFor(double ms);
    void Wake();
    void Reset();

  private:
    struct State;
    State* m_pState;
};

}  // namespace platform
