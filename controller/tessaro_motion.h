// The motion objects: the only way the drives move axes. Each serialises its
// drive's operations with its own motion lock, turns micrometres (degrees for
// the rotary drive) into step targets, starts positioning and velocity moves,
// waits for the processor's events and publishes positions to the host.
//
// Lock order: the motion lock first, then the controller lock (taken inside
// every axis operation).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "controller/tessaro_axis.h"
#include "host/kx_position.h"
#include "host/kx_thread.h"

namespace tessaro {

// Error of a failed position notification.
inline constexpr std::uint16_t kNotifyFailed = 32720;
// A move or a limit search ended because the host stopped the drive, or
// started another motion of it (this side's own code, below the link's
// range).
inline constexpr std::uint16_t kStoppedByHost = 32719;
// A positioning move refused before anything was sent, because its speed is
// 0 or not a number (it would wait out its minute for nothing).
inline constexpr std::uint16_t kSpeedRefused = 32717;
// A positioning move whose end did not come within its bound (its own
// predicted duration with a margin, at least a minute): stopped there.
inline constexpr std::uint16_t kMoveTimedOut = 32715;
// A move refused before anything was sent: its target lies beyond what the
// drive can reach.
inline constexpr std::uint16_t kTargetRefused = 32714;
// Event masks.
inline constexpr std::uint16_t kMaskBeforePositioning = 0xFF1E;
inline constexpr std::uint16_t kMaskBeforeVelocity = 0xFF1F;
inline constexpr std::uint16_t kMaskMoveEnd = 0x00E1;
inline constexpr std::uint16_t kMaskMoveEndOrError = 0x00F1;
inline constexpr std::uint16_t kMaskLimitEvents = 0x00E0;
// How long a limit search's wait on the processor lasts at most, and the
// least a positioning move's wait is given.
inline constexpr double kWaitLimitMs = 60000.0;
// The fastest positioning or joystick speed a drive takes, rev/s: as fast
// as the dialogs let it go.
inline constexpr double kTopSpeed = 100.0;
// How far one relative turn of the rotary drive may go: 100 turns either
// way (a rotation series turns by less than one; more is a unit mistaken).
inline constexpr double kRotaryTurnLimitDegrees = 36000.0;

// Relative moves carry the fraction of a step that a target's whole count
// left over on to the next relative move, as long as the axis stands where
// the last one sent it: n moves of d end within a step of n x d. Anything
// else that moves the axis (a jog, a stop, a search, an absolute move, a
// move that ended elsewhere) starts afresh from the count. Under the motion
// lock.
class RelativeCarry {
  public:
    // The exact step position the next relative move starts from.
    double From(std::int32_t present) const {
        return m_valid && present == m_count ? m_exact : static_cast<double>(present);
    }
    void Sent(std::int32_t count, double exact) {
        m_valid = true;
        m_count = count;
        m_exact = exact;
    }
    void Forget() { m_valid = false; }

  private:
    bool m_valid = false;
    std::int32_t m_count = 0;
    double m_exact = 0.0;
};

// Where a move sends one axis: its whole count and the exact step position
// that count stands for; `ok` false when that lies beyond the 32-bit count.
struct StepAim {
    bool ok = false;
    std::int32_t count = 0;
    double exact = 0.0;
};
// The whole count of an exact step position. `nearest`: the nearest one
// (relative moves and rotary angles: each position lies within half a step
// of the exact one, so that a series started from any count ends within a
// step of its sum). Otherwise cut toward zero, except that a value within a
// millionth of a step of a whole one is that one (a position read back from
// a count, turned into micrometres and back, comes back a hair off it, and
// must not move the axis by a step).
StepAim AimAt(double exact, bool nearest = false);
// A positioning wait's bound (host ms) for a move predicted to take
// `seconds`: half as long again and 5 s more (a real profile's jerk, the
// line's delays), never less than the minute every wait has (nor more, for
// a move that would never arrive: every wait ends).
double WaitBoundMs(double seconds);

// What the three motion objects share: the host's callback and the drive's
// id, the motion lock, and the record handed to the callback.
class CTessaroMotion {
  public:
    CTessaroMotion(const CTessaroMotion&) = delete;
    CTessaroMotion& operator=(const CTessaroMotion&) = delete;

    KX_PositionCallback m_pfnPositionCallback = nullptr;
    std::uint64_t m_pCallbackContext = 0;
    // Set by the drive's settings load while the polling thread publishes.
    std::atomic<std::uint32_t> m_uDeviceId{0};
    pthread_mutexCS_t m_lock;

    // Asks a limit search running on this object to end; true when one was
    // running. Takes no lock: a search holds the motion lock throughout, and
    // polls this request between its exchanges and sleeps.
    bool RequestStop();
    // The drive defaults that the linear axes (Z, X, Y) share.
    static void SetLinearDefaults(CTessaroAxis& axis);

