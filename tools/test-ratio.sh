#!/bin/sh
# test-ratio.sh [ROOT]: lines of the tests against lines of the code they
# test, the suite's size rule (a quarter to a third; at most 0.40).
#
# Tests: every file under tests/ but the fuzz corpus. Code: every file of
# the source folders, cmake/ and the Makefile. Files as git tracks them, so
# that build trees and scratch files never count.
set -eu
root=${1:-$(dirname "$0")/..}
cd "$root"
count() { git ls-files -z -- "$@" | xargs -0 cat | wc -l; }
tests=$(count tests ':!tests/fuzz/corpus')
code=$(count cmotion controller device drives host platform resources sim session capi python tools bench cmake Makefile)
awk -v t="$tests" -v c="$code" 'BEGIN {
    printf "test lines %d, code lines %d: ratio %.2f (at most 0.40, aim 0.33)\n", t, c, t / c
    exit (t / c > 0.40)
}'
