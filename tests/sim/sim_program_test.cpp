// tessaro-sim, the program, as COM7: natively through the COM port table,
// under Wine through the prefix's COM7. The transport synchronises, asks for
// the version and runs a move to its end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "cmotion/link_commands.h"
#include "platform/serial_port.h"

namespace {

using namespace cmotion;

constexpr int kPort = 7;

TEST(SimProgram, SyncVersionAndAMoveThroughTheComPort) {
    if (const char* dir = std::getenv("TESSARO_SIM_DIR"))
        platform::SetComPortPath(kPort, std::string(dir) + "/com7");
    CLinkAxisHandle board{};
    ASSERT_EQ(OpenSerialInterface(&board, 0, kPort), kLinkOk);
    ASSERT_EQ(SyncSerialPort(board.m_pPort), kLinkOk);
    std::uint16_t v[7] = {};
    ASSERT_EQ(GetVersion(&board, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), kLinkOk);
    EXPECT_EQ(v[0], 5);
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(v[2], 4);

    // Axis 2 to 20000 steps: 100 steps a cycle of 100 us, about 20 ms.
    CLinkAxisHandle z{};
    CopyAxisHandle(board, &z, 2);
    ASSERT_EQ(SetProfileMode(&z, 2), kLinkOk);
    ASSERT_EQ(SetPosition(&z, 20000), kLinkOk);
    ASSERT_EQ(SetVelocity(&z, 100 << 16), kLinkOk);
    ASSERT_EQ(SetAcceleration(&z, 10 << 16), kLinkOk);
    ASSERT_EQ(SetDeceleration(&z, 10 << 16), kLinkOk);
    ASSERT_EQ(ResetEventStatus(&z, 0xFF1E), kLinkOk);
    ASSERT_EQ(Update(&z), kLinkOk);
    std::uint16_t events = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(events & 0x0001) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(GetEventStatus(&z, &events), kLinkOk);
    }
    EXPECT_NE(events & 0x0001, 0);
    std::int32_t position = 0;
    ASSERT_EQ(GetCommandedPosition(&z, &position), kLinkOk);
    EXPECT_EQ(position, 20000);

    EXPECT_EQ(Reset(&board), kLinkOk);  // as the plug-in leaves it
    board.m_pfnClose(board.m_pPort);
}

}  // namespace
