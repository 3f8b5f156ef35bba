#!/usr/bin/env bash
# Sets up, builds and starts Ostravex: the window, with PATH (a folder, a rom or an
# archive) as its one argument when given. Without a display, the command-line program
# lists PATH instead, as the window would have.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cli="$PWD/build/bin/ostravex-cli"
    echo "No display here, so the window cannot open; the command-line program does the same work:"
    echo "  $cli"
    if [ $# -eq 0 ]; then
        echo
        exec "$cli" --help
    fi
    echo "Here is what the window would list (with --dry-run instead of --list it shows what a"
    echo "trim would do; without either it trims):"
    printf '  %q --list --' "$cli"
    printf ' %q' "$@"
    echo
    exec "$cli" --list -- "$@"
fi
exec build/bin/ostravex "$@"
