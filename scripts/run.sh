#!/usr/bin/env bash
# Sets up, builds and starts Ostravex. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ $# -eq 0 ]; then
    exec build/bin/ostravex-cli --help
fi
exec build/bin/ostravex-cli "$@"
