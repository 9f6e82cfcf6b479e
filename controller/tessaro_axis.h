// One motor axis of the board: its command handle, its parameters in the
// units users set them in, its positions in processor steps, the conversions
// between the two, and the commands that configure and move it.
//
// The drives read and write the parameter fields directly (they carry the
// names of the settings keys). Every operation that talks to the processor
// takes the controller lock for its command or short sequence.
#pragma once

#include <atomic>
#include <cstdint>

#include "cmotion/link_serial.h"
#include "cmotion/link_status_bits.h"
#include "host/kx_thread.h"

namespace tessaro {

class CTessaroController;

// Why a position would not be the truth, as the settings text carries it.
enum PositionDoubt : std::uint8_t {
    kNoDoubt = 0,
    kDoubtFlagged = 1,   // the drive's position could not be trusted
    kDoubtMoving = 2,    // the axis moved (and no end was waited for)
    kDoubtLineLost = 3,  // the line to the board was lost, or the board did not answer
    // Written by a host program that keeps a journal of its sessions (this
    // side never saves them): another session used the board since the
    // text was saved; the last session on the board ended without a
    // disconnect.
    kDoubtAnotherSession = 4,
    kDoubtSessionDied = 5,
};

inline constexpr std::uint16_t kProfileModeUnknown = 10000;
inline constexpr std::uint16_t kProfileVelocity = 1;
inline constexpr std::uint16_t kProfilePositioning = 2;
// Stop modes, and how long an axis that this side stops on its own (at
// connect, at a disconnect, at the end of a search) may take to come to rest
// after a smooth stop before it is stopped at once, and after that; host ms.
inline constexpr std::uint16_t kStopAtOnce = 1;
inline constexpr std::uint16_t kStopSmoothly = 2;
inline constexpr double kRestSmoothMs = 5000.0;
inline constexpr double kRestAtOnceMs = 1000.0;

using cmotion::kActivityInMotion;
using cmotion::kEventMotionComplete;
using cmotion::kEventNegativeLimit;
using cmotion::kEventPositiveLimit;
using cmotion::kSignalLimitInputs;

// Error 14 ("Invalid Move into Limit") at the end of a move or update is not
// an error: the axis stands at its switch, which is what was asked of it.
inline std::uint16_t FoldMoveIntoLimit(std::uint16_t code) {
    return code == 14 ? std::uint16_t{0} : code;
}

// A field that one thread may write without a lock while another reads it
// (the drives set parameters that the polling thread reads for every
// position it reports): each access is one relaxed atomic load or store, so
// a reader sees either the old or the new value, never a torn one, and the
// program has no data race. Reads and writes look like those of a T.
template <typename T>
class Relaxed {
  public:
    Relaxed(T value = T{}) : m_value(value) {}  // NOLINT: used like a T
    Relaxed(const Relaxed& other) : m_value(other.load()) {}
    Relaxed& operator=(const Relaxed& other) {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); }  // NOLINT: used like a T
    T load() const { return m_value.load(std::memory_order_relaxed); }
    void store(T value) { m_value.store(value, std::memory_order_relaxed); }

  private:
    std::atomic<T> m_value;
};

class CTessaroAxis {
  public:
    CTessaroAxis(const cmotion::CLinkAxisHandle& board, std::uint16_t axis,
                 CTessaroController* controller);

    // The first command sequence for the axis, after the board's state was
    // adopted (AdoptBoardState); true when both had no error. The zero
    // point and the present position are the count the board reports
    // afterwards, so that the drive shows where the stage stands from the
    // moment it exists.
    bool Initialize();
    // What the board holds before the set-up's Update can act on it. A board
    // that came up from a reset has nothing buffered: its operating mode is
    // not the set-up's one, and nothing more is sent. A board that an
    // earlier session set up (and that was not reset since: the session died
    // or lost its line) may still move, and holds that session's last
    // profile, a jog's velocity for instance, which the next Update would
    // start again. Such an axis is stopped and waited for, its events are
    // cleared (a pending limit event would refuse the set-up's Update), and
    // its buffer becomes a velocity move at speed 0. A probe the processor
    // refuses is taken as that case too. The first error, or 0.
    std::uint16_t AdoptBoardState();
    // The second half of that, for an axis not known to be reset: stopped,
    // waited for, events cleared, a velocity move of 0 buffered.
    std::uint16_t Neutralise();
    // The same sequence without touching the zero point, for a board that
    // was reset under a running session; the first error, or 0.
    std::uint16_t SetUpProcessor();
    // The operating mode the set-up programs: a board that reads back
    // another one has lost its set-up (it was reset).
    static constexpr std::uint16_t kOperatingMode = 0x37;
    // Sends the parameter set; the first error, or 0.
    std::uint16_t ApplySettings();

