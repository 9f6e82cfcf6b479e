#include "controller/tessaro_controller.h"

#include <algorithm>
#include <utility>

#include "cmotion/link_commands.h"
#include "controller/controller_clock.h"
#include "controller/line_retry.h"
#include "controller/serial_latency.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_motion.h"

namespace tessaro {

using namespace cmotion;

CTessaroController::CTessaroController(std::uint32_t port) : m_uPort(port) {
    pthread_mutexCS_init(&m_lock);
}

CTessaroController::~CTessaroController() {
    if (m_bThreadRunning || m_bInterfaceOpen) Close();
    ReleaseObjects();
    pthread_mutexCS_destroy(&m_lock);
}

void CTessaroController::ReleaseObjects() {
    delete m_pXYMotion;
    delete m_pZMotion;
    delete m_pRotaryMotion;
    m_pXYMotion = nullptr;
    m_pZMotion = nullptr;
    m_pRotaryMotion = nullptr;
    for (CTessaroAxis* axis : m_axes) delete axis;
    m_axes.clear();
}

bool CTessaroController::Open() {
    CKxMutexLock lock(m_lock);
    // Opening twice would leak the first interface and thread; a second Open
    // of a running controller changes nothing.
    if (m_bThreadRunning) return true;
    std::uint8_t previousLatency = 0;
    SetSerialLatencyTimer(static_cast<std::uint16_t>(m_uPort), 2, &previousLatency);

    m_bClosing = false;
    m_pollWait.Reset();
    m_setupFailures.clear();
    const auto fail = [&](bool closeInterface) {
        if (closeInterface) {
            m_bStopped = true;
            CloseInterface();
        }
        if (previousLatency != 0)
            SetSerialLatencyTimer(static_cast<std::uint16_t>(m_uPort), previousLatency,
                                  &previousLatency);
        return false;
    };

    // The interface takes the port number as its low eight bits, after
    // testing the whole number for zero (256 is COM0, which fails; 257 is
    // COM1). The configured int travels here as its 32-bit pattern.
    const int port = static_cast<int>(static_cast<std::int32_t>(m_uPort));
    m_bInterfaceOpen = true;  // the record exists from here on, open or not
    if (OpenSerialInterface(&m_board, 0, port) != kLinkOk) return fail(true);
    // Every handle copied from the board's repeats a command whose reply was
    // lost or spoiled on the line (see line_retry.h).
    m_board.m_pfnExchange = ExchangeWithRetry;
    if (SyncSerialPort(m_board.m_pPort) != kLinkOk) return fail(true);
    GetLinkVersion(&m_uBoardVersionMajor, &m_uBoardVersionMinor);
    const auto askVersion = [&] {
        return GetVersion(&m_board, &m_uFamily, &m_uMotorType, &m_uNumberOfAxes, &m_uChipCount,
                          &m_uCustom, &m_uVersionMajor, &m_uVersionMinor);
    };
    // An answer to the synchronisation that came late (after the next zero
    // byte had gone out) leaves the processor holding the start of a packet,
    // and everything after it out of step. Then the first command fails
    // even when repeated; one more synchronisation brings the receiver back
    // to a packet boundary. On a healthy line this costs nothing.
    // A processor's other refusals are answers and stand.
    const LinkError asked = askVersion();
    const bool outOfStep = IsLineFailure(asked) || asked == kLinkInvalidChecksum;
    if (asked != kLinkOk &&
        (!outOfStep || SyncSerialPort(m_board.m_pPort) != kLinkOk || askVersion() != kLinkOk)) {
        return fail(true);
    }

    // A reconnect of the same object starts from scratch.
    ReleaseObjects();
    for (std::uint16_t n = 0; n < m_uNumberOfAxes; ++n) {
        auto* axis = new CTessaroAxis(m_board, n, this);
        ClearLastFailedExchange();
        if (axis->Initialize()) {
            m_axes.push_back(axis);
        } else {
            const FailedExchange failed = LastFailedExchange();
            m_setupFailures.push_back(AxisSetupFailure{n, failed.opcode, failed.code});
            delete axis;
        }
    }
    // Each drive on its own motors, by axis number: the stage on 0 and 1,
    // Z on 2, the rotary drive on 3. A drive whose axis failed its set-up
    // is left out (the failure is reported); handing out the good axes by
    // position would put Z's moves on the rotary motor.
    const auto axisNumbered = [&](std::uint16_t n) -> CTessaroAxis* {
        for (CTessaroAxis* axis : m_axes)
            if (axis->axisNumber() == n) return axis;
        return nullptr;
    };
    if (axisNumbered(0) && axisNumbered(1))
        m_pXYMotion = new CTessaroXYMotion(axisNumbered(0), axisNumbered(1));
    if (axisNumbered(2)) m_pZMotion = new CTessaroZMotion(axisNumbered(2));
    if (axisNumbered(3)) m_pRotaryMotion = new CTessaroRotaryMotion(axisNumbered(3));

    m_pTimerResolution = std::make_unique<platform::TimerResolutionScope>();
    if (pthread_create(&m_thread, nullptr, TessaroPollingThread, this) != 0) return fail(false);
    m_bThreadRunning = true;
    m_bStopped = false;
    return true;
}

void CTessaroController::CloseInterface() {
    if (m_board.m_pfnClose) m_board.m_pfnClose(m_board.m_pPort);
    m_board.m_pPort = nullptr;
    // The axes' copies pointed to the record just released.
    for (CTessaroAxis* axis : m_axes) axis->m_handle.m_pPort = nullptr;
    m_bInterfaceOpen = false;
}

void CTessaroController::BringToRest() {
    for (CTessaroAxis* axis : m_axes) axis->doubtAtClose = kDoubtLineLost;
    // A lost line reaches nothing, and a board that does not answer once is
    // not asked again (each try would wait out its time-out): what was last
    // read stays, and says so.
    if (!m_board.m_pPort || m_board.m_pPort->m_hPort == platform::kInvalidSerialHandle) return;
    bool answering = true;
    const auto answered = [&](LinkError code) {
        if (code == kLineLost || IsLineFailure(code)) answering = false;
        return answering && code == kLinkOk;
    };
    // Which axes move, each stopped, so that all come to rest together;
    // then polled until none moves.
    std::vector<CTessaroAxis*> moving;
    const auto stillMoving = [&](const std::vector<CTessaroAxis*>& axes) {
        std::vector<CTessaroAxis*> still;
        for (CTessaroAxis* axis : axes) {
            std::uint16_t activity = 0;
            if (!answered(GetActivityStatus(&axis->m_handle, &activity)) ||
                (activity & kActivityInMotion) != 0)
                still.push_back(axis);
            if (!answering) return axes;
        }
        return still;
    };
    moving = stillMoving(m_axes);
    for (const auto& [mode, bound] :
         {std::pair{kStopSmoothly, kRestSmoothMs}, std::pair{kStopAtOnce, kRestAtOnceMs}}) {
        if (moving.empty() || !answering) break;
        for (CTessaroAxis* axis : moving)
            if (answered(SetStopMode(&axis->m_handle, mode))) answered(Update(&axis->m_handle));
        const double t0 = KX_GetTimeCounter();
        while (!moving.empty() && answering && KX_GetTimeCounter() - t0 <= bound) {
            SleepHostMs(10);
            moving = stillMoving(moving);
        }
    }
    for (CTessaroAxis* axis : m_axes) {
        bool changed = false;
        if (!answering || !answered(axis->RefreshPosition(&changed))) return;
        const bool resting = std::find(moving.begin(), moving.end(), axis) == moving.end();
        axis->doubtAtClose = resting ? kNoDoubt : kDoubtMoving;
    }
}

void CTessaroController::Close() {
    // From here on no position callback starts, and every axis operation of
    // another thread answers "Not Connected" without sending: a wait or a
    // limit search on another thread ends at its next command, and with it
    // any hold it had on a motion lock that the polling thread needs. This
    // thread's own commands still go: the axes are brought to rest first.
    m_closingThread.store(std::this_thread::get_id());
    m_bClosing.store(true, std::memory_order_release);
    m_pollWait.Wake();
    // The polling thread ends at its next check: between passes, between
    // motion objects, or when its wait is woken. (A cooperative stop rather
    // than cancellation: nothing is left half done or locked.)
    if (m_bThreadRunning) {
        pthread_join(m_thread, nullptr);
        m_bThreadRunning = false;
    }
    if (m_bInterfaceOpen) {
        // Under the controller lock: an exchange another thread began
        // before the flag was set finishes first, and none can use the port
        // record after it is released.
        CKxMutexLock lock(m_lock);
        BringToRest();
        Reset(&m_board);
        CloseInterface();
    }
    m_pTimerResolution.reset();
}

}  // namespace tessaro
