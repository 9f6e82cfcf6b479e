// What a host can pass that makes no sense: non-numbers, infinities, huge
// and tiny numbers for every double, integer extremes for levels, ids and
// port numbers, null outputs. Every call must return a defined answer
// without crashing, and what reaches the processor must be a defined
// (saturated) number, or nothing. Built with the sanitizers, the same test shows that no
// conversion is undefined.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::PluginFixture;

const std::vector<double> kOddDoubles = {std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         1e300,
                                         -1e300,
                                         std::numeric_limits<double>::denorm_min(),
                                         -0.0};

bool Defined(int code) {
    return code == 0 || code == 1 || code == 21;
}

TEST(BadInput, OddDoublesInEveryDriveOperation) {
    // Drives on axis records without a controller: every conversion is made
    // as for a board, and every command then fails at once (21), so that
    // moves towards the ends of the step range need no waiting.
    using tessaro::CTessaroAxis;
    CTessaroAxis ax({}, 0, nullptr), ay({}, 1, nullptr), az({}, 2, nullptr), ar({}, 3, nullptr);
    tessaro::CTessaroXYMotion xyMotion(&ax, &ay);
    tessaro::CTessaroZMotion zMotion(&az);
    tessaro::CTessaroRotaryMotion rotaryMotion(&ar);
    tessaro::STessaro_XYDrive xyDrive(&xyMotion);
    tessaro::STessaro_ZDrive zDrive(&zMotion);
    tessaro::STessaro_RDrive rDrive(&rotaryMotion);
    IKxDeviceXY& xy = xyDrive;
    IKxDeviceZ& z = zDrive;
    IKxDeviceRotary& r = rDrive;
    for (double v : kOddDoubles) {
        SCOPED_TRACE(v);
        EXPECT_TRUE(Defined(xy.MoveAbsolute(v, -v)));
        EXPECT_TRUE(Defined(xy.MoveRelative(v, v)));
        EXPECT_TRUE(Defined(z.MoveAbsolute(v)));
        EXPECT_TRUE(Defined(z.MoveRelative(v)));
        EXPECT_TRUE(Defined(r.MoveAbsolute(v)));
        EXPECT_TRUE(Defined(r.MoveRelative(v)));
        EXPECT_EQ(xy.SetLowerLimits(v, v), 0);
        EXPECT_EQ(xy.SetUpperLimits(v, v), 0);
        EXPECT_EQ(z.SetLowerLimit(v), 0);
        EXPECT_EQ(z.SetUpperLimit(v), 0);
        EXPECT_EQ(xy.SetAsZero(v, v), 0);
        EXPECT_EQ(z.SetAsZero(v), 0);
        // A speed from 0 to 100 rev/s goes into the record as it is (these
        // axes know no sample time to hold it against the registers); any
        // other is refused (12) and changes nothing. No such value is a
        // calibration.
        const int speedAnswer = std::isfinite(v) && v >= 0 && v <= 100 ? 0 : 12;
        EXPECT_EQ(z.SetSpeed(v), speedAnswer);
        EXPECT_TRUE(Defined(z.MoveRelative(1.0)));
        EXPECT_EQ(z.SetSpeed(10.0), 0);
        EXPECT_TRUE(Defined(xy.MoveVelocity(v, 0)));
        EXPECT_TRUE(Defined(xy.MoveVelocity(0, 0)));
        EXPECT_TRUE(Defined(z.MoveVelocity(v)));
        EXPECT_TRUE(Defined(z.MoveVelocity(0)));
        EXPECT_TRUE(Defined(r.MoveVelocity(v)));
        EXPECT_TRUE(Defined(r.MoveVelocity(0)));
        EXPECT_EQ(xy.SetMaxJoystickSpeed(v), speedAnswer);
        EXPECT_EQ(r.SetSpeed(v), speedAnswer);
        EXPECT_EQ(z.SetMicronsPerRevolution(v), 12);
        double position = 0, low = 0, high = 0, x = 0, y = 0;
        EXPECT_EQ(z.GetPosition(&position), 0);
        EXPECT_EQ(z.GetRange(&low, &high), 0);
        EXPECT_EQ(xy.GetPosition(&x, &y), 0);
        for (double shown : {position, low, high, x, y}) EXPECT_TRUE(std::isfinite(shown));
        EXPECT_EQ(z.SetMicronsPerRevolution(1000.0), 0);
        double angle = -1;
        EXPECT_EQ(r.GetAngle(&angle), 0);
        EXPECT_GE(angle, 0.0);
        EXPECT_LE(angle, 360.0);
    }
}

TEST(BadInput, IntegerExtremesAndNullOutputs) {
    PluginFixture plugin(93, 4);
    IKxDeviceXY& xy = *plugin.xy;
    IKxDeviceZ& z = *plugin.z;
    IKxDeviceRotary& r = *plugin.rotary;
    // (Levels and flips at their extremes are the drive tests' cases.)
    double v = 7;
    EXPECT_EQ(r.JoystickSpeedLevelToSpeed(std::numeric_limits<int>::max(), &v), 12);
    EXPECT_EQ(v, 7);
    unsigned acceleration = 0, id = 0;
    EXPECT_EQ(z.SetAcceleration(0xFFFFFFFFu), 12);  // its register would wrap
    EXPECT_EQ(z.GetAcceleration(&acceleration), 0);
    EXPECT_EQ(acceleration, 4u);
    // Ids pass through unchanged.
    r.LoadSettings(u"", 0xFFFFFFFFu);
    r.GetDeviceId(&id);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    // Null outputs: answered, never written through.
    testing_support::ExpectAnswers(
        {{"xy position", xy.GetPosition(nullptr, nullptr), 0},
         {"xy range", xy.GetRange(nullptr, nullptr, nullptr, nullptr), 0},
         {"xy flip", xy.GetAxisFlip(nullptr, nullptr), 0},
         {"z range", z.GetRange(nullptr, nullptr), 0},
         {"z flip", z.GetAxisFlip(nullptr), 0},
         {"z id", z.GetDeviceId(nullptr), 0},
         {"r speed", r.GetSpeed(nullptr), 1},
         {"z load", z.LoadSettings(nullptr, 1), 0},
         {"collecting", plugin.device->GetCollectMoves(nullptr), 0}});
    CKxStringW text;
    EXPECT_EQ(plugin.device->ShowConnectionDialog(text, nullptr), 7);
}

TEST(BadInput, PortNumbersOfEveryKind) {
    testing_support::PluginHost plugin;
    IKxPhysicalDevice* device = plugin.device;
    // No board answers on any of them; each connect fails cleanly.
    for (int port :
         {std::numeric_limits<int>::min(), -1, 0, 255, 256, 511, std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(device->ConnectDevice(testing_support::PortText(u"m_iPort", port).GetString()),
                  1);
        EXPECT_EQ(device->QueryConnection(), 1);
        EXPECT_EQ(device->GetConnectionState(), 3u);
    }
    // Texts that are no configuration at all.
    EXPECT_EQ(device->ConnectDevice(nullptr), 1);
    EXPECT_EQ(device->ConnectDevice(u"m_iPort=;m_iPort=x;m_COMiPort=99999999999;"), 1);
}

}  // namespace
