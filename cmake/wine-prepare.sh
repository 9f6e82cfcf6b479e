#!/bin/sh
# wine-prepare.sh start|stop PREFIX
#
# start: creates the Wine prefix once (about 6 s) and starts a persistent
#   wineserver plus Wine's services with their output sent nowhere. CTest can
#   hang for good when those services are first started inside it, because
#   they inherit its output pipe; started here, they inherit /dev/null. The
#   prefix uses Wine's null graphics driver, so dialogs need no display.
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
    # Dialogs run on Wine's null graphics driver: fully, and without any X
    # display. The setting is read when the server starts.
    if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
      wineserver -k </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # Exits 2 when the prefix's server already runs; that is fine. If no
    # server came up, the next line fails.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    if ! wine cmd /c exit </dev/null >/dev/null 2>&1; then
      echo "wine-prepare: Wine does not start in $WINEPREFIX" >&2
      exit 1
    fi
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
