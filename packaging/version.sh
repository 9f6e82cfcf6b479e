#!/bin/sh
# version.sh: the one version of everything we ship, dotted ("8.203.1273.0"),
# read from the module's version record, where the resource compiler, the
# programs' --version and CMake's project version take it from too.
set -eu
header="$(dirname "$0")/../resources/module_version.h"
version=$(sed -n 's/^#define TESSARO_FILE_VERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p' "$header")
[ -n "$version" ] || { echo "version.sh: no TESSARO_FILE_VERSION in $header" >&2; exit 1; }
echo "$version"
