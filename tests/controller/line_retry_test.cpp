// A command whose reply was lost or spoiled on the line is sent once more;
// refusals and Reset are not. After Close every handle is closed.
#include "controller/line_retry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cmotion/link_commands.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/sim_board.h"

namespace {

using namespace tessaro;
using namespace cmotion;
using testing_support::SimBoard;

constexpr int kPort = 25;

TEST(LineRetry, OneLineFailureIsRepeatedTwoAreReported) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    CTessaroAxis& z = *controller.m_pZMotion->m_pAxis;
    struct Case {
        const char* fault;
        LinkError twice;  // the answer when the repeat fails the same way
    };
    const Case cases[] = {{"noreply", kLinkCommPortRead},
                          {"short:bytes=2", kLinkCommPortRead},
                          {"badsum", kLinkChecksumError},
                          {"late:ms=200", kLinkCommPortRead},
                          {"garbage:bytes=3", kLinkChecksumError}};
    // Over a pseudo-terminal a late reply really arrives later, in the middle
    // of whatever exchange runs then; the fault matrix's runs on a
    // pseudo-terminal cover it there.
    const char* line = std::getenv("TESSARO_SIM_LINE");
    const bool realLine = line && std::string(line) == "pty";
    for (const Case& c : cases) {
        if (realLine && std::string(c.fault).rfind("late", 0) == 0) continue;
        for (int count : {1, 2}) {
            SCOPED_TRACE(std::string(c.fault) + " x" + std::to_string(count));
            board.endpoint.faults().Clear();
            board.Fault(std::string(c.fault) + ":op=GetEventStatus:count=" + std::to_string(count));
            const std::size_t from = board.CommandCount();
            std::uint16_t status = 0xFFFF;
            EXPECT_EQ(z.GetEventStatus(&status), count == 1 ? LinkError{kLinkOk} : c.twice);
            // Sent twice either way: never a third time.
            EXPECT_EQ(board.Count("GetEventStatus", from), 2);
            if (count == 1) {
                EXPECT_NE(status, 0xFFFF);
            }
        }
    }
    // A refusal is an answer: not repeated.
    board.endpoint.faults().Clear();
    board.Fault("reset:op=GetEventStatus:count=1");
    std::size_t from = board.CommandCount();
    std::uint16_t status = 0;
    EXPECT_EQ(z.GetEventStatus(&status), kLinkProcessorReset);
    EXPECT_EQ(board.Count("GetEventStatus", from), 1);
    // Reset is never repeated, even when its answer was lost.
    board.endpoint.faults().Clear();
    board.Fault("noreply:op=Reset:count=1");
    from = board.CommandCount();
    {
        CKxMutexLock lock(controller.m_lock);
        EXPECT_EQ(Reset(&controller.m_board), kLinkCommPortRead);
    }
    EXPECT_EQ(board.Count("Reset", from), 1);
    EXPECT_TRUE(IsLineFailure(kLinkCommTimeout));
    EXPECT_FALSE(IsLineFailure(kLinkCommPortWrite));
    EXPECT_FALSE(IsLineFailure(kLinkInvalidChecksum));  // the processor's refusal
}

TEST(LineRetry, CloseClosesEveryHandleAndNothingIsSentAfterIt) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    int callbacks = 0;
    controller.m_pZMotion->m_pCallbackContext = reinterpret_cast<std::uint64_t>(&callbacks);
    controller.m_pZMotion->m_pfnPositionCallback = [](std::uint32_t, SKxDevicePosition*,
                                                      std::uint64_t context) {
        ++*reinterpret_cast<int*>(context);
    };
    controller.Close();
    EXPECT_EQ(controller.m_board.m_pPort, nullptr);
    for (CTessaroAxis* axis : controller.m_axes) EXPECT_EQ(axis->m_handle.m_pPort, nullptr);
    EXPECT_TRUE(controller.IsClosing());
    const std::size_t from = board.CommandCount();
    CTessaroAxis& z = *controller.m_pZMotion->m_pAxis;
    std::uint16_t status = 0;
    bool changed = false;
    EXPECT_EQ(z.GetEventStatus(&status), kLinkNotConnected);
    EXPECT_EQ(z.RefreshPosition(&changed), kLinkNotConnected);
    EXPECT_EQ(z.ApplySettings(), kLinkNotConnected);
    EXPECT_FALSE(controller.m_pZMotion->MoveAndWait(10, false));
    EXPECT_FALSE(controller.m_pXYMotion->MoveVelocity(1, 1));
    EXPECT_FALSE(controller.m_pRotaryMotion->MoveAndWait(10, false));
    EXPECT_NE(controller.m_pZMotion->FindLimits(), kLinkOk);
    EXPECT_TRUE(controller.m_pZMotion->NotifyPosition());  // builds the record, calls no one
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(board.CommandCount(), from);
    // A new Open brings everything back.
    ASSERT_TRUE(controller.Open());
    EXPECT_FALSE(controller.IsClosing());
    EXPECT_TRUE(controller.m_pZMotion->MoveAndWait(10, false));
}

}  // namespace