    // Positions relative to the zero point, in micrometres.
    double GetPosition() const;
    double GetUpperLimit() const;
    double GetLowerLimit() const;
    std::int32_t SetUpperLimit(double um);
    std::int32_t SetLowerLimit(double um);
    std::int32_t ShiftZero(double um);
    // Changes the direction of the axis, re-expressing the zero point, the
    // present position and the limits so that each stays where it is on
    // the stage: positions change sign, the lower limit stays the lower one
    // (the upper one mirrored), and the whole travel stays the whole travel.
    void SetFlip(std::int8_t flip);

    // Derived quantities (computed on demand from the fields).
    std::uint16_t GetPhaseCounts() const;
    std::uint32_t GetStepsPerRevolution() const;
    double GetStepsPerRevolutionF() const;
    double GetCyclesPerSecond() const;
    double GetUnitsPerStep() const;
    double GetStepsPerUnit() const;
    // Speed in rev/s to the processor's velocity (steps per cycle, 16
    // fraction bits).
    std::int64_t VelocityToCounts(double revolutionsPerSecond) const;
    // The acceleration and deceleration in the processor's units (steps per
    // cycle per cycle, 16 fraction bits) before they are cut to 32 bits: a
    // value above 2^32 - 1 would wrap. RateSent: what the register then
    // gets (cut to 32 bits and scaled by 1/100, as the processor takes it).
    std::int64_t AccelerationRegister(double revolutionsPerSecond2) const;
    std::int64_t DecelerationRegister(double revolutionsPerSecond2) const;
    static std::uint32_t RateSent(std::int64_t reg);
    // How long the processor's profile takes for a positioning move of
    // `steps` at `revolutionsPerSecond` with the axis's acceleration and
    // deceleration, in seconds (infinite when it would never arrive).
    double MoveSeconds(double steps, double revolutionsPerSecond) const;

    std::uint16_t RefreshPosition(bool* changed);
    std::uint16_t SetProfileMode(std::uint16_t mode);
    std::uint16_t Stop();
    std::uint16_t Update();
    std::uint16_t SetDestination(std::int32_t steps);
    std::uint16_t SetVelocityCounts(std::int32_t counts);
    std::uint16_t SetVelocityFromSpeed();
    std::uint16_t ResetEvents(std::uint16_t mask);
    std::uint16_t MultiUpdate(std::uint16_t axisMask);
    std::uint16_t GetActivityStatus(std::uint16_t* status);
    std::uint16_t GetEventStatus(std::uint16_t* status);
    std::uint16_t GetSignalStatus(std::uint16_t* status);
    std::uint16_t ReadCommandedPosition(std::int32_t* position);
    // Starts a velocity move at the axis speed toward a limit (+1 or -1),
    // retrying while a limit event is pending (error 13) for up to 60 s, or
    // until `stop` (if given) turns true: then `stopped` is returned.
    std::uint16_t StartLimitApproach(std::int8_t direction, const std::atomic<bool>* stop = nullptr,
                                     std::uint16_t stopped = 0);

    CTessaroController* controller() const { return m_pController; }
    // The controller is closing (or closed).
    bool Closing() const;
    // Commands of the calling thread answer 32721 unsent: the controller is
    // closing, and this is not the thread that closes it.
    bool CommandsRefused() const;
    // Why the position a settings save would write now is not where the
    // stage stands (kNoDoubt: it is). While connected it asks the board
    // (activity and count, under the controller lock); after a disconnect
    // it is what the disconnect found.
    std::uint8_t PositionDoubtNow();
    // Polls the activity status every 10 ms until the axis rests or `ms`
    // host ms have passed; the first error, or 0 with `*moving` telling
    // which.
    std::uint16_t WaitForRest(double ms, bool* moving);
    // Whether the axis moves, and where it stands (into currentPos_step and
    // boardCount_step), read in one piece under the controller lock; the
    // first error, or 0.
    std::uint16_t ReadMotionState(bool* moving);
    std::uint16_t axisNumber() const { return m_handle.m_uAxis; }

