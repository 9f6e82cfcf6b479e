"""The lifecycle model test: a lab program (worker.py: the tessaro package in
a process of its own, to be killed and interrupted) is driven at random through
every edge of a session against tessaro-sim, whose control socket tells where
each axis physically stands. A model of the user's frames, kept from what the
user did, says after every step: a drive that calls its position trusted
stands there (its limits too); a move that succeeded ended at its target; no
axis moved that nobody asked to; no call outran its bound; no absolute move
passed while flagged; a clean hand-over comes back trusted. docs/lifecycle.md
tells how to run it, and what it found.
"""

import argparse
import collections
import copy
import functools
import json
import math
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

from hypothesis import HealthCheck, Phase, note, seed, settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, rule, run_state_machine_as_test

HERE = Path(__file__).resolve().parent

# The drives' geometry with their default parameters: steps per micrometre of
# the stage and focus axes, steps per turn of the rotary axis.
STEPS_PER_UM = 51.0
ROTARY_STEPS = 204000
# Limit switches of the stage and focus axes, in steps from where each axis
# stood when the simulator started.
SWITCH = 150000
AXES = {"xy": (0, 1), "z": (2,), "rotary": (3,)}
LINEAR = ("xy", "z")
# How far a place may lie from where it should: a target truncated to a step
# and the half step of reading it back; a limit found at a switch, where the
# approach met it within its cycle.
STEP_TOLERANCE = 1.5
SWITCH_TOLERANCE = 12
# Bounds of the calls, seconds.
BOUND = {"connect": 20, "disconnect": 20, "move": 30, "search": 120, "other": 10}
# A line away for this long (the simulator's time), then back; the plug-in
# looks for it every half second.
DROP_MS = 600
# How long after that the plug-in has the line back at the latest: one
# reopening period, a synchronisation and the set-up of a reset board, with
# room for a busy machine (long runs side by side on two cores took 1.5 s).
LINE_BACK_S = 3.0


class Violation(AssertionError):
    pass


class TimeUp(Exception):
    """The run's time is over: the example ends here (not a failure)."""


class Stats:
    steps = 0
    operations = collections.Counter()
    violations = []  # (seed, steps that led to it, what broke)
    examples = 0
    seed = 0
    deadline = 0.0  # monotonic: no step starts after it
    first_violation_step = 0


def in_time():
    return time.monotonic() < Stats.deadline


def when(condition=lambda self: True):
    """The state a rule needs. A rule whose state does not hold does
    nothing: the rules' availability must not hang on what the real-time
    board did, or Hypothesis would see the same choices lead to different
    ones. Once the time is up, the next rule ends the example."""
    def decorate(function):
        @functools.wraps(function)
        def step(self, **arguments):
            if not in_time():
                raise TimeUp()
            return function(self, **arguments) if condition(self) else None
        return step
    return decorate


