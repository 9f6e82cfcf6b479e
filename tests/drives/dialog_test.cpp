// The drives' configuration dialogs as a user works them: what they show,
// what OK, the close box, Cancel and Defaults store, the limits and the
// shared working value, the class labels, and the rotary dialog's rounding.
#include <gtest/gtest.h>

#include <string>

#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "host/kx_settings.h"
#include "host/kx_ui.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::kOnlyOurTimerTicks;
using testing_support::PluginFixture;
using testing_support::WithDialogDriver;

double Saved(IKxLogicalDevice& drive, const char16_t* key) {
    CKxStringW text;
    drive.SaveSettings(text);
    double value = -12345;
    EXPECT_TRUE(GetDoubleFromKey(text.GetString(), key, &value)) << "missing key";
    return value;
}

int SavedInt(IKxLogicalDevice& drive, const char16_t* key) {
    CKxStringW text;
    drive.SaveSettings(text);
    int value = -12345;
    GetIntFromKey(text.GetString(), key, &value);
    return value;
}

bool SavedBool(IKxLogicalDevice& drive, const char16_t* key) {
    CKxStringW text;
    drive.SaveSettings(text);
    bool value = false;
    GetBoolFromKey(text.GetString(), key, &value);
    return value;
}

// How many parameter sets the processor was sent since `from`.
int ParameterSets(const testing_support::SimBoard& board, std::size_t from) {
    int n = 0;
    for (const auto& c : board.Commands(from)) n += c.name == "SetMotorCommand";
    return n;
}

TEST(ZDialog, ShowsStoresAndLimitsTheFields) {
    PluginFixture plugin(81, 4);
    IKxDeviceZ& z = *plugin.z;
    std::u16string fields[5], speedClass, accelerationClass;
    bool negate = true, flip = true;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int i = 0; i < 5; ++i) fields[i] = host::DialogItemText(dialog, 1004 + i);
            speedClass = host::DialogItemText(dialog, 1025);
            accelerationClass = host::DialogItemText(dialog, 1028);
            negate = host::IsDialogItemChecked(dialog, 1023);
            flip = host::IsDialogItemChecked(dialog, 1024);
            // Out of range values, and a field that is no number.
            host::TypeIntoDialogItem(dialog, 1004, u"-5");
            host::TypeIntoDialogItem(dialog, 1005, u"150");
            host::TypeIntoDialogItem(dialog, 1006, u"40");
            host::TypeIntoDialogItem(dialog, 1007, u"fast please");
            host::TypeIntoDialogItem(dialog, 1008, u"2.5");
            host::SetDialogItemChecked(dialog, 1023, true);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(z.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(fields[0], u"1000.00000");
    EXPECT_EQ(fields[1], u"80.00000");
    EXPECT_EQ(fields[2], u"15.00000");
    EXPECT_EQ(fields[3], u"10.00000");
    EXPECT_EQ(fields[4], u"4.50000");
    EXPECT_EQ(speedClass, u"Norm.");
    EXPECT_EQ(accelerationClass, u"Norm.");
    EXPECT_FALSE(negate);  // limit switches used as they are
    EXPECT_FALSE(flip);    // direction -1

    EXPECT_EQ(Saved(z, u"calibration_umPerRevolution"), 0.0);
    EXPECT_EQ(Saved(z, u"current_percent"), 100.0);
    EXPECT_EQ(Saved(z, u"holdingCurrent_percent"), 30.0);
    // The speed field kept the working value of the field before it.
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 30.0);
    EXPECT_EQ(Saved(z, u"maxJoystickSpeed_revolutionPerSecond"), 30.0);
    EXPECT_EQ(Saved(z, u"acceleration_revolutionPerSecond2"), 2.5);
    EXPECT_EQ(Saved(z, u"deceleration_revolutionPerSecond2"), 2.5);
    EXPECT_FALSE(SavedBool(z, u"positiveLimitSwitches"));
    EXPECT_EQ(SavedInt(z, u"axisFlip"), 1);
}

