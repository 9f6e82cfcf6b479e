// A line whose device goes away for two seconds and comes back under the
// same name, as the host sees it through the drives: the session goes on
// with the same positions when the board kept its state, and flags them
// (nothing absolute is sent) when it came back reset.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/wait_for.h"

namespace {

using testing_support::DiagnosticCapture;
using testing_support::PluginFixture;
using testing_support::Saved;
using testing_support::WaitFor;

constexpr int kPort = 43;
constexpr double kSpeed = 20;  // two seconds away are 100 ms here

int Lines(DiagnosticCapture& diag, const std::u16string& part) {
    int n = 0;
    for (const std::u16string& m : diag.Messages()) n += m.find(part) != std::u16string::npos;
    return n;
}

TEST(LineDrop, TheSessionGoesOnAfterADropAndFlagsAPowerCut) {
    for (const bool powerCut : {false, true}) {
        SCOPED_TRACE(powerCut ? "power cut" : "drop");
        DiagnosticCapture diag;
        PluginFixture f(kPort, 4, kSpeed);
        ASSERT_EQ(f.z->MoveAbsolute(100), KX_DM_OK);
        ASSERT_EQ(f.xy->MoveAbsolute(30, -20), KX_DM_OK);
        f.board->endpoint.Unplug(2000, powerCut);

        // While it is away a move fails, sends nothing, and says why; the
        // loss is told once however often it is met.
        const std::size_t away = f.board->CommandCount();
        EXPECT_EQ(f.z->MoveRelative(5), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.xy->MoveRelative(5, 5), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.board->CommandCount(), away);
        EXPECT_TRUE(diag.Has(u"Z drive move failed: the line to the board is lost"));
        ASSERT_TRUE(WaitFor([&] { return diag.Has(u"line to COM43 is back"); }));
        EXPECT_EQ(Lines(diag, u"line to COM43 lost ("), 1);
        // The polling thread reports the counts as they are now.
        ASSERT_TRUE(WaitFor([&] {
            double z = -1;
            return f.z->GetPosition(&z) == KX_DM_OK && std::abs(z - (powerCut ? 0 : 100)) < 1e-6;
        }));

        const std::size_t back = f.board->CommandCount();
        double x = 0, y = 0;
        f.xy->GetPosition(&x, &y);
        if (!powerCut) {
            EXPECT_TRUE(diag.Has(u"the board kept its state"));
            EXPECT_NEAR(x, 30, 1e-6);
            EXPECT_NEAR(y, -20, 1e-6);
            EXPECT_EQ(f.board->Count("SetOperatingMode", away), 0);  // nothing set up again
            EXPECT_EQ(f.z->MoveAbsolute(150), KX_DM_OK);
            double z = 0;
            f.z->GetPosition(&z);
            EXPECT_NEAR(z, 150, 1e-6);
            continue;
        }
        // Reset: every axis set up again, the stage and focus flagged.
        EXPECT_TRUE(diag.Has(u"the board came back reset"));
        EXPECT_EQ(f.board->Count("SetOperatingMode", away), 4);
        EXPECT_NEAR(x, 0, 1e-6);
        EXPECT_EQ(f.z->MoveAbsolute(150), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.xy->MoveAbsolute(0, 0), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.board->Count("SetPosition", back), 0);
        EXPECT_EQ(Saved(*f.z, u"positionTrusted"), 0);
        EXPECT_EQ(f.z->MoveRelative(5), KX_DM_OK);  // needs no frame
    }
}

TEST(LineDrop, ADisconnectWhileTheLineIsAwayReturnsAtOnce) {
    DiagnosticCapture diag;
    PluginFixture f(kPort, 4, kSpeed);
    f.board->endpoint.Unplug(600000, false);
    ASSERT_TRUE(WaitFor([&] { return diag.Has(u"line to COM43 lost"); }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(f.device->DisconnectDevice(), KX_DM_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(f.board->line.isOpen());
}

}  // namespace
