#!/usr/bin/env bash
# Sets up, builds and runs every test. A passing run prints its count and ctest's summary;
# a failing one shows each failed test's output and the list of failed tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
scripts/build.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
with_progress "Testing" "$log" ctest --test-dir build --output-on-failure --parallel "$(nproc)" ||
    status=$?
if [ "$status" -ne 0 ]; then
    # Everything but the lines of tests that started or passed.
    grep -vE '^ *(Start +[0-9]+:|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed )' "$log" >&2 || true
    exit "$status"
fi
grep -E '^[0-9]+% tests passed|^Total Test time' "$log"
