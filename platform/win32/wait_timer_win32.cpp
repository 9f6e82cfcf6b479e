// Exact sleeps on Windows. Sleep() and wait time-outs are rounded up to the
// system tick (15.6 ms by default); a waitable timer created with the
// high-resolution flag is not. Where the system has no such timer (before
// Windows 10 1803 the creation fails), the timer resolution is raised to
// 1 ms while the plug-in is connected, and Sleep is used.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#include <windows.h>
// clang-format off
#include <mmsystem.h>
// clang-format on

#include <cmath>

#include "platform/wait_timer.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {
namespace {

HANDLE NewHighResolutionTimer() {
    return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                  TIMER_ALL_ACCESS);
}

bool HasHighResolutionTimer() {
    static const bool has = [] {
        HANDLE timer = NewHighResolutionTimer();
        if (!timer) return false;
        CloseHandle(timer);
        return true;
    }();
    return has;
}

// A time in milliseconds as a defined, bounded number (no NaN, no negative,
// at most a day).
double Bounded(double ms) {
    if (!(ms > 0)) return 0;
    return ms < 86400000.0 ? ms : 86400000.0;
}

// Waits `ms` milliseconds, or until `event` (may be null) is signalled;
// true when the event ended the wait.
bool TimedWait(HANDLE event, double ms) {
    ms = Bounded(ms);
    // Never longer than the time asked for plus a margin, whatever happens
    // to the timer.
    const DWORD bound = static_cast<DWORD>(ms) + 100;
    if (HasHighResolutionTimer()) {
        if (HANDLE timer = NewHighResolutionTimer()) {
            LARGE_INTEGER due;
            // Relative time, in 100 ns units (negative means relative).
            due.QuadPart = -static_cast<LONGLONG>(ms * 10000.0);
            if (due.QuadPart == 0) due.QuadPart = -1;
            bool woken = false;
            bool waited = false;
            if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
                // The event first: when both are signalled the lower index wins.
                HANDLE handles[2] = {event, timer};
                const DWORD r = event ? WaitForMultipleObjects(2, handles, FALSE, bound)
                                      : WaitForSingleObject(timer, bound);
                woken = event && r == WAIT_OBJECT_0;
                waited = r != WAIT_FAILED;
            }
            CloseHandle(timer);
            if (waited) return woken;
        }
    }
    const DWORD whole = static_cast<DWORD>(std::ceil(ms));
    if (event) return WaitForSingleObject(event, whole) == WAIT_OBJECT_0;
    ::Sleep(whole);
    return false;
}

}  // namespace

WaitTimerKind CurrentWaitTimerKind() {
    return HasHighResolutionTimer() ? WaitTimerKind::HighResolution : WaitTimerKind::RaisedPeriod;
}

void PreciseSleep(double ms) {
    TimedWait(nullptr, ms);
}

TimerResolutionScope::TimerResolutionScope() {
    if (!HasHighResolutionTimer()) m_bRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

TimerResolutionScope::~TimerResolutionScope() {
    if (m_bRaised) timeEndPeriod(1);
}

struct WakeableWait::State {
    HANDLE event = nullptr;
};

WakeableWait::WakeableWait() : m_pState(new State) {
    // Manual reset: a wake stays until Reset, also when it came before the wait.
    m_pState->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WakeableWait::~WakeableWait() {
    if (m_pState->event) CloseHandle(m_pState->event);
    delete m_pState;
}

bool WakeableWait::WaitFor(double ms) {
    if (!m_pState->event) {
        PreciseSleep(ms);
        return false;
    }
    return TimedWait(m_pState->event, ms);
}

void WakeableWait::Wake() {
    if (m_pState->event) SetEvent(m_pState->event);
}

void WakeableWait::Reset() {
    if (m_pState->event) ResetEvent(m_pState->event);
}

}  // namespace platform
