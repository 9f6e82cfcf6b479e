#!/bin/sh
# background.sh start NAME DIR COMMAND [ARG...] | stop NAME DIR
#
# start: runs COMMAND in the background with its output in DIR/NAME.log and
#   its pid in DIR/NAME.pid, and waits (up to 10 s) for its first line of
#   output, which the far-side programs print once their lines are up.
#   A previous instance of NAME is stopped first.
# stop: ends it. Used as CTest fixtures and by the demo and benchmarks.
set -eu
action=$1
name=$2
dir=$3
state="$dir/$name"
stop() {
  if [ -f "$state.pid" ]; then
    pid=$(cat "$state.pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
      sleep 0.1
      i=$((i + 1))
    done
    # Nothing of a test run may outlive it.
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$state.pid"
  fi
}
case "$action" in
  start)
    shift 3
    mkdir -p "$dir"
    stop
    # Made here, not by the background job's redirection, so that the wait
    # below never looks for a file that is not there yet.
    : >"$state.log"
    "$@" </dev/null >>"$state.log" 2>&1 &
    echo $! >"$state.pid"
    i=0
    while [ $i -lt 100 ]; do
      if [ "$(wc -l <"$state.log" 2>/dev/null || echo 0)" -ge 1 ]; then
        head -n 1 "$state.log"
        exit 0
      fi
      if ! kill -0 "$(cat "$state.pid")" 2>/dev/null; then
        echo "$name exited:" >&2
        cat "$state.log" >&2
        exit 1
      fi
      sleep 0.1
      i=$((i + 1))
    done
    echo "$name did not get ready in 10 s" >&2
    exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start NAME DIR COMMAND [ARG...] | stop NAME DIR" >&2
    exit 2
    ;;
esac
