"""The Tessaro stage, focus drive and rotary drive from Python.

    import tessaro

    with tessaro.connect(7, settings="stage.txt") as board:
        board.xy.move_to(1000, -500)
        board.z.move_by(2.5)
        print(board.xy.position, board.z.position)

The package drives the plug-in module through libtessaro, exactly as
tessaro-host does: the same checks, limits, settings files and messages.
Positions are in micrometres (the rotary drive's in degrees), speeds in
revolutions per second, accelerations in revolutions per second squared.

Failures raise `Error` or one of its kinds: `LineError` for the port and the
line, `MotionError` for a move that failed or did not end at its target,
and its kind `MotionStopped` for one that a stop ended before its end.
Values that are not finite or that a drive does not take raise `ValueError`
before anything is sent. Ctrl-C during a wait stops that motion, then
propagates. Waits release the interpreter's lock, and a board may be used
from several threads.
"""

import atexit
import collections
import contextlib
import ctypes
import logging
import math
import threading
import time
from typing import Callable, Iterator, List, NamedTuple, Optional, Tuple, Union

from . import _native
from ._native import lib

__all__ = [
    "Board", "BusyError", "Error", "Limits", "LineError", "MotionError", "MotionStopped", "Port",
    "Rotary", "SettingsError", "Stage", "Focus", "connect", "ports", "__version__",
]

__version__: str = lib.tessaro_version().decode()

# The device's lines and the library's notes on the settings file: a line
# that tells of a failure, a loss, a doubt or a value not taken at WARNING,
# the others at INFO.
_log = logging.getLogger("tessaro")


def _log_line(_context, warning: int, line: bytes) -> None:
    _log.log(logging.WARNING if warning else logging.INFO, "%s",
             line.decode("utf-8", "replace"))


_LINE_CALLBACK = _native.LINE_CALLBACK(_log_line)  # one for every board, for ever

# How long one slice of a wait lasts: Ctrl-C is seen between slices.
_WAIT_SLICE_MS = 100
# How long a disconnect waits for other threads' calls to return (each is
# short: a slice of a wait at most).
_LET_OUT_SECONDS = 30.0


class Error(Exception):
    """A failure the plug-in, a file or the board reported."""


class LineError(Error):
    """The port, the line or the board: missing, lost or not answering."""


class MotionError(Error):
    """A move or search that failed, was refused or ended away from its target.

    `diagnostic` is the device's own line about it ("" when it wrote none).
    """

    def __init__(self, message: str, diagnostic: str = "") -> None:
        super().__init__(message)
        self.diagnostic = diagnostic


class MotionStopped(MotionError):
    """A move or search stopped before its end: by `stop()`, Ctrl-C or a jog
    of the drive. `position` is where the drive stopped (None when it could
    not be read)."""

    def __init__(self, message: str, diagnostic: str = "") -> None:
        super().__init__(message, diagnostic)
        self.position: Optional[Union[float, Tuple[float, float]]] = None


class SettingsError(Error):
    """A settings file with lines that cannot be used, or values a drive did
    not take (raised with `strict=True` only; otherwise they are logged as
    warnings). `problems` lists them, one text each."""

    def __init__(self, problems: List[str]) -> None:
        super().__init__("; ".join(problems))
        self.problems = problems


class BusyError(Error):
    """The drive (or the collected moves) still carries out an earlier
    operation: wait for it, or stop it, first."""


def _check(code: int, told: Optional[Tuple[str, str]] = None) -> None:
    """Raises what `code` means, with this thread's last reason and device
    line (or `told`'s, read before a later call replaced them)."""
    if code == _native.OK:
        return
    message, diagnostic = told or (_native.last_error(), _native.last_diagnostic())
    if code == _native.ERROR_VALUE:
        raise ValueError(message)
    if code == _native.ERROR_LINE:
        raise LineError(message)
    if code == _native.ERROR_MOTION:
        raise MotionError(message, diagnostic)
    if code == _native.STOPPED:
        raise MotionStopped(message, diagnostic)
    if code == _native.ERROR_BUSY:
        raise BusyError(message)
    raise Error(message)


def _finite(**named: float) -> Tuple[float, ...]:
    """The values as floats, in order; a value that is no number raises
    TypeError, one that is not finite ValueError, each naming it."""
    for name, value in named.items():
        if not isinstance(value, (int, float)) or isinstance(value, bool):
            raise TypeError(f"{name} must be a number, not {type(value).__name__} {value!r}")
        if not math.isfinite(value):
            raise ValueError(f"{name} must be a finite number, not {value!r}")
    return tuple(float(v) for v in named.values())


