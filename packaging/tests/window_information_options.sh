# ostravex --help and --version print and exit, without a display and without a window.
source "$(dirname "$0")/lib.sh"

cli_version=$("$OSTRAVEX_CLI" --version | head -n 1)
for arguments in "--version" "some/folder --version"; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$OSTRAVEX_WINDOW" \
        $arguments 2>"$scratch/err")
    status=$?
    expect_equal "exit status of ostravex $arguments" 0 "$status"
    expect_equal "ostravex $arguments" "ostravex ${cli_version#ostravex-cli }" "$(head -n 1 <<<"$out")"
    grep -qx "License GPL-3.0-or-later: .*" <<<"$out" || fail "ostravex $arguments names no licence"
    expect_equal "standard error of ostravex $arguments" "" "$(cat "$scratch/err")"
done
for option in --help -h; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$OSTRAVEX_WINDOW" \
        "$option" 2>"$scratch/err")
    status=$?
    expect_equal "exit status of ostravex $option" 0 "$status"
    expect_equal "first line of ostravex $option" "Usage: ostravex [OPTION]... [PATH]..." "$(head -n 1 <<<"$out")"
    grep -q -- '--version' <<<"$out" || fail "ostravex $option does not mention --version"
    expect_equal "standard error of ostravex $option" "" "$(cat "$scratch/err")"
done
# A failed write is an error, as with the GNU tools.
if env -u DISPLAY -u WAYLAND_DISPLAY "$OSTRAVEX_WINDOW" --help >/dev/full 2>"$scratch/err"; then
    fail "ostravex --help into a full device exits 0"
fi
grep -q "ostravex: " "$scratch/err" || fail "ostravex --help into a full device says nothing"
finish
