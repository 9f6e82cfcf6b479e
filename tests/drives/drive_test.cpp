// The three drives as the host calls them: level scales, speeds and
// acceleration in the axis records, directions, origin, collected-move
// states, velocity moves, and what each drive answers without axes.
#include <gtest/gtest.h>

#include <cmath>

#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::PluginFixture;

TEST(Drives, LevelScalesOfTheThreeDrives) {
    tessaro::STessaro_XYDrive xyDrive(nullptr);
    tessaro::STessaro_ZDrive zDrive(nullptr);
    tessaro::STessaro_RDrive rDrive(nullptr);
    IKxDeviceXY& xy = xyDrive;
    IKxDeviceZ& z = zDrive;
    IKxDeviceRotary& r = rDrive;
    unsigned max = 0;
    double v = -1;
    EXPECT_EQ(xy.SpeedLevelToSpeed(100, &v), 0);
    EXPECT_EQ(v, 100.0);
    v = -1;
    EXPECT_EQ(xy.SpeedLevelToSpeed(101, &v), 12);
    EXPECT_EQ(z.JoystickSpeedLevelToSpeed(101, &v), 12);
    EXPECT_EQ(r.SpeedLevelToSpeed(0xFFFFFFFFu, &v), 12);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(z.SpeedLevelToSpeed(0, &v), 0);
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(z.SpeedLevelToSpeed(5, nullptr), 0);
    // The rotary joystick scale runs from 1 to 100 and reports 101 levels.
    v = -1;
    EXPECT_EQ(r.JoystickSpeedLevelToSpeed(0, &v), 12);
    EXPECT_EQ(r.JoystickSpeedLevelToSpeed(-2147483647 - 1, &v), 12);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(r.JoystickSpeedLevelToSpeed(1, &v), 0);
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(r.GetMaxJoystickSpeedLevel(&max), 0);
    EXPECT_EQ(max, 101u);
    for (auto get :
         {&IKxDeviceRotary::GetMaxSpeedLevel, &IKxDeviceRotary::GetMaxAccelerationLevel}) {
        max = 0;
        EXPECT_EQ((r.*get)(&max), 0);
        EXPECT_EQ(max, 100u);
        EXPECT_EQ((r.*get)(nullptr), 0);
    }
    max = 0;
    EXPECT_EQ(xy.GetMaxJoystickSpeedLevel(&max), 0);
    EXPECT_EQ(max, 100u);
    EXPECT_EQ(xy.GetDisplayName(0), CKxStringW(u"XY Drive"));
    EXPECT_EQ(z.GetDisplayName(0), CKxStringW(u"Z Drive"));
    EXPECT_EQ(r.GetDisplayName(0), CKxStringW(u"Rotary Drive"));
    EXPECT_EQ(xy.GetDeviceName(), CKxStringW(u"Tessaro XY Drive"));
    EXPECT_EQ(z.GetDeviceName(), CKxStringW(u"Tessaro Z Drive"));
    EXPECT_EQ(r.GetDeviceName(), CKxStringW(u"Tessaro Rotary Drive"));
}

TEST(Drives, WithoutAxesEachDriveAnswersAsItShould) {
    tessaro::STessaro_XYDrive xyDrive(nullptr);
    tessaro::STessaro_ZDrive zDrive(nullptr);
    tessaro::STessaro_RDrive rDrive(nullptr);
    IKxDeviceXY& xy = xyDrive;
    IKxDeviceZ& z = zDrive;
    IKxDeviceRotary& r = rDrive;
    double a = 7, b = 7, c = 7, d = 7;
    unsigned u = 7;
    bool on = false;
    int flip = 7, flipY = 7;
    // XY: setters and getters 1, geometry 0 without effect, moves 0.
    EXPECT_EQ(xy.SetSpeed(1), 1);
    EXPECT_EQ(xy.GetSpeed(&a), 1);
    EXPECT_EQ(xy.GetAcceleration(&u), 1);
    EXPECT_EQ(xy.GetPosition(&a, &b), 1);
    EXPECT_EQ(xy.GetRange(&a, &b, &c, &d), 0);
    EXPECT_EQ(xy.GetAxisFlip(&flip, &flipY), 0);
    EXPECT_EQ(xy.SetAsZero(1, 1), 0);
    EXPECT_EQ(xy.MoveAbsolute(1, 1), 0);
    EXPECT_EQ(xy.MoveRelative(1, 1), 0);
    EXPECT_EQ(xy.MoveVelocity(1, 1), 0);
    EXPECT_EQ(xy.FindLimits(), 1);
    EXPECT_EQ(xy.FindLowerLimits(), 1);
    // Z: moves 21, position untouched with 0.
    EXPECT_EQ(z.MoveAbsolute(1), 21);
    EXPECT_EQ(z.MoveRelative(1), 21);
    EXPECT_EQ(z.MoveJoystick(1), 21);
    EXPECT_EQ(z.GetSpeed(&a), 1);
    EXPECT_EQ(z.GetJoystickEnabled(&on), 1);
    EXPECT_EQ(z.GetPosition(&a), 0);
    EXPECT_EQ(z.SetMicronsPerRevolution(5), 0);
    EXPECT_EQ(z.FindLowerLimit(), 1);
    // Rotary: positioning 21, velocity and angle 1.
    EXPECT_EQ(r.MoveAbsolute(1), 21);
    EXPECT_EQ(r.MoveRelative(1), 21);
    EXPECT_EQ(r.MoveVelocity(1), 1);
    EXPECT_EQ(r.GetAngle(&a), 1);
    EXPECT_EQ(r.SetAcceleration(3), 1);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(flip, 7);
    // Settings: the id is kept, the text left as it was (XY empties it).
    CKxStringW text(u"kept");
    EXPECT_EQ(z.SaveSettings(text), 0);
    EXPECT_EQ(text, CKxStringW(u"kept"));
    EXPECT_EQ(xy.SaveSettings(text), 0);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(r.LoadSettings(u"speed_revolutionPerSecond=3;", 44), 0);
    EXPECT_EQ(r.GetDeviceId(&u), 0);
    EXPECT_EQ(u, 44u);
    EXPECT_EQ(r.GetDeviceId(nullptr), 0);
    // Collected moves need a motion object.
    EXPECT_EQ(zDrive.SetCollectMoves(true), 0);
    EXPECT_EQ(z.MoveAbsolute(3), 21);
    EXPECT_EQ(zDrive.ExecutePendingMove(), 1);
    EXPECT_EQ(zDrive.WaitForPendingMove(), 1);
}

