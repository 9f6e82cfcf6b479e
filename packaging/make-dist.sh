#!/bin/bash
# make-dist.sh NATIVE WINDOWS WORK DIST: the packages a lab installs, made
# from the two build trees (make dist) into DIST, with WORK for the files
# each package is made of:
#   tessaro-V-win64.msi, tessaro-V-win64.zip   the Windows install folder
#   tessaro-V-py3-none-{win_amd64,linux_x86_64}.whl   Python with its libraries
#   tessaro_V_amd64.deb                         the Linux tools and libtessaro
# V is packaging/version.sh's. Binaries lose their debug information only.
set -euo pipefail
native=$1 windows=$2 work=$3 dist=$4
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sh "$root/packaging/version.sh")
rm -rf "$work"
mkdir -p "$work" "$dist"
work=$(cd "$work" && pwd) dist=$(cd "$dist" && pwd)
rm -f "$dist"/tessaro[-_]*

# Linux copies find their libraries and the module beside themselves:
# the build tree's run path would otherwise point back into this machine's
# build folder (and a test here would pass through it).
linux_copy() {  # SOURCE DESTINATION MODE
  strip --strip-debug -o "$2" "$1"
  patchelf --set-rpath '$ORIGIN' "$2"
  chmod "$3" "$2"
}

# The Windows install folder (Program Files\Tessaro, and the zip's Tessaro\).
win="$work/win64/Tessaro"
mkdir -p "$win/include" "$win/lib"
for f in TessaroDevice.dll tessaro_host.dll tessaro-host.exe tessaro.dll; do
  x86_64-w64-mingw32-strip --strip-debug -o "$win/$f" "$windows/bin/$f"
done
cp "$root/capi/tessaro.h" "$win/include/"
cp "$root/README.md" "$win/"
# An import library from tessaro.dll's own export table, with the .def it is
# made from (MSVC's lib /def makes its own from it).
{
  echo "LIBRARY tessaro.dll"
  echo "EXPORTS"
  x86_64-w64-mingw32-objdump -p "$win/tessaro.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'
} >"$win/lib/tessaro.def"
x86_64-w64-mingw32-dlltool -d "$win/lib/tessaro.def" -D tessaro.dll -l "$win/lib/tessaro.lib"
# wixl takes the files' paths relative to where it runs.
(cd "$win" && wixl -a x64 -D Version="$version" -D Stage=. -o "$dist/tessaro-$version-win64.msi" \
  "$root/packaging/tessaro.wxs")
(cd "$work/win64" && /usr/bin/python3 -m zipfile -c "$dist/tessaro-$version-win64.zip" Tessaro)

# The wheels: the package's sources with libtessaro, the module and the host
# framework beside them, where _native.py looks. Not pure: the libraries are
# of one system, so each wheel is tagged with it.
summary=$(sed -n 's/^description = "\(.*\)"$/\1/p' "$root/python/pyproject.toml")
requires=$(sed -n 's/^requires-python = "\(.*\)"$/\1/p' "$root/python/pyproject.toml")
wheel() {  # PLATFORM_TAG LIBRARY...
  local tag=$1 stage="$work/wheel-$1"
  shift
  mkdir -p "$stage/tessaro" "$stage/tessaro-$version.dist-info"
  cp "$root"/python/tessaro/*.py "$root/python/tessaro/py.typed" "$stage/tessaro/"
  for library in "$@"; do
    case "$library" in
      *.dll) x86_64-w64-mingw32-strip --strip-debug -o "$stage/tessaro/${library##*/}" "$library" ;;
      *) linux_copy "$library" "$stage/tessaro/${library##*/}" 0644 ;;
    esac
  done
  printf 'Metadata-Version: 2.1\nName: tessaro\nVersion: %s\nSummary: %s\nRequires-Python: %s\n' \
    "$version" "$summary" "$requires" >"$stage/tessaro-$version.dist-info/METADATA"
  printf 'Wheel-Version: 1.0\nGenerator: tessaro make-dist\nRoot-Is-Purelib: false\nTag: py3-none-%s\n' \
    "$tag" >"$stage/tessaro-$version.dist-info/WHEEL"
  /usr/bin/python3 -m wheel pack -d "$dist" "$stage" >/dev/null
}
wheel win_amd64 "$windows"/bin/{tessaro.dll,TessaroDevice.dll,tessaro_host.dll}
wheel linux_x86_64 "$native"/bin/{libtessaro.so,libTessaroDevice.so,libtessaro_host.so}

