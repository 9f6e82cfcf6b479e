// The controller through a real COM port: tessaro-sim as COM7 (natively
// through the COM port table, under Wine through the prefix's COM7). Open,
// a move on each drive, a velocity move and its stop, Close.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "platform/serial_port.h"

namespace tessaro {
namespace {

constexpr int kPort = 7;

TEST(ControllerOverComPort, OpenMoveEveryDriveAndClose) {
    if (const char* dir = std::getenv("TESSARO_SIM_DIR"))
        platform::SetComPortPath(kPort, std::string(dir) + "/com7");
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    ASSERT_EQ(controller.m_axes.size(), 4u);
    EXPECT_EQ(controller.m_axes[0]->m_uSampleTime_us, 100u);

    ASSERT_TRUE(controller.m_pZMotion->MoveAndWait(100.0, false));
    EXPECT_NEAR(controller.m_pZMotion->m_pAxis->GetPosition(), 100.0, 1e-9);
    ASSERT_TRUE(controller.m_pXYMotion->MoveAndWait(200.0, -50.0, false));
    EXPECT_NEAR(controller.m_pXYMotion->m_pAxisX->GetPosition(), 200.0, 1e-9);
    EXPECT_NEAR(controller.m_pXYMotion->m_pAxisY->GetPosition(), -50.0, 1e-9);
    ASSERT_TRUE(controller.m_pRotaryMotion->MoveAndWait(30.0, false));
    EXPECT_NEAR(controller.m_pRotaryMotion->GetAngle(), 30.0, 0.01);

    ASSERT_TRUE(controller.m_pZMotion->MoveVelocity(5.0));
    ASSERT_TRUE(controller.m_pZMotion->MoveVelocity(0.0));
    EXPECT_EQ(controller.m_pZMotion->WaitForMotionComplete(), 0);
    // The stop decelerates; the earlier move's motion-complete event may
    // already have ended the wait (the velocity move keeps that event), so
    // the axis comes to rest within a bound rather than at once.
    std::uint16_t activity = 0xFFFF;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        EXPECT_EQ(controller.m_pZMotion->m_pAxis->GetActivityStatus(&activity), 0);
    } while ((activity & kActivityInMotion) && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(activity & kActivityInMotion, 0);
    controller.Close();
}

}  // namespace
}  // namespace tessaro
