# The man pages are made from the programs' --help: each renders without a warning and
# names every option the program lists.
source "$(dirname "$0")/lib.sh"

render() {
    MANWIDTH=80 man --warnings -l "$OSTRAVEX_PACKAGING_BUILD/$1.1.gz" 2>"$scratch/warnings"
}

for program in ostravex-cli ostravex; do
    page="$OSTRAVEX_PACKAGING_BUILD/$program.1.gz"
    if [ ! -f "$page" ]; then
        fail "no man page $page"
        continue
    fi
    text=$(render "$program")
    expect_equal "warnings of man $program" "" "$(cat "$scratch/warnings")"
    grep -q "^NAME" <<<"$text" || fail "man $program has no NAME section"
    grep -qE "^ +$program +- " <<<"$text" || fail "man $program does not name $program"
done

cli_page=$(render ostravex-cli)
while read -r option; do
    grep -q -- "$option" <<<"$cli_page" || fail "man ostravex-cli does not list $option"
done < <(help_options)
version=$("$OSTRAVEX_CLI" --version | head -n 1)
grep -q "${version#ostravex-cli }" <<<"$cli_page" || fail "man ostravex-cli does not give $version"
grep -q -- "--version" <<<"$(render ostravex)" || fail "man ostravex does not list --version"
for section in "EXIT STATUS" "LOG LINES"; do
    grep -q "^$section" <<<"$cli_page" || fail "man ostravex-cli has no $section section"
done
grep -q "Files skipped:" <<<"$cli_page" || fail "man ostravex-cli does not explain the counters"
finish
