#!/bin/sh
# doctor_test.sh NAME WORK_DIR NATIVE_BIN SIM_DIR HOST_COMMAND...
#
# tessaro-host doctor, case NAME: against the COM7 fixture (bundle: a healthy
# line's report and its bundle) and against a tessaro-sim of its own on COM9
# that holds each reply 16 ms like a USB adapter (latency). HOST_COMMAND runs
# the program pointed at COM7.
set -u
name=$1; work=$2; bin=$3; sim_dir=$4
shift 4
mkdir -p "$work"
out="$work/$name.out"; err="$work/$name.err"
fail() {
  echo "FAIL ($name): $*" >&2
  echo "--- stdout" >&2; cat "$out" >&2
  echo "--- stderr" >&2; cat "$err" >&2
  exit 1
}
host() {
  "$@" >"$out" 2>"$err"; rc=$?
  for f in "$out" "$err"; do tr -d '\r' <"$f" >"$f.lf" && mv "$f.lf" "$f"; done
  return $rc
}
expect_out() { grep -q -- "$1" "$out" || fail "no \"$1\" in the output"; }
case "$1" in *wine*) wine_run=$1; com9="--port 9" ;; *) wine_run=; com9="--port 9 --device $sim_dir/com9" ;; esac

case "$name" in
  latency)
    background="$(dirname "$0")/../../tools/background.sh"
    key='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+DDDD0009'
    trap 'sh "$background" stop doctor-sim "$sim_dir"; [ -z "$wine_run" ] ||
      "$wine_run" reg delete "$key" /f >/dev/null 2>&1' EXIT
    sh "$background" start doctor-sim "$sim_dir" "$bin/tessaro-sim" --axes 4 \
      --link "$sim_dir/com9" --latency 16 --baud 57600 >/dev/null || fail "no simulator"
    # Under Wine also the adapter's own timer, as its driver keeps it.
    [ -z "$wine_run" ] || sh "$(dirname "$0")/../support/wine-import-reg.sh" "$wine_run" \
      "$(cd "$(dirname "$0")/../data" && pwd)/ftdi-com9-key.reg" || fail "cannot import the key"
    # shellcheck disable=SC2086 # the port options' words
    host "$@" $com9 doctor; [ $rc = 0 ] || fail "exit code $rc"
    expect_out "replies come 1[5-7].[0-9] ms later than the wire explains"
    if [ -z "$wine_run" ]; then expect_out "latency timer of about 1[5-7] ms; set it to 2 ms: echo"
    else expect_out "latency timer is 16 ms .*set it to 2 ms: Device Manager"; fi
    # The median within 4 ms of the truth: 16 ms held plus the wire time.
    sed -n 's/.*median \([0-9.]*\) ms,.*wire takes \([0-9.]*\) ms.*/\1 \2/p' "$out" |
      awk '{ d = $1 - 16 - $2; exit !(NF == 2 && d < 4 && d > -4) }' || fail "median off"
    ;;
  bundle)
    printf 'z: speed_revolutionPerSecond=5;\n' >"$work/doctor-settings.txt"
    rm -f "$work/bundle.tar"
    host "$@" --settings "$work/doctor-settings.txt" doctor --bundle "$work/bundle.tar"
    [ $rc = 0 ] || fail "exit code $rc"
    expect_out "^processor: *Marivel (family 5), 4 axes, version 1.2$"
    expect_out "^axis 3: *limit switches + inactive, - inactive; count"
    expect_out "^no problems found$"
    expect_out "^support bundle: .*bundle.tar (versions.txt doctor.txt trace.txt doctor-settings.txt)"
    [ "$(tar tf "$work/bundle.tar" | tr '\n' ' ')" = \
      "versions.txt doctor.txt trace.txt doctor-settings.txt " ] || fail "not the four files"
    tar xOf "$work/bundle.tar" versions.txt | grep -q "^processor: Marivel (family 5)" || fail "no processor"
    tar xOf "$work/bundle.tar" doctor.txt | grep -q "^no problems found" || fail "no report"
    tar xOf "$work/bundle.tar" trace.txt | grep -q "axis 3  GetCommandedPosition" || fail "no trace"
    tar xOf "$work/bundle.tar" doctor-settings.txt | cmp -s - "$work/doctor-settings.txt" ||
      fail "the settings file is not the one in use, byte for byte"
    host "$@" doctor --bundle "$work/no-such-folder/bundle.tar"; [ $rc = 1 ] || fail "exit code $rc"
    [ "$(wc -l <"$err")" -eq 1 ] && grep -q "^tessaro-host: cannot write" "$err" || fail "no reason"
    ;;
esac
echo "ok ($name)"
