#!/usr/bin/env bash
# Configures and builds Ostravex into build/ (binaries in build/bin/). Shows how far the build
# is and stays quiet otherwise; a failing step shows its own output.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
scripts/deps.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT

if [ ! -f build/build.ninja ]; then
    echo "Configuring build/ for the first time; the first build takes 7-8 minutes on 2 cores." >&2
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if ! cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        >"$log" 2>&1; then
        cat "$log" >&2
        echo "Configuring build/ failed" >&2
        exit 1
    fi
fi
if ! with_progress "Building" "$log" cmake --build build --parallel; then
    cat "$log" >&2
    echo "The build failed" >&2
    exit 1
fi