def _direction(name: str, value: object) -> float:
    if isinstance(value, bool) or value not in (1, -1):
        raise (ValueError if isinstance(value, (int, float)) else TypeError)(
            f"{name} must be 1 or -1, not {value!r}")
    return float(value)  # type: ignore[arg-type]


class Limits(NamedTuple):
    """Travel limits: moves beyond them are refused. Micrometres; on the
    stage each end is an (x, y) pair."""

    lower: Union[float, Tuple[float, float]]
    upper: Union[float, Tuple[float, float]]


class Port(NamedTuple):
    """A serial port; `answer` says, after a probe, what answered on it."""

    number: int  # the COM number, 0 when the port has none
    path: str
    description: str
    latency_ms: Optional[int]  # the adapter's latency timer, None when unknown
    answer: str

    @property
    def is_board(self) -> bool:
        """True when a probe found a Tessaro board on the port."""
        return self.answer.startswith("a Tessaro board")


def ports(probe: bool = False) -> List[Port]:
    """The serial ports; with `probe`, each is asked whether a board answers
    (synchronisation and GetVersion only: nothing is set up or moved)."""
    code, lines = _native.text(lib.tessaro_ports, 1 if probe else 0)
    _check(code)
    found = []
    for line in lines.splitlines():
        number, path, description, latency, answer = line.split("\t", 4)
        found.append(Port(int(number), path, description,
                          None if int(latency) < 0 else int(latency), answer))
    return found


class _Drive:
    """What the three drives share."""

    name: str = ""
    _id: int = 0

    def __init__(self, board: "Board") -> None:
        self._board = board

    def __repr__(self) -> str:
        return f"<tessaro {type(self).__name__} {self.name}>"

    def _call(self, function, *arguments) -> int:
        return self._board._call(function, self._id, *arguments)

    def _read(self, parameter: int) -> Tuple[float, float]:
        a, b = ctypes.c_double(), ctypes.c_double()
        _check(self._call(lib.tessaro_get, parameter, ctypes.byref(a), ctypes.byref(b)))
        return a.value, b.value

    def _write(self, parameter: int, a: float, b: float = 0.0) -> None:
        _check(self._call(lib.tessaro_set, parameter, a, b))

    def _position(self) -> Tuple[float, float]:
        a, b = ctypes.c_double(), ctypes.c_double()
        _check(self._call(lib.tessaro_position, ctypes.byref(a), ctypes.byref(b)))
        return a.value, b.value

    @contextlib.contextmanager
    def _stop_position(self) -> Iterator[None]:
        """A stop raised inside says where the drive stopped."""
        try:
            yield
        except MotionStopped as stopped:
            with contextlib.suppress(Error):
                stopped.position = self.position  # type: ignore[attr-defined]
            raise

    def _move(self, relative: bool, a: float, b: float, wait: bool) -> None:
        # Ctrl-C that lands between the start and the wait stops it too.
        with self._stop_position(), self._board._stopped_by_interrupt(self._id):
            _check(self._call(lib.tessaro_move, 1 if relative else 0, a, b, 0))
            if wait and self._board._collector != threading.get_ident():
                self._board._wait(self._id, None)

    def wait(self, timeout: Optional[float] = None) -> bool:
        """Waits for the drive's move or search to end (at most `timeout`
        seconds) and raises its failure (`MotionStopped` when it was
        stopped). True when it ended (or none ran), False when it still
        runs. Ctrl-C stops it, then propagates."""
        with self._stop_position(), self._board._stopped_by_interrupt(self._id):
            return self._board._wait(self._id, timeout)

    def stop(self) -> None:
        """Stops the drive, also a move another thread waits for."""
        _check(self._call(lib.tessaro_stop))

    @property
    def trusted(self) -> bool:
        """False when the position cannot be trusted (the board kept counts
        of another session, or came back reset): set the origin or search the
        limits. Absolute moves are refused until then. The rotary drive takes
        the board's count as its angle: always True."""
        value = ctypes.c_int(1)
        _check(self._call(lib.tessaro_trusted, ctypes.byref(value)))
        return bool(value.value)

    @property
    def is_moving(self) -> bool:
        """True while the drive moves: a move or limit search of it (or of
        collected moves, which count for every drive) has not ended, or a jog
        of it runs and its position changed within the last 250 ms (a jog so
        slow that it does not reads as resting)."""
        value = ctypes.c_int(0)
        _check(self._call(lib.tessaro_is_moving, ctypes.byref(value)))
        return bool(value.value)

    @property
    def speed(self) -> float:
        """Positioning speed, rev/s (above 0)."""
        return self._read(_native.SPEED)[0]

    @speed.setter
    def speed(self, value: float) -> None:
        """Sets it: above 0 up to 100 rev/s (ValueError otherwise)."""
        (value,) = _finite(speed=value)
        self._write(_native.SPEED, value)

    @property
    def acceleration(self) -> int:
        """Acceleration, a whole number of rev/s^2 (1 or more)."""
        return int(self._read(_native.ACCELERATION)[0])

    @acceleration.setter
    def acceleration(self, value: int) -> None:
        """Sets it (ValueError for one the processor cannot take)."""
        (value,) = _finite(acceleration=value)
        self._write(_native.ACCELERATION, value)


