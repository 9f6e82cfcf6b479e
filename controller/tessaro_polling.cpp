// The status polling thread: about every 50 ms it reads every axis position
// and tells the host about those that changed. Order Z, rotary, XY; for each
// the motion lock, then the controller lock. While the line is lost it
// tries to bring it back instead (line_recovery.cpp).
//
// It ends cooperatively rather than by cancellation: Close sets the
// controller's closing flag and wakes the wait between passes, and the
// thread tests the flag before each motion object and before each
// notification. So it lets go within one exchange, never in the middle of
// one (a cancelled serial read would leave a packet half exchanged and both
// locks held; on Windows not even destructors run), and no callback starts
// once Close has begun.
#include "controller/controller_clock.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"

namespace tessaro {
namespace {

constexpr double kPeriodMs = 50.0;
// How often a lost line is tried again: a returning adapter is in use
// within half a second, and a line that stays away costs two failed opens a
// second.
constexpr double kReopenPeriodMs = 500.0;

// `tell`: the host hears the position even when the read finds it unchanged
// (it was set meanwhile, as a line's return sets it).
template <typename Motion>
void RefreshSingleAxis(CTessaroController& c, Motion* motion, bool tell = false) {
    if (!motion || c.IsClosing()) return;
    CKxMutexLock motionLock(motion->m_lock);
    CKxMutexLock controllerLock(c.m_lock);
    if (!motion->m_pAxis) return;
    bool changed = false;
    if (motion->m_pAxis->RefreshPosition(&changed) == 0 && (changed || tell) && !c.IsClosing())
        motion->NotifyPosition();
}

void RefreshStage(CTessaroController& c, CTessaroXYMotion* motion, bool tell = false) {
    if (!motion || c.IsClosing()) return;
    CKxMutexLock motionLock(motion->m_lock);
    CKxMutexLock controllerLock(c.m_lock);
    if (!motion->m_pAxisX || !motion->m_pAxisY) return;
    bool changedX = false, changedY = false;
    motion->m_pAxisX->RefreshPosition(&changedX);
    motion->m_pAxisY->RefreshPosition(&changedY);
    if ((changedX || changedY || tell) && !c.IsClosing()) motion->NotifyPosition();
}

}  // namespace

void* TessaroPollingThread(void* argument) {
    double t0 = KX_GetTimeCounter();
    double lastReopen = t0 - kReopenPeriodMs;
    bool tell = false;
    auto* controller = static_cast<CTessaroController*>(argument);
    if (!controller) return nullptr;
    while (!controller->IsClosing()) {
        // A pass starts more than 50 ms after the previous one ended. The
        // thread sleeps out the rest of the period (the literal busy wait
        // would keep a core busy for as long as the host runs) in a wait
        // that Close can end at once.
        const double waited = KX_GetTimeCounter() - t0;
        if (waited <= kPeriodMs) {
            WaitHostMs(controller->m_pollWait, kPeriodMs - waited + 0.1);
            continue;
        }
        // A lost line is not polled (every read would fail at once): it is
        // tried again at its own, slower rate.
        if (controller->LineLost()) {
            const double now = KX_GetTimeCounter();
            bool back = false;
            if (now - lastReopen >= kReopenPeriodMs) {
                lastReopen = now;
                back = controller->TryRestoreLine();
            }
            if (!back) {
                t0 = KX_GetTimeCounter();
                continue;
            }
            // Back: the host hears every position at once.
            tell = true;
        }
        RefreshSingleAxis(*controller, controller->m_pZMotion, tell);
        RefreshSingleAxis(*controller, controller->m_pRotaryMotion, tell);
        RefreshStage(*controller, controller->m_pXYMotion, tell);
        tell = false;
        t0 = KX_GetTimeCounter();
    }
    return nullptr;
}

}  // namespace tessaro
