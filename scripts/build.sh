#!/usr/bin/env bash
# Configures and builds Ostravex into build/ (binaries in build/bin/). Quiet when all goes
# well; a failing step shows its own output.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/deps.sh"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Runs a build step with its output kept aside, and shows that output when the step fails.
quietly() {
    if ! "$@" >"$log" 2>&1; then
        cat "$log" >&2
        echo "Build step failed: $*" >&2
        exit 1
    fi
}

if [ ! -f build/build.ninja ]; then
    echo "Building Ostravex for the first time (a few minutes)..." >&2
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    quietly cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
fi
quietly cmake --build build --parallel
