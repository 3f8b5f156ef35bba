#!/usr/bin/env bash
# Configures and builds Ostravex into build/ (binaries in build/bin/).
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/deps.sh"
if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build --parallel >/dev/null
