"""A lab program for the lifecycle test: it holds one board through the
tessaro package and does what it is told, one JSON request a line on stdin,
one JSON answer a line on stdout. The test kills it, interrupts it (SIGINT,
as Ctrl-C does) and starts another, as users do with their scripts.

Requests: {"do": "connect", "port": 7, "device": PATH, "settings": PATH|null},
{"do": "disconnect"}, {"do": "call", "drive": NAME|null, "name": METHOD,
"args": [...]}, {"do": "get", "drive": NAME, "name": ATTRIBUTE},
{"do": "set", "drive": NAME, "name": ATTRIBUTE, "value": VALUE}.
Answers: {"value": ...}, {"error": CLASS, "message": TEXT} or
{"interrupted": true}.
"""

import json
import sys

import tessaro

board = None


def target(drive):
    return board if drive is None else getattr(board, drive)


def carry_out(request):
    global board
    do = request["do"]
    if do == "connect":
        board = tessaro.connect(request["port"], device=request["device"],
                                settings=request["settings"])
        return None
    if do == "disconnect":
        connected, board = board, None
        connected.disconnect()
        return None
    if do == "call":
        return getattr(target(request["drive"]), request["name"])(*request["args"])
    if do == "get":
        return getattr(target(request["drive"]), request["name"])
    if do == "set":
        value = request["value"]
        setattr(target(request["drive"]), request["name"],
                tuple(value) if isinstance(value, list) else value)
        return None
    raise ValueError(f"no request {do!r}")


def serve_one():
    """One request and its answer; False at the end of the input."""
    line = sys.stdin.readline()
    if not line:
        return False
    try:
        answer = {"value": carry_out(json.loads(line))}
    except KeyboardInterrupt:
        answer = {"interrupted": True}
    except Exception as failure:  # every failure goes back to the test
        answer = {"error": type(failure).__name__, "message": str(failure)}
    sys.stdout.write(json.dumps(answer) + "\n")
    sys.stdout.flush()
    return True


def main():
    # A Ctrl-C that comes after its operation has ended (while this waits for
    # the next request, or writes an answer) is one the program ignores.
    while True:
        try:
            if not serve_one():
                return
        except KeyboardInterrupt:
            continue


if __name__ == "__main__":
    main()