    cmotion::CLinkAxisHandle m_handle{};
    // The parameters. The drives and dialogs write them without a lock (they
    // take effect at the next move or application of the settings) while
    // the motion operations and the polling thread read them on other
    // threads: each is a relaxed atomic (see Relaxed).
    Relaxed<std::uint16_t> m_uProfileMode = 0;
    Relaxed<std::uint16_t> m_uStopMode = 0;
    Relaxed<double> current_percent = 0.0;
    Relaxed<double> holdingCurrent_percent = 0.0;
    Relaxed<double> holdingDelay_ms = 0.0;
    Relaxed<double> acceleration_revolutionPerSecond2 = 0.0;
    Relaxed<double> deceleration_revolutionPerSecond2 = 0.0;
    Relaxed<double> jerk_revolutionPerSecond3 = 0.0;
    Relaxed<double> speed_revolutionPerSecond = 0.0;
    Relaxed<double> maxJoystickSpeed_revolutionPerSecond = 0.0;
    Relaxed<double> calibration_umPerRevolution = 1000.0;
    Relaxed<std::uint32_t> poleCount = 200;
    Relaxed<std::uint16_t> microsteps = 255;
    Relaxed<std::int32_t> zeroPos_step = 0;
    // Written by the polling thread and the motion operations under the
    // locks, read by the drives without one.
    Relaxed<std::int32_t> currentPos_step = 0;
    Relaxed<std::int32_t> minPos_step = -2147483647 - 1;
    Relaxed<std::int32_t> maxPos_step = 2147483647;
    Relaxed<std::int8_t> axisFlip = 1;
    // The board's own count (no axisFlip) as last read, by the set-up and
    // by every position read: what a settings load compares with the count
    // the settings were saved with.
    Relaxed<std::int32_t> boardCount_step = 0;
    // Whether the counts belong to the frame that the zero point and the
    // limits were set in (see controller/position_trust.h).
    Relaxed<bool> positionTrusted = true;
    // What connect found: whether the axis came from a reset (its count
    // restarted at 0 where the stage stood, as a disconnect leaves it), and
    // whether a motion command went out since. A settings load may take
    // count 0 for "where these settings were saved, before the reset" only
    // while the first holds and the second does not.
    Relaxed<bool> freshAtConnect = false;
    Relaxed<bool> movedSinceConnect = false;
    // The board came back reset under this session: its count restarted
    // where the axis stood, so no count a settings text holds says where
    // the stage is any more (a count that happens to match included).
    Relaxed<bool> resetUnderSession = false;
    // What the last disconnect found (BringToRest): at rest with its final
    // count read, or why not.
    Relaxed<std::uint8_t> doubtAtClose = kDoubtLineLost;
    // Whether the lower limit is the count a search found at the lower
    // switch (not one the user set): a search can then find the origin again
    // from that switch when the position's trust was lost.
    Relaxed<bool> lowerLimitAtSwitch = false;
    Relaxed<bool> joystickEnable = true;
    Relaxed<bool> positiveLimitSwitches = false;
    std::uint32_t m_uSampleTime_us = 0;
    CTessaroController* m_pController = nullptr;

  private:
    // Runs one command under the controller lock; 3 (invalid axis) without a
    // controller, 32721 (not connected) once the controller is closing.
    template <typename Command>
    std::uint16_t Locked(Command command);
};

// Holds an axis's controller lock (when the axis has a controller) while it
// lives: a check and the commands that act on it in one piece, so that no
// other thread's exchange (a line's return that flags the positions, a
// poll) comes in between.
class AxisControllerLock {
  public:
    explicit AxisControllerLock(const CTessaroAxis& axis);
    ~AxisControllerLock();
    AxisControllerLock(const AxisControllerLock&) = delete;
    AxisControllerLock& operator=(const AxisControllerLock&) = delete;

  private:
    pthread_mutexCS_t* m_pMutex = nullptr;
};

}  // namespace tessaro
