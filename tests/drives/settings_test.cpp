// The drives' settings text as the host stores and restores it: key order
// and types, 16- and 8-bit fields, the re-basing of the four positions, the
// device id, and the parameters sent to the processor on every load.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "host/kx_settings.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/wait_for.h"

namespace {

using testing_support::DiagnosticCapture;
using testing_support::ExpectSaved;
using testing_support::PluginFixture;
using testing_support::Saved;
using Keys = std::vector<std::u16string>;

// The keys of a settings text in order.
Keys KeysOf(const CKxStringW& text) {
    Keys keys;
    const std::u16string& s = text.str();
    for (std::size_t start = 0, eq; (eq = s.find(u'=', start)) != std::u16string::npos;
         start = s.find(u';', eq) + 1)
        keys.push_back(s.substr(start, eq - start));
    return keys;
}

CKxStringW Positions(const std::u16string& suffix, int zero, int current, int low, int high) {
    CKxStringW text;
    SetIntToKey(text, (u"zeroPos_step" + suffix).c_str(), zero);
    SetIntToKey(text, (u"currentPos_step" + suffix).c_str(), current);
    SetIntToKey(text, (u"minPos_step" + suffix).c_str(), low);
    SetIntToKey(text, (u"maxPos_step" + suffix).c_str(), high);
    return text;
}

std::vector<double> SavedPositions(IKxLogicalDevice& drive, const std::u16string& suffix) {
    std::vector<double> out;
    for (const char16_t* key :
         {u"zeroPos_step", u"currentPos_step", u"minPos_step", u"maxPos_step"})
        out.push_back(Saved(drive, key + suffix));
    return out;
}

TEST(DriveSettings, KeysInOrderWithTheirTypes) {
    PluginFixture plugin(61, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    Keys axisKeys;
    std::istringstream names(
        "speed_revolutionPerSecond maxJoystickSpeed_revolutionPerSecond "
        "acceleration_revolutionPerSecond2 deceleration_revolutionPerSecond2 "
        "jerk_revolutionPerSecond3 current_percent holdingCurrent_percent holdingDelay_ms "
        "calibration_umPerRevolution microsteps joystickEnable positiveLimitSwitches axisFlip "
        "zeroPos_step currentPos_step minPos_step maxPos_step");
    for (std::string name; names >> name;) axisKeys.emplace_back(name.begin(), name.end());
    Keys xyKeys;
    for (const char16_t* suffix : {u"_x", u"_y"}) {
        for (const auto& k : axisKeys) xyKeys.push_back(k + suffix);
        xyKeys.push_back(u"multipleUpdate");  // once after each axis
    }
    CKxStringW text(u"old=1;");  // replaced, not appended to
    plugin.xy->SaveSettings(text);
    EXPECT_EQ(KeysOf(text), xyKeys);
    plugin.z->SaveSettings(text);
    EXPECT_EQ(KeysOf(text), axisKeys);
    // The rotary drive: no calibration, the pole count last.
    Keys rotaryKeys = axisKeys;
    rotaryKeys.erase(
        std::find(rotaryKeys.begin(), rotaryKeys.end(), u"calibration_umPerRevolution"));
    rotaryKeys.push_back(u"poleCount");
    plugin.rotary->SaveSettings(text);
    EXPECT_EQ(KeysOf(text), rotaryKeys);
    // Values as the drives start: the rotary defaults, the flip as -1.
    EXPECT_NE(text.str().find(u"speed_revolutionPerSecond=0.5;"), std::u16string::npos);
    EXPECT_NE(text.str().find(u"joystickEnable=1;"), std::u16string::npos);
    for (const auto& [key, value] : {std::pair<const char16_t*, double>{u"axisFlip", -1},
                                     {u"microsteps", 255},
                                     {u"poleCount", 800},
                                     {u"minPos_step", -2147483648.0},
                                     {u"maxPos_step", 2147483647}})
        EXPECT_EQ(Saved(*plugin.rotary, key), value) << KX_ToUtf8(key);
}

TEST(DriveSettings, PositionsAreRebasedOnlyWhenAllFourArePresent) {
    PluginFixture plugin(62, 4);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    using P = std::vector<double>;
    constexpr int kLow = -2147483647 - 1, kHigh = 2147483647;
    // The board counts from 0 (reset at the last disconnect): all four move
    // by -current, saturating; a limit at an end of the range (the whole
    // travel) stays there.
    const struct {
        P saved, loaded;
    } kCases[] = {
        {{1000, 5000, 1000, 90000}, {-4000, 0, -4000, 85000}},
        {{0, 300, -1000, 1000}, {-300, 0, -1300, 700}},  // origin away from the lower limit
        {{0, 0, -500, 500}, {0, 0, -500, 500}},
        {{kLow, 1, kLow, kHigh}, {kLow, 0, kLow, kHigh}},
        {{kLow + 1, 1, kLow + 1, kHigh - 1}, {kLow, 0, kLow, kHigh - 2}},
        {{kHigh, -1, kHigh - 1, kHigh - 1}, {kHigh, 0, kHigh, kHigh}},
        {{0, 500, 600, 400}, {-500, 0, kLow, kHigh}},  // crossed: the whole travel
    };
    for (const auto& c : kCases) {
        const auto& v = c.saved;
        xy.LoadSettings(Positions(u"_y", int(v[0]), int(v[1]), int(v[2]), int(v[3])).GetString(),
                        1);
        EXPECT_EQ(SavedPositions(xy, u"_y"), c.loaded) << v[0] << " " << v[1];
    }
    z.LoadSettings(Positions(u"", 100, 40, -200, 900).GetString(), 2);
    EXPECT_EQ(SavedPositions(z, u""), (P{60, 0, -240, 860}));
    // Three of the four keys: nothing changes.
    z.LoadSettings(u"zeroPos_step=5;currentPos_step=6;minPos_step=7;", 2);
    EXPECT_EQ(SavedPositions(z, u""), (P{60, 0, -240, 860}));

    // The rotary drive keeps current + zero, the count the angle is
    // measured from; its limits keep their distance to the zero point.
    plugin.rotary->LoadSettings(Positions(u"", 5000, 1000, -7000, 9000).GetString(), 3);
    EXPECT_EQ(SavedPositions(*plugin.rotary, u""), (P{6000, 0, -8000, 8000}));
}

TEST(DriveSettings, AFlaggedDriveSaysWhyAndWhenASearchGivesItsOriginBack) {
    // Switches far apart: a search's back-off runs at full speed for up to
    // 100 ms between looks.
    PluginFixture plugin(68, 4, 10.0);
    DiagnosticCapture told;
    plugin.board->endpoint.processor().SetLimitSwitches(2, {true, true, -200000, 20000});
    ASSERT_EQ(plugin.z->MoveAbsolute(100.0), 0);
    CKxStringW saved;
    plugin.z->SaveSettings(saved);
    ASSERT_EQ(plugin.z->MoveAbsolute(90.0), 0);
    // A host gone without a disconnect: no Reset, the board kept counting.
    plugin.board->Fault("refuse:op=Reset:count=1");
    ASSERT_TRUE(plugin.Connect(68));
    plugin.z->LoadSettings(saved.GetString(), 2);
    EXPECT_TRUE(told.Has(u"Z drive position cannot be trusted: the board was not reset"));
    // A search finds the origin again only from a lower limit measured at
    // its switch while the drive was trusted.
    ASSERT_EQ(plugin.z->FindLimits(), 0);
    EXPECT_TRUE(told.Has(u"Z drive limits searched, but its position still cannot be trusted"));
    double here = 0;
    plugin.z->GetPosition(&here);
    plugin.z->SetAsZero(here);
    ASSERT_EQ(plugin.z->FindLimits(), 0);
    plugin.board->endpoint.Unplug(100, true);  // the board's power goes
    ASSERT_TRUE(testing_support::WaitFor([&] { return told.Has(u"line to COM68 is back"); }));
    EXPECT_EQ(plugin.z->MoveAbsolute(0.0), 21);
    ASSERT_EQ(plugin.z->FindLimits(), 0);
    EXPECT_TRUE(
        told.Has(u"Z drive position is trusted again: the limits were searched and the "
                 u"lower switch gave the origin back"));
}

// The rotary drive's re-basing across a restart is the positions case above;
// the pole count scales the angle.
TEST(DriveSettings, RotaryAngleFollowsThePoleCount) {
    PluginFixture plugin(64, 4, 50.0);
    ASSERT_NE(plugin.rotary, nullptr);
    ASSERT_EQ(plugin.rotary->MoveAbsolute(359.9), 0);
    plugin.rotary->LoadSettings(u"poleCount=400;", 9);
    double angle = 0;
    plugin.rotary->GetAngle(&angle);
    EXPECT_NEAR(angle, 359.9 * 2 - 360.0, 0.01);
}

TEST(DriveSettings, NarrowFieldsKeepTheirLowBitsAndRangesTheirEnds) {
    PluginFixture plugin(63, 4);
    DiagnosticCapture told;
    // Loaded in turn: microsteps in 16 bits and the flip in 8 (two's
    // complement), either side of where the bits wrap; then every range's
    // ends. A value not taken leaves the one before it.
    const struct {
        const char16_t* text;
        const char16_t* key;
        double saved;
    } kCases[] = {
        // clang-format off
        {u"microsteps=65537;", u"microsteps", 1},     {u"microsteps=16383;", u"microsteps", 16383},
        {u"microsteps=16384;", u"microsteps", 16383}, {u"microsteps=64;", u"microsteps", 64},
        {u"microsteps=-1;", u"microsteps", 64},       {u"axisFlip=255;", u"axisFlip", -1},
        {u"axisFlip=257;", u"axisFlip", 1},           {u"axisFlip=0;", u"axisFlip", 1},
        {u"axisFlip=128;", u"axisFlip", 1},
        {u"calibration_umPerRevolution=1;", u"calibration_umPerRevolution", 1},
        {u"calibration_umPerRevolution=0.999;", u"calibration_umPerRevolution", 1},
        {u"calibration_umPerRevolution=1e6;", u"calibration_umPerRevolution", 1e6},
        {u"calibration_umPerRevolution=1000000.1;", u"calibration_umPerRevolution", 1e6},
        {u"current_percent=100;", u"current_percent", 100}, {u"current_percent=200;", u"current_percent", 100},
        {u"current_percent=0;", u"current_percent", 0}, {u"current_percent=-0.001;", u"current_percent", 0},
        {u"holdingCurrent_percent=30;", u"holdingCurrent_percent", 30},
        {u"holdingCurrent_percent=30.001;", u"holdingCurrent_percent", 30},
        // Speeds up to the dialogs' 100 rev/s and down to one count (1.2e-5
        // rev/s at the 12800 steps a turn of 64 microsteps); rates as far
        // as 32 bits carry them.
        {u"speed_revolutionPerSecond=100;", u"speed_revolutionPerSecond", 100},
        {u"speed_revolutionPerSecond=100.001;", u"speed_revolutionPerSecond", 100},
        {u"speed_revolutionPerSecond=1.2e-5;", u"speed_revolutionPerSecond", 1.2e-5},
        {u"speed_revolutionPerSecond=1.1e-5;", u"speed_revolutionPerSecond", 1.2e-5},
        {u"speed_revolutionPerSecond=0;", u"speed_revolutionPerSecond", 1.2e-5},
        {u"acceleration_revolutionPerSecond2=51199;", u"acceleration_revolutionPerSecond2", 51199},
        {u"acceleration_revolutionPerSecond2=51200;", u"acceleration_revolutionPerSecond2", 51199},
        {u"deceleration_revolutionPerSecond2=51200;", u"deceleration_revolutionPerSecond2", 4.5},
        {u"jerk_revolutionPerSecond3=1e999;", u"jerk_revolutionPerSecond3", 0.1},
        // clang-format on
    };
    for (const auto& c : kCases) {
        plugin.z->LoadSettings(c.text, 2);
        EXPECT_EQ(Saved(*plugin.z, c.key), c.saved) << KX_ToUtf8(c.text);
    }
    EXPECT_TRUE(
        told.Has(u"Z drive kept microsteps at 16383: 16384 from the settings lies outside "
                 u"1 to 16383"));
    EXPECT_TRUE(told.Has(u"Z drive kept axisFlip at 1: 0 from the settings lies outside -1 or 1"));
    EXPECT_TRUE(
        told.Has(u"Z drive kept acceleration_revolutionPerSecond2 at 51199: 51200 from the "
                 u"settings lies outside 0 to 51199.999"));
    plugin.xy->LoadSettings(u"microsteps_x=65537;axisFlip_x=255;microsteps_y=64;axisFlip_y=1;", 1);
    ExpectSaved(
        *plugin.xy,
        {{u"microsteps_x", 1}, {u"axisFlip_x", -1}, {u"microsteps_y", 64}, {u"axisFlip_y", 1}});
}

TEST(DriveSettings, AnEmptyTextChangesOnlyTheIdsAndStillAppliesTheParameters) {
    PluginFixture plugin(64, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    CKxStringW before[3];
    for (int i = 0; i < 3; ++i) plugin.drives[i]->SaveSettings(before[i]);
    const std::size_t from = plugin.board->CommandCount();
    plugin.xy->LoadSettings(u"", 11);
    plugin.z->LoadSettings(nullptr, 12);  // no text at all reads as empty
    plugin.rotary->LoadSettings(u"garbage without pairs", 13);
    for (int axis = 0; axis < 4; ++axis)
        EXPECT_EQ(plugin.board->Count("SetMotorCommand", from, axis), 1) << axis;
    for (int i = 0; i < 3; ++i) {
        CKxStringW after;
        plugin.drives[i]->SaveSettings(after);
        EXPECT_EQ(after, before[i]);
    }
    unsigned id = 0;
    plugin.z->GetDeviceId(&id);
    EXPECT_EQ(id, 12u);
}

TEST(DriveSettings, SaveThenLoadOnAnUnmovedStageReproducesEveryField) {
    PluginFixture plugin(65, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    // Unusual values in every field first, so that a field the load forgot
    // would show.
    const CKxStringW custom(
        u"speed_revolutionPerSecond=0.30000000000000004;maxJoystickSpeed_revolutionPerSecond=1e-07;"
        u"acceleration_revolutionPerSecond2=3.25;deceleration_revolutionPerSecond2=2.75;"
        u"jerk_revolutionPerSecond3=0.015625;current_percent=33.3;holdingCurrent_percent=7.7;"
        u"holdingDelay_ms=12.5;calibration_umPerRevolution=635;microsteps=64;joystickEnable=0;"
        u"positiveLimitSwitches=0;axisFlip=1;poleCount=400;");
    plugin.z->LoadSettings(custom.GetString(), 3);
    plugin.rotary->LoadSettings(custom.GetString(), 4);
    EXPECT_EQ(Saved(*plugin.z, u"speed_revolutionPerSecond"), 0.1 + 0.2);
    EXPECT_EQ(Saved(*plugin.rotary, u"poleCount"), 400);

    // Everything but the positions (whose re-basing is checked above) comes
    // back as the same text.
    for (IKxLogicalDevice* drive : plugin.drives) {
        SCOPED_TRACE(KX_ToUtf8(drive->GetInterfaceName().str()));
        CKxStringW saved, again;
        drive->SaveSettings(saved);
        drive->LoadSettings(saved.GetString(), 5);
        drive->SaveSettings(again);
        const Keys keys = KeysOf(saved);
        ASSERT_EQ(KeysOf(again), keys);
        for (const auto& key : keys) {
            double first = -1, second = -2;
            GetDoubleFromKey(saved.GetString(), key.c_str(), &first);
            GetDoubleFromKey(again.GetString(), key.c_str(), &second);
            EXPECT_TRUE(key.find(u"Pos_step") != std::u16string::npos || first == second)
                << KX_ToUtf8(key);
        }
    }
}

// The key itself; what a MultiUpdate start sends, and the profile-mode cache
// that a load empties, are the motion, axis and collected-move tests'.
TEST(DriveSettings, MultipleUpdateStartsBothStageAxesWithOneCommand) {
    PluginFixture plugin(67, 4, 4.0);
    plugin.xy->LoadSettings(u"multipleUpdate=true;", 1);
    EXPECT_EQ(Saved(*plugin.xy, u"multipleUpdate"), 1);
    const std::size_t from = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(10, 10), 0);
    EXPECT_EQ(plugin.board->Count("MultiUpdate", from), 1);
}

}  // namespace
