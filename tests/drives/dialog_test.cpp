// The drives' configuration dialogs as a user works them: what they show,
// what OK, the close box, Cancel and Defaults store, the limit of every
// field, a field that is no number, the class labels, and the rotary
// dialog's rounding.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "host/kx_ui.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::DiagnosticCapture;
using testing_support::ExpectSaved;
using testing_support::kFocusShows;
using testing_support::kOnlyOurTimerTicks;
using testing_support::PluginFixture;
using testing_support::Saved;
using testing_support::WithDialogDriver;
using Texts = std::vector<std::u16string>;

// Opens the drive's dialog, types each (field, text), and ends it with
// `button` (0: the close box); what the fields showed first is returned.
Texts Work(IKxLogicalDevice& drive, const std::vector<std::pair<int, std::u16string>>& typed,
           int button, const std::vector<int>& shown = {}) {
    Texts first;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int id : shown) first.push_back(host::DialogItemText(dialog, id));
            for (const auto& [id, text] : typed) host::TypeIntoDialogItem(dialog, id, text);
            if (button)
                host::ClickDialogButton(dialog, button);
            else
                host::CloseDialogBox(dialog);
        },
        [&] { EXPECT_EQ(drive.ShowConfigurationDialog(nullptr), 0); });
    return first;
}

TEST(DriveDialogs, EveryFieldIsLimitedWhereItsRangeEnds) {
    PluginFixture plugin(81, 4);
    using Cases = std::vector<std::pair<std::u16string, double>>;  // typed, stored
    // Percentages and revolutions alike end at 100.
    const Cases kPercent = {{u"100", 100}, {u"100.001", 100}, {u"-0.001", 0}};
    const struct {
        int z, x, y;  // field ids
        const char16_t* key;
        Cases cases;
    } kFields[] = {
        // clang-format off
        // A calibration outside 1 to 1e6 is not taken at all.
        {1004, 1004, 1005, u"calibration_umPerRevolution",
         {{u"1e6", 1e6}, {u"1000000.1", 1e6}, {u"-0.001", 1e6}, {u"1", 1}, {u"0.999", 1}}},
        {1005, 1006, 1007, u"current_percent", kPercent},
        {1006, 1008, 1009, u"holdingCurrent_percent", {{u"30", 30}, {u"30.001", 30}, {u"-0.001", 0}}},
        {1007, 1010, 1011, u"speed_revolutionPerSecond", kPercent},
        {1008, 1012, 1013, u"acceleration_revolutionPerSecond2", kPercent}};
    // clang-format on
    for (const auto& f : kFields) {
        const std::u16string key(f.key);
        for (const auto& [typed, stored] : f.cases) {
            SCOPED_TRACE(KX_ToUtf8(key) + " typed " + KX_ToUtf8(typed));
            Work(*plugin.z, {{f.z, typed}}, 1);
            EXPECT_EQ(Saved(*plugin.z, key), stored);
            Work(*plugin.xy, {{f.x, typed}, {f.y, typed}}, 1);
            EXPECT_EQ(Saved(*plugin.xy, key + u"_x"), stored);
            EXPECT_EQ(Saved(*plugin.xy, key + u"_y"), stored);
        }
    }
}

