"""A lab program for the lifecycle test: it holds one board through the
tessaro package and does what it is told, one JSON request a line on stdin,
one JSON answer a line on stdout (each with the request's "id"). The test
kills it, interrupts it (SIGINT, as Ctrl-C does) and starts another, as
users do with their scripts.

Requests: {"do": "connect", "port": 7, "device": PATH, "settings": PATH|null},
{"do": "disconnect"}, {"do": "call", "drive": NAME|null, "name": METHOD,
"args": [...], "kwargs": {...}}, {"do": "get", "drive": NAME, "name": ATTRIBUTE},
{"do": "set", "drive": NAME, "name": ATTRIBUTE, "value": VALUE}.
Answers: {"value": ...}, {"error": CLASS, "message": TEXT} or
{"interrupted": true}.
"""

import faulthandler
import json
import signal
import sys

import tessaro

board = None
# Ctrl-C reaches the operation under way; one that comes while the program
# waits for a request or writes an answer is ignored, as it came too late.
interruptible = False


def on_interrupt(number, frame):
    if interruptible:
        raise KeyboardInterrupt


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
        return getattr(target(request["drive"]), request["name"])(*request["args"],
                                                                   **request.get("kwargs", {}))
    if do == "get":
        return getattr(target(request["drive"]), request["name"])
    if do == "set":
        value = request["value"]
        setattr(target(request["drive"]), request["name"],
                tuple(value) if isinstance(value, list) else value)
        return None
    raise ValueError(f"no request {do!r}")


def main():
    global interruptible
    # The test asks for every thread's stack when a call does not return.
    faulthandler.register(signal.SIGUSR1, all_threads=True)
    signal.signal(signal.SIGINT, on_interrupt)
    for line in sys.stdin:
        request = json.loads(line)
        answer = {"interrupted": True}
        # The test sends one Ctrl-C at most an operation: wherever its
        # KeyboardInterrupt lands, the outer handler ends the operation with
        # the answer it had come to.
        try:
            try:
                interruptible = True
                answer = {"value": carry_out(request)}
            except KeyboardInterrupt:
                raise
            except Exception as failure:  # every failure goes back to the test
                answer = {"error": type(failure).__name__, "message": str(failure)}
            finally:
                interruptible = False
        except KeyboardInterrupt:
            interruptible = False
        answer["id"] = request["id"]
        sys.stdout.write(json.dumps(answer) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
