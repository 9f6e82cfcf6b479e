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

namespace {

using testing_support::DiagnosticCapture;
using testing_support::ExpectSaved;
using testing_support::PluginFixture;
using testing_support::Saved;
using testing_support::Words32;
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
    // The stage stands 60 steps below the zero point; limits 300 steps
    // below and 800 above it, as they were.
    const double um = 1000.0 / 51000.0;
    double position = 0, low = 0, high = 0;
    z.GetPosition(&position);
    z.GetRange(&low, &high);
    EXPECT_NEAR(position, -60 * um, 1e-9);
    EXPECT_NEAR(low, -300 * um, 1e-9);
    EXPECT_NEAR(high, 800 * um, 1e-9);

    // Three of the four keys: nothing changes.
    z.LoadSettings(u"zeroPos_step=5;currentPos_step=6;minPos_step=7;", 2);
    EXPECT_EQ(SavedPositions(z, u""), (P{60, 0, -240, 860}));

    // The rotary drive keeps current + zero, the count the angle is
    // measured from; its limits keep their distance to the zero point.
    plugin.rotary->LoadSettings(Positions(u"", 5000, 1000, -7000, 9000).GetString(), 3);
    EXPECT_EQ(SavedPositions(*plugin.rotary, u""), (P{6000, 0, -8000, 8000}));
}

TEST(DriveSettings, ABoardThatKeptItsCountsComesBackExactOrFlagged) {
    PluginFixture plugin(65, 4, 20.0);
    DiagnosticCapture told;
    IKxDeviceZ& z = *plugin.z;
    // A host that went away without a disconnect: no Reset reaches the
    // board, which keeps its counts for the next connection.
    const auto reconnectUnreset = [&] {
        plugin.board->Fault("refuse:op=Reset:count=1");
        ASSERT_TRUE(plugin.Connect(65));
    };
    ASSERT_EQ(z.MoveAbsolute(1000.0), 0);
    CKxStringW saved;
    z.SaveSettings(saved);
    // Not moved since the save: exact, and absolute moves go where asked.
    reconnectUnreset();
    IKxDeviceZ& z2 = *plugin.z;
    z2.LoadSettings(saved.GetString(), 2);
    double position = 0;
    z2.GetPosition(&position);
    EXPECT_DOUBLE_EQ(position, 1000.0);
    EXPECT_EQ(z2.MoveAbsolute(900.0), 0);
    // Moved since: the board's count is shown, and flagged; nothing
    // absolute is sent until the origin is set; relative moves go.
    reconnectUnreset();
    IKxDeviceZ& z3 = *plugin.z;
    z3.LoadSettings(saved.GetString(), 2);
    z3.GetPosition(&position);
    EXPECT_DOUBLE_EQ(position, 900.0);
    EXPECT_TRUE(told.Has(u"Z drive position cannot be trusted: the board was not reset"));
    std::size_t from = plugin.board->CommandCount();
    EXPECT_EQ(z3.MoveAbsolute(0.0), 21);
    EXPECT_EQ(plugin.board->Count("SetPosition", from, 2), 0);
    EXPECT_TRUE(told.Has(u"Z drive refused an absolute move"));
    EXPECT_EQ(z3.MoveRelative(-100.0), 0);
    // Saved now, the flag goes with the text, through a clean reconnect.
    CKxStringW flagged;
    z3.SaveSettings(flagged);
    EXPECT_NE(flagged.str().find(u"positionTrusted=0;"), std::u16string::npos);
    ASSERT_TRUE(plugin.Connect(65));
    plugin.z->LoadSettings(flagged.GetString(), 2);
    EXPECT_EQ(plugin.z->MoveAbsolute(0.0), 21);
    plugin.z->GetPosition(&position);
    plugin.z->SetAsZero(position);  // here
    EXPECT_TRUE(told.Has(u"Z drive position is trusted again: the origin was set"));
    from = plugin.board->CommandCount();
    EXPECT_EQ(plugin.z->MoveAbsolute(10.0), 0);
    EXPECT_EQ(plugin.board->Args("SetPosition", from, 2), Words32(-510));
    plugin.z->SaveSettings(flagged);
    EXPECT_EQ(flagged.str().find(u"positionTrusted"), std::u16string::npos);
}