TEST(ZDialog, ShowsAndStoresOnlyWhatWasTyped) {
    PluginFixture plugin(82, 4);
    DiagnosticCapture told;
    IKxDeviceZ& z = *plugin.z;
    bool negate = true, flip = true;
    Texts shown;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int id : {1004, 1005, 1006, 1007, 1008, 1025, 1028})
                shown.push_back(host::DialogItemText(dialog, id));
            negate = host::IsDialogItemChecked(dialog, 1023);
            flip = host::IsDialogItemChecked(dialog, 1024);
            // A field that is no number: OK stores nothing, names it, keeps
            // the dialog open with the field focused.
            host::TypeIntoDialogItem(dialog, 1006, u"40");
            host::TypeIntoDialogItem(dialog, 1007, u"fast please");
            host::SetDialogItemChecked(dialog, 1023, true);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 1);
            EXPECT_TRUE(host::IsDialogOpen(dialog));
            EXPECT_TRUE(!kFocusShows || host::FocusedDialogItem(dialog) == 1007);
            host::TypeIntoDialogItem(dialog, 1007, u"30");
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(z.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(shown, (Texts{u"1000.00000", u"80.00000", u"15.00000", u"10.00000", u"4.50000",
                            u"Norm.", u"Norm."}));
    EXPECT_FALSE(negate);  // limit switches used as they are
    EXPECT_FALSE(flip);    // direction -1
    EXPECT_TRUE(told.Has(u"Z drive dialog: the speed field does not read as a number"));
    ExpectSaved(z, {{u"holdingCurrent_percent", 30.0},
                    {u"speed_revolutionPerSecond", 30.0},
                    {u"maxJoystickSpeed_revolutionPerSecond", 30.0},
                    {u"deceleration_revolutionPerSecond2", 4.5},
                    {u"positiveLimitSwitches", 0.0},
                    {u"axisFlip", 1.0}});
    // An OK without changes changes nothing, not even a value shown rounded.
    z.LoadSettings(u"speed_revolutionPerSecond=0.123456789;", 2);
    Work(z, {}, 1);
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 0.123456789);
}

TEST(ZDialog, CancelCloseBoxDefaultsAndTheWaitCursor) {
    PluginFixture plugin(83, 4);
    IKxDeviceZ& z = *plugin.z;
    // The wait cursor is held while the parameters go out.
    std::atomic<int> cursorWhileSent{-1};
    plugin.board->endpoint.trace().SetSink([&](const sim::TraceEntry& e) {
        if (e.opcode == static_cast<std::uint8_t>(cmotion::Opcode::SetMotorCommand))
            cursorWhileSent = host::WaitCursorDepth();
    });
    Work(z, {{1007, u"7"}}, 2);
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 10.0);
    EXPECT_EQ(cursorWhileSent, -1);  // nothing sent
    std::size_t from = plugin.board->CommandCount();
    Work(z, {{1007, u"7"}}, 1);
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 7.0);
    EXPECT_EQ(plugin.board->Count("SetMotorCommand", from), 1);
    EXPECT_EQ(cursorWhileSent, 1);
    EXPECT_EQ(host::WaitCursorDepth(), 0);
    // The close box applies as OK does.
    Work(z, {{1007, u"8"}}, 0);
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 8.0);
    plugin.board->endpoint.trace().SetSink(nullptr);

    // Defaults show; Cancel forgets them and sends nothing, OK stores them.
    z.LoadSettings(u"current_percent=50;jerk_revolutionPerSecond3=2;", 2);
    for (int button : {2, 1}) {
        from = plugin.board->CommandCount();
        std::u16string shownCurrent;
        WithDialogDriver(
            [&](KxWindow dialog) {
                host::ClickDialogButton(dialog, 3);
                shownCurrent = host::DialogItemText(dialog, 1005);
                host::ClickDialogButton(dialog, button);
            },
            [&] { z.ShowConfigurationDialog(nullptr); });
        EXPECT_EQ(shownCurrent, u"80.00000");
        ExpectSaved(z, {{u"current_percent", button == 2 ? 50.0 : 80.0},
                        {u"jerk_revolutionPerSecond3", button == 2 ? 2.0 : 0.1},
                        {u"speed_revolutionPerSecond", button == 2 ? 8.0 : 10.0}});
        EXPECT_EQ(plugin.board->Count("SetMotorCommand", from), button == 2 ? 0 : 1);
    }
}

