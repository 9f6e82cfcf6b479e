#!/bin/bash
# check-dist.sh DIST NATIVE WORK (make dist-check): each package installed as a
# lab installs it, in a scratch place, and used there; one version throughout.
set -euo pipefail
dist=$(cd "$1" && pwd) sim="$(cd "$2" && pwd)/bin/tessaro-sim" work=$3
root=$(cd "$(dirname "$0")/.." && pwd) v=$(sh "$(dirname "$0")/version.sh")
rm -rf "$work" && mkdir -p "$work" && work=$(cd "$work" && pwd)
scratch=$(mktemp -d /tmp/tessaro-dist-check.XXXXXX) prefix="$work/wineprefix" msi="$dist/tessaro-$v-win64.msi"
trap 'sh "$root/tools/background.sh" stop sim "$scratch"; sh "$root/cmake/wine-prepare.sh" stop "$prefix"; rm -rf "$scratch"' EXIT
fail() { echo "dist-check: $*" >&2; exit 1; }
expect() { [ "$2" = "$3" ] && echo "ok   $1: $3" || fail "$1: expected '$2', got '$3'"; }  # WHAT WANTED GOT
sim_on() { sh "$root/tools/background.sh" start sim "$scratch" "$sim" --axes 4 --speed 10 --link "$1" >/dev/null; }
property() { msiinfo export "$1" Property | sed -n "s/^$2\t//p" | tr -d '\r'; }
w() { timeout 300 wine "$@"; }  # each Windows program bounded
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEPATH='C:\Program Files\Tessaro' XDG_CONFIG_HOME="$scratch/config"

expect "TessaroDevice.dll's version resource" "$v" "$(unzip -p "$dist/tessaro-$v-win64.zip" Tessaro/TessaroDevice.dll |
  /usr/bin/python3 -c 'import struct,sys; d=sys.stdin.buffer.read(); i=d.index(b"\xbd\x04\xef\xfe")
ms,ls=struct.unpack_from("<II",d,i+8); print(f"{ms>>16}.{ms&65535}.{ls>>16}.{ls&65535}")')"
expect "MSI version, per machine" "$v 1" "$(property "$msi" ProductVersion) $(property "$msi" ALLUSERS)"
expect "deb version" "$v" "$(dpkg-deb -f "$dist/tessaro_${v}_amd64.deb" Version)"

# Windows: a silent install, used; a newer build over it; the uninstall.
sh "$root/cmake/wine-prepare.sh" start "$prefix"
msiexec() { w msiexec "$1" "$(winepath -w "$2")" /qn || fail "msiexec $1 $2: $?"; }
entries() {  # the versions of our entries in the installed programs
  w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v RS= '/Orva-Tessaro Motor Controller/ && match($0, /DisplayVersion[ \t]+REG_SZ[ \t]+[0-9.]+/) {
      n = split(substr($0, RSTART, RLENGTH), f, /[ \t]+/); print f[n] }' | xargs; }