TEST(DriveSettings, ALimitSearchRestoresTrustAndItsLimitsSurviveAReload) {
    // Switches far apart: the search's back-off runs at full speed for up
    // to 100 ms between looks.
    PluginFixture plugin(66, 4, 10.0);
    DiagnosticCapture told;
    plugin.board->endpoint.processor().SetLimitSwitches(2, {true, true, -200000, 20000});
    ASSERT_EQ(plugin.z->MoveRelative(100.0), 0);
    CKxStringW saved;
    plugin.z->SaveSettings(saved);
    ASSERT_EQ(plugin.z->MoveRelative(100.0), 0);
    plugin.board->Fault("refuse:op=Reset:count=1");
    ASSERT_TRUE(plugin.Connect(66));
    plugin.z->LoadSettings(saved.GetString(), 2);
    ASSERT_EQ(plugin.z->MoveAbsolute(0.0), 21);
    ASSERT_EQ(plugin.z->FindLimits(), 0);
    EXPECT_TRUE(told.Has(u"Z drive position is trusted again: the limits were searched"));
    // The origin set away from both limits, then a clean reload: the
    // limits come back where they were (the search ended at the upper
    // switch).
    ASSERT_EQ(plugin.z->MoveRelative(-300.0), 0);
    double here = 0;
    plugin.z->GetPosition(&here);
    plugin.z->SetAsZero(here);
    double low = 0, high = 0, lowAfter = 0, highAfter = 0;
    plugin.z->GetRange(&low, &high);
    EXPECT_LT(low, -100.0);
    EXPECT_GT(high, 100.0);
    plugin.z->SaveSettings(saved);
    ASSERT_TRUE(plugin.Connect(66));
    plugin.z->LoadSettings(saved.GetString(), 2);
    plugin.z->GetRange(&lowAfter, &highAfter);
    EXPECT_DOUBLE_EQ(lowAfter, low);
    EXPECT_DOUBLE_EQ(highAfter, high);
    EXPECT_EQ(plugin.z->MoveAbsolute(0.0), 0);
}

TEST(DriveSettings, RotaryAngleAndEveryDrivePositionSurviveARestart) {
    PluginFixture plugin(64, 4, 50.0);
    ASSERT_NE(plugin.rotary, nullptr);
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
    // The pole count scales the angle.
    ASSERT_EQ(plugin.rotary->MoveAbsolute(90.0), 0);
    plugin.rotary->LoadSettings(u"poleCount=400;", 9);
    double angle = 0;
    plugin.rotary->GetAngle(&angle);
    EXPECT_NEAR(angle, 180.0, 0.01);
}

TEST(DriveSettings, NarrowFieldsKeepTheirLowBitsAndOnlyHarmlessValues) {
    PluginFixture plugin(63, 4);
    DiagnosticCapture told;
    // Microsteps in 16 bits, the flip in 8 (two's complement), either side
    // of where the bits wrap; what the narrowing leaves must still be a
    // usable value (kept otherwise: -1 for the flip, 64 microsteps last).
    const struct {
        const char16_t* text;
        const char16_t* key;
        double saved;
    } kCases[] = {{u"microsteps=65537;", u"microsteps", 1},
                  {u"microsteps=16383;", u"microsteps", 16383},
                  {u"microsteps=16384;", u"microsteps", 16383},
                  {u"microsteps=65536;", u"microsteps", 16383},
                  {u"microsteps=64;", u"microsteps", 64},
                  {u"microsteps=-1;", u"microsteps", 64},
                  {u"axisFlip=255;", u"axisFlip", -1},
                  {u"axisFlip=257;", u"axisFlip", 1},
                  {u"axisFlip=0;", u"axisFlip", 1},
                  {u"axisFlip=2;", u"axisFlip", 1},
                  {u"axisFlip=-1;", u"axisFlip", -1},
                  {u"axisFlip=128;", u"axisFlip", -1}};
    for (const auto& c : kCases) {
        plugin.z->LoadSettings(c.text, 2);
        EXPECT_EQ(Saved(*plugin.z, c.key), c.saved) << KX_ToUtf8(c.text);
    }
    EXPECT_TRUE(
        told.Has(u"Z drive kept microsteps at 16383: 16384 from the settings lies outside "
                 u"1 to 16383"));
    EXPECT_TRUE(told.Has(u"Z drive kept axisFlip at 1: 0 from the settings lies outside -1 or 1"));
    plugin.xy->LoadSettings(u"microsteps_x=65537;axisFlip_x=255;microsteps_y=64;axisFlip_y=1;", 1);
    ExpectSaved(
        *plugin.xy,
        {{u"microsteps_x", 1}, {u"axisFlip_x", -1}, {u"microsteps_y", 64}, {u"axisFlip_y", 1}});
}