class _LinearDrive(_Drive):
    """The stage and the focus drive: limits, origin, trust."""

    def find_limits(self, wait: bool = True) -> None:
        """Searches both limit switches and stores them as the limits."""
        with self._stop_position(), self._board._stopped_by_interrupt(self._id):
            _check(self._call(lib.tessaro_find_limits, 0))
            if wait:
                self._board._wait(self._id, None)

    def set_origin(self) -> None:
        """The present position becomes the origin (0)."""
        _check(self._call(lib.tessaro_set_origin))

    def _limits(self) -> Tuple[float, float, float, float]:
        v = [ctypes.c_double() for _ in range(4)]
        _check(self._call(lib.tessaro_limits, *(ctypes.byref(x) for x in v)))
        return tuple(x.value for x in v)  # type: ignore[return-value]


class Stage(_LinearDrive):
    """The XY stage: positions are (x, y) in micrometres."""

    name = "xy"
    _id = _native.XY

    @property
    def position(self) -> Tuple[float, float]:
        """Where the stage stands, (x, y) in micrometres. LineError while
        the line to the board is lost (no position is known then)."""
        return self._position()

    def move_to(self, x: float, y: float, *, wait: bool = True) -> None:
        """Moves to (x, y) micrometres; both axes arrive together. With
        `wait` False it returns once started (`wait()` gives its end).
        Raises ValueError for a target beyond the limits or the step count
        (nothing moves), MotionError when the move fails or ends away from
        its target, MotionStopped when it is stopped; refused while the
        position cannot be trusted (see `trusted`)."""
        self._move(False, *_finite(x=x, y=y), wait)

    def move_by(self, dx: float, dy: float, *, wait: bool = True) -> None:
        """Moves by (dx, dy) micrometres, as `move_to`. A series of such
        moves ends within a step of the sum asked: the fraction of a step
        each leaves is carried to the next. Allowed while not trusted."""
        self._move(True, *_finite(dx=dx, dy=dy), wait)

    def jog(self, vx: float, vy: float) -> None:
        """A velocity move, rev/s per axis (0 stops that axis); it runs until
        stopped or a limit."""
        _check(self._call(lib.tessaro_jog, *_finite(vx=vx, vy=vy)))

    @property
    def limits(self) -> Limits:
        """`Limits(lower=(x, y), upper=(x, y))`, micrometres."""
        xl, xu, yl, yu = self._limits()
        return Limits((xl, yl), (xu, yu))

    def set_limits(self, lower: Tuple[float, float], upper: Tuple[float, float]) -> None:
        """Lower (x, y) and upper (x, y) limits; moves beyond are refused."""
        for name, pair in (("lower", lower), ("upper", upper)):
            if not isinstance(pair, (tuple, list)) or len(pair) != 2:
                raise TypeError(f"{name} must be a pair (x, y), not {pair!r}")
        (xl, yl), (xu, yu) = lower, upper
        xl, xu, yl, yu = _finite(lower_x=xl, upper_x=xu, lower_y=yl, upper_y=yu)
        _check(self._call(lib.tessaro_set_limits, xl, xu, yl, yu))

    @property
    def flip(self) -> Tuple[int, int]:
        """Direction of x and y, each 1 or -1."""
        a, b = self._read(_native.FLIP)
        return int(a), int(b)

    @flip.setter
    def flip(self, value: Tuple[int, int]) -> None:
        """Sets the direction of x and y, each 1 or -1."""
        if not isinstance(value, (tuple, list)) or len(value) != 2:
            raise TypeError(f"flip must be a pair (x, y) of 1 or -1, not {value!r}")
        self._write(_native.FLIP, _direction("flip x", value[0]), _direction("flip y", value[1]))


