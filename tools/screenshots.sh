#!/bin/sh
# screenshots.sh WINDOWS_TREE OUT_DIR
#
# Pictures of the module's four dialogs as Windows shows them: the module
# test opens each dialog from TessaroDevice.dll under Wine (null graphics
# driver), filled from tessaro-sim, and saves a bitmap of it; the bitmaps
# become PNG files in OUT_DIR.
set -eu
tree=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"; sh "$tree/../../cmake/wine-prepare.sh" stop "$tree/wineprefix"' EXIT
sh "$tree/../../cmake/wine-prepare.sh" start "$tree/wineprefix"
(cd "$tree" && TESSARO_SCREENSHOT_DIR="$work" \
  ctest -R 'win.ModuleFile.DialogsOpenFromTheModule' --output-on-failure >"$work/ctest.log") || {
  cat "$work/ctest.log" >&2
  exit 1
}
for bmp in "$work"/*.bmp; do
  name=$(basename "$bmp" .bmp)
  # -strip: no dates in the files, so unchanged dialogs give unchanged files.
  convert-im6.q16 "$bmp" -strip "$out/$name.png"
  echo "$out/$name.png"
done
