// The plug-in as the host holds it, against a simulated board in process,
// connected on construction; its saved settings and answers; its dialogs
// worked by a test's driver.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "host/kx_dialogs.h"
#include "host/kx_settings.h"
#include "host/kx_string.h"
#include "tests/support/plugin_host.h"
#include "tests/support/sim_board.h"

namespace testing_support {

// The board comes first among the bases: it is made before the device and
// goes after it.
struct SimBoardOwner {
    std::unique_ptr<SimBoard> board;
};

class PluginFixture : public SimBoardOwner, public PluginHost {
  public:
    PluginFixture(int port, std::uint16_t axes, double speed = 1.0)
        : SimBoardOwner{std::make_unique<SimBoard>(port, axes, speed)} {
        Connect(port);
    }
};

// A value of the drive's saved settings (flags read as 1 or 0); a key that
// is not there fails the test.
inline double Saved(IKxLogicalDevice& drive, const std::u16string& key) {
    CKxStringW text;
    drive.SaveSettings(text);
    double value = -12345;
    EXPECT_TRUE(GetDoubleFromKey(text.GetString(), key.c_str(), &value))
        << "no key " << KX_ToUtf8(key);
    return value;
}

// Several saved values at once, each with what it should be.
inline void ExpectSaved(IKxLogicalDevice& drive,
                        const std::vector<std::pair<std::u16string, double>>& values) {
    for (const auto& [key, value] : values) EXPECT_EQ(Saved(drive, key), value) << KX_ToUtf8(key);
}

// Answers of operations, each with what it should be.
struct Answer {
    const char* what;
    long long got, want;
};
inline void ExpectAnswers(const std::vector<Answer>& answers) {
    for (const Answer& a : answers) EXPECT_EQ(a.got, a.want) << a.what;
}

// Whether a test's timer ticks are the only ones a dialog gets. Real
// dialogs (Windows) also get their own timer's ticks once a second.
// Whether a field's focus can be seen (not under Wine's null driver).
#ifdef _WIN32
inline constexpr bool kOnlyOurTimerTicks = false;
inline constexpr bool kFocusShows = false;
#else
inline constexpr bool kOnlyOurTimerTicks = true;
inline constexpr bool kFocusShows = true;
#endif

// Opens a dialog (by the call given) under a test's driver, which acts on it
// as a user would (see host/kx_dialogs.h); the driver is removed afterwards.
inline void WithDialogDriver(const host::DialogDriver& driver, const std::function<void()>& open) {
    host::SetDialogDriver(driver);
    open();
    host::SetDialogDriver(nullptr);
}

}  // namespace testing_support
