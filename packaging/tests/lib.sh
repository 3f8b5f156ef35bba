# Shared by the checks of the installed files: a failure message, counted, and a closing
# verdict. Each check script sources it and calls `finish` at its end.
failures=0

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# expect_equal WHAT EXPECTED ACTUAL
expect_equal() {
    if [ "$2" != "$3" ]; then
        fail "$1"$'\n'"  expected: $(printf '%q' "$2")"$'\n'"  actual:   $(printf '%q' "$3")"
    fi
}

finish() {
    [ "$failures" -eq 0 ] || exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The options ostravex-cli's --help lists: the option lines and the verbs of its usage lines.
help_options() {
    "$OSTRAVEX_CLI" --help |
        sed -nE 's/^ +(-[a-z], )?(--[a-z][a-z-]*).*/\2/p; s/.*ostravex-cli (--[a-z][a-z-]*).*/\1/p' |
        sort -u
}

# The values --mode takes, as its help lines list them.
help_modes() {
    "$OSTRAVEX_CLI" --help | sed -nE 's/^ +--mode=([a-z]+).*/\1/p'
}

# A folder of what a collector has: images and archives in any letter case, other files,
# and a folder with a blank in its name.
make_collection() {
    mkdir -p "$scratch/roms/sub dir"
    touch "$scratch/roms/a.nds" "$scratch/roms/B.GBA" "$scratch/roms/c.zip" \
        "$scratch/roms/d.7z" "$scratch/roms/e.rar" "$scratch/roms/notes.txt" \
        "$scratch/roms/f.nds.bak"
}
