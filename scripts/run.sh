#!/usr/bin/env bash
# Sets up, builds and starts Ostravex: the window, with PATH (a folder, a rom or an
# archive) as its one argument when given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display here, so the window cannot open; the command-line program does the same work:"
    exec build/bin/ostravex-cli --help
fi
exec build/bin/ostravex "$@"
