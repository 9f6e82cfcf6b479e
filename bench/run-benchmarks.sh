#!/bin/sh
# run-benchmarks.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR
# Runs the exchange benchmark against link-peer natively and under Wine and
# prints one markdown table, then where a native paced exchange's time goes.
set -eu
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
here="$(cd "$(dirname "$0")" && pwd)"
background="$here/../tests/support/background.sh"
peer() {  # peer start|stop DIR
  if [ "$1" = start ]; then
    sh "$background" start link-peer "$2" "$native/bin/link-peer" --link "$2/com5" --control-link "$2/com12" >/dev/null
  else
    sh "$background" stop link-peer "$2"
  fi
}
prefix="$windows/wineprefix"

cleanup() {
  peer stop "$native/peer" || true
  peer stop "$prefix/dosdevices" || true
  sh "$here/../cmake/wine-prepare.sh" stop "$prefix" || true
}
trap cleanup EXIT INT TERM

echo "Exchange of a 4-byte command and a 6-byte reply (GetVersion) over a pseudo-terminal."
echo "Instant: the peer answers at once. Paced: the peer paces request and reply at 57600 baud;"
echo "wire time = 10 bytes x 10 bits / 57600; ratio = measured / wire time (goal <= 1.03 native, <= 1.15 Wine)."
echo
echo "| run | instant exchanges | exchanges/s | mean us | p99 us | paced exchanges | wire us | paced mean us | ratio mean | ratio p99 | failures |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
peer start "$native/peer"
TESSARO_PEER_DIR="$native/peer" "$native/bin/link-exchange-bench" --breakdown >"$native/bench.out"
peer stop "$native/peer"
grep '^|' "$native/bench.out"

sh "$here/../cmake/wine-prepare.sh" start "$prefix"
peer start "$prefix/dosdevices"
"$windows/wine-run.sh" "$windows/bin/link-exchange-bench.exe"
echo
grep -v '^|' "$native/bench.out"

echo
echo "Controller (native): the simulator on a pseudo-terminal, the controller on the real serial back-end."
echo
"$native/bin/controller-bench"