class Sim:
    """tessaro-sim on a pseudo-terminal with its control socket."""

    def __init__(self, program, folder, speed):
        self.link = str(folder / "com7")
        self.control = str(folder / "control")
        limits = [f"--limit={axis}:{-SWITCH}:{SWITCH}" for axis in (0, 1, 2)]
        self.process = subprocess.Popen(
            [program, "--axes", "4", "--link", self.link, "--control", self.control,
             "--speed", str(speed), *limits],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while not (os.path.exists(self.link) and os.path.exists(self.control)):
            if time.monotonic() > end:
                raise RuntimeError("tessaro-sim did not come up")
            time.sleep(0.01)
        # The socket's file exists from its bind on; it answers from its
        # listen on, a moment later.
        while True:
            self.socket = socket.socket(socket.AF_UNIX)
            try:
                self.socket.connect(self.control)
                break
            except ConnectionRefusedError:
                self.socket.close()
                if time.monotonic() > end:
                    raise
                time.sleep(0.01)
        self.channel = self.socket.makefile("rw")

    def ask(self, request):
        self.channel.write(request + "\n")
        self.channel.flush()
        return self.channel.readline().split()

    def where(self):
        """Steps of each axis, and whether each moves."""
        words = self.ask("where")
        steps = [int(w) for w in words[1:5]]
        moving = [w == "1" for w in words[6:10]]
        return steps, moving

    def stop(self):
        self.socket.close()
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Worker:
    """The lab program."""

    def __init__(self, environment, violate, folder):
        self.violate = violate
        self.stacks = folder / "worker-stderr.txt"
        with open(self.stacks, "w") as stacks:
            self.process = subprocess.Popen(
                [sys.executable, str(HERE / "worker.py")], stdin=subprocess.PIPE,
                stdout=subprocess.PIPE, stderr=stacks, env=environment, text=True)
        self.pending = b""  # what came of the answers, read past the last one

    def send(self, request):
        self.number = getattr(self, "number", 0) + 1
        self.process.stdin.write(json.dumps(dict(request, id=self.number)) + "\n")
        self.process.stdin.flush()

    def answer(self, bound):
        """The answer to the last request sent (within `bound` seconds)."""
        end = time.monotonic() + bound
        while True:
            while b"\n" not in self.pending:
                ready, _, _ = select.select([self.process.stdout], [], [],
                                            max(0.0, end - time.monotonic()))
                if not ready:
                    # Where the program stands: every thread's stack.
                    self.process.send_signal(signal.SIGUSR1)
                    time.sleep(1)
                    self.violate(f"the call did not return within {bound} s; the program's "
                                 f"threads:\n" + self.stacks.read_text(errors="replace"))
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    self.violate("the lab program died:\n" +
                                 self.stacks.read_text(errors="replace"))
                self.pending += chunk
            line, _, self.pending = self.pending.partition(b"\n")
            answer = json.loads(line)
            if answer.pop("id") == self.number:
                return answer

    def ask(self, request, bound=BOUND["other"]):
        self.send(request)
        return self.answer(bound)

    def interrupt(self):
        self.process.send_signal(signal.SIGINT)

    def kill(self):
        self.process.kill()
        self.process.wait()


class Frame:
    """A linear axis's frame as the user set it: where its origin lies on
    the stage (steps), which way it counts, and where its limits lie (steps,
    None for the whole travel, with the tolerance they were set to)."""

    def __init__(self, origin, flip=-1):
        self.origin = origin
        self.flip = flip
        self.lower = None
        self.upper = None
        # How exactly the drive can know the origin: to the step where the
        # user set it; to twice a switch's spread where a search found it
        # again from the lower switch.
        self.tolerance = STEP_TOLERANCE

    def user(self, steps):
        return self.flip * (steps - self.origin) / STEPS_PER_UM

    def steps(self, um):
        return self.origin + self.flip * um * STEPS_PER_UM


def angle(frame, steps):
    return (frame.flip * (steps - frame.origin) * 360.0 / ROTARY_STEPS) % 360.0


def angle_off(a, b):
    d = abs(a - b) % 360.0
    return min(d, 360.0 - d)


def recorded(function):
    """A failure of the test's own making (not a violation) is recorded with
    the steps before it too: a replay of a real-time run may not meet it."""
    @functools.wraps(function)
    def step(self, **arguments):
        try:
            return function(self, **arguments)
        except (Violation, TimeUp):
            raise
        except Exception:
            self.violate("the test failed: " + traceback.format_exc())
    return step


finite = st.floats(-1500, 1500, allow_nan=False).map(lambda v: round(v, 2))
# Distances of relative moves in series: no whole number of steps (0.25 um is
# 12.75 steps, 10 degrees 5666.67).
STEP_SERIES = {"linear": [0.25, -0.3, 0.01, 1.7, -7.77],
               "rotary": [10.0, -7.5, 0.3, 1 / 3, 45.0]}
# Positioning speeds the rules set, rev/s: the last is refused.
SPEEDS = {"xy": [0.5, 2.0, 10.0, 150.0], "z": [0.5, 2.0, 10.0, 150.0],
          "rotary": [0.1, 0.5, 2.0, 150.0]}
drives = st.sampled_from(["xy", "z", "rotary"])
linear = st.sampled_from(LINEAR)


class Lifecycle(RuleBasedStateMachine):
    program = None
    speed = 2.0

    def __init__(self):
        super().__init__()
        self.folder = Path(tempfile.mkdtemp(prefix="tessaro-lifecycle-"))
        self.environment = dict(os.environ, XDG_CONFIG_HOME=str(self.folder / "config"),
                                APPDATA=str(self.folder / "config"))
        self._sim = None  # started by the first step
        self.log = []  # the steps so far, for a violation's report
        self.settings_file = str(self.folder / "settings.txt")
        self.worker = None
        self.connected = False
        self.with_file = False
        # The user's frames: axis number -> Frame; the rotary's angle frame.
        self.frames = {}
        # What the settings file holds (frames and the drives' trust), and
        # whether it is the hand-over of the last clean disconnect with
        # nothing done to the board since.
        self.file_frames = None
        self.file_trusted = {}
        # Whether the file's rotary frame is known: a rotary frame the model
        # had not learnt again (after a load, while the rotary jogged) is
        # saved as the drive had it, which the model does not know.
        self.file_rotary_known = True
        self.file_handover = False
        self.trusted = {}
        # Axes that move with no end the model knows (a jog, a program
        # killed mid-motion): not checked until at rest again.
        self.free = set()
        self.rotary_known = True
        self.line_back_by = 0.0  # monotonic time the line should be back by
        self.probe_refused = False
        self.before = None

    @property
    def sim(self):
        if self._sim is None:
            Stats.examples += 1
            self._sim = Sim(self.program, self.folder, self.speed)
        return self._sim

    def teardown(self):
        if self.worker:
            self.worker.kill()
        if self._sim:
            self._sim.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    # ------------------------------------------------------------ helpers --

    def begin(self, name, **arguments):
        """Counts the step and logs it as the call that repeats it
        (`arguments`: all of the rule's)."""
        Stats.steps += 1
        Stats.operations[name] += 1
        call = ", ".join(f"{k}={v!r}" for k, v in arguments.items())
        self.log.append(f"{sys._getframe(1).f_code.co_name}({call})")
        self.before, _ = self.sim.where()

    def violate(self, what):
        """Records the violation with the steps that led to it (a replay of a
        real-time run may not meet it again), then fails the example."""
        if not any(v[0] == Stats.seed for v in Stats.violations):
            Stats.violations.append((Stats.seed, list(self.log), what))
            if not Stats.first_violation_step:
                Stats.first_violation_step = Stats.steps
        raise Violation(what)

    def line_may_be_away(self):
        return time.monotonic() < self.line_back_by

    def expected(self, answer, *accepted):
        """The answer's value; a failure of an accepted class is None; any
        other failure breaks the rules."""
        if "value" in answer:
            return answer
        if answer.get("error") in accepted:
            return None
        if answer.get("error") == "LineError" and self.line_may_be_away():
            return None
        self.violate(f"unexpected failure: {answer}")

    def call(self, drive, name, *args, bound=BOUND["other"], **keywords):
        return self.worker.ask({"do": "call", "drive": drive, "name": name, "args": list(args),
                                "kwargs": keywords}, bound)

    def get(self, drive, name):
        return self.worker.ask({"do": "get", "drive": drive, "name": name})

    def read_trusted(self, drive):
        answer = self.get(drive, "trusted")
        if "value" in answer:
            self.trusted[drive] = answer["value"]
        return self.trusted.get(drive, True)

    def settle(self):
        """Waits (bounded) until every axis the model does not count as free
        rests."""
        end = time.monotonic() + 10
        while True:
            steps, moving = self.sim.where()
            still = [a for a in range(4) if moving[a] and a not in self.free]
            if not still:
                return steps
            if time.monotonic() > end:
                self.violate(f"axes {still} still move, and nobody asked them to")
            time.sleep(0.02)

    def check(self, moved=(), stopping=()):
        """The rules after a step: `moved` axes were asked to move, `stopping`
        ones to stop (their position reaches the drive with the next poll)."""
        steps = self.settle()
        for axis in range(4):
            if axis in moved or axis in stopping or axis in self.free:
                continue
            if steps[axis] != self.before[axis]:
                self.violate(f"axis {axis} moved {steps[axis] - self.before[axis]} steps; "
                                f"nobody asked it to")
        if not self.connected:
            return
        if stopping:
            time.sleep(0.15)  # three polls
            steps = self.settle()
        for drive in ("xy", "z", "rotary"):
            self.check_drive(drive, steps)

    def check_drive(self, drive, steps):
        answer = self.get(drive, "position")
        if "value" not in answer:
            self.expected(answer)
            return
        if any(axis in self.free for axis in AXES[drive]):
            return
        if drive == "rotary":
            frame = self.frames[3]
            if not self.rotary_known:
                # The drive took the board's count: its frame from now on.
                frame.origin = steps[3] - frame.flip * answer["value"] * ROTARY_STEPS / 360.0
                self.rotary_known = True
                return
            off = angle_off(answer["value"], angle(frame, steps[3]))
            if off * ROTARY_STEPS / 360.0 > STEP_TOLERANCE:
                self.violate(f"rotary shows {answer['value']:.4f} deg, stands at "
                                f"{angle(frame, steps[3]):.4f} deg")
            return
        if not self.read_trusted(drive):
            return
        places = [answer["value"]] if drive == "z" else answer["value"]
        for axis, value in zip(AXES[drive], places):
            truth = self.frames[axis].user(steps[axis])
            if abs(value - truth) * STEPS_PER_UM > self.frames[axis].tolerance:
                self.violate(f"{drive} axis {axis} shows {value:.3f} um, trusted, but stands "
                                f"at {truth:.3f} um of the user's frame")
        limits = self.get(drive, "limits")
        if "value" not in limits:
            self.expected(limits)
            return
        # The stage's Limits((x, y) lower, (x, y) upper), per axis.
        pairs = [limits["value"]] if drive == "z" else list(zip(*limits["value"]))
        for axis, (lower, upper) in zip(AXES[drive], pairs):
            frame = self.frames[axis]
            for name, value, place in (("lower", lower, frame.lower), ("upper", upper, frame.upper)):
                if place is None:
                    if abs(value) < 1e7:
                        self.violate(f"{drive} axis {axis} {name} limit {value:.3f} um, "
                                        f"none was set")
                    continue
                at, tolerance = place
                if abs(value - frame.user(at)) * STEPS_PER_UM > tolerance:
                    self.violate(f"{drive} axis {axis} {name} limit {value:.3f} um, set at "
                                    f"{frame.user(at):.3f} um of the user's frame")

    def halt(self, drive):
        """A jogging drive is stopped, and its position read, before an
        operation that needs to know where it stands (a move relative to it,
        an origin there), as a careful user does: where a jog has got to is
        known only to the next poll."""
        if not any(axis in self.free for axis in AXES[drive]):
            return
        self.log.append(f"  (stop {drive} first)")
        # While the line is away no stop reaches the board: again once it is
        # back, as a user would.
        while self.expected(self.call(drive, "stop")) is None:
            time.sleep(0.1)
        self.free.difference_update(AXES[drive])
        self.settle()
        time.sleep(0.15)  # three polls
        self.before, _ = self.sim.where()

    def switch_limits(self, axis):
        """The switches as (lower, upper) places in the user's frame."""
        frame = self.frames[axis]
        places = sorted((-SWITCH, SWITCH), key=frame.user)
        return (places[0], SWITCH_TOLERANCE), (places[1], SWITCH_TOLERANCE)

    def fresh_frames(self, steps):
        self.frames = {axis: Frame(steps[axis]) for axis in range(4)}

    # ------------------------------------------------------------- rules --

    @rule(with_file=st.booleans())
    @when(lambda self: not self.connected)
    @recorded
    def connect(self, with_file):
        self.begin("connect with settings" if with_file else "connect without settings",
                   with_file=with_file)
        if self.worker is None:
            self.worker = Worker(self.environment, self.violate, self.folder)
        # A board that will not say whether it was reset cannot be told from
        # one that was not: nothing saved can be believed then.
        handover = with_file and self.file_handover and not self.probe_refused
        answer = self.worker.ask({"do": "connect", "port": 7, "device": self.sim.link,
                                  "settings": self.settings_file if with_file else None},
                                 BOUND["connect"])
        if self.expected(answer) is None:
            return
        missing = [d for d in AXES if "value" not in self.get(d, "name")]
        if missing:
            self.violate(f"connected without the drives {missing}")
        self.connected, self.with_file = True, with_file
        # A program that was killed left its axes moving: the connect stops
        # them where they are.
        steps = self.settle()
        moved = tuple(self.free)
        self.free.clear()
        self.before = [steps[a] if a in moved else self.before[a] for a in range(4)]
        if with_file and self.file_frames is not None:
            self.frames = {axis: copy.copy(frame) for axis, frame in self.file_frames.items()}
            self.rotary_known = handover and self.file_rotary_known
        else:
            self.fresh_frames(steps)
            self.rotary_known = True
        self.file_handover = False
        self.trusted = {}
        self.check()
        if handover:
            for drive in LINEAR:
                if self.file_trusted.get(drive) and not self.read_trusted(drive):
                    self.violate(f"{drive}: settings handed over at a clean disconnect came "
                                    f"back not trusted")

    @rule()
    @when(lambda self: self.connected)
    @recorded
    def disconnect(self):
        self.begin("disconnect")
        for drive in LINEAR:
            self.read_trusted(drive)
        away = self.line_may_be_away()
        # A jog the line no longer reaches runs on until the next connect
        # stops it; every other one the disconnect stops.
        stopping = () if away else tuple(self.free)
        answer = self.worker.ask({"do": "disconnect"}, BOUND["disconnect"])
        self.connected = False
        self.expected(answer, "Error")
        if not away:
            self.free.clear()
        if self.with_file:
            self.file_frames = {axis: copy.copy(frame) for axis, frame in self.frames.items()}
            self.file_trusted = dict(self.trusted)
            self.file_rotary_known = self.rotary_known
            self.file_handover = not away and "value" in answer
        self.check(stopping=stopping)

    @rule()
    @when(lambda self: self.connected)
    @recorded
    def kill(self):
        self.begin("kill the program")
        self.worker.kill()
        self.worker = None
        self.connected = False
        self.check()

    @rule(drive=drives, a=finite, b=finite, relative=st.booleans())
    @when(lambda self: self.connected)
    @recorded
    def move(self, drive, a, b, relative):
        self.begin("move by" if relative else "move to", drive=drive, a=a, b=b,
                   relative=relative)
        if drive == "rotary":
            a = a % 360.0 if not relative else a / 10.0
        self.halt(drive)
        if drive == "rotary" and not self.rotary_known:
            self.check_drive(drive, self.settle())  # its frame, from what the drive shows
        trusted = self.read_trusted(drive) if drive in LINEAR and not relative else True
        args = (a, b) if drive == "xy" else (a,)
        answer = self.call(drive, "move_by" if relative else "move_to", *args, bound=BOUND["move"])
        done = self.expected(answer, "MotionError", "ValueError") is not None
        steps = self.settle()
        if done and not trusted:
            self.violate(f"{drive}: an absolute move succeeded while the drive said its "
                            f"position could not be trusted")
        if done:
            for axis, value in zip(AXES[drive], args):
                frame = self.frames[axis]
                if drive == "rotary":
                    aim = (angle(frame, self.before[3]) + value) % 360 if relative else value
                    off = angle_off(angle(frame, steps[3]), aim) * ROTARY_STEPS / 360.0
                else:
                    aim = self.before[axis] + frame.flip * value * STEPS_PER_UM if relative \
                        else frame.steps(value)
                    off = abs(steps[axis] - aim) - (0 if relative else frame.tolerance - STEP_TOLERANCE)
                if off > STEP_TOLERANCE:
                    self.violate(f"{drive} axis {axis}: the move succeeded {off:.1f} steps "
                                    f"from its target")
        self.check(moved=AXES[drive])

    @rule(drive=drives, n=st.integers(2, 12), pick=st.integers(0, 4))
    @when(lambda self: self.connected)
    @recorded
    def series(self, drive, n, pick):
        """n relative moves of a distance that is no whole number of steps
        end within a step of n times it: each carries its fraction on."""
        d = (STEP_SERIES["rotary"] if drive == "rotary" else STEP_SERIES["linear"])[pick]
        self.begin("series of relative moves", drive=drive, n=n, pick=pick)
        self.halt(drive)
        start, _ = self.sim.where()
        args = (d, -d) if drive == "xy" else (d,)
        done = True
        for _ in range(n):
            answer = self.call(drive, "move_by", *args, bound=BOUND["move"])
            done = done and self.expected(answer, "MotionError", "ValueError") is not None
        steps = self.settle()
        if done:
            for axis, value in zip(AXES[drive], args):
                per = ROTARY_STEPS / 360.0 if drive == "rotary" else STEPS_PER_UM
                went = (steps[axis] - start[axis]) * self.frames[axis].flip
                if abs(went - n * value * per) > 1.0 + 1e-6:
                    self.violate(f"{drive} axis {axis}: {n} moves of {value} went {went} steps, "
                                 f"not {n * value * per:.2f} within a step")
        self.check(moved=AXES[drive])

    @rule(drive=drives, a=finite)
    @when(lambda self: self.connected)
    @recorded
    def again(self, drive, a):
        """An absolute target asked for again moves nothing (the rotary's a
        turn away is the same angle)."""
        self.begin("absolute target again", drive=drive, a=a)
        self.halt(drive)
        if drive in LINEAR and not self.read_trusted(drive):
            self.check()
            return
        if drive == "rotary" and not self.rotary_known:
            self.check_drive(drive, self.settle())
        first = (a, a / 2) if drive == "xy" else (a,)
        second = (a + 360.0,) if drive == "rotary" else first
        answer = self.call(drive, "move_to", *first, bound=BOUND["move"])
        if self.expected(answer, "MotionError", "ValueError") is not None:
            there = self.settle()
            answer = self.call(drive, "move_to", *second, bound=BOUND["move"])
            if self.expected(answer, "MotionError", "ValueError") is not None:
                steps = self.settle()
                for axis in AXES[drive]:
                    if steps[axis] != there[axis]:
                        self.violate(f"{drive} axis {axis} moved {steps[axis] - there[axis]} "
                                     f"steps to the target it stood at")
        self.check(moved=AXES[drive])

    @rule(drive=drives, a=finite, after=st.floats(0.0, 0.3))
    @when(lambda self: self.connected)
    @recorded
    def stop_move(self, drive, a, after):
        """A stop right after a move's start (or a moment later) stops it:
        the wait says so once the axes rest, where they stay."""
        self.begin("stop a move", drive=drive, a=a, after=after)
        self.halt(drive)
        args = (a, -a) if drive == "xy" else (a,)
        answer = self.call(drive, "move_by", *args, bound=BOUND["move"], wait=False)
        if self.expected(answer, "MotionError", "ValueError") is not None:
            time.sleep(after)
            self.expected(self.call(drive, "stop"))
            # (A target beyond the limits is refused by the operation that
            # the start handed on: its wait says so.)
            answer = self.call(drive, "wait", bound=BOUND["move"])
            self.expected(answer, "MotionStopped", "MotionError", "ValueError")
            _, moving = self.sim.where()
            still = [axis for axis in AXES[drive] if moving[axis]]
            if answer.get("error") == "MotionStopped" and still:
                self.violate(f"axes {still} still move when the stop was answered")
        self.check(moved=AXES[drive])

    @rule(drive=drives, pick=st.integers(0, 3))
    @when(lambda self: self.connected)
    @recorded
    def set_speed(self, drive, pick):
        """Positioning speeds from slow to fast; one no stage is built for
        is refused and changes nothing."""
        value = SPEEDS[drive][pick]
        self.begin("speed", drive=drive, pick=pick)
        answer = self.worker.ask({"do": "set", "drive": drive, "name": "speed", "value": value})
        self.expected(answer, "ValueError")
        if ("value" in answer) == (value > 100):
            self.violate(f"{drive} speed {value}: {answer}")
        self.check()

    @rule(drive=drives, speed=st.sampled_from([-2.0, -0.5, 0.5, 2.0]))
    @when(lambda self: self.connected)
    @recorded
    def jog(self, drive, speed):
        self.begin("jog", drive=drive, speed=speed)
        args = (speed, 0.0) if drive == "xy" else (speed,)
        answer = self.call(drive, "jog", *args)
        if self.expected(answer, "MotionError") is not None:
            self.free.update(AXES[drive][:1])
        self.check(moved=AXES[drive])

    @rule(drive=drives)
    @when(lambda self: self.connected)
    @recorded
    def stop(self, drive):
        self.begin("stop", drive=drive)
        stopping = AXES[drive]
        # A stop the line did not carry leaves a jog running.
        if self.expected(self.call(drive, "stop")) is not None:
            self.free.difference_update(stopping)
        self.check(stopping=stopping)

    @rule(drive=linear)
    @when(lambda self: self.connected)
    @recorded
    def find_limits(self, drive):
        self.begin("limit search", drive=drive)
        self.halt(drive)
        flagged = not self.read_trusted(drive)
        answer = self.call(drive, "find_limits", bound=BOUND["search"])
        self.searched(drive, self.expected(answer, "MotionError", "Error") is not None, flagged)
        self.check(moved=AXES[drive])

    def searched(self, drive, found, flagged):
        """A search that ended found both switches (a flagged drive's origin
        then as exact as a switch). One that failed or was stopped stored
        nothing false: each limit is as it was, or (a side measured before
        the stop) at its switch; the model takes what the drive shows."""
        if found:
            for axis in AXES[drive]:
                frame = self.frames[axis]
                frame.lower, frame.upper = self.switch_limits(axis)
                if flagged:
                    frame.tolerance = 2 * SWITCH_TOLERANCE
            return
        if not self.read_trusted(drive):
            return
        limits = self.get(drive, "limits")
        if "value" not in limits:
            return
        # The stage's Limits((x, y) lower, (x, y) upper), per axis.
        pairs = [limits["value"]] if drive == "z" else list(zip(*limits["value"]))
        for axis, shown in zip(AXES[drive], pairs):
            frame = self.frames[axis]
            switches = self.switch_limits(axis)
            for index, (now, before) in enumerate(zip(shown, (frame.lower, frame.upper))):
                candidates = [before, switches[index]]
                fits = [c for c in candidates
                        if (c is None and abs(now) > 1e7) or
                        (c is not None and abs(now - frame.user(c[0])) * STEPS_PER_UM <= c[1])]
                if not fits:
                    self.violate(f"{drive} axis {axis}: a search that did not end stored "
                                    f"{now:.3f} um, neither the old limit nor a switch")
                if index == 0:
                    frame.lower = fits[0]
                else:
                    frame.upper = fits[0]

    @rule(drive=st.sampled_from(["xy", "z", "rotary"]), find=st.booleans(),
          a=finite, after=st.floats(0.0, 1.5))
    @when(lambda self: self.connected)
    @recorded
    def interrupt(self, drive, find, a, after):
        """Ctrl-C while a move or a search waits."""
        find = find and drive in LINEAR
        self.begin("Ctrl-C during a search" if find else "Ctrl-C during a move", drive=drive,
                   find=find, a=a, after=after)
        self.halt(drive)
        flagged = find and not self.read_trusted(drive)
        away = self.line_may_be_away()
        if find:
            self.worker.send({"do": "call", "drive": drive, "name": "find_limits", "args": []})
        else:
            args = (a, -a) if drive == "xy" else ((a % 360.0,) if drive == "rotary" else (a,))
            trusted = self.read_trusted(drive) if drive in LINEAR else True
            if not trusted:
                args = tuple(v / 20.0 for v in args)
            self.worker.send({"do": "call", "drive": drive,
                              "name": "move_to" if trusted else "move_by", "args": list(args)})
        time.sleep(after)
        self.worker.interrupt()
        answer = self.worker.answer(BOUND["search" if find else "move"])
        # The operation has ended, and the axes rest, when Ctrl-C comes back.
        _, moving = self.sim.where()
        still = [axis for axis in AXES[drive] if moving[axis]]
        if "interrupted" in answer and still:
            self.violate(f"axes {still} still move when Ctrl-C came back")
        if "interrupted" not in answer and not (away and answer.get("error") == "LineError"):
            self.expected(answer, "MotionError", "MotionStopped", "ValueError", "Error")
        if find:
            self.searched(drive, "value" in answer, flagged)
        self.check(moved=AXES[drive])

    @rule(drive=linear)
    @when(lambda self: self.connected)
    @recorded
    def set_origin(self, drive):
        self.begin("set origin", drive=drive)
        self.halt(drive)
        trusted = self.read_trusted(drive)
        answer = self.call(drive, "set_origin")
        if self.expected(answer) is not None:
            steps, _ = self.sim.where()
            for axis in AXES[drive]:
                frame = self.frames[axis]
                frame.origin = steps[axis]
                frame.tolerance = STEP_TOLERANCE
                # A limit's place in the new frame carries the origin's step too.
                frame.lower, frame.upper = (
                    (None, None) if not trusted else
                    [limit and (limit[0], limit[1] + STEP_TOLERANCE) for limit in (frame.lower, frame.upper)])
        self.check()

    @rule(drive=linear, low=finite, span=st.floats(1, 2000).map(lambda v: round(v, 2)))
    @when(lambda self: self.connected)
    @recorded
    def set_limits(self, drive, low, span):
        self.begin("set limits", drive=drive, low=low, span=span)
        self.halt(drive)
        trusted = self.read_trusted(drive)
        args = ((low, low), (low + span, low + span)) if drive == "xy" else (low, low + span)
        answer = self.call(drive, "set_limits", *args)
        if self.expected(answer, "ValueError") is not None:
            # Set in a frame the drive does not know, they are not checked
            # until a trusted frame sets them again.
            for axis in AXES[drive]:
                frame = self.frames[axis]
                frame.lower = (frame.steps(low), STEP_TOLERANCE) if trusted else None
                frame.upper = (frame.steps(low + span), STEP_TOLERANCE) if trusted else None
        self.check()

    @rule(drive=linear, flip=st.sampled_from([-1, 1]))
    @when(lambda self: self.connected)
    @recorded
    def flip(self, drive, flip):
        self.begin("flip", drive=drive, flip=flip)
        self.halt(drive)
        value = (flip, flip) if drive == "xy" else flip
        answer = self.worker.ask({"do": "set", "drive": drive, "name": "flip", "value": value})
        if self.expected(answer) is not None:
            for axis in AXES[drive]:
                frame = self.frames[axis]
                if frame.flip != flip:
                    frame.flip = flip
                    frame.lower, frame.upper = frame.upper, frame.lower
        self.check()

    @rule()
    @when(lambda self: self.connected and self.with_file)
    @recorded
    def save_settings(self):
        self.begin("save settings")
        for drive in LINEAR:
            self.read_trusted(drive)
        if self.expected(self.call(None, "save_settings")) is not None:
            self.file_frames = {axis: copy.copy(frame) for axis, frame in self.frames.items()}
            self.file_trusted = dict(self.trusted)
            self.file_rotary_known = self.rotary_known
        self.check()

    @rule()
    @when(lambda self: self.connected and self.file_frames is not None)
    @recorded
    def load_settings(self):
        self.begin("load settings")
        answer = self.call(None, "load_settings", self.settings_file)
        if self.expected(answer, "Error") is not None:
            self.frames = {axis: copy.copy(frame) for axis, frame in self.file_frames.items()}
            self.rotary_known = False
        self.check()

    @rule(power=st.booleans())
    @when()
    @recorded
    def line_drop(self, power):
        """The adapter off the bus for a moment; with `power`, the board's
        power goes too."""
        self.begin("power cut" if power else "line drop", power=power)
        self.cut(power)
        self.check(stopping=(0, 1, 2, 3) if power else ())

    def cut(self, power):
        self.sim.ask(f"{'powercut' if power else 'unplug'} {DROP_MS}")
        self.line_back_by = time.monotonic() + DROP_MS / 1000.0 / self.speed + LINE_BACK_S
        if power:
            # Whatever moved stops with the power, at rest where it is.
            self.rotary_known = self.rotary_known and not self.connected
            self.free.clear()

    @rule(seconds=st.sampled_from([0.2, 1.0, None]))
    @when()
    @recorded
    def wait(self, seconds):
        """Time passes (a jog runs on, maybe into a switch); None: until the
        line is back."""
        self.begin("wait", seconds=seconds)
        time.sleep(max(0.0, self.line_back_by - time.monotonic()) if seconds is None else seconds)
        self.check()

    @rule(chance=st.integers(0, 9))
    @when(lambda self: not self.probe_refused)
    @recorded
    def refuse_probe(self, chance):
        """From now on the processor refuses GetOperatingMode (Invalid
        Instruction), which connect and a line's return ask; once in ten
        times this rule is drawn."""
        if chance:
            return
        self.begin("probe refused", chance=chance)
        self.probe_refused = True
        self.sim.ask("fault refuse:op=GetOperatingMode:status=2")
        self.check()

    @rule(drive=linear)
    @when(lambda self: self.connected)
    @recorded
    def moves_through_power_cut(self, drive):
        """Absolute moves one after the other while the board's power goes
        and the line comes back: none may succeed once the power went (the
        counts restarted where the axes stood)."""
        self.begin("absolute moves through a power cut", drive=drive)
        self.cut(True)
        while self.line_may_be_away():
            value = round(time.monotonic() % 1 * 10, 2)
            args = (value, value) if drive == "xy" else (value,)
            answer = self.call(drive, "move_to", *args, bound=BOUND["move"])
            if "value" in answer:
                self.violate(f"{drive}: an absolute move succeeded after the board's power went")
            self.expected(answer, "MotionError", "ValueError")
        self.check(stopping=(0, 1, 2, 3))

def replay(steps):
    """Runs steps as a violation lists them ("move(drive='z', ...)"), one
    after the other; 0 when none broke a rule."""
    Stats.deadline = math.inf
    machine = Lifecycle()
    try:
        for step in steps:
            step = step.strip()
            # Comments, and the notes a step logs ("(stop xy first)").
            if not step or step.startswith(("#", "(")):
                continue
            name, _, arguments = step.partition("(")
            print(f"  {step}", flush=True)
            getattr(machine, name)(**eval(f"dict({arguments}"))  # noqa: S307 the test's own text
    except Violation as violation:
        print(f"violation: {violation}")
        return 1
    finally:
        machine.teardown()
    print("no violation")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sim", required=True, help="the tessaro-sim program")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--steps", type=int, default=100,
                        help="rules drawn for one example at most (those that do not apply do nothing)")
    parser.add_argument("--sim-speed", type=float, default=2.0)
    parser.add_argument("--shrink", action="store_true",
                        help="shrink a failing sequence to its shortest (slow)")
    parser.add_argument("--first", action="store_true",
                        help="stop at the first violation (to see how many steps it took)")
    parser.add_argument("--replay", metavar="FILE",
                        help="run the steps of FILE (one call a line, as a violation lists them)")
    options = parser.parse_args()
    Lifecycle.program = options.sim
    Lifecycle.speed = options.sim_speed
    if options.replay:
        return replay(Path(options.replay).read_text().splitlines())
    phases = [Phase.generate] + ([Phase.shrink] if options.shrink else [])
    start = time.monotonic()
    Stats.deadline = start + options.seconds
    number = options.seed
    while in_time() and not (options.first and Stats.violations):
        Stats.seed = number
        seed(number)(Lifecycle)
        try:
            run_state_machine_as_test(Lifecycle, settings=settings(
                max_examples=10000, stateful_step_count=options.steps, deadline=None, database=None,
                phases=phases, suppress_health_check=list(HealthCheck), print_blob=False))
        except TimeUp:
            pass
        except Exception as failure:
            if not any(v[0] == number for v in Stats.violations):
                Stats.violations.append((number, [], f"{type(failure).__name__}: {failure}"))
        number += 1
    minutes = (time.monotonic() - start) / 60
    print(f"lifecycle: {Stats.steps} steps in {Stats.examples} runs, {minutes:.1f} min, "
          f"seeds {options.seed} to {number - 1}, {len(Stats.violations)} violations")
    if Stats.first_violation_step:
        print(f"  the first violation came at step {Stats.first_violation_step}")
    for name, count in sorted(Stats.operations.items()):
        print(f"  {count:6d}  {name}")
    for number, steps, what in Stats.violations:
        print(f"\nviolation, seed {number}: {what}")
        for step in steps:
            print(f"    {step}")
    return 1 if Stats.violations else 0


if __name__ == "__main__":
    sys.exit(main())
