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
// A limit search or a rotary positioning move ended because the host
// stopped the drive (this side's own code, below the link's range).
inline constexpr std::uint16_t kStoppedByHost = 32719;
// A positioning move refused before anything was sent, because its speed is
// 0 or not a number (it would wait out its minute for nothing).
inline constexpr std::uint16_t kSpeedRefused = 32717;
// Event masks.
inline constexpr std::uint16_t kMaskBeforePositioning = 0xFF1E;
inline constexpr std::uint16_t kMaskBeforeVelocity = 0xFF1F;
inline constexpr std::uint16_t kMaskMoveEnd = 0x00E1;
inline constexpr std::uint16_t kMaskMoveEndOrError = 0x00F1;
inline constexpr std::uint16_t kMaskLimitEvents = 0x00E0;
// How long a wait on the processor lasts at most; then it reports success.
inline constexpr double kWaitLimitMs = 60000.0;

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

    // Asks a limit search or a rotary positioning wait running on this
    // object to end; true when one was running. Takes no lock: those hold
    // the motion lock throughout, and poll this request between their
    // exchanges and sleeps.
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
    // Tells the host how a positioning move ended when that is not what it
    // was asked for: a limit switch, a wait run out, an axis more than one
    // step from its target (pairs of axis and target count).
    void ReportMoveEnding(const char* drive,
                          std::initializer_list<std::pair<const CTessaroAxis*, std::int32_t>> ends);
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
    // Whether each axis has a positioning speed to move at; when not, tells
    // the host and returns false.
    static bool SpeedsUsable(const char* drive, std::initializer_list<const CTessaroAxis*> axes);

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

    CTessaroAxis* m_pAxis;

  protected:
    explicit CTessaroSingleAxisMotion(CTessaroAxis* axis) : CTessaroMotion(axis), m_pAxis(axis) {}
    std::atomic<std::int32_t> m_iTarget{0};  // the last positioning move's target count
    ~CTessaroSingleAxisMotion() = default;
    // Destination (flipped), speed, events reset and Update; the first error.
    std::uint16_t SendPositioningMove(std::int32_t target);
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
    std::uint16_t WaitForEvent(std::uint16_t mask);
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
    // Degrees, 0 to 360 inclusive.
    double GetAngle();
    bool NotifyPosition() override;
    std::uint16_t SetDefaults();

    std::uint16_t StartMove(double target, bool relative);
    std::uint16_t WaitForEvent(std::uint16_t mask);

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
// present position, or absolute from the zero point.
std::int32_t LinearTarget(const CTessaroAxis& axis, double target, bool relative);

}  // namespace tessaro
