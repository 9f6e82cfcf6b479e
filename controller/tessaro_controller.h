// The connected board: its command handle, what the processor reported about
// itself, its axes, the motion objects the drives move them through, the
// polling thread and the controller lock.
//
// Lock order, everywhere: a motion object's lock first, then this lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "cmotion/link_serial.h"
#include "host/kx_thread.h"
#include "platform/wait_timer.h"

namespace tessaro {

class CTessaroAxis;
class CTessaroXYMotion;
class CTessaroZMotion;
class CTessaroRotaryMotion;

// An axis the processor reported but that could not be set up: which
// command failed and how (for the connection's diagnostics).
struct AxisSetupFailure {
    std::uint16_t axis = 0;
    std::uint8_t opcode = 0;
    std::uint16_t code = 0;
};

class CTessaroController {
  public:
    explicit CTessaroController(std::uint32_t port);
    // Closes the controller if it is still open (so no polling thread
    // outlives it), then releases its axes and motion objects.
    ~CTessaroController();
    CTessaroController(const CTessaroController&) = delete;
    CTessaroController& operator=(const CTessaroController&) = delete;

    // Connects, builds the axes and motion objects, starts polling; true when
    // the link, the version query and the thread start all succeeded.
    bool Open();
    // Stops polling, brings every axis to rest and reads where each stands
    // (BringToRest), resets the processor, closes the serial interface and
    // with it every axis handle (their commands then answer 32721, "Not
    // Connected"). Safe while other threads run drive operations: from its
    // start no position callback begins and their commands fail at once;
    // the port is closed under the controller lock, so no exchange is in
    // flight when it goes, and the port record is gone only from handles
    // that no one can reach without that lock.
    void Close();

    // True from the start of Close until the next Open.
    bool IsClosing() const { return m_bClosing.load(std::memory_order_acquire); }
    // Whether a command of the calling thread is refused: every thread's
    // but the closing one's, from the start of Close.
    bool RefusesCommands() const {
        return IsClosing() && std::this_thread::get_id() != m_closingThread.load();
    }

    // A lost line (its device went away, see line_retry.h): whether the
    // port is closed while the controller is open.
    bool LineLost();
    // One attempt to bring a lost line back, by the polling thread: reopen
    // the same port, synchronise, ask GetVersion and read every axis. A
    // board that kept its state goes on as it was; a board that came back
    // reset has its axes set up again and their positions marked as not to
    // be trusted. Holds the controller lock for the attempt (at most one
    // synchronisation); nothing happens while the port cannot be opened.
    // Whether the line is open again.
    bool TryRestoreLine();

    std::uint16_t m_uFamily = 0;
    std::uint16_t m_uMotorType = 0;
    std::uint16_t m_uNumberOfAxes = 0;
    std::uint16_t m_uChipCount = 0;
    std::uint16_t m_uCustom = 0;
    std::uint16_t m_uVersionMajor = 0;
    std::uint16_t m_uVersionMinor = 0;
    std::uint8_t m_uBoardVersionMajor = 0;
    std::uint8_t m_uBoardVersionMinor = 0;
    std::uint32_t m_uPort = 0;
    cmotion::CLinkAxisHandle m_board{};
    pthread_t m_thread{};
    std::vector<CTessaroAxis*> m_axes;
    CTessaroZMotion* m_pZMotion = nullptr;
    CTessaroRotaryMotion* m_pRotaryMotion = nullptr;
    CTessaroXYMotion* m_pXYMotion = nullptr;
    bool m_bStopped = true;
    pthread_mutexCS_t m_lock;
    // Axes left out at the last Open, in axis order.
    std::vector<AxisSetupFailure> m_setupFailures;
    // The polling thread's wait between passes; Close wakes it.
    platform::WakeableWait m_pollWait;

  private:
    // After a reset board was found: flag the positions, set its axes up
    // again and apply the drives' parameters; the first error (a lost line
    // at once, to try again at the next attempt), or 0.
    cmotion::LinkError SetUpResetBoard(const std::vector<bool>& fresh);
    void ReleaseObjects();
    void CloseInterface();  // with the controller lock held
    // With the controller lock held, at Close: every axis that moves is
    // stopped smoothly (at once when it will not come to rest within a
    // bound) and waited for, and every axis's final count is read, so that
    // a save after the disconnect writes where the stage stands; each axis
    // keeps how that went (doubtAtClose).
    void BringToRest();

    std::atomic<bool> m_bClosing{false};
    std::atomic<std::thread::id> m_closingThread{};
    // Exact waits on systems whose timer needs raising, while connected.
    std::unique_ptr<platform::TimerResolutionScope> m_pTimerResolution;
    bool m_bThreadRunning = false;
    bool m_bInterfaceOpen = false;  // the serial record exists (opened, not yet closed)
    // A board found reset on a line's return whose set-up has not yet
    // succeeded: the next attempt sets it up whatever it reads back.
    bool m_bSetUpPending = false;
};

// The polling thread's function (argument: the controller).
void* TessaroPollingThread(void* controller);

}  // namespace tessaro