TEST(Drives, ParametersGoStraightIntoTheAxisRecords) {
    PluginFixture plugin(51, 4);
    ASSERT_NE(plugin.rotary, nullptr);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    IKxDeviceRotary& r = *plugin.rotary;
    // Different values on the two XY axes: X speaks for both, except the
    // joystick ceiling, which is the smaller one.
    xy.LoadSettings(
        u"speed_revolutionPerSecond_x=5;speed_revolutionPerSecond_y=8;"
        u"maxJoystickSpeed_revolutionPerSecond_x=10;"
        u"maxJoystickSpeed_revolutionPerSecond_y=4;",
        1);
    double v = 0;
    EXPECT_EQ(xy.GetSpeed(&v), 0);
    EXPECT_EQ(v, 5.0);
    v = 0;
    EXPECT_EQ(xy.GetPositioningSpeed(&v), 0);
    EXPECT_EQ(v, 5.0);
    EXPECT_EQ(xy.GetMaxJoystickSpeed(&v), 0);
    EXPECT_EQ(v, 4.0);
    EXPECT_EQ(xy.GetSpeed(nullptr), 1);
    EXPECT_EQ(xy.GetMaxJoystickSpeed(nullptr), 1);
    EXPECT_EQ(xy.SetMaxJoystickSpeed(6), 0);
    EXPECT_EQ(xy.GetMaxJoystickSpeed(&v), 0);
    EXPECT_EQ(v, 6.0);

    unsigned acc = 0;
    EXPECT_EQ(xy.SetAcceleration(7), 0);
    EXPECT_EQ(xy.GetAcceleration(&acc), 0);
    EXPECT_EQ(acc, 7u);
    EXPECT_EQ(xy.GetAcceleration(nullptr), 0);
    CKxStringW text;
    xy.SaveSettings(text);
    double stored = 0;
    GetDoubleFromKey(text.GetString(), u"acceleration_revolutionPerSecond2_y", &stored);
    EXPECT_EQ(stored, 7.0);
    // Z keeps its deceleration; a fractional or absurd acceleration reads
    // back truncated, never undefined.
    EXPECT_EQ(z.SetAcceleration(7), 0);
    z.SaveSettings(text);
    GetDoubleFromKey(text.GetString(), u"deceleration_revolutionPerSecond2", &stored);
    EXPECT_EQ(stored, 4.5);
    z.LoadSettings(u"acceleration_revolutionPerSecond2=7.9;", 2);
    EXPECT_EQ(z.GetAcceleration(&acc), 0);
    EXPECT_EQ(acc, 7u);
    z.LoadSettings(u"acceleration_revolutionPerSecond2=-3.5;", 2);
    EXPECT_EQ(z.GetAcceleration(&acc), 0);
    EXPECT_EQ(acc, 0u);
    z.LoadSettings(u"acceleration_revolutionPerSecond2=1e300;", 2);
    EXPECT_EQ(z.GetAcceleration(&acc), 0);
    EXPECT_EQ(acc, 4294967295u);
    // The rotary drive answers 1 for a missing output.
    EXPECT_EQ(r.GetAcceleration(nullptr), 1);
    EXPECT_EQ(r.GetJoystickEnabled(nullptr), 1);
    EXPECT_EQ(r.GetAngle(nullptr), 1);
    bool on = false;
    EXPECT_EQ(r.GetJoystickEnabled(&on), 0);
    EXPECT_TRUE(on);
    EXPECT_EQ(z.GetJoystickEnabled(nullptr), 0);

    // Directions: negative is -1, anything else +1.
    int fx = 0, fy = 0;
    EXPECT_EQ(xy.SetAxisFlip(-1, 1), 0);
    xy.GetAxisFlip(&fx, &fy);
    EXPECT_EQ(fx, -1);
    EXPECT_EQ(fy, 1);
    xy.SetAxisFlip(0, 0);
    xy.GetAxisFlip(&fx, &fy);
    EXPECT_EQ(fx, 1);
    EXPECT_EQ(fy, 1);
    z.SetAxisFlip(-5);
    z.GetAxisFlip(&fx);
    EXPECT_EQ(fx, -1);
    z.SetAxisFlip(0);
    z.GetAxisFlip(&fx);
    EXPECT_EQ(fx, 1);
}