# The Debian package. Programs and libraries share /usr/lib/tessaro, since
# each finds the module beside itself; /usr/bin has links to the programs.
deb="$work/deb"
lib="$deb/usr/lib/tessaro"
mkdir -p "$lib" "$deb/usr/bin" "$deb/usr/include" "$deb/usr/lib/x86_64-linux-gnu/pkgconfig" \
  "$deb/lib/udev/rules.d" "$deb/usr/share/doc/tessaro" "$deb/DEBIAN"
for program in tessaro-host tessaro-sim link-probe; do
  linux_copy "$native/bin/$program" "$lib/$program" 0755
  ln -s "../lib/tessaro/$program" "$deb/usr/bin/$program"
done
for library in libtessaro.so libTessaroDevice.so libtessaro_host.so; do
  linux_copy "$native/bin/$library" "$lib/$library" 0644
done
install -m 0644 "$root/capi/tessaro.h" "$deb/usr/include/"
install -m 0644 "$root/packaging/60-tessaro-latency.rules" "$deb/lib/udev/rules.d/"
install -m 0644 "$root/README.md" "$deb/usr/share/doc/tessaro/"
# C programs link against libtessaro where it finds its module:
# cc prog.c $(pkg-config --cflags --libs tessaro).
cat >"$deb/usr/lib/x86_64-linux-gnu/pkgconfig/tessaro.pc" <<EOF
Name: tessaro
Description: The Tessaro controller's drives from C (libtessaro)
Version: $version
Libs: -L/usr/lib/tessaro -Wl,-rpath,/usr/lib/tessaro -ltessaro
Cflags:
EOF
# The libraries' Debian dependencies, as dpkg-shlibdeps finds them (it wants
# a debian/control to read; our own libraries have no entry to find).
mkdir -p "$work/shlibs/debian"
printf 'Source: tessaro\n\nPackage: tessaro\nArchitecture: amd64\n' >"$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O --ignore-missing-info -l"$lib" \
  "$lib"/tessaro-host "$lib"/tessaro-sim "$lib"/link-probe "$lib"/*.so 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
cat >"$deb/DEBIAN/control" <<EOF
Package: tessaro
Version: $version
Architecture: amd64
Maintainer: Orva <support@orva.invalid>
Depends: $depends
Section: science
Priority: optional
Description: Tessaro stepper-motor controller: tools and C library
 tessaro-host (the plug-in module without the host application),
 tessaro-sim (a simulated controller board), link-probe, libtessaro with
 its header, and a udev rule that lets the dialout group set the USB
 adapter's latency timer.
EOF
# An adapter already plugged in gets the new rule now, not only when it is
# plugged in again. Nothing to do in a root that is not this system's.
cat >"$deb/DEBIAN/postinst" <<'EOF'
#!/bin/sh
set -e
if [ "$1" = configure ] && [ -z "${DPKG_ROOT:-}" ] && [ -d /run/udev ] && command -v udevadm >/dev/null; then
  udevadm control --reload-rules || true
  udevadm trigger --action=add --subsystem-match=usb-serial || true
fi
EOF
chmod 0755 "$deb/DEBIAN/postinst"
dpkg-deb --root-owner-group -Zxz --build "$deb" "$dist/tessaro_${version}_amd64.deb" >/dev/null

ls -l "$dist"
