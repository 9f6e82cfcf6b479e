#!/bin/sh
# demo.sh NATIVE_BUILD_DIR
# Starts the simulated motion processor (tessaro-sim) on a pseudo-terminal,
# points link-probe at it as COM5 (open, synchronise, query, exchange, reset,
# close), then shows the packets as the simulator saw them.
set -eu
build=$1
dir="$(cd "$build" && pwd)/demo"
here="$(cd "$(dirname "$0")" && pwd)"
background="$here/../tests/support/background.sh"
trap 'sh "$background" stop tessaro-sim "$dir"' EXIT INT TERM
device=$(sh "$background" start tessaro-sim "$dir" "$build/bin/tessaro-sim" --axes 4 --link "$dir/com5" --trace)
echo "== link-probe on COM5 -> $device (tessaro-sim, 4 axes)"
"$build/bin/link-probe" --port 5 --device "$dir/com5" --round-trips 100
sh "$background" stop tessaro-sim "$dir"
trap - EXIT INT TERM
echo
echo "== what the simulated processor received and answered"
tail -n +2 "$dir/tessaro-sim.log" | grep -v ' SetPosition \| GetPosition ' || true
echo "   (100 SetPosition/GetPosition round trips left out)"
