#!/usr/bin/env bash
# Builds the Debian package of Ostravex into dist/ from the release build in build/ (made by
# scripts/build.sh when it is not there yet), then checks it with lintian.
#
#   scripts/package.sh        prints the package's path on its last line
#
# CPack makes the package from the build's own install rules; dpkg-shlibdeps computes its
# dependencies from the binaries. lintian's errors fail the script; its warnings are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

rm -rf dist/_CPack_Packages
mkdir -p dist
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cpack --config build/CPackConfig.cmake -B "$PWD/dist" >"$log" 2>&1; then
    cat "$log" >&2
    echo "cpack could not build the package" >&2
    exit 1
fi
package=$(sed -nE 's/^CPack: - package: (.*\.deb) generated\.$/\1/p' "$log")
rm -rf dist/_CPack_Packages
if [ ! -f "$package" ]; then
    cat "$log" >&2
    echo "cpack named no package" >&2
    exit 1
fi

# Errors fail; warnings are shown (there are none today). lintian's notice about running
# as root is left out.
status=0
lintian --fail-on error "$package" >"$log" 2>&1 || status=$?
if ! grep -v "running with root privileges is not recommended" "$log" >&2; then
    echo "lintian: no errors, no warnings" >&2
fi
if [ "$status" -ne 0 ]; then
    echo "lintian found errors in $package" >&2
    exit 1
fi
echo "$package"