  protected:
    // `axis`: any axis of the object, through which it learns whether its
    // controller is closing.
    explicit CTessaroMotion(const CTessaroAxis* axis);
    ~CTessaroMotion();
    // Fills the position record and calls the callback, if any (none once
    // the controller is closing); the caller holds the motion lock. The
    // record is refilled in place each time, so a notification never
    // allocates.
    void Publish(double position, double second = 0.0);
    // How the last WaitForEvent ended: the event bits it saw (for XY those
    // of both axes), or that it ran out its 60 s.
    // (Atomics: a drive's operations may come from several host threads.)
    std::atomic<std::uint16_t> m_uEndEvents{0};
    std::atomic<bool> m_bWaitRanOut{false};
    // How long the next wait on the processor may last (host ms): a
    // positioning move sets its own bound, a search the minute.
    std::atomic<double> m_dWaitLimitMs{kWaitLimitMs};
    // Every stop or jog of the object's axes that went out counts here; a
    // positioning move notes the count when it starts, and its wait ends as
    // a stop when the count moved on (under the motion lock).
    std::atomic<std::uint32_t> m_uInterruptions{0};
    // (Read by a wait between its polls, without the lock.)
    std::atomic<std::uint32_t> m_uInterruptionsAtStart{0};
    bool Interrupted() const { return m_uInterruptions.load() != m_uInterruptionsAtStart.load(); }
    // A stop or a jog went out: ends the running move's wait, and every
    // relative move starts afresh.
    void NoteInterruption();
    // The fractions of a step carried between relative moves: [0] the
    // single axis or X, [1] Y.
    RelativeCarry m_carry[2];
    // Notes the start of a positioning move under the motion lock: its
    // bound (the longest of its axes' predicted durations, with a margin)
    // and the interruption count.
    void BeginMove(double seconds);
    // Tells the host how a positioning move ended when that is not what it
    // was asked for: a limit switch, an axis more than one step from its
    // target (pairs of axis and target count).
    void ReportMoveEnding(const char* drive,
                          std::initializer_list<std::pair<CTessaroAxis*, std::int32_t>> ends);
    // Waits for `axes` to rest (after a stop sent first when `stopFirst`): a
    // smooth stop that has not ended within its time is made at once.
    static void StopAndRest(const std::vector<CTessaroAxis*>& axes, bool stopFirst);
    // The end of every positioning move, after its wait returned `err`. A
    // move stopped (or interrupted by a jog) or one whose wait ran past its
    // bound (those axes are stopped here) waits for its axes to rest and
    // reads where they stand before it answers kStoppedByHost or
    // kMoveTimedOut; a move that ended reads its position and tells how
    // (ReportMoveEnding), and the read's failure is the answer when
    // `readDecides`. Failures are told to the host.
    std::uint16_t FinishMove(const char* drive, std::uint16_t err,
                             std::initializer_list<std::pair<CTessaroAxis*, std::int32_t>> ends,
                             const std::function<std::uint16_t()>& updatePosition,
                             bool readDecides = true);
    // Refuses a target beyond reach: tells the host which, and the range
    // the axis can reach from its zero point (micrometres).
    static std::uint16_t RefuseTarget(const char* drive, const CTessaroAxis& axis, double target);
    // Tells the host why an operation failed, in the processor's words
    // (the drive itself can only answer that it failed); returns whether it
    // succeeded, for the callers' answers.
    static bool ReportFailure(const char* drive, const char* operation, std::uint16_t err);
    // The end of every search. One that did not succeed leaves nothing
    // moving: its axes are stopped (unless the line is gone) and waited for,
    // and their positions read, before it returns; a stopped one says so.
    // One that found its switches gives the position's trust back where the
    // lower switch gave the origin back.
    // `updatePosition`: the object's own read and notification.
    std::uint16_t EndSearch(const char* drive, std::uint16_t err,
                            std::initializer_list<CTessaroAxis*> axes,
                            const std::function<std::uint16_t()>& updatePosition);
    // Clears what a search records (a switch missed, origins found again).
    void BeginSearch();
    // Stores the count at the switch of one side of `axis` (`lower`: into
    // minPos_step, else maxPos_step). At the lower switch of an axis whose
    // position cannot be trusted and whose lower limit was measured at that
    // switch before, the origin and the upper limit move by as much as the
    // switch's count did: the switch is where it was on the stage, so the
    // frame is found again. `atSwitch` false: the search met no switch and
    // stores the count of the moment.
    std::uint16_t StoreLimit(CTessaroAxis& axis, bool lower, bool atSwitch);
    // Whether the running search or wait was asked to end.
    bool StopRequested() const { return m_bStopRequested.load(std::memory_order_acquire); }
    // Whether each axis has a positioning speed to move at (one the
    // processor gets as at least one count, and at most kTopSpeed); when
    // not, tells the host and returns false.
    static bool SpeedsUsable(const char* drive, std::initializer_list<const CTessaroAxis*> axes);
    // What a velocity move's speeds (pairs of axis and rev/s) are scaled by
    // to stay within each axis's maximum joystick speed: 1, or less for a
    // faster one, which runs at the ceiling (told once for each ceiling).
    double JogScale(const char* drive,
                    std::initializer_list<std::pair<const CTessaroAxis*, double>> jog);
    // Whether a velocity move of `v` reaches the processor as at least one
    // count (0 is a stop); when not, tells the host and returns false.
    static bool JogUsable(const char* drive, const CTessaroAxis& axis, double v);
    // The last ceiling JogSpeed told of.
    std::atomic<double> m_dCeilingTold{-1.0};

