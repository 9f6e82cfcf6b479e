#!/bin/sh
# wine-import-reg.sh WINE_RUN REG_FILE
# Imports a .reg file into the Wine prefix that WINE_RUN (the build tree's
# wine-run.sh) uses, silently, overwriting the values it names.
set -eu
run=$1
file=$2
windows_path=$("$run" winepath -w "$file" 2>/dev/null | tr -d '\r')
exec "$run" regedit /S "$windows_path"