TEST(DriveDialogs, ClassLabelsChangeWhereTheirRangesEnd) {
    PluginFixture plugin(84, 4);
    // Z: each tick reads the fields. Speed: below 3 slow, from 15 fast;
    // acceleration fast from 10; what is no number reads as 0.
    Texts speed, acceleration;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (const char16_t* text : {u"2.99", u"3", u"14.99", u"15", u"junk"}) {
                host::TypeIntoDialogItem(dialog, 1007, text);
                host::TickDialogTimer(dialog, 1);
                speed.push_back(host::DialogItemText(dialog, 1025));
            }
            for (const char16_t* text : {u"9.99", u"10"}) {
                host::TypeIntoDialogItem(dialog, 1008, text);
                host::TickDialogTimer(dialog, 1);
                acceleration.push_back(host::DialogItemText(dialog, 1028));
            }
            host::ClickDialogButton(dialog, 2);
        },
        [&] { plugin.z->ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(speed, (Texts{u"Slow", u"Norm.", u"Norm.", u"Fast", u"Slow"}));
    EXPECT_EQ(acceleration, (Texts{u"Norm.", u"Fast"}));

    // XY: X/Y in one label, changed after two equal refreshes; speeds are
    // fast from 12.
    Texts xy;
    WithDialogDriver(
        [&](KxWindow dialog) {
            const auto after = [&](int ticks, int label) {
                for (int i = 0; i < ticks; ++i) host::TickDialogTimer(dialog, 1);
                xy.push_back(host::DialogItemText(dialog, label));
            };
            after(0, 1025);
            host::TypeIntoDialogItem(dialog, 1010, u"12");
            host::TypeIntoDialogItem(dialog, 1011, u"11.99");
            after(1, 1025);
            after(1, 1025);
            host::TypeIntoDialogItem(dialog, 1010, u"2.99");
            host::TypeIntoDialogItem(dialog, 1011, u"3");
            after(2, 1025);
            host::TypeIntoDialogItem(dialog, 1012, u"10");
            after(2, 1028);
            host::TypeIntoDialogItem(dialog, 1012, u"9.99");
            after(2, 1028);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { plugin.xy->ShowConfigurationDialog(nullptr); });
    ASSERT_EQ(xy.size(), 6u);
    EXPECT_TRUE(!kOnlyOurTimerTicks || xy[1] == u"Norm./Norm.");  // one tick: not yet
    xy.erase(xy.begin() + 1);
    EXPECT_EQ(xy,
              (Texts{u"Norm./Norm.", u"Fast/Norm.", u"Slow/Norm.", u"Fast/Norm.", u"Norm./Norm."}));
}

TEST(XYDialog, ShowsBothAxesDefaultsCancelAndTheCloseBox) {
    PluginFixture plugin(85, 4);
    IKxDeviceXY& xy = *plugin.xy;
    xy.LoadSettings(u"speed_revolutionPerSecond_y=12;axisFlip_y=1;positiveLimitSwitches_x=false;",
                    1);
    bool xNegate = false, yFlip = false;
    Texts shown;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int id : {1004, 1011, 1025}) shown.push_back(host::DialogItemText(dialog, id));
            xNegate = host::IsDialogItemChecked(dialog, 1023);
            yFlip = host::IsDialogItemChecked(dialog, 1027);
            host::TypeIntoDialogItem(dialog, 1009, u"?");  // no number: OK stays open
            host::TypeIntoDialogItem(dialog, 1008, u"-5");
            host::SetDialogItemChecked(dialog, 1023, false);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 1);
            EXPECT_TRUE(!kFocusShows || host::FocusedDialogItem(dialog) == 1009);
            host::TypeIntoDialogItem(dialog, 1009, u"0");
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(xy.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(shown, (Texts{u"1000.00000", u"12.00000", u"Norm./Fast"}));
    EXPECT_TRUE(xNegate);
    EXPECT_TRUE(yFlip);
    ExpectSaved(xy, {{u"holdingCurrent_percent_y", 0.0},
                     {u"maxJoystickSpeed_revolutionPerSecond_y", 10.0},  // Y speed untouched
                     {u"positiveLimitSwitches_x", 1.0},
                     {u"axisFlip_x", 1.0},
                     {u"axisFlip_y", 1.0}});

    // Defaults then Cancel: nothing changes, nothing is sent.
    xy.LoadSettings(u"current_percent_x=50;speed_revolutionPerSecond_y=2;axisFlip_x=1;", 1);
    const std::size_t from = plugin.board->CommandCount();
    bool flipShown = true;
    WithDialogDriver(
        [&](KxWindow dialog) {
            host::ClickDialogButton(dialog, 3);
            flipShown = host::IsDialogItemChecked(dialog, 1024);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { xy.ShowConfigurationDialog(nullptr); });
    EXPECT_FALSE(flipShown);  // the default direction -1
    ExpectSaved(xy, {{u"current_percent_x", 50.0},
                     {u"speed_revolutionPerSecond_y", 2.0},
                     {u"axisFlip_x", 1.0}});
    EXPECT_EQ(plugin.board->Count("SetMotorCommand", from), 0);
    // The close box applies, to both axes.
    Work(xy, {{1012, u"6.5"}}, 0);
    EXPECT_EQ(Saved(xy, u"acceleration_revolutionPerSecond2_x"), 6.5);
    EXPECT_EQ(plugin.board->Count("SetMotorCommand", from), 2);
}

TEST(RotaryDialog, ShowsRoundedValuesAndStoresOnlyItsBoxes) {
    PluginFixture plugin(87, 4);
    IKxDeviceRotary& r = *plugin.rotary;
    r.LoadSettings(
        u"speed_revolutionPerSecond=0.44;maxJoystickSpeed_revolutionPerSecond=2;"
        u"deceleration_revolutionPerSecond2=1.25;current_percent=60.4;",
        3);
    Texts fields;
    bool stillOpen = false;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int i = 0; i < 5; ++i) fields.push_back(host::DialogItemText(dialog, 1004 + i));
            host::ClickDialogButton(dialog, 3);  // Defaults does nothing here
            stillOpen = host::IsDialogOpen(dialog);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { EXPECT_EQ(r.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(fields, (Texts{u"1.0", u"60", u"10", u"0.4", u"4.500"}));
    EXPECT_TRUE(stillOpen);
    // Cancel: nothing changed.
    ExpectSaved(r, {{u"speed_revolutionPerSecond", 0.44}, {u"axisFlip", -1.0}});

    // OK without changes: the rounded texts are not read back.
    Work(r, {}, 1);
    ExpectSaved(r, {{u"speed_revolutionPerSecond", 0.44},
                    {u"maxJoystickSpeed_revolutionPerSecond", 2},
                    {u"current_percent", 60.4},
                    {u"deceleration_revolutionPerSecond2", 1.25}});

    // The close box applies as OK does.
    WithDialogDriver(
        [](KxWindow dialog) {
            host::SetDialogItemChecked(dialog, 1023, true);
            host::CloseDialogBox(dialog);
        },
        [&] { r.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(Saved(r, u"positiveLimitSwitches"), 0.0);
}

TEST(DriveDialogs, WithoutAxesOnlyCancelEndsThem) {
    tessaro::STessaro_ZDrive zDrive(nullptr);
    tessaro::STessaro_XYDrive xyDrive(nullptr);
    int stillOpen = 0;
    auto driver = [&](KxWindow dialog) {
        host::ClickDialogButton(dialog, 1);
        host::ClickDialogButton(dialog, 3);
        host::CloseDialogBox(dialog);
        stillOpen += host::IsDialogOpen(dialog);
        EXPECT_EQ(host::DialogItemText(dialog, 1004), u"");  // never filled
        host::ClickDialogButton(dialog, 2);
    };
    WithDialogDriver(driver, [&] { EXPECT_EQ(zDrive.ShowConfigurationDialog(nullptr), 0); });
    WithDialogDriver(driver, [&] { EXPECT_EQ(xyDrive.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(stillOpen, 2);
}

}  // namespace
