// The host's time services as the plug-in uses them: a monotonic millisecond
// counter and a sleep. The stand-in host can run time faster than the wall
// clock (a speed factor), so that tests reach the plug-in's minute-long wait
// bounds in well under a second; the simulator's clock takes the same factor.
#pragma once

#include <cstdint>

#include "host/kx_export.h"

// Monotonic time in milliseconds since the host started, times the speed.
KX_HOST_API double KX_GetTimeCounter();

namespace host {

// Waits `ms` host milliseconds (ms / speed of real time).
KX_HOST_API void Sleep(std::uint32_t ms);

// How much faster than real time host time runs; 1 unless a test says
// otherwise. Set it before anything measures time.
KX_HOST_API void SetTimeSpeed(double speed);
KX_HOST_API double TimeSpeed();

}  // namespace host
