#!/bin/sh
# demo.sh NATIVE_BUILD_DIR
# Serves a scripted motion-processor peer on a pseudo-terminal and points
# link-probe at it as COM5: open, synchronise, query, exchange, reset, close.
set -eu
build=$1
dir="$(cd "$build" && pwd)/demo"
here="$(cd "$(dirname "$0")" && pwd)"
background="$here/../tests/support/background.sh"
trap 'sh "$background" stop link-peer "$dir"' EXIT INT TERM
sh "$background" start link-peer "$dir" "$build/bin/link-peer" --link "$dir/com5" --control-link "$dir/com12" >/dev/null
echo "== link-probe on COM5 -> $(readlink "$dir/com5") (scripted peer)"
"$build/bin/link-probe" --port 5 --device "$dir/com5" --trace
