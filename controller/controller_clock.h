// The controller's sleeps: host milliseconds (which a test host may run
// faster than the wall clock), slept as exactly as the system allows.
#pragma once

#include "host/kx_time.h"
#include "platform/wait_timer.h"

namespace tessaro {

inline void SleepHostMs(double ms) {
    platform::PreciseSleep(ms / host::TimeSpeed());
}

// Waits on `wait` for up to `ms` host milliseconds; true when woken.
inline bool WaitHostMs(platform::WakeableWait& wait, double ms) {
    return wait.WaitFor(ms / host::TimeSpeed());
}

}  // namespace tessaro