class _OneAxis(_Drive):
    """The focus and rotary drives: one coordinate (micrometres or degrees)."""

    @property
    def position(self) -> float:
        """Where the drive stands: micrometres (focus), degrees in [0, 360)
        (rotary). LineError while the line to the board is lost."""
        return self._position()[0]

    def move_to(self, target: float, *, wait: bool = True) -> None:
        """Moves to `target`: micrometres (focus) or an angle (rotary; taken
        modulo 360, turning by less than a turn, so that the angle shown
        asked for again moves nothing). With `wait` False it returns once
        started. Raises ValueError for a target out of reach (nothing
        moves), MotionError when the move fails or ends away from its
        target, MotionStopped when it is stopped."""
        self._move(False, *_finite(target=target), 0.0, wait)

    def move_by(self, distance: float, *, wait: bool = True) -> None:
        """Moves by `distance` (micrometres or degrees, at most 100 turns),
        as `move_to`. A series of such moves ends within a step of the sum
        asked: the fraction of a step each leaves is carried to the next."""
        self._move(True, *_finite(distance=distance), 0.0, wait)

    def jog(self, speed: float) -> None:
        """A velocity move, rev/s (0 stops); it runs until stopped (or, on
        the focus drive, a limit)."""
        _check(self._call(lib.tessaro_jog, *_finite(speed=speed), 0.0))


class Focus(_OneAxis, _LinearDrive):
    """The Z focus drive, micrometres."""

    name = "z"
    _id = _native.Z

    @property
    def limits(self) -> Limits:
        """`Limits(lower, upper)`, micrometres."""
        return Limits(*self._limits()[:2])

    def set_limits(self, lower: float, upper: float) -> None:
        """Lower and upper limits, micrometres; moves beyond are refused."""
        lower, upper = _finite(lower=lower, upper=upper)
        _check(self._call(lib.tessaro_set_limits, lower, upper, 0.0, 0.0))

    @property
    def flip(self) -> int:
        """Direction, 1 or -1."""
        return int(self._read(_native.FLIP)[0])

    @flip.setter
    def flip(self, value: int) -> None:
        """Sets the direction, 1 or -1."""
        self._write(_native.FLIP, _direction("flip", value))


class Rotary(_OneAxis):
    """The rotary drive, degrees."""

    name = "rotary"
    _id = _native.ROTARY


_NAMES = {_native.XY: "xy", _native.Z: "z", _native.ROTARY: "rotary"}


