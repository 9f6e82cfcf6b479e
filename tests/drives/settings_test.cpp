// The drives' settings text as the host stores and restores it: key order
// and types, 16- and 8-bit fields, the re-basing of the four positions, the
// device id, and the parameters sent to the processor on every load.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/kx_settings.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::PluginFixture;

// The keys of a settings text in order.
std::vector<std::u16string> Keys(const CKxStringW& text) {
    std::vector<std::u16string> keys;
    const std::u16string& s = text.str();
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t eq = s.find(u'=', start);
        const std::size_t end = s.find(u';', start);
        if (eq == std::u16string::npos || end == std::u16string::npos) break;
        keys.push_back(s.substr(start, eq - start));
        start = end + 1;
    }
    return keys;
}

int Int(const CKxStringW& text, const std::u16string& key) {
    int value = -123456;
    EXPECT_TRUE(GetIntFromKey(text.GetString(), key.c_str(), &value)) << "no key";
    return value;
}

CKxStringW Positions(const std::u16string& suffix, int zero, int current, int low, int high) {
    CKxStringW text;
    SetIntToKey(text, (u"zeroPos_step" + suffix).c_str(), zero);
    SetIntToKey(text, (u"currentPos_step" + suffix).c_str(), current);
    SetIntToKey(text, (u"minPos_step" + suffix).c_str(), low);
    SetIntToKey(text, (u"maxPos_step" + suffix).c_str(), high);
    return text;
}

std::vector<int> SavedPositions(IKxLogicalDevice& drive, const std::u16string& suffix) {
    CKxStringW text;
    drive.SaveSettings(text);
    return {Int(text, u"zeroPos_step" + suffix), Int(text, u"currentPos_step" + suffix),
            Int(text, u"minPos_step" + suffix), Int(text, u"maxPos_step" + suffix)};
}

// How many times each axis was sent its parameter set (its motor command).
std::vector<int> ParameterSets(const testing_support::SimBoard& board, std::size_t from) {
    std::vector<int> count(4, 0);
    for (const auto& c : board.Commands(from))
        if (c.name == "SetMotorCommand" && c.axis < 4) ++count[c.axis];
    return count;
}