// One step of a stage axis at the defaults: 1000 um over 51000 steps.
constexpr double kStep = 1000.0 / 51000.0;

TEST(Drives, MovesOriginAndCollectedStates) {
    PluginFixture plugin(52, 4, 4.0);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    auto& xyDrive = dynamic_cast<tessaro::STessaro_XYDrive&>(xy);
    auto& zDrive = dynamic_cast<tessaro::STessaro_ZDrive&>(z);

    ASSERT_EQ(xy.MoveAbsolute(120.5, -40.25), 0);
    double x = 0, y = 0;
    xy.GetPosition(&x, &y);
    EXPECT_NEAR(x, 120.5, kStep);
    EXPECT_NEAR(y, -40.25, kStep);
    // The present point becomes the origin; the range moves with it.
    double lowX = 0, highX = 0, lowY = 0, highY = 0;
    xy.SetLowerLimits(-1000, -1000);
    xy.SetUpperLimits(1000, 1000);
    EXPECT_EQ(xy.SetAsZero(x, y), 0);
    xy.GetPosition(&x, &y);
    EXPECT_NEAR(x, 0.0, kStep);
    EXPECT_NEAR(y, 0.0, kStep);
    xy.GetRange(&lowX, &highX, &lowY, &highY);
    EXPECT_NEAR(lowX, -1120.5, kStep);
    EXPECT_NEAR(highY, 1040.25, kStep);
    // Only X outputs given: Y ones are skipped, not written through null.
    EXPECT_EQ(xy.GetRange(&lowX, &highX, nullptr, nullptr), 0);

    // Collecting: stored, the last one wins, started by the execution.
    xyDrive.SetCollectMoves(true);
    EXPECT_EQ(xy.MoveAbsolute(100, 200), 0);
    EXPECT_EQ(xy.MoveRelative(5, 5), 0);
    xy.GetPosition(&x, &y);
    EXPECT_NEAR(x, 0.0, kStep);
    EXPECT_EQ(xyDrive.ExecutePendingMove(), 0);
    EXPECT_FALSE(xyDrive.m_bCollectMoves);
    EXPECT_TRUE(xyDrive.m_bMovePending);
    EXPECT_EQ(xyDrive.WaitForPendingMove(), 0);
    xy.GetPosition(&x, &y);
    EXPECT_NEAR(x, 5.0, kStep);
    EXPECT_NEAR(y, 5.0, kStep);
    // The next switch clears the stored move; nothing to wait for then.
    xyDrive.SetCollectMoves(false);
    EXPECT_EQ(xyDrive.WaitForPendingMove(), 1);
    EXPECT_EQ(xyDrive.ExecutePendingMove(), 1);
    // Executing with nothing stored stays collecting.
    zDrive.SetCollectMoves(true);
    EXPECT_EQ(zDrive.ExecutePendingMove(), 1);
    EXPECT_TRUE(zDrive.m_bCollectMoves);
    zDrive.SetCollectMoves(false);

    // Velocity moves: a stage axis without joystick refuses, nothing moves.
    xy.LoadSettings(u"joystickEnable_y=false;", 1);
    const std::size_t before = plugin.board->CommandCount();
    EXPECT_EQ(xy.MoveVelocity(1, 1), 21);
    for (const auto& c : plugin.board->Commands(before)) EXPECT_NE(c.name, "Update") << c;
    xy.SetJoystickEnabled(true);
    EXPECT_EQ(xy.MoveJoystick(1, -1), 0);
    EXPECT_EQ(xy.MoveVelocity(0, 0), 0);
    // Z ignores its joystick flag.
    z.SetJoystickEnabled(false);
    EXPECT_EQ(z.MoveJoystick(2), 0);
    EXPECT_EQ(z.MoveVelocity(0), 0);
}

}  // namespace