class Board:
    """A connected board: its drives (None where it lacks one), its
    information, position events, collected moves and settings. Use it as a
    context manager, or call `disconnect()`."""

    def __init__(self, handle: ctypes.c_void_p) -> None:
        self._handle: Optional[ctypes.c_void_p] = handle
        self._callback_lock = threading.Lock()
        # Every C callback object installed: the library may call one as long
        # as the board is connected. Under _callback_lock.
        self._kept: List[object] = []
        self._collector: Optional[int] = None  # the thread inside collect()
        self._closing = False  # a disconnect lets the last calls out, under _guard
        self._guard = threading.Condition()
        # Calls inside the library, by thread, under _guard.
        self._users: collections.Counter = collections.Counter()
        self.xy: Optional[Stage] = Stage(self) if lib.tessaro_has_drive(handle, _native.XY) else None
        self.z: Optional[Focus] = Focus(self) if lib.tessaro_has_drive(handle, _native.Z) else None
        self.rotary: Optional[Rotary] = (
            Rotary(self) if lib.tessaro_has_drive(handle, _native.ROTARY) else None
        )

    def __enter__(self) -> "Board":
        return self

    def __exit__(self, *exc) -> None:
        self.disconnect()

    def _call(self, function, *arguments):
        """Calls `function(handle, *arguments)`; a disconnect waits until no
        call of another thread is inside the library."""
        me = threading.get_ident()
        with self._guard:
            if self._handle is None or self._closing:
                raise LineError("the board is disconnected")
            handle = self._handle
            self._users[me] += 1
        try:
            return function(handle, *arguments)
        finally:
            with self._guard:
                self._users[me] -= 1
                self._guard.notify_all()

    def disconnect(self, *, save: bool = True) -> None:
        """Stops what still runs, writes the settings file (with `save`) and
        disconnects. A disconnect of another thread running already: waits
        for it."""
        me = threading.get_ident()
        with self._guard:
            if self._handle is None:
                return
            if self._closing:
                self._guard.wait_for(lambda: not self._closing, timeout=2 * _LET_OUT_SECONDS)
                return
            handle = self._handle
            try:
                # Other threads' calls are short (a wait returns every
                # slice): they are let out before the board goes, and no new
                # one starts. The calling thread's own count is not waited
                # for: it is inside no call, and Ctrl-C (raised in the main
                # thread only) can land in the bookkeeping and leave a count
                # behind. The handle stays until the library has let go of
                # the board: after a time-out or a Ctrl-C here it can still
                # be disconnected.
                self._closing = True
                others = lambda: not any(  # noqa: E731
                    n for t, n in self._users.items() if t != me)
                if not self._guard.wait_for(others, timeout=_LET_OUT_SECONDS):
                    raise Error("calls of other threads did not return; the board stays connected")
            except BaseException:
                self._closing = False
                self._guard.notify_all()
                raise
        code = _native.OK
        try:
            code = (lib.tessaro_disconnect if save else lib.tessaro_disconnect_unsaved)(handle)
        finally:
            # Whatever came (a Ctrl-C after the call), the library has let
            # go of the board.
            with self._guard:
                self._handle = None
                self._closing = False
                self._guard.notify_all()
            _open_boards.discard(self)
        _check(code)

    @property
    def info(self) -> str:
        """The controller information text."""
        code, text = self._call(lambda handle: _native.text(lib.tessaro_info, handle))
        _check(code)
        return text

    def on_position(self, callback: Optional[Callable[[str, Union[float, Tuple[float, float]]],
                                                      None]]) -> None:
        """`callback(drive_name, position)` with each position the board
        reports ("xy" with (x, y), "z", "rotary"), in order from a thread of
        the board's own, one call at a time; it may call anything of the
        board, `disconnect()` included. A drive's position not delivered yet
        is replaced by its newer one. None stops the calls: once this
        returns, the callback before is not running (unless it is the
        caller) and is not called again."""
        if callback is not None and not callable(callback):
            raise TypeError(f"on_position: callback must be callable or None, not "
                            f"{type(callback).__name__}")
        if callback is None:
            c_callback = ctypes.cast(None, _native.POSITION_CALLBACK)
        else:
            def relay(_context, drive, a, b):
                callback(_NAMES.get(drive, "?"), (a, b) if drive == _native.XY else a)

            c_callback = _native.POSITION_CALLBACK(relay)
        # Every object installed stays until the board is disconnected: kept
        # before the library gets it (a Ctrl-C during the call must not
        # free what the library calls), and after it is replaced (it may be
        # the caller, returning through itself).
        with self._callback_lock:
            self._kept.append(c_callback)
            _check(self._call(lib.tessaro_on_position, c_callback, None))

    @contextlib.contextmanager
    def collect(self) -> Iterator["Board"]:
        """The moves asked inside start together when it ends, and are
        waited for. An exception inside drops them. The collection belongs
        to the thread that opened it: other threads' moves run as usual."""
        _check(self._call(lib.tessaro_collect_begin))
        self._collector = threading.get_ident()
        try:
            yield self
        except BaseException:
            self._collector = None
            with contextlib.suppress(Error):
                self._call(lib.tessaro_collect_drop)
            raise
        self._collector = None
        with self._stopped_by_interrupt(_native.ALL):
            code = self._call(lib.tessaro_collect_end, 0)
            if code != _native.OK:
                # Not started (a drive was busy): not left open either.
                told = (_native.last_error(), _native.last_diagnostic())
                with contextlib.suppress(Error):
                    self._call(lib.tessaro_collect_drop)
                _check(code, told)
            self._wait(_native.ALL, None)

    def _wait(self, drive: int, timeout: Optional[float]) -> bool:
        if timeout is not None:
            (timeout,) = _finite(timeout=timeout)
        # Slices end at a deadline, not at a sum of slices: a remainder under
        # a millisecond still waits that long, and the last slice ends the
        # wait within a few milliseconds of its time-out.
        deadline = None if timeout is None else time.monotonic() + max(0.0, timeout)
        while True:
            if deadline is None:
                slice_ms = _WAIT_SLICE_MS
            else:
                left = deadline - time.monotonic()
                slice_ms = max(0, min(_WAIT_SLICE_MS, math.ceil(left * 1000)))
            code = self._call(lib.tessaro_wait, drive, slice_ms)
            if code != _native.ERROR_TIMEOUT:
                _check(code)
                return True
            if deadline is not None and time.monotonic() >= deadline:
                return False

    @contextlib.contextmanager
    def _stopped_by_interrupt(self, drive: int) -> Iterator[None]:
        """Ctrl-C inside stops the drive's operation (every drive's for
        ALL) and waits for its end before it goes on up: the motion has
        ended, and what it left is read, when the program sees it."""
        try:
            yield
        except KeyboardInterrupt:
            with contextlib.suppress(Error):
                self._call(lib.tessaro_stop, drive)
                self._call(lib.tessaro_wait, drive, -1)
            raise

    def save_settings(self, path: Optional[str] = None) -> None:
        """Writes the drives' settings, as tessaro-host writes them, to `path`
        (None: the settings file given at connect)."""
        _check(self._call(lib.tessaro_save_settings, _native.encode(path)))

    def load_settings(self, path: str, *, strict: bool = False) -> None:
        """Reads the drives' settings from `path` and sends them to the
        drives. Lines that cannot be used, and values a drive does not take,
        are logged as warnings; with `strict` they raise `SettingsError`
        instead (a line that cannot be used: before anything is sent)."""
        load = lib.tessaro_load_settings if strict else lib.tessaro_load_usable_settings
        code = self._call(load, _native.encode(path))
        problems = self._settings_problems() if strict else []
        if problems:
            raise SettingsError(problems)
        _check(code)

    def _settings_problems(self) -> List[str]:
        code, text = self._call(lambda handle: _native.text(lib.tessaro_settings_problems, handle))
        _check(code)
        return text.splitlines()


