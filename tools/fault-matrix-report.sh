#!/bin/sh
# fault-matrix-report.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR OUTPUT.md
# (`make fault-matrix`; the test suite runs the matrix itself, not this.)
# Runs the fault matrix with the simulator in process and on a
# pseudo-terminal, then tessaro-host's operations against a faulty
# tessaro-sim under Wine, and writes the three tables with their legend.
# Exit code 1 when a cell broke a rule (the report is written all the same).
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
out="$3"
bin="$native/bin/fault-matrix"
here="$(cd "$(dirname "$0")" && pwd)"
prefix="$windows/wineprefix"
rc=0
{
  cat <<'TEXT'
# Fault matrix

Every host-visible operation of the plug-in, through the host's interfaces,
under every fault the simulator injects; one fresh simulated board per cell.
Written by `make fault-matrix` (the in-process table also runs as the test
`fault_matrix`, the Wine table as `win.host_fault_run`).

How a cell runs: connect (except in the connect rows), arm the fault on the
first packet of the operation's own command (named below; so that the
polling thread cannot take it instead), run the operation, then disconnect
and, unless the processor went silent or the line hung up, connect again
on the healed line and move Z. A cell shows the operation's answer and how
long it took on the host's clock. Every cell is checked for:

- an end within its bound (5 s, 61 s for a move, 10 and 20 min for the Z
  and XY limit searches, whose waits are chained); a watchdog ends the run
  when a cell hangs;
- one bad packet costing nothing: a fault that hits one packet and then
  leaves the line healthy ("once" columns) gives the fault-free answer,
  because the plug-in sends a command once more when its reply was lost or
  spoiled on the line;
- a fault that persists ("always" columns: every packet of the command;
  a processor reset, silence, a hang-up) showing in the answer or in the
  connection (state 2 = connected, 3 = not; the number of drives the host
  gets), except where the answer is fixed whatever the line does (loading
  settings, disconnecting, the polling thread, synchronising);
- the drives' settings texts unchanged apart from the position (a load
  changes them the same way with or without a fault; a limit search stores
  its limits only when it succeeds);
- `DisconnectDevice` answering 0, the port closed and the polling thread
  ended (the process's open files and threads back to what they were);
- a reconnect and a move working again once the fault is gone.

A cell that breaks a rule is marked **BROKEN** and listed under its table.

Fault on: connect rows as named (synchronisation = the first packet after
the port opens), moves, jogs and limit searches `SetVelocity` (their first
command that always goes out), "fault while waiting" `GetEventStatus`,
settings apply `SetMotorCommand`, polling `GetCommandedPosition` (with a
hand-made position change to report), disconnect `Reset`. Jogs show start/stop.

What the rows show beyond the rules:
- No longer failing: a single lost, short, late, mangled or garbled reply
  anywhere (synchronisation, `GetVersion`, an axis's set-up, a move, a
  wait, a jog, a search) is absorbed by one repeat, and a synchronisation
  answer that came late is followed by one more synchronisation when
  `GetVersion` then fails, so the connection comes up with all drives.
- Still failing, as they must: a command whose every reply is lost or
  spoiled, a processor reset, silence and a hang-up. A failed axis set-up
  still leaves that axis out, and the connection now writes a diagnostic
  line naming the axis, the command and the error (with XY needing two
  axes, one lost stage axis costs more than one drive). A processor that
  falls silent during the set-up leaves a connection with no drives.
- A limit search stopped by the host (a velocity move of 0 from another
  thread, 300 ms after it began) ends at once with 1 and stores nothing
  for the side it was measuring (a lower limit found before stays),
  under every fault as well.
- After a processor reset the polling thread reads the position the reset
  left (0), which is where the host already believed the axis stood: no
  callback, as on the real board. Only a move or a reconnect sets the
  processor up again.
- On the pseudo-terminal a lost reply costs the read time-out plus the
  quiet time before the repeat.

## Simulator in process (clocks sped up 20 times)

TEXT
  "$bin" --line inprocess --speed 20 || rc=1
  cat <<'TEXT'

## Simulator on a pseudo-terminal, real serial back-end (real time)

TEXT
  "$bin" --line pty --speed 1 || rc=1
  cat <<'TEXT'

## The Windows module under Wine, through tessaro-host

tessaro-host.exe loads the module and runs one command per cell against a
fresh tessaro-sim on Wine's COM9 that injects the fault on the command's
`SetVelocity` (connect: `GetVersion`); Wine's serial ports and the Win32
back-end carry every byte. Rule: exit 0 without a fault, otherwise 1 (the
plug-in reported a failure) or 3 (no controller), within the time limit.
Times are wall-clock and include Wine starting the program.

TEXT
  sh "$here/../cmake/wine-prepare.sh" start "$prefix" >/dev/null
  sh "$here/../tests/faults/host-fault-run.sh" "$native/bin" "$prefix/dosdevices" "$windows/wine-run.sh" \
    "$windows/bin/tessaro-host.exe" --no-metadata --port 9 --settings none || rc=1
  sh "$here/../cmake/wine-prepare.sh" stop "$prefix" >/dev/null 2>&1
} >"$out"
echo "fault matrix written to $out"
grep -E '^[0-9]+ cells|^every cell' "$out"
exit $rc