msiexec /i "$msi"
host='C:\Program Files\Tessaro\tessaro-host.exe'
expect "installed tessaro-host.exe --version" "tessaro-host $v" "$(w "$host" --version | tr -d '\r')"
sim_on "$prefix/dosdevices/com5"
w "$host" --port 5 --settings none run "z move-rel 100; pos" >"$work/host.txt" || fail "tessaro-host: $(cat "$work/host.txt")"
expect "installed tessaro-host.exe's move on COM5" "z 100.000 um" "$(grep '^z ' "$work/host.txt" | tr -d '\r')"
printf '#include <stdio.h>\n#include "tessaro.h"\nint main(void) { puts(tessaro_version()); return 0; }\n' >"$work/version.c"
(cd "$prefix/drive_c/Program Files/Tessaro" && x86_64-w64-mingw32-gcc -Iinclude -o "$work/version.exe" "$work/version.c" lib/tessaro.lib)
expect "a C program through tessaro.h and tessaro.lib" "$v" "$(w "$work/version.exe" | tr -d '\r')"
expect "installed programs' entries" "$v" "$(entries)"
# The newer build: the zip's files (so the zip holds what the MSI does) with
# the third number raised; Windows Installer does not compare the fourth.
newer=$(echo "$v" | awk -F. '{ print $1 "." $2 "." $3 + 1 "." $4 }')
unzip -q "$dist/tessaro-$v-win64.zip" -d "$work/newer"
(cd "$work/newer/Tessaro" && wixl -a x64 -D Version="$newer" -D Stage=. -o "$work/newer.msi" "$root/packaging/tessaro.wxs")
msiexec /i "$work/newer.msi"
expect "installed programs' entries after $newer over $v" "$newer" "$(entries)"
msiexec /x "$work/newer.msi"
expect "installed programs' entries after the uninstall" "" "$(entries)"
# The user's own folder keeps what tessaro-host wrote there (its board journal).
expect "files of ours after the uninstall" "" "$(cd "$prefix/drive_c" && find . -path ./users -prune -o \
  \( -iname '*tessaro*' -o -iname '*.msi' \) -print)"

# The Linux wheel: a fresh venv, no network, the README's scan in a scratch folder.
/usr/bin/python3 -m venv "$scratch/venv"
"$scratch/venv/bin/pip" install -q --no-index --no-deps "$dist/tessaro-$v-py3-none-linux_x86_64.whl"
sim_on "$scratch/com5"
sed -n '/^# tile_scan.py/,/^```$/p' "$root/README.md" | sed '$d' >"$scratch/tile_scan.py"
(cd "$scratch" && env -u PYTHONPATH TESSARO_DEVICE="$scratch/com5" timeout 300 venv/bin/python tile_scan.py)
expect "the scan's rows in positions.csv" 76 "$(wc -l <"$scratch/positions.csv")"
expect "tessaro's version and place" "$v $scratch/venv" "$(cd "$scratch" && venv/bin/python -c \
  'import tessaro; print(tessaro.__version__, tessaro.__file__.split("/lib/")[0])')"

# The Windows wheel: its libraries beside the package, where _native.py looks.
expect "the Windows wheel's libraries" "tessaro/TessaroDevice.dll tessaro/tessaro.dll tessaro/tessaro_host.dll" \
  "$(unzip -Z1 "$dist/tessaro-$v-py3-none-win_amd64.whl" | grep '\.dll$' | sort | xargs)"
unzip -p "$dist/tessaro-$v-py3-none-win_amd64.whl" tessaro/_native.py | grep -q 'Path(__file__).resolve().parent' ||
  fail "the wheel's _native.py no longer looks for its library beside itself"

# The .deb, installed by dpkg into a scratch root (the system's libraries serve).
mkdir -p "$scratch/root/var/lib/dpkg/info" "$scratch/root/var/lib/dpkg/updates" && : >"$scratch/root/var/lib/dpkg/status"
dpkg --root="$scratch/root" --force-script-chrootless --force-depends --log=/dev/null \
  -i "$dist/tessaro_${v}_amd64.deb" >"$work/dpkg.txt" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.txt")"
expect "the deb's --version" "tessaro-host $v tessaro-sim $v link-probe $v" \
  "$("$scratch/root/usr/bin/tessaro-host" --version) $("$scratch/root/usr/bin/tessaro-sim" --version) $("$scratch/root/usr/bin/link-probe" --version)"
expect "the deb's udev rule" "$scratch/root/lib/udev/rules.d/60-tessaro-latency.rules" "$(ls "$scratch"/root/lib/udev/rules.d/*)"
expect "run paths into the build tree" "" "$(for f in "$scratch"/venv/lib/python3*/site-packages/tessaro/*.so \
  "$scratch"/root/usr/lib/tessaro/*; do readelf -d "$f" | grep PATH | grep -v '\[\$ORIGIN\]$' || true; done)"
echo "dist-check: every package checks out ($v)"
