// Opening a dialog under a test's driver: the driver acts on the dialog as
// a user would (see host/kx_dialogs.h) and the dialog is opened by the call
// given; the driver is removed again afterwards.
#pragma once

#include <functional>

#include "host/kx_dialogs.h"

namespace testing_support {

// Whether a test's timer ticks are the only ones the dialog gets. Real
// dialogs (Windows) also get their own timer's ticks once a second.
#ifdef _WIN32
inline constexpr bool kOnlyOurTimerTicks = false;
#else
inline constexpr bool kOnlyOurTimerTicks = true;
#endif

inline void WithDialogDriver(const host::DialogDriver& driver, const std::function<void()>& open) {
    host::SetDialogDriver(driver);
    open();
    host::SetDialogDriver(nullptr);
}

}  // namespace testing_support
