// A line whose device goes away and comes back, in what only the host's
// side of the plug-in shows (the session riding it out is the fault
// matrix's drop and power-cut columns and tessaro-host's drop case): the
// loss told once, nothing sent while it lasts, a reset board set up again.
#include <gtest/gtest.h>

#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/wait_for.h"

namespace {

TEST(LineDrop, TheLossIsToldOnceNothingGoesOutAndAResetBoardIsSetUpAgain) {
    for (const bool powerCut : {false, true}) {
        SCOPED_TRACE(powerCut ? "power cut" : "drop");
        testing_support::DiagnosticCapture diag;
        testing_support::PluginFixture f(43, 4, 20);
        f.board->endpoint.Unplug(2000, powerCut);
        const std::size_t away = f.board->CommandCount();
        EXPECT_EQ(f.z->MoveRelative(5), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.xy->MoveRelative(5, 5), KX_DM_MOTION_FAILED);
        EXPECT_EQ(f.board->CommandCount(), away);
        ASSERT_TRUE(testing_support::WaitFor([&] { return diag.Has(u"line to COM43 is back"); }));
        int lost = 0;
        for (const std::u16string& m : diag.Messages())
            lost += m.find(u"line to COM43 lost (") != std::u16string::npos;
        EXPECT_EQ(lost, 1);
        EXPECT_EQ(diag.Has(u"the board came back reset"), powerCut);
        EXPECT_EQ(f.board->Count("SetOperatingMode", away), powerCut ? 4 : 0);
        EXPECT_EQ(f.z->MoveRelative(5), KX_DM_OK);
    }
}

}  // namespace
