// The status polling thread: about every 50 ms it reads every axis position
// and tells the host about those that changed. Order Z, rotary, XY; for each
// the motion lock, then the controller lock.
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "host/kx_time.h"

namespace tessaro {
namespace {

constexpr double kPeriodMs = 50.0;

// The thread may be cancelled only here. System calls such as poll() and
// nanosleep() are cancellation points too, and a cancellation inside a
// serial read would leave a packet half exchanged and both locks held (on
// Windows not even destructors run). So cancellation stays disabled except
// for this moment.
void TestCancel() {
    int state = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &state);
    pthread_testcancel();
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
}

template <typename Motion>
void RefreshSingleAxis(CTessaroController& c, Motion* motion) {
    if (!motion) return;
    CKxMutexLock motionLock(motion->m_lock);
    CKxMutexLock controllerLock(c.m_lock);
    if (!motion->m_pAxis) return;
    bool changed = false;
    if (motion->m_pAxis->RefreshPosition(&changed) == 0 && changed) motion->NotifyPosition();
}

void RefreshStage(CTessaroController& c, CTessaroXYMotion* motion) {
    if (!motion) return;
    CKxMutexLock motionLock(motion->m_lock);
    CKxMutexLock controllerLock(c.m_lock);
    if (!motion->m_pAxisX || !motion->m_pAxisY) return;
    bool changedX = false, changedY = false;
    motion->m_pAxisX->RefreshPosition(&changedX);
    motion->m_pAxisY->RefreshPosition(&changedY);
    if (changedX || changedY) motion->NotifyPosition();
}

}  // namespace

void* TessaroPollingThread(void* argument) {
    double t0 = KX_GetTimeCounter();
    auto* controller = static_cast<CTessaroController*>(argument);
    if (!controller) return nullptr;
    int oldState = 0;
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, &oldState);
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    for (;;) {
        // Cancellation is tested only between passes, where no lock is held
        // and nothing is owned.
        // Between passes the thread sleeps out the rest of the period (the
        // literal busy wait would keep a core busy for as long as the host
        // runs); Close's cancellation takes effect when the sleep ends,
        // within one pass.
        for (double waited = KX_GetTimeCounter() - t0; waited <= kPeriodMs;
             waited = KX_GetTimeCounter() - t0) {
            TestCancel();
            host::Sleep(static_cast<std::uint32_t>(kPeriodMs - waited) + 1);
        }
        RefreshSingleAxis(*controller, controller->m_pZMotion);
        RefreshSingleAxis(*controller, controller->m_pRotaryMotion);
        RefreshStage(*controller, controller->m_pXYMotion);
        t0 = KX_GetTimeCounter();
        TestCancel();
    }
}

}  // namespace tessaro