def connect(port: Union[int, str], *, device: Optional[str] = None,
            settings: Optional[str] = None, module: Optional[str] = None,
            strict: bool = False) -> Board:
    """Connects to the board on COM `port` (7 or "COM7").

    `device`: on systems without COM names, the device behind the port
    (/dev/ttyUSB0), for this connection only. `settings`: the drives'
    settings file, read now and written at disconnect; None for none.
    `module`: the plug-in module (None: the one beside the library). The
    device's lines and notes on the settings file go to the logger
    "tessaro" (problems at WARNING). With `strict`, a settings file with a
    line that cannot be used raises `SettingsError` before anything is
    connected; one with a value a drive does not take raises it after the
    connect, which is undone without writing the file (a file not there yet
    is the first run's, as without `strict`)."""
    if isinstance(port, str):
        digits = port[3:] if port.upper().startswith("COM") else port
        if not digits.isdigit():
            raise ValueError(f"a port is a COM number or 'COMn', not {port!r}")
        port = int(digits)
    if isinstance(port, bool) or not isinstance(port, int):
        raise TypeError(f"a port is a COM number or 'COMn', not {port!r}")
    if strict and settings is not None:
        code, text = _native.text(lib.tessaro_check_settings, _native.encode(settings))
        _check(code)
        if text:
            raise SettingsError(text.splitlines())
    handle = ctypes.c_void_p()
    _check(lib.tessaro_connect(port, _native.encode(device), _native.encode(settings),
                               _native.encode(module), ctypes.byref(handle)))
    board = Board(handle)
    _open_boards.add(board)
    _check(lib.tessaro_on_line(handle, _LINE_CALLBACK, None))
    try:
        problems = board._settings_problems() if strict else []
    except BaseException:
        board.disconnect(save=False)
        raise
    if problems:
        board.disconnect(save=False)
        raise SettingsError(problems)
    return board


# Boards still connected when the interpreter ends are disconnected first:
# nothing keeps moving, the settings file is written, the port is let go. The
# set holds them: a board the program dropped without a disconnect stays
# connected (its callback object with it) until then, never collected while
# the board still reports positions.
_open_boards: "set[Board]" = set()


@atexit.register
def _disconnect_all() -> None:
    for board in list(_open_boards):
        with contextlib.suppress(Error):
            board.disconnect()
