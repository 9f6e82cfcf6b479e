// A line whose device went away and came back under the same name (a USB
// adapter that dropped off the bus for a moment): the session goes on.
//
// The exchange that found the device gone closed the port and kept its
// record (line_retry.cpp); from then on every command fails at once. The
// polling thread, instead of reading positions, tries here at most twice a
// second to open the same port again. Once the processor answers, what it
// reports decides what the session may believe:
//   - the same version, and every axis still in its set-up operating mode:
//     the board kept its state (its counts went on counting whatever it was
//     doing), so positions, origin, limits and settings stand as they are;
//   - another version, or an axis that lost its set-up: the board was reset
//     (its power went too). Its counts start again at 0 wherever the stage
//     stands, so its axes are set up as at connect, the drives' parameters
//     are sent again, and the stage and focus positions are flagged as not
//     to be trusted (no absolute move until the origin is set or the limits
//     are searched). The rotary drive takes the board's count, as it does
//     after any load that does not fit.
#include <cstdio>
#include <string>

#include "cmotion/link_commands.h"
#include "cmotion/link_errors.h"
#include "controller/line_retry.h"
#include "controller/motion_report.h"
#include "controller/position_trust.h"
#include "controller/serial_latency.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "controller/unit_conversion.h"

namespace tessaro {

using namespace cmotion;

bool CTessaroController::LineLost() {
    CKxMutexLock lock(m_lock);
    return !IsClosing() && m_board.m_pPort &&
           m_board.m_pPort->m_hPort == platform::kInvalidSerialHandle;
}

bool CTessaroController::TryRestoreLine() {
    CKxMutexLock lock(m_lock);
    CLinkSerialPort* port = m_board.m_pPort;
    if (IsClosing() || !port) return false;
    if (port->m_hPort != platform::kInvalidSerialHandle) return true;
    // Not there yet: the device is still away (or another program took it).
    if (OpenSerialPort(port) != kLinkOk) return false;
    // A USB adapter that came back starts with its driver's latency again
    // (on Linux; the Windows driver reads it from the registry anew).
    std::uint8_t previousLatency = 0;
    SetSerialLatencyTimer(static_cast<std::uint16_t>(m_uPort), 2, &previousLatency);
    const auto notYet = [&] {
        CloseSerialPort(port);
        return false;
    };
    if (IsClosing() || SyncSerialPort(port) != kLinkOk) return notYet();

    std::uint16_t v[7] = {};
    const auto askVersion = [&] {
        return GetVersion(&m_board, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
    };
    // As at connect: a late answer to the synchronisation can leave the
    // receiver out of step once, and a processor that was just powered may
    // answer its first packet with "Processor Reset".
    LinkError asked = askVersion();
    if (asked != kLinkOk && !IsClosing() && SyncSerialPort(port) == kLinkOk) asked = askVersion();
    if (asked != kLinkOk || IsClosing()) return notYet();
    bool reset = m_bSetUpPending || v[0] != m_uFamily || v[1] != m_uMotorType ||
                 v[2] != m_uNumberOfAxes || v[5] != m_uVersionMajor || v[6] != m_uVersionMinor;

    // What each axis holds. A probe the processor refuses or garbles tells
    // nothing about the board's state: the safe reading is that it came
    // back reset (set up again, positions flagged), never to wait for an
    // answer that may not come. Only a line that is gone again waits.
    const auto lineGone = [](LinkError code) { return code == kLineLost || IsLineFailure(code); };
    bool probeRefused = false;
    std::vector<bool> fresh;
    for (CTessaroAxis* axis : m_axes) {
        std::int32_t count = 0;
        std::uint16_t mode = 0;
        const LinkError read = GetCommandedPosition(&axis->m_handle, &count);
        if (lineGone(read)) return notYet();
        // Where the axis stands now, for the drives at once (the polling
        // pass that follows tells the host): the board's own count, which a
        // board that kept its state went on keeping. It is also the
        // destination the parameters of a reset board buffer, so that no
        // later start goes anywhere else.
        if (read == kLinkOk) {
            axis->boardCount_step = count;
            axis->currentPos_step = WrapMul(axis->axisFlip, count);
        }
        const LinkError probe = GetOperatingMode(&axis->m_handle, &mode);
        if (lineGone(probe)) return notYet();
        if (read != kLinkOk || probe != kLinkOk) probeRefused = true;
        if (probe != kLinkOk || mode != CTessaroAxis::kOperatingMode) reset = true;
        fresh.push_back(probe == kLinkOk && mode != CTessaroAxis::kOperatingMode);
    }
    // snprintf, not std::to_string: see ReportMoveEnding.
    char line[40];
    std::snprintf(line, sizeof line,
                  "line to COM%u is back: ", static_cast<unsigned>(port->m_uPortNumber));
    if (!reset) {
        ReportControllerEvent(std::string(line) +
                              "the board kept its state; positions, origin, limits and settings "
                              "are as they were");
        return true;
    }
    m_bSetUpPending = true;
    // Flagged before the line counts as back: an absolute move checks the
    // flag under this same lock, so none can pass in between.
    const LinkError setUp = SetUpResetBoard(fresh);
    if (lineGone(setUp)) return notYet();
    m_bSetUpPending = false;
    std::string what = probeRefused ? "the board did not say what it kept (its state could not be "
                                      "read), so it is taken as reset"
                                    : "the board came back reset (its power went too, or it is "
                                      "another board)";
    if (setUp == kLinkOk) {
        what += "; its axes are set up again";
    } else {
        what += std::string("; its axes could not all be set up again (") +
                cmotion::GetErrorText(setUp) + "), so moves may fail";
    }
    ReportControllerEvent(std::string(line) + what);
    return true;
}

LinkError CTessaroController::SetUpResetBoard(const std::vector<bool>& fresh) {
    // The stage and focus are flagged first, whatever the set-up comes to:
    // the counts restarted wherever the axes stood.
    const std::string why = "the board was reset while the line was lost";
    if (m_pXYMotion) LosePositionTrust("XY", {m_pXYMotion->m_pAxisX, m_pXYMotion->m_pAxisY}, why);
    if (m_pZMotion) LosePositionTrust("Z", {m_pZMotion->m_pAxis}, why);
    if (m_pRotaryMotion) ReportMotionEnding("rotary", "angle taken from the board's count: " + why);
    LinkError first = kLinkOk;
    for (std::size_t i = 0; i < m_axes.size(); ++i) {
        CTessaroAxis* axis = m_axes[i];
        // Its count no longer starts where a disconnect left the stage.
        axis->freshAtConnect = false;
        axis->resetUnderSession = true;
        if (IsClosing()) return kLinkNotConnected;
        // An axis that did not show itself reset (its probe refused, or it
        // kept its set-up beside one that did not) may hold a buffered
        // motion that the set-up's Update would start: adopted as at
        // connect first.
        LinkError code = kLinkOk;
        if (i >= fresh.size() || !fresh[i]) code = axis->Neutralise();
        if (code == kLinkOk) code = axis->SetUpProcessor();
        if (code == kLinkOk) code = axis->ApplySettings();
        if (code == kLineLost || IsLineFailure(code)) return code;
        if (first == kLinkOk) first = code;
        // The count after the set-up, where the probe could not read it.
        bool changed = false;
        axis->RefreshPosition(&changed);
    }
    return first;
}

}  // namespace tessaro
