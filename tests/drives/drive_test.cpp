// The three drives as the host calls them: level scales, speeds and
// acceleration in the axis records, directions, origin, collected-move
// states, velocity moves, and what each drive answers without axes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::ExpectAnswers;
using testing_support::PluginFixture;
using testing_support::Saved;

TEST(Drives, LevelScalesNamesAndAnswersWithoutAxes) {
    tessaro::STessaro_XYDrive xyDrive(nullptr);
    tessaro::STessaro_ZDrive zDrive(nullptr);
    tessaro::STessaro_RDrive rDrive(nullptr);
    IKxDeviceXY& xy = xyDrive;
    IKxDeviceZ& z = zDrive;
    IKxDeviceRotary& r = rDrive;
    // Levels 0 to 100 are the value; above is out of range (12), output
    // untouched. The rotary joystick scale runs from 1 and reports 101.
    double v = -1, a = 7, b = 7, c = 7, d = 7;
    unsigned u = 7;
    ExpectAnswers({{"xy speed 101", xy.SpeedLevelToSpeed(101, &v), 12},
                   {"z joystick 101", z.JoystickSpeedLevelToSpeed(101, &v), 12},
                   {"r speed max", r.SpeedLevelToSpeed(0xFFFFFFFFu, &v), 12},
                   {"r joystick 0", r.JoystickSpeedLevelToSpeed(0, &v), 12},
                   {"r joystick min", r.JoystickSpeedLevelToSpeed(-2147483647 - 1, &v), 12},
                   {"z speed 5 to null", z.SpeedLevelToSpeed(5, nullptr), 0}});
    EXPECT_EQ(v, -1);
    double levels[3] = {};
    unsigned maxima[4] = {};
    EXPECT_EQ(xy.SpeedLevelToSpeed(100, &levels[0]) + r.JoystickSpeedLevelToSpeed(1, &levels[1]) +
                  z.SpeedLevelToSpeed(0, &levels[2]) + r.GetMaxJoystickSpeedLevel(&maxima[0]) +
                  r.GetMaxSpeedLevel(&maxima[1]) + r.GetMaxAccelerationLevel(&maxima[2]) +
                  xy.GetMaxJoystickSpeedLevel(&maxima[3]) + r.GetMaxSpeedLevel(nullptr) +
                  r.GetMaxAccelerationLevel(nullptr),
              0);
    EXPECT_EQ((std::vector<double>{levels[0], levels[1], levels[2], double(maxima[0]),
                                   double(maxima[1]), double(maxima[2]), double(maxima[3])}),
              (std::vector<double>{100, 1, 0, 101, 100, 100, 100}));
    EXPECT_EQ(xy.GetDisplayName(0) + z.GetDisplayName(0) + r.GetDisplayName(0),
              CKxStringW(u"XY DriveZ DriveRotary Drive"));
    EXPECT_EQ(xy.GetDeviceName() + z.GetDeviceName() + r.GetDeviceName(),
              CKxStringW(u"Tessaro XY DriveTessaro Z DriveTessaro Rotary Drive"));

    // Without axes: XY setters and getters 1, geometry 0 without effect,
    // moves 0; Z moves 21, its position untouched with 0; rotary
    // positioning 21, velocity and angle 1. Outputs stay untouched.
    bool on = false;
    int flip = 7, flipY = 7;
    ExpectAnswers({{"xy SetSpeed", xy.SetSpeed(1), 1},
                   {"xy GetSpeed", xy.GetSpeed(&a), 1},
                   {"xy GetAcceleration", xy.GetAcceleration(&u), 1},
                   {"xy GetPosition", xy.GetPosition(&a, &b), 1},
                   {"xy GetRange", xy.GetRange(&a, &b, &c, &d), 0},
                   {"xy GetAxisFlip", xy.GetAxisFlip(&flip, &flipY), 0},
                   {"xy SetAsZero", xy.SetAsZero(1, 1), 0},
                   {"xy MoveAbsolute", xy.MoveAbsolute(1, 1), 0},
                   {"xy MoveRelative", xy.MoveRelative(1, 1), 0},
                   {"xy MoveVelocity", xy.MoveVelocity(1, 1), 0},
                   {"xy FindLimits", xy.FindLimits(), 1},
                   {"xy FindLowerLimits", xy.FindLowerLimits(), 1},
                   {"z MoveAbsolute", z.MoveAbsolute(1), 21},
                   {"z MoveRelative", z.MoveRelative(1), 21},
                   {"z MoveJoystick", z.MoveJoystick(1), 21},
                   {"z GetSpeed", z.GetSpeed(&a), 1},
                   {"z GetJoystickEnabled", z.GetJoystickEnabled(&on), 1},
                   {"z GetPosition", z.GetPosition(&a), 0},
                   {"z SetMicronsPerRevolution", z.SetMicronsPerRevolution(5), 0},
                   {"z FindLowerLimit", z.FindLowerLimit(), 1},
                   {"r MoveAbsolute", r.MoveAbsolute(1), 21},
                   {"r MoveRelative", r.MoveRelative(1), 21},
                   {"r MoveVelocity", r.MoveVelocity(1), 1},
                   {"r GetAngle", r.GetAngle(&a), 1},
                   {"r SetAcceleration", r.SetAcceleration(3), 1}});
    EXPECT_EQ((std::vector<double>{a, b, c, double(u), double(flip)}),
              (std::vector<double>{7, 7, 7, 7, 7}));
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
    ExpectAnswers({{"z collected", z.MoveAbsolute(3), 21},
                   {"z execute", zDrive.ExecutePendingMove(), 0},  // nothing stored
                   {"z wait", zDrive.WaitForPendingMove(), 0}});
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
        u"maxJoystickSpeed_revolutionPerSecond_x=10;maxJoystickSpeed_revolutionPerSecond_y=4;",
        1);
    double speed = 0, positioning = 0, joystick = 0;
    ExpectAnswers({{"xy GetSpeed", xy.GetSpeed(&speed), 0},
                   {"xy GetPositioningSpeed", xy.GetPositioningSpeed(&positioning), 0},
                   {"xy GetMaxJoystickSpeed", xy.GetMaxJoystickSpeed(&joystick), 0},
                   {"xy GetSpeed to null", xy.GetSpeed(nullptr), 1},
                   {"xy GetMaxJoystickSpeed to null", xy.GetMaxJoystickSpeed(nullptr), 1},
                   {"xy GetAcceleration to null", xy.GetAcceleration(nullptr), 0},
                   {"r GetAcceleration to null", r.GetAcceleration(nullptr), 1},
                   {"r GetJoystickEnabled to null", r.GetJoystickEnabled(nullptr), 1},
                   {"r GetAngle to null", r.GetAngle(nullptr), 1},
                   {"z GetJoystickEnabled to null", z.GetJoystickEnabled(nullptr), 0}});
    EXPECT_EQ((std::vector<double>{speed, positioning, joystick}), (std::vector<double>{5, 5, 4}));
    EXPECT_EQ(xy.SetMaxJoystickSpeed(6), 0);
    EXPECT_EQ(Saved(xy, u"maxJoystickSpeed_revolutionPerSecond_y"), 6.0);
    bool on = false;
    EXPECT_EQ(r.GetJoystickEnabled(&on), 0);
    EXPECT_TRUE(on);

    // Acceleration: both XY axes; Z keeps its deceleration. Stored values
    // read back truncated toward zero into 32 bits, never undefined.
    unsigned acc = 0;
    EXPECT_EQ(xy.SetAcceleration(7), 0);
    EXPECT_EQ(xy.GetAcceleration(&acc), 0);
    EXPECT_EQ(acc, 7u);
    EXPECT_EQ(Saved(xy, u"acceleration_revolutionPerSecond2_y"), 7.0);
    EXPECT_EQ(z.SetAcceleration(7), 0);
    EXPECT_EQ(Saved(z, u"deceleration_revolutionPerSecond2"), 4.5);
    for (const auto& [stored, read] : {std::pair<const char16_t*, unsigned>{u"7.9", 7u},
                                       {u"1", 1u},
                                       {u"0.999", 0u},
                                       {u"-3.5", 0u},
                                       {u"12850", 12850u},
                                       {u"1e300", 12850u}}) {
        z.LoadSettings(
            (u"acceleration_revolutionPerSecond2=" + std::u16string(stored) + u";").c_str(), 2);
        EXPECT_EQ(z.GetAcceleration(&acc), 0);
        EXPECT_EQ(acc, read) << KX_ToUtf8(stored);
    }

    // Directions: negative is -1, anything else +1.
    int fx = 0, fy = 0;
    for (const auto& [setX, setY, wantX, wantY] :
         {std::array<int, 4>{-1, 1, -1, 1}, {0, 0, 1, 1}, {-5, -2147483647 - 1, -1, -1}}) {
        EXPECT_EQ(xy.SetAxisFlip(setX, setY), 0);
        xy.GetAxisFlip(&fx, &fy);
        EXPECT_EQ((std::vector<int>{fx, fy}), (std::vector<int>{wantX, wantY}));
        z.SetAxisFlip(setX);
        z.GetAxisFlip(&fx);
        EXPECT_EQ(fx, wantX);
    }
}