TEST(DriveSettings, KeysInOrderWithTheirTypes) {
    PluginFixture plugin(61, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    const std::vector<std::u16string> axisKeys = {u"speed_revolutionPerSecond",
                                                  u"maxJoystickSpeed_revolutionPerSecond",
                                                  u"acceleration_revolutionPerSecond2",
                                                  u"deceleration_revolutionPerSecond2",
                                                  u"jerk_revolutionPerSecond3",
                                                  u"current_percent",
                                                  u"holdingCurrent_percent",
                                                  u"holdingDelay_ms",
                                                  u"calibration_umPerRevolution",
                                                  u"microsteps",
                                                  u"joystickEnable",
                                                  u"positiveLimitSwitches",
                                                  u"axisFlip",
                                                  u"zeroPos_step",
                                                  u"currentPos_step",
                                                  u"minPos_step",
                                                  u"maxPos_step"};
    std::vector<std::u16string> xyKeys;
    for (const char16_t* suffix : {u"_x", u"_y"}) {
        for (const auto& k : axisKeys) xyKeys.push_back(k + suffix);
        xyKeys.push_back(u"multipleUpdate");  // once after each axis
    }
    CKxStringW text(u"old=1;");
    plugin.xy->SaveSettings(text);
    EXPECT_EQ(Keys(text), xyKeys);
    plugin.z->SaveSettings(text);
    EXPECT_EQ(Keys(text), axisKeys);
    // The rotary drive: no calibration, the pole count last.
    std::vector<std::u16string> rotaryKeys = axisKeys;
    rotaryKeys.erase(
        std::find(rotaryKeys.begin(), rotaryKeys.end(), u"calibration_umPerRevolution"));
    rotaryKeys.push_back(u"poleCount");
    plugin.rotary->SaveSettings(text);
    EXPECT_EQ(Keys(text), rotaryKeys);
    // Values as the drives start: the rotary defaults, the flip as -1.
    double speed = 0;
    bool enabled = false;
    EXPECT_TRUE(GetDoubleFromKey(text.GetString(), u"speed_revolutionPerSecond", &speed));
    EXPECT_EQ(speed, 0.5);
    EXPECT_TRUE(GetBoolFromKey(text.GetString(), u"joystickEnable", &enabled));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(Int(text, u"axisFlip"), -1);
    EXPECT_EQ(Int(text, u"microsteps"), 255);
    EXPECT_EQ(Int(text, u"poleCount"), 800);
    EXPECT_EQ(Int(text, u"minPos_step"), -2147483647 - 1);
    EXPECT_EQ(Int(text, u"maxPos_step"), 2147483647);
}

TEST(DriveSettings, PositionsAreRebasedOnlyWhenAllFourArePresent) {
    PluginFixture plugin(62, 4);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    xy.LoadSettings(Positions(u"_x", 1000, 5000, 1000, 90000).GetString(), 1);
    EXPECT_EQ(SavedPositions(xy, u"_x"), (std::vector<int>{-4000, 0, -4000, 85000}));
    xy.LoadSettings(Positions(u"_y", 0, 0, -500, 500).GetString(), 1);
    EXPECT_EQ(SavedPositions(xy, u"_y"), (std::vector<int>{0, 0, 0, 0}));
    // 32-bit wrap-around: zero - current below -2^31 wraps to the top.
    xy.LoadSettings(Positions(u"_y", -2147483647 - 1, 1, 0, 2147483647).GetString(), 1);
    EXPECT_EQ(SavedPositions(xy, u"_y"), (std::vector<int>{2147483647, 0, 2147483647, -2}));

    z.LoadSettings(Positions(u"", 100, 40, 100, 900).GetString(), 2);
    EXPECT_EQ(SavedPositions(z, u""), (std::vector<int>{60, 0, 60, 860}));
    // The stage stands 60 steps below the zero point; limits 0 and 800
    // steps from it.
    const double um = 1000.0 / 51000.0;
    double position = 0, low = 0, high = 0;
    z.GetPosition(&position);
    z.GetRange(&low, &high);
    EXPECT_NEAR(position, -60 * um, 1e-9);
    EXPECT_NEAR(low, 0.0, 1e-9);
    EXPECT_NEAR(high, 800 * um, 1e-9);

    // Three of the four keys: nothing changes.
    CKxStringW partial;
    SetIntToKey(partial, u"zeroPos_step", 5);
    SetIntToKey(partial, u"currentPos_step", 6);
    SetIntToKey(partial, u"minPos_step", 7);
    z.LoadSettings(partial.GetString(), 2);
    EXPECT_EQ(SavedPositions(z, u""), (std::vector<int>{60, 0, 60, 860}));
    xy.LoadSettings(u"zeroPos_step_x=1;currentPos_step_x=2;minPos_step_x=3;", 1);
    EXPECT_EQ(SavedPositions(xy, u"_x"), (std::vector<int>{-4000, 0, -4000, 85000}));
}

TEST(DriveSettings, RotaryAngleAndEveryDrivePositionSurviveARestart) {
    PluginFixture plugin(64, 4, 50.0);
    ASSERT_NE(plugin.rotary, nullptr);
    // The rotary texts: rotary-centred re-basing keeps current + zero, the
    // count the angle is measured from; the limits keep their distance to
    // the zero point (at count -zero).
    plugin.rotary->LoadSettings(Positions(u"", 5000, 1000, -7000, 9000).GetString(), 3);
    EXPECT_EQ(SavedPositions(*plugin.rotary, u""), (std::vector<int>{6000, 0, -8000, 8000}));
    // Save, restart (the processor counts from 0 again), load: the same
    // angle, also after repeated reloads and with a zero point of its own.
    const double step = 360.0 / 204000.0;  // 255 microsteps x 800 poles
    CKxStringW text;
    for (double angle : {90.0, 30.0, 200.0, 359.9}) {
        SCOPED_TRACE(angle);
        ASSERT_EQ(plugin.rotary->MoveAbsolute(angle), 0);
        ASSERT_EQ(plugin.z->MoveAbsolute(123.0), 0);
        double before = -1, zBefore = 0;
        plugin.rotary->GetAngle(&before);
        plugin.z->GetPosition(&zBefore);
        plugin.rotary->SaveSettings(text);
        CKxStringW zText;
        plugin.z->SaveSettings(zText);
        ASSERT_TRUE(plugin.Connect(64));
        plugin.rotary->LoadSettings(text.GetString(), 3);
        plugin.z->LoadSettings(zText.GetString(), 2);
        double after = -1, zAfter = 0;
        plugin.rotary->GetAngle(&after);
        plugin.z->GetPosition(&zAfter);
        EXPECT_NEAR(after, before, step);
        EXPECT_NEAR(before, angle, step);
        EXPECT_NEAR(zAfter, zBefore, 1e-9);
    }
}

TEST(DriveSettings, NarrowFieldsKeepTheirLowBits) {
    PluginFixture plugin(63, 4);
    IKxDeviceXY& xy = *plugin.xy;
    xy.LoadSettings(u"microsteps_x=65537;axisFlip_x=255;microsteps_y=64;axisFlip_y=1;", 1);
    CKxStringW text;
    xy.SaveSettings(text);
    EXPECT_EQ(Int(text, u"microsteps_x"), 1);
    EXPECT_EQ(Int(text, u"axisFlip_x"), -1);
    EXPECT_EQ(Int(text, u"microsteps_y"), 64);
    EXPECT_EQ(Int(text, u"axisFlip_y"), 1);
    plugin.z->LoadSettings(u"axisFlip=128;microsteps=-1;", 2);
    plugin.z->SaveSettings(text);
    EXPECT_EQ(Int(text, u"axisFlip"), -128);
    EXPECT_EQ(Int(text, u"microsteps"), 65535);
}

TEST(DriveSettings, AnEmptyTextChangesOnlyTheIdsAndStillAppliesTheParameters) {
    PluginFixture plugin(64, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    CKxStringW xyBefore, zBefore, rBefore;
    plugin.xy->SaveSettings(xyBefore);
    plugin.z->SaveSettings(zBefore);
    plugin.rotary->SaveSettings(rBefore);

    const std::size_t from = plugin.board->CommandCount();
    plugin.xy->LoadSettings(u"", 11);
    plugin.z->LoadSettings(nullptr, 12);  // no text at all reads as empty
    plugin.rotary->LoadSettings(u"garbage without pairs", 13);
    EXPECT_EQ(ParameterSets(*plugin.board, from), (std::vector<int>{1, 1, 1, 1}));

    CKxStringW after;
    plugin.xy->SaveSettings(after);
    EXPECT_EQ(after, xyBefore);
    plugin.z->SaveSettings(after);
    EXPECT_EQ(after, zBefore);
    plugin.rotary->SaveSettings(after);
    EXPECT_EQ(after, rBefore);
    unsigned id = 0;
    plugin.z->GetDeviceId(&id);
    EXPECT_EQ(id, 12u);

    // A text with only the speed changes the speed and applies once more.
    const std::size_t again = plugin.board->CommandCount();
    plugin.z->LoadSettings(u"speed_revolutionPerSecond=2.5;", 12);
    EXPECT_EQ(ParameterSets(*plugin.board, again), (std::vector<int>{0, 0, 1, 0}));
    double speed = 0;
    plugin.z->GetSpeed(&speed);
    EXPECT_EQ(speed, 2.5);
    plugin.z->SaveSettings(after);
    EXPECT_EQ(Keys(after), Keys(zBefore));
}

TEST(DriveSettings, SaveThenLoadOnAnUnmovedStageReproducesEveryField) {
    PluginFixture plugin(65, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    // Unusual values in every field first, so that a field the load forgot
    // would show.
    CKxStringW custom;
    SetDoubleToKey(custom, u"speed_revolutionPerSecond", 0.1 + 0.2);
    SetDoubleToKey(custom, u"maxJoystickSpeed_revolutionPerSecond", 1e-7);
    SetDoubleToKey(custom, u"acceleration_revolutionPerSecond2", 3.25);
    SetDoubleToKey(custom, u"deceleration_revolutionPerSecond2", 2.75);
    SetDoubleToKey(custom, u"jerk_revolutionPerSecond3", 0.015625);
    SetDoubleToKey(custom, u"current_percent", 33.3);
    SetDoubleToKey(custom, u"holdingCurrent_percent", 7.7);
    SetDoubleToKey(custom, u"holdingDelay_ms", 12.5);
    SetDoubleToKey(custom, u"calibration_umPerRevolution", 635.0);
    SetIntToKey(custom, u"microsteps", 64);
    SetBoolToKey(custom, u"joystickEnable", false);
    SetBoolToKey(custom, u"positiveLimitSwitches", false);
    SetIntToKey(custom, u"axisFlip", 1);
    SetIntToKey(custom, u"poleCount", 400);
    plugin.z->LoadSettings(custom.GetString(), 3);
    plugin.rotary->LoadSettings(custom.GetString(), 4);

    for (IKxLogicalDevice* drive : plugin.drives) {
        CKxStringW saved;
        drive->SaveSettings(saved);
        drive->LoadSettings(saved.GetString(), 5);
        CKxStringW again;
        drive->SaveSettings(again);
        // Everything but the positions is the same text; the positions
        // follow the re-basing with the counter at 0 (current was 0).
        const auto keys = Keys(saved);
        ASSERT_EQ(Keys(again), keys);
        for (const auto& key : keys) {
            if (key.find(u"Pos_step") != std::u16string::npos) continue;
            double a = 0, b = 0;
            GetDoubleFromKey(saved.GetString(), key.c_str(), &a);
            GetDoubleFromKey(again.GetString(), key.c_str(), &b);
            bool fa = false, fb = false;
            GetBoolFromKey(saved.GetString(), key.c_str(), &fa);
            GetBoolFromKey(again.GetString(), key.c_str(), &fb);
            EXPECT_EQ(a, b) << drive->GetShortName().GetLength();
            EXPECT_EQ(fa, fb);
        }
        for (const char16_t* suffix : {u"", u"_x", u"_y"}) {
            int zero = 0;
            if (!GetIntFromKey(saved.GetString(),
                               (u"zeroPos_step" + std::u16string(suffix)).c_str(), &zero))
                continue;
            const std::u16string s(suffix);
            EXPECT_EQ(Int(saved, u"currentPos_step" + s), 0);
            EXPECT_EQ(Int(again, u"zeroPos_step" + s), zero);
            if (dynamic_cast<IKxDeviceRotary*>(drive)) {
                // The rotary limits keep their counts (current was 0).
                EXPECT_EQ(Int(again, u"minPos_step"), Int(saved, u"minPos_step"));
                EXPECT_EQ(Int(again, u"maxPos_step"), Int(saved, u"maxPos_step"));
                continue;
            }
            EXPECT_EQ(Int(again, u"minPos_step" + s), zero);
            EXPECT_EQ(Int(again, u"maxPos_step" + s),
                      static_cast<int>(static_cast<unsigned>(Int(saved, u"maxPos_step" + s)) -
                                       static_cast<unsigned>(zero) +
                                       static_cast<unsigned>(Int(saved, u"minPos_step" + s))));
        }
    }
    // The custom values arrived.
    double speed = 0;
    plugin.z->GetSpeed(&speed);
    EXPECT_EQ(speed, 0.1 + 0.2);
}

TEST(DriveSettings, RotaryPoleCountScalesTheAngle) {
    PluginFixture plugin(66, 4, 4.0);
    ASSERT_NE(plugin.rotary, nullptr);
    ASSERT_EQ(plugin.rotary->MoveAbsolute(90.0), 0);
    double angle = 0;
    plugin.rotary->GetAngle(&angle);
    EXPECT_NEAR(angle, 90.0, 0.01);
    plugin.rotary->LoadSettings(u"poleCount=400;", 9);
    plugin.rotary->GetAngle(&angle);
    EXPECT_NEAR(angle, 180.0, 0.01);
}

TEST(DriveSettings, MultipleUpdateStartsBothStageAxesWithOneCommand) {
    PluginFixture plugin(67, 4, 4.0);
    plugin.xy->LoadSettings(u"multipleUpdate=true;", 1);
    CKxStringW text;
    plugin.xy->SaveSettings(text);
    bool multiple = false;
    EXPECT_TRUE(GetBoolFromKey(text.GetString(), u"multipleUpdate", &multiple));
    EXPECT_TRUE(multiple);
    const std::size_t from = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(10, 10), 0);
    // After the destinations (a changed profile mode is confirmed with an
    // Update of its own before them).
    int multi = 0, single = 0;
    bool destinations = false;
    for (const auto& c : plugin.board->Commands(from)) {
        destinations = destinations || c.name == "SetPosition";
        if (c.name == "MultiUpdate") ++multi;
        if (destinations && c.name == "Update" && c.axis < 2) ++single;
    }
    EXPECT_EQ(multi, 1);
    EXPECT_EQ(single, 0);

    // The profile mode is cached between moves, and every load makes the
    // next move send it again.
    auto profileModes = [&](std::size_t start) {
        int n = 0;
        for (const auto& c : plugin.board->Commands(start)) n += c.name == "SetProfileMode";
        return n;
    };
    std::size_t next = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(-10, -10), 0);
    EXPECT_EQ(profileModes(next), 0);
    plugin.xy->LoadSettings(u"", 1);
    next = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(10, 10), 0);
    EXPECT_EQ(profileModes(next), 2);
}

}  // namespace
