#include "controller/tessaro_controller.h"

#include "cmotion/link_commands.h"
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

    const auto fail = [&](bool closeInterface) {
        if (closeInterface) {
            m_bStopped = true;
            if (m_board.m_pfnClose) m_board.m_pfnClose(m_board.m_pPort);
            m_board.m_pPort = nullptr;
            m_bInterfaceOpen = false;
        }
        if (previousLatency != 0)
            SetSerialLatencyTimer(static_cast<std::uint16_t>(m_uPort), previousLatency,
                                  &previousLatency);
        return false;
    };

    // The port number is taken as its low bits by the interface; a number
    // beyond 16 bits is no COM port at all.
    const int port = m_uPort <= 0xFFFF ? static_cast<int>(m_uPort) : 255;
    m_bInterfaceOpen = true;  // the record exists from here on, open or not
    if (OpenSerialInterface(&m_board, 0, port) != kLinkOk) return fail(true);
    if (SyncSerialPort(m_board.m_pPort) != kLinkOk) return fail(true);
    GetLinkVersion(&m_uBoardVersionMajor, &m_uBoardVersionMinor);
    if (GetVersion(&m_board, &m_uFamily, &m_uMotorType, &m_uNumberOfAxes, &m_uChipCount, &m_uCustom,
                   &m_uVersionMajor, &m_uVersionMinor) != kLinkOk) {
        return fail(true);
    }

    // A reconnect of the same object starts from scratch.
    ReleaseObjects();
    for (std::uint16_t n = 0; n < m_uNumberOfAxes; ++n) {
        auto* axis = new CTessaroAxis(m_board, n, this);
        if (axis->Initialize()) {
            m_axes.push_back(axis);
        } else {
            delete axis;
        }
    }
    // By position among the good axes, not by axis number.
    if (m_axes.size() >= 2) m_pXYMotion = new CTessaroXYMotion(m_axes[0], m_axes[1]);
    if (m_axes.size() >= 3) m_pZMotion = new CTessaroZMotion(m_axes[2]);
    if (m_axes.size() >= 4) m_pRotaryMotion = new CTessaroRotaryMotion(m_axes[3]);

    if (pthread_create(&m_thread, nullptr, TessaroPollingThread, this) != 0) return fail(false);
    m_bThreadRunning = true;
    m_bStopped = false;
    return true;
}

void CTessaroController::Close() {
    // Not under the controller lock: the polling thread must be able to
    // finish its pass before it is joined.
    if (m_bThreadRunning) {
        pthread_cancel(m_thread);
        pthread_join(m_thread, nullptr);
        m_bThreadRunning = false;
    }
    if (m_bInterfaceOpen) {
        Reset(&m_board);
        if (m_board.m_pfnClose) m_board.m_pfnClose(m_board.m_pPort);
        m_board.m_pPort = nullptr;
        m_bInterfaceOpen = false;
    }
}

}  // namespace tessaro
