#!/bin/sh
# host-fault-run.sh NATIVE_BIN SIM_DIR HOST_COMMAND...
#
# The fault matrix as a user meets it: tessaro-host (HOST_COMMAND, already
# pointed at COM9) runs one operation per cell against a fresh tessaro-sim
# (from NATIVE_BIN, its line linked as SIM_DIR/com9) that injects one fault
# on the operation's own command. In the Windows tree this runs the module
# on Wine's serial ports, which the in-process matrix never touches.
#
# Rules: without a fault, and with a fault that hits one packet and then
# leaves the line healthy (the plug-in repeats that command), the operation
# succeeds (exit 0); with a fault that persists (KIND+ hits every packet of
# the command; a processor reset, silence and a hang-up are the processor's
# or the line's own) it reports the failure (exit 1, or 3 when no
# controller answers); both within the time limit. A line unplugged for two
# seconds (unplug, powercut) may end either way, within the limit. Nothing else (a crash, a
# hang) is accepted. Prints a markdown table; exit code 1 when a cell broke
# a rule.
set -u
bin=$1
dir=$2
shift 2
host="$*"  # words without spaces: build paths and options
here="$(cd "$(dirname "$0")" && pwd)"
background="$here/../../tools/background.sh"
mkdir -p "$dir"
trap 'sh "$background" stop host-fault-sim "$dir" >/dev/null 2>&1' EXIT INT TERM

faults="none noreply short:bytes=2 badsum late:ms=200 garbage:bytes=3 noreply+ badsum+ reset silence hangup unplug powercut"
# name|opcode|command|limit in seconds
operations="connect|GetVersion|info|60
XY move|SetVelocity|xy move-abs 30 -20|90
Z move|SetVelocity|z move-abs 25|90
rotary move|SetVelocity|r move-abs 30|90
Z jog (0.5 s)|SetVelocity|z jog 1 0.5|60
XY limit search|SetVelocity|xy find-limits|600
Z limit search|SetVelocity|z find-limits|600"

printf '| operation |'
for f in $faults; do printf ' %s |' "${f%%:*}"; done
printf '\n|---|'
for f in $faults; do printf -- '---|'; done
printf '\n'

rm -f "$dir/host-fault.problems"
echo "$operations" | while IFS='|' read -r name opcode command limit; do
  printf '| %s |' "$name"
  for f in $faults; do
    set -- --axes 4 --link "$dir/com9" --limit 0:-200000:5000 --limit 1:-200000:5000 \
      --limit 2:-200000:5000
    case "$f" in
      none) ;;
      *+) set -- "$@" --fault "${f%+}:op=$opcode" ;;
      *) set -- "$@" --fault "$f:op=$opcode:count=1" ;;
    esac
    sh "$background" start host-fault-sim "$dir" "$bin/tessaro-sim" "$@" >/dev/null
    start=$(date +%s%N)
    # shellcheck disable=SC2086 # the commands' words
    timeout "$limit" $host $command >"$dir/host-fault.out" 2>&1 </dev/null
    rc=$?
    seconds=$(( ($(date +%s%N) - start) / 10000000 ))
    sh "$background" stop host-fault-sim "$dir" >/dev/null 2>&1
    cell="exit $rc ($((seconds / 100)).$(printf '%02d' $((seconds % 100))) s)"
    ok=yes
    case "$f" in
      none | noreply | short* | badsum | late* | garbage*) [ $rc = 0 ] || ok=no ;;
      # The line away for 2 s under the command: it fails (or, where the
      # command's outcome does not hang on that packet, succeeds); the
      # session riding it out is the in-process matrix's and the drop test's.
      unplug | powercut) [ $rc = 0 ] || [ $rc = 1 ] || [ $rc = 3 ] || ok=no ;;
      *) [ $rc = 1 ] || [ $rc = 3 ] || ok=no ;;
    esac
    if [ $ok = no ]; then
      cell="$cell **BROKEN**"
      echo "- $name / $f: exit $rc" >>"$dir/host-fault.problems"
    fi
    printf ' %s |' "$cell"
  done
  printf '\n'
done
echo
if [ -s "$dir/host-fault.problems" ]; then
  cat "$dir/host-fault.problems"
  rm -f "$dir/host-fault.problems"
  exit 1
fi
echo "every cell kept its rule"
