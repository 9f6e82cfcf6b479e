"""libtessaro loaded with ctypes: its functions with their C types.

The library is looked for beside this file (where the build and pip put it),
or at the path in the environment variable TESSARO_LIBRARY.
"""

import ctypes
import os
import sys
from pathlib import Path

OK = 0
ERROR = 1
ERROR_VALUE = 2
ERROR_LINE = 3
ERROR_MOTION = 4
ERROR_NO_DRIVE = 5
ERROR_TIMEOUT = 6
ERROR_BUSY = 7
STOPPED = 8

ALL = 0
XY = 1
Z = 2
ROTARY = 3

SPEED = 1
ACCELERATION = 2
FLIP = 3

POSITION_CALLBACK = ctypes.CFUNCTYPE(
    None, ctypes.c_void_p, ctypes.c_int, ctypes.c_double, ctypes.c_double
)
LINE_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)

_board = ctypes.c_void_p
_double_p = ctypes.POINTER(ctypes.c_double)
_size_p = ctypes.POINTER(ctypes.c_size_t)

_SIGNATURES = {
    "tessaro_last_error": (ctypes.c_char_p, []),
    "tessaro_last_diagnostic": (ctypes.c_char_p, []),
    "tessaro_version": (ctypes.c_char_p, []),
    "tessaro_ports": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t, _size_p]),
    "tessaro_connect": (
        ctypes.c_int,
        [ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
         ctypes.POINTER(_board)],
    ),
    "tessaro_disconnect": (ctypes.c_int, [_board]),
    "tessaro_disconnect_unsaved": (ctypes.c_int, [_board]),
    "tessaro_has_drive": (ctypes.c_int, [_board, ctypes.c_int]),
    "tessaro_info": (ctypes.c_int, [_board, ctypes.c_char_p, ctypes.c_size_t, _size_p]),
    "tessaro_position": (ctypes.c_int, [_board, ctypes.c_int, _double_p, _double_p]),
    "tessaro_trusted": (ctypes.c_int, [_board, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]),
    "tessaro_is_moving": (ctypes.c_int, [_board, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]),
    "tessaro_move": (
        ctypes.c_int,
        [_board, ctypes.c_int, ctypes.c_int, ctypes.c_double, ctypes.c_double, ctypes.c_int],
    ),
    "tessaro_find_limits": (ctypes.c_int, [_board, ctypes.c_int, ctypes.c_int]),
    "tessaro_wait": (ctypes.c_int, [_board, ctypes.c_int, ctypes.c_int]),
    "tessaro_jog": (ctypes.c_int, [_board, ctypes.c_int, ctypes.c_double, ctypes.c_double]),
    "tessaro_stop": (ctypes.c_int, [_board, ctypes.c_int]),
    "tessaro_limits": (
        ctypes.c_int, [_board, ctypes.c_int, _double_p, _double_p, _double_p, _double_p]
    ),
    "tessaro_set_limits": (
        ctypes.c_int,
        [_board, ctypes.c_int, ctypes.c_double, ctypes.c_double, ctypes.c_double,
         ctypes.c_double],
    ),
    "tessaro_set_origin": (ctypes.c_int, [_board, ctypes.c_int]),
    "tessaro_get": (ctypes.c_int, [_board, ctypes.c_int, ctypes.c_int, _double_p, _double_p]),
    "tessaro_set": (
        ctypes.c_int, [_board, ctypes.c_int, ctypes.c_int, ctypes.c_double, ctypes.c_double]
    ),
    "tessaro_on_position": (ctypes.c_int, [_board, POSITION_CALLBACK, ctypes.c_void_p]),
    "tessaro_on_line": (ctypes.c_int, [_board, LINE_CALLBACK, ctypes.c_void_p]),
    "tessaro_collect_begin": (ctypes.c_int, [_board]),
    "tessaro_collect_end": (ctypes.c_int, [_board, ctypes.c_int]),
    "tessaro_collect_drop": (ctypes.c_int, [_board]),
    "tessaro_save_settings": (ctypes.c_int, [_board, ctypes.c_char_p]),
    "tessaro_load_settings": (ctypes.c_int, [_board, ctypes.c_char_p]),
    "tessaro_load_usable_settings": (ctypes.c_int, [_board, ctypes.c_char_p]),
    "tessaro_check_settings": (
        ctypes.c_int,
        [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    ),
    "tessaro_settings_problems": (
        ctypes.c_int,
        [_board, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    ),
}


def _library_path() -> Path:
    given = os.environ.get("TESSARO_LIBRARY")
    if given:
        return Path(given)
    name = "tessaro.dll" if sys.platform == "win32" else "libtessaro.so"
    return Path(__file__).resolve().parent / name


def _load() -> ctypes.CDLL:
    path = _library_path()
    if sys.platform == "win32":
        # The host framework's DLL lies beside it; Python no longer looks
        # on PATH for a library's own DLLs.
        os.add_dll_directory(str(path.parent))
    # ctypes.CDLL releases the interpreter's lock for the length of each
    # call: a wait does not hold up the other threads.
    library = ctypes.CDLL(str(path))
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library


lib = _load()


def last_error() -> str:
    return (lib.tessaro_last_error() or b"").decode("utf-8", "replace")


def last_diagnostic() -> str:
    return (lib.tessaro_last_diagnostic() or b"").decode("utf-8", "replace")


def text(call, *arguments) -> "tuple[int, str]":
    """Calls a function that writes a text, with a buffer large enough."""
    needed = ctypes.c_size_t(0)
    size = 4096
    while True:
        buffer = ctypes.create_string_buffer(size)
        code = call(*arguments, buffer, size, ctypes.byref(needed))
        if code != OK or needed.value <= size:
            return code, buffer.value.decode("utf-8", "replace")
        size = needed.value


def encode(path) -> "bytes | None":
    return None if path is None else os.fsencode(path)
