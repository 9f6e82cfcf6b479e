#!/bin/sh
# peer-fixture.sh start PEER_BINARY LINK_DIR | stop LINK_DIR
#
# Starts link-peer in the background with its data line linked at
# LINK_DIR/com5 and its control line at LINK_DIR/com12 (LINK_DIR is a Wine
# prefix's dosdevices folder for the Windows tests), and waits until it is
# ready. stop ends it. Used as a CTest fixture.
set -eu
action=$1
case "$action" in
  start)
    peer=$2
    dir=$3
    mkdir -p "$dir"
    state="$dir/link-peer"
    if [ -f "$state.pid" ] && kill -0 "$(cat "$state.pid")" 2>/dev/null; then
      kill "$(cat "$state.pid")" 2>/dev/null || true
      sleep 0.2
    fi
    rm -f "$state.log"
    "$peer" --link "$dir/com5" --control-link "$dir/com12" </dev/null >"$state.log" 2>&1 &
    echo $! >"$state.pid"
    i=0
    while [ $i -lt 100 ]; do
      if grep -q '^ready' "$state.log" 2>/dev/null; then
        cat "$state.log"
        exit 0
      fi
      if ! kill -0 "$(cat "$state.pid")" 2>/dev/null; then
        echo "link-peer exited:" >&2
        cat "$state.log" >&2
        exit 1
      fi
      sleep 0.1
      i=$((i + 1))
    done
    echo "link-peer did not get ready in 10 s" >&2
    exit 1
    ;;
  stop)
    dir=$2
    state="$dir/link-peer"
    if [ -f "$state.pid" ]; then
      kill "$(cat "$state.pid")" 2>/dev/null || true
      rm -f "$state.pid"
    fi
    ;;
  *)
    echo "usage: $0 start PEER_BINARY LINK_DIR | stop LINK_DIR" >&2
    exit 2
    ;;
esac