    // Marks a stoppable operation (a limit search, a rotary wait) as running
    // while it lives (and clears an old stop request at its start and end).
    class StoppableScope {
      public:
        explicit StoppableScope(CTessaroMotion& motion);
        ~StoppableScope();
        StoppableScope(const StoppableScope&) = delete;
        StoppableScope& operator=(const StoppableScope&) = delete;

      private:
        CTessaroMotion& m_motion;
    };

    std::atomic<bool> m_bStopRequested{false};
    // A side of the running search met no switch within its wait.
    bool m_bSwitchMissed = false;
    // The axes whose origin the running search found again at their lower
    // switch.
    std::vector<const CTessaroAxis*> m_originFound;

  private:
    SKxDevicePosition m_record;
    const CTessaroAxis* m_pAnyAxis;
    std::atomic<bool> m_bStoppable{false};
};

// What the Z and rotary motion objects share: one axis record, the
// position update, and the commands that start a positioning move.
class CTessaroSingleAxisMotion : public CTessaroMotion {
  public:
    virtual bool NotifyPosition() = 0;
    // Reads the position and notifies when it changed; 32720 when the
    // notification failed.
    std::uint16_t UpdatePosition();
    // Waits for an event of `mask`, polling every 10 ms without holding the
    // motion lock between polls; 0 also when the wait ran past its bound
    // (m_bWaitRanOut tells), kStoppedByHost when a stop came.
    std::uint16_t WaitForEvent(std::uint16_t mask);

    CTessaroAxis* m_pAxis;

  protected:
    explicit CTessaroSingleAxisMotion(CTessaroAxis* axis) : CTessaroMotion(axis), m_pAxis(axis) {}
    std::atomic<std::int32_t> m_iTarget{0};  // the last positioning move's target count
    ~CTessaroSingleAxisMotion() = default;
    // Destination (flipped), speed, events reset and Update; the first
    // error. Notes the move's start (BeginMove) and the carry a relative
    // move leaves.
    std::uint16_t SendPositioningMove(const StepAim& aim, bool relative);
};

class CTessaroZMotion final : public CTessaroSingleAxisMotion {
  public:
    explicit CTessaroZMotion(CTessaroAxis* axis);

    bool Move(double target, bool relative);
    bool MoveAndWait(double target, bool relative);
    std::uint16_t WaitForMotionComplete();
    bool MoveVelocity(double revolutionsPerSecond);
    bool NotifyPosition() override;
    std::uint16_t FindLowerLimit();
    std::uint16_t FindLimits();
    std::uint16_t SetDefaults();

    std::uint16_t StartMove(double target, bool relative);
    std::uint16_t SeekLimit(std::int8_t direction);

  private:
    std::uint16_t FindLimit(std::int8_t direction);
    void ApplyDefaults();
};

class CTessaroRotaryMotion final : public CTessaroSingleAxisMotion {
  public:
    explicit CTessaroRotaryMotion(CTessaroAxis* axis);

    bool Move(double target, bool relative);
    bool MoveAndWait(double target, bool relative);
    std::uint16_t WaitForMotionComplete();
    bool MoveVelocity(double revolutionsPerSecond);
    // Degrees, from 0 up to (not including) 360.
    double GetAngle();
    bool NotifyPosition() override;
    std::uint16_t SetDefaults();

    std::uint16_t StartMove(double target, bool relative);

  private:
    void ApplyDefaults();
};

class CTessaroXYMotion final : public CTessaroMotion {
  public:
    CTessaroXYMotion(CTessaroAxis* axisX, CTessaroAxis* axisY);

    bool Move(double x, double y, bool relative);
    bool MoveAndWait(double x, double y, bool relative);
    std::uint16_t WaitForMotionComplete();
    bool MoveVelocity(double vx, double vy);
    bool NotifyPosition();
    std::uint16_t UpdatePosition();
    std::uint16_t FindLowerLimits();
    std::uint16_t FindLimits();
    std::uint16_t SetDefaults();

    std::uint16_t StartMove(double x, double y, bool relative);
    std::uint16_t WaitForEvent(std::uint16_t mask);
    // With the XY motion lock held by the caller.
    std::uint16_t SeekLimits(std::int8_t direction);

    CTessaroAxis* m_pAxisX;
    CTessaroAxis* m_pAxisY;
    bool multipleUpdate = false;

  private:
    // The last positioning move's targets.
    std::atomic<std::int32_t> m_iTargetX{0}, m_iTargetY{0};
    std::uint16_t FindLimitsOnOneSide(std::int8_t direction);
    void ApplyDefaults();
};

// Step target of a linear axis for a target in micrometres: relative to the
// present position (from the exact position `carry` holds, while the axis
// stands where the last relative move sent it), or absolute from the zero
// point.
StepAim LinearAim(const CTessaroAxis& axis, double target, bool relative,
                  const RelativeCarry& carry);

}  // namespace tessaro