TEST(ZDialog, CancelCloseBoxAndDefaults) {
    PluginFixture plugin(82, 4);
    IKxDeviceZ& z = *plugin.z;
    auto typeSpeed = [](KxWindow dialog) { host::TypeIntoDialogItem(dialog, 1007, u"7"); };

    WithDialogDriver(
        [&](KxWindow dialog) {
            typeSpeed(dialog);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { z.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 10.0);

    std::size_t from = plugin.board->CommandCount();
    WithDialogDriver(
        [&](KxWindow dialog) {
            typeSpeed(dialog);
            host::CloseDialogBox(dialog);
        },
        [&] { z.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 7.0);
    EXPECT_EQ(ParameterSets(*plugin.board, from), 1);

    // Defaults go into the record at once and show; Cancel keeps them there
    // but sends nothing.
    z.LoadSettings(u"current_percent=50;holdingCurrent_percent=5;", 2);
    from = plugin.board->CommandCount();
    std::u16string shownCurrent;
    int waitCursor = 0;
    WithDialogDriver(
        [&](KxWindow dialog) {
            host::ClickDialogButton(dialog, 3);
            shownCurrent = host::DialogItemText(dialog, 1005);
            waitCursor = host::WaitCursorDepth();
            host::ClickDialogButton(dialog, 2);
        },
        [&] { z.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(shownCurrent, u"80.00000");
    EXPECT_EQ(waitCursor, 0);
    EXPECT_EQ(Saved(z, u"current_percent"), 80.0);
    EXPECT_EQ(Saved(z, u"speed_revolutionPerSecond"), 10.0);
    EXPECT_EQ(ParameterSets(*plugin.board, from), 0);
}

TEST(ZDialog, ClassLabelsFollowTheTypedValues) {
    PluginFixture plugin(83, 4);
    std::vector<std::u16string> speed, acceleration;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (const char16_t* text : {u"2.9", u"3", u"14.99", u"15", u"junk"}) {
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
    EXPECT_EQ(speed, (std::vector<std::u16string>{u"Slow", u"Norm.", u"Norm.", u"Fast", u"Slow"}));
    EXPECT_EQ(acceleration, (std::vector<std::u16string>{u"Norm.", u"Fast"}));
}

TEST(XYDialog, ShowsStoresAndLimitsBothAxes) {
    PluginFixture plugin(84, 4);
    IKxDeviceXY& xy = *plugin.xy;
    xy.LoadSettings(u"speed_revolutionPerSecond_y=12;axisFlip_y=1;positiveLimitSwitches_x=false;",
                    1);
    std::u16string xCalibration, ySpeed, speedClass;
    bool xNegate = false, yFlip = false;
    WithDialogDriver(
        [&](KxWindow dialog) {
            xCalibration = host::DialogItemText(dialog, 1004);
            ySpeed = host::DialogItemText(dialog, 1011);
            speedClass = host::DialogItemText(dialog, 1025);
            xNegate = host::IsDialogItemChecked(dialog, 1023);
            yFlip = host::IsDialogItemChecked(dialog, 1027);
            host::TypeIntoDialogItem(dialog, 1004, u"-1");
            host::TypeIntoDialogItem(dialog, 1005, u"1e6");
            host::TypeIntoDialogItem(dialog, 1006, u"150");
            host::TypeIntoDialogItem(dialog, 1007, u"?");  // inherits 100 from X
            host::TypeIntoDialogItem(dialog, 1008, u"-5");
            host::TypeIntoDialogItem(dialog, 1013, u"200");
            host::SetDialogItemChecked(dialog, 1023, false);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(xy.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(xCalibration, u"1000.00000");
    EXPECT_EQ(ySpeed, u"12.00000");
    EXPECT_EQ(speedClass, u"Norm./Fast");
    EXPECT_TRUE(xNegate);
    EXPECT_TRUE(yFlip);

    EXPECT_EQ(Saved(xy, u"calibration_umPerRevolution_x"), 0.0);
    EXPECT_EQ(Saved(xy, u"calibration_umPerRevolution_y"), 1e6);
    EXPECT_EQ(Saved(xy, u"current_percent_x"), 100.0);
    EXPECT_EQ(Saved(xy, u"current_percent_y"), 100.0);
    EXPECT_EQ(Saved(xy, u"holdingCurrent_percent_x"), 0.0);
    EXPECT_EQ(Saved(xy, u"maxJoystickSpeed_revolutionPerSecond_y"), 12.0);
    EXPECT_EQ(Saved(xy, u"acceleration_revolutionPerSecond2_y"), 100.0);
    EXPECT_EQ(Saved(xy, u"deceleration_revolutionPerSecond2_y"), 100.0);
    EXPECT_TRUE(SavedBool(xy, u"positiveLimitSwitches_x"));
    EXPECT_EQ(SavedInt(xy, u"axisFlip_x"), 1);
    EXPECT_EQ(SavedInt(xy, u"axisFlip_y"), 1);
}

TEST(XYDialog, LabelsChangeAfterTwoEqualRefreshes) {
    PluginFixture plugin(85, 4);
    std::vector<std::u16string> speed;
    std::u16string mixed, fastAcceleration, normalAcceleration;
    WithDialogDriver(
        [&](KxWindow dialog) {
            speed.push_back(host::DialogItemText(dialog, 1025));
            host::TypeIntoDialogItem(dialog, 1010, u"12");
            host::TypeIntoDialogItem(dialog, 1011, u"12");
            host::TickDialogTimer(dialog, 1);
            speed.push_back(host::DialogItemText(dialog, 1025));
            host::TickDialogTimer(dialog, 1);
            speed.push_back(host::DialogItemText(dialog, 1025));
            host::TypeIntoDialogItem(dialog, 1010, u"2.99");
            host::TypeIntoDialogItem(dialog, 1011, u"3");
            host::TickDialogTimer(dialog, 1);
            host::TickDialogTimer(dialog, 1);
            mixed = host::DialogItemText(dialog, 1025);
            host::TypeIntoDialogItem(dialog, 1012, u"10");
            host::TickDialogTimer(dialog, 1);
            host::TickDialogTimer(dialog, 1);
            fastAcceleration = host::DialogItemText(dialog, 1028);
            host::TypeIntoDialogItem(dialog, 1012, u"9.99");
            host::TickDialogTimer(dialog, 1);
            host::TickDialogTimer(dialog, 1);
            normalAcceleration = host::DialogItemText(dialog, 1028);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { plugin.xy->ShowConfigurationDialog(nullptr); });
    ASSERT_EQ(speed.size(), 3u);
    EXPECT_EQ(speed[0], u"Norm./Norm.");
    if (kOnlyOurTimerTicks) {
        EXPECT_EQ(speed[1], u"Norm./Norm.");  // one tick: not yet
    }
    EXPECT_EQ(speed[2], u"Fast/Fast");
    EXPECT_EQ(mixed, u"Slow/Norm.");
    EXPECT_EQ(fastAcceleration, u"Fast/Norm.");
    EXPECT_EQ(normalAcceleration, u"Norm./Norm.");
}

TEST(XYDialog, DefaultsThenCancelAndTheCloseBox) {
    PluginFixture plugin(86, 4);
    IKxDeviceXY& xy = *plugin.xy;
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
    EXPECT_EQ(Saved(xy, u"current_percent_x"), 80.0);
    EXPECT_EQ(Saved(xy, u"speed_revolutionPerSecond_y"), 10.0);
    EXPECT_EQ(SavedInt(xy, u"axisFlip_x"), -1);
    EXPECT_EQ(ParameterSets(*plugin.board, from), 0);

    WithDialogDriver(
        [&](KxWindow dialog) {
            host::TypeIntoDialogItem(dialog, 1012, u"6.5");
            host::CloseDialogBox(dialog);
        },
        [&] { xy.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(Saved(xy, u"acceleration_revolutionPerSecond2_x"), 6.5);
    EXPECT_EQ(ParameterSets(*plugin.board, from), 2);  // both axes
}

TEST(RotaryDialog, ShowsRoundedValuesAndStoresThemAsShown) {
    PluginFixture plugin(87, 4);
    IKxDeviceRotary& r = *plugin.rotary;
    r.LoadSettings(
        u"speed_revolutionPerSecond=0.44;maxJoystickSpeed_revolutionPerSecond=2;"
        u"deceleration_revolutionPerSecond2=1.25;current_percent=60.4;",
        3);
    std::u16string fields[5];
    bool stillOpen = false;
    WithDialogDriver(
        [&](KxWindow dialog) {
            for (int i = 0; i < 5; ++i) fields[i] = host::DialogItemText(dialog, 1004 + i);
            host::ClickDialogButton(dialog, 3);  // Defaults does nothing here
            stillOpen = host::IsDialogOpen(dialog);
            host::SetDialogItemChecked(dialog, 1024, true);
            host::ClickDialogButton(dialog, 2);
        },
        [&] { EXPECT_EQ(r.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(fields[0], u"1.0");
    EXPECT_EQ(fields[1], u"60");
    EXPECT_EQ(fields[2], u"10");
    EXPECT_EQ(fields[3], u"0.4");
    EXPECT_EQ(fields[4], u"4.500");
    EXPECT_TRUE(stillOpen);
    // Cancel: nothing changed.
    EXPECT_EQ(Saved(r, u"speed_revolutionPerSecond"), 0.44);
    EXPECT_EQ(Saved(r, u"maxJoystickSpeed_revolutionPerSecond"), 2.0);
    EXPECT_EQ(SavedInt(r, u"axisFlip"), -1);

    WithDialogDriver([](KxWindow dialog) { host::ClickDialogButton(dialog, 1); },
                     [&] { r.ShowConfigurationDialog(nullptr); });
    EXPECT_EQ(Saved(r, u"speed_revolutionPerSecond"), 0.4);
    EXPECT_EQ(Saved(r, u"maxJoystickSpeed_revolutionPerSecond"), 0.4);
    EXPECT_EQ(Saved(r, u"current_percent"), 60.0);
    EXPECT_EQ(Saved(r, u"deceleration_revolutionPerSecond2"), 4.5);

    // The close box applies as OK does.
    WithDialogDriver(
        [](KxWindow dialog) {
            host::SetDialogItemChecked(dialog, 1023, true);
            host::CloseDialogBox(dialog);
        },
        [&] { r.ShowConfigurationDialog(nullptr); });
    EXPECT_FALSE(SavedBool(r, u"positiveLimitSwitches"));
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
        // The fields were never filled.
        EXPECT_EQ(host::DialogItemText(dialog, 1004), u"");
        host::ClickDialogButton(dialog, 2);
    };
    WithDialogDriver(driver, [&] { EXPECT_EQ(zDrive.ShowConfigurationDialog(nullptr), 0); });
    WithDialogDriver(driver, [&] { EXPECT_EQ(xyDrive.ShowConfigurationDialog(nullptr), 0); });
    EXPECT_EQ(stillOpen, 2);
}

}  // namespace
