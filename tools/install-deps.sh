#!/bin/sh
# Installs the Debian packages that building, testing and packaging (make
# dist: wixl, msitools, dpkg-dev, patchelf) need, when any is
# missing. Does nothing (and needs no network) when all are there. Extra
# packages for one job (clang for fuzzing) are given as arguments.
set -eu
packages="cmake make g++ googletest libgtest-dev libcli11-dev libedit-dev gettext
          g++-mingw-w64-x86-64-posix wine wine64 python3 python3-pytest python3-hypothesis python3-setuptools
          python3-pip python3-wheel locales
          wixl msitools dpkg-dev patchelf python3-venv unzip $*"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

sudo=""
if [ "$(id -u)" != 0 ]; then
  sudo="sudo"
fi
echo "-- installing Debian packages:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