TEST(Drives, VelocityMovesAndCollectedStates) {
    PluginFixture plugin(52, 4, 4.0);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    auto& zDrive = dynamic_cast<tessaro::STessaro_ZDrive&>(z);

    double lowX = 0, highX = 0;
    // Only X outputs given: Y ones are skipped, not written through null.
    EXPECT_EQ(xy.GetRange(&lowX, &highX, nullptr, nullptr), 0);

    // (Collected moves stored, the last one winning and all started by the
    // execution are the device test's.) Executing with nothing stored does
    // nothing and ends collecting all the same.
    zDrive.SetCollectMoves(true);
    EXPECT_EQ(zDrive.ExecutePendingMove(), 0);
    EXPECT_FALSE(zDrive.m_bCollectMoves);

    // Velocity moves: a stage axis without joystick refuses, nothing moves.
    xy.LoadSettings(u"joystickEnable_y=false;", 1);
    const std::size_t before = plugin.board->CommandCount();
    EXPECT_EQ(xy.MoveVelocity(1, 1), 21);
    EXPECT_EQ(plugin.board->Count("Update", before), 0);
    // A stop goes out all the same: of both axes, or of the one asked to stand.
    EXPECT_EQ(xy.MoveVelocity(0, 0), 0);
    EXPECT_EQ(xy.MoveVelocity(0, 1), 21);
    EXPECT_EQ(plugin.board->Count("SetStopMode", before, 0), 2);
    EXPECT_EQ(plugin.board->Count("SetStopMode", before, 1), 1);
    xy.SetJoystickEnabled(true);
    EXPECT_EQ(xy.MoveJoystick(1, -1), 0);
    EXPECT_EQ(xy.MoveVelocity(0, 0), 0);
    // Z ignores its joystick flag.
    z.SetJoystickEnabled(false);
    EXPECT_EQ(z.MoveJoystick(2), 0);
    EXPECT_EQ(z.MoveVelocity(0), 0);
}

}  // namespace
