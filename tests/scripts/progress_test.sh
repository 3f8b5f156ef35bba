#!/usr/bin/env bash
# scripts/progress.sh away from a terminal: a build that has something to do shows how far
# it is; one with nothing to do (ninja's "[0/2] Re-checking globbed directories..." and
# "no work to do") shows no count at all; the command's exit status comes back.
set -uo pipefail
source "$(dirname "$0")/../../scripts/progress.sh"
failures=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

check() {
    local what=$1 expected=$2 actual=$3
    if [ "$expected" != "$actual" ]; then
        printf 'FAILED: %s\n  expected: %q\n  actual:   %q\n' "$what" "$expected" "$actual" >&2
        failures=$((failures + 1))
    fi
}

nothing_to_do() { printf '[0/2] Re-checking globbed directories...\nninja: no work to do.\n'; }
shown=$(with_progress Building "$log" nothing_to_do 2>&1 >/dev/null)
check "a build with nothing to do" "" "$shown"

some_work() { printf '[0/2] Re-checking globbed directories...\n[1/2] a.o\n[2/2] b\n'; }
shown=$(with_progress Building "$log" some_work 2>&1 >/dev/null)
check "a build of two steps" $'Building: 1/2\nBuilding: 2/2' "$shown"

failing() { printf '[1/3] a.o\nerror\n'; return 3; }
with_progress Building "$log" failing 2>/dev/null
check "the failed command's exit status" 3 "$?"
check "the failed command's output in the log" $'[1/3] a.o\nerror' "$(cat "$log")"

[ "$failures" -eq 0 ]
