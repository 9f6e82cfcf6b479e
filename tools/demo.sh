#!/bin/sh
# demo.sh NATIVE_BUILD_DIR
# A tour of the plug-in: the simulated motion processor (tessaro-sim) on a
# pseudo-terminal as COM5, and tessaro-host loading the module as the host
# application does: its metadata, the connection and the controller's
# information, the drives, moves on each of them, a collected move, a limit
# search on Z, settings saved and read back at the next connection, and a
# clean disconnect each time.
set -eu
build=$1
dir="$(cd "$build" && pwd)/demo"
here="$(cd "$(dirname "$0")" && pwd)"
background="$here/background.sh"
mkdir -p "$dir"
settings="$dir/demo-settings.txt"
rm -f "$settings"
trap 'sh "$background" stop tessaro-sim "$dir"' EXIT INT TERM
# The focus drive has its limit switches at -100000 and +150000 steps.
device=$(sh "$background" start tessaro-sim "$dir" "$build/bin/tessaro-sim" --axes 4 \
  --link "$dir/com5" --limit 2:-100000:150000)
host() {
  "$build/bin/tessaro-host" --port 5 --device "$dir/com5" --settings "$settings" "$@"
}

echo "== tessaro-sim serves COM5 on $device"
echo
echo "== first connection: the module, the controller, moves on every drive"
host run "info; pos; xy move-abs 2000 1000; z move-rel 500; r move-abs 90; pos;
  collect \"xy move-rel -500 -500; z move-rel -250; r move-rel 45\"; pos;
  z find-limits; pos; set z speed 5; set xy acceleration 6; save"
echo
echo "== the settings file: one line per drive (shortened here)"
cut -c1-96 "$settings" | sed 's/$/.../'
echo
echo "== second connection: the settings read back, the stage where it stood"
host --no-metadata run "pos"
sh "$background" stop tessaro-sim "$dir"
trap - EXIT INT TERM
echo
tail -n 1 "$dir/tessaro-sim.log"