TEST(DriveSettings, EachValueRangeEndsWhereItsHarmBegins) {
    PluginFixture plugin(67, 4);
    DiagnosticCapture told;
    // Loaded one at a time onto the defaults: the value itself where it is
    // taken, the default where it is not.
    const struct {
        const char16_t* key;
        double kept;
        std::vector<std::pair<const char16_t*, bool>> values;  // text, taken
    } kKeys[] = {
        {u"calibration_umPerRevolution",
         1000,
         {{u"1", true},
          {u"0.999", false},
          {u"1000000", true},
          {u"1000000.1", false},
          {u"0", false},
          {u"-5", false}}},
        {u"current_percent",
         80,
         {{u"0", true}, {u"-0.001", false}, {u"100", true}, {u"200", false}}},
        {u"holdingCurrent_percent", 15, {{u"30", true}, {u"30.001", false}}},
        {u"speed_revolutionPerSecond", 10, {{u"0", true}, {u"-0.001", false}, {u"1e999", false}}},
        {u"jerk_revolutionPerSecond3", 0.1, {{u"0", true}, {u"-1", false}}},
        {u"holdingDelay_ms", 2, {{u"0", true}, {u"-1", false}}},
    };
    for (const auto& k : kKeys) {
        for (const auto& [text, taken] : k.values) {
            const std::string kept = std::to_string(k.kept);
            plugin.z->LoadSettings(
                (std::u16string(k.key) + u"=" + std::u16string(kept.begin(), kept.end()) + u";")
                    .c_str(),
                2);
            plugin.z->LoadSettings((std::u16string(k.key) + u"=" + text + u";").c_str(), 2);
            const double expected = taken ? std::stod(KX_ToUtf8(text)) : k.kept;
            EXPECT_EQ(Saved(*plugin.z, k.key), expected)
                << KX_ToUtf8(k.key) << "=" << KX_ToUtf8(text);
        }
    }
    EXPECT_TRUE(
        told.Has(u"Z drive kept current_percent at 80: 200 from the settings lies outside "
                 u"0 to 100"));
    // The next move is small and powered: 80 %, 510 steps for 10 um.
    const std::size_t from = plugin.board->CommandCount();
    plugin.z->LoadSettings(u"current_percent=200;calibration_umPerRevolution=0;", 2);
    EXPECT_EQ(plugin.board->Args("SetMotorCommand", from, 2), (std::vector<std::uint16_t>{26214}));
    ASSERT_EQ(plugin.z->MoveRelative(10.0), 0);
    EXPECT_EQ(plugin.board->Args("SetPosition", from, 2, true), Words32(-510));
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

    // A text with only the speed changes the speed and applies once more.
    const std::size_t again = plugin.board->CommandCount();
    plugin.z->LoadSettings(u"speed_revolutionPerSecond=2.5;", 12);
    EXPECT_EQ(plugin.board->Count("SetMotorCommand", again), 1);
    EXPECT_EQ(plugin.board->Count("SetMotorCommand", again, 2), 1);
    EXPECT_EQ(Saved(*plugin.z, u"speed_revolutionPerSecond"), 2.5);
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

TEST(DriveSettings, MultipleUpdateStartsBothStageAxesWithOneCommand) {
    PluginFixture plugin(67, 4, 4.0);
    plugin.xy->LoadSettings(u"multipleUpdate=true;", 1);
    EXPECT_EQ(Saved(*plugin.xy, u"multipleUpdate"), 1);
    std::size_t from = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(10, 10), 0);
    // After the destinations (a changed profile mode is confirmed with an
    // Update of its own before them).
    int single = 0;
    bool destinations = false;
    for (const auto& c : plugin.board->Commands(from)) {
        destinations = destinations || c.name == "SetPosition";
        if (destinations && c.name == "Update" && c.axis < 2) ++single;
    }
    EXPECT_EQ(plugin.board->Count("MultiUpdate", from), 1);
    EXPECT_EQ(single, 0);

    // The profile mode is cached between moves, and every load makes the
    // next move send it again.
    from = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(-10, -10), 0);
    EXPECT_EQ(plugin.board->Count("SetProfileMode", from), 0);
    plugin.xy->LoadSettings(u"", 1);
    from = plugin.board->CommandCount();
    ASSERT_EQ(plugin.xy->MoveRelative(10, 10), 0);
    EXPECT_EQ(plugin.board->Count("SetProfileMode", from), 2);
}

}  // namespace
