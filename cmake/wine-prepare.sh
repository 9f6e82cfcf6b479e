#!/bin/sh
# wine-prepare.sh start|stop PREFIX
#
# start: creates the Wine prefix once (about 6 s) and starts a persistent
#   wineserver plus Wine's services with their output sent nowhere. CTest can
#   hang for good when those services are first started inside it, because
#   they inherit its output pipe; started here, they inherit /dev/null.
# stop: ends the server of that prefix (and with it every Wine process).
set -eu
action=$1
WINEPREFIX=$2
export WINEPREFIX
export WINEDEBUG=-all
case "$action" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      echo "-- creating Wine prefix $WINEPREFIX"
      wineboot -i </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
