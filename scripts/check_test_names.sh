#!/usr/bin/env bash
# Fails when a test's name shows the raw bytes of its parameter ("GetParam() = 16-byte
# object <A2-FC ...>"): such names differ from build to build, so a failure seen once
# cannot be looked up or run again by name. A parameter type needs a PrintTo.
# Usage: scripts/check_test_names.sh [BUILD_FOLDER]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if raw=$(ctest --test-dir "$build" -N | grep -E -- '-byte object <'); then
    echo "Tests named after the raw bytes of their parameter (give the type a PrintTo):" >&2
    echo "$raw" >&2
    exit 1
fi
