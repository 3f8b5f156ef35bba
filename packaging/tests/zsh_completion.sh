# zsh reads the completion file, binds it to both programs, and completes options, --mode
# values, folders for --output, and for PATH folders, NDS and GBA images and archives, in
# any letter case.
source "$(dirname "$0")/lib.sh"
cp "$OSTRAVEX_PACKAGING/completions/_ostravex-cli" "$scratch/"

zsh -n "$scratch/_ostravex-cli" 2>"$scratch/err" || fail "zsh cannot read _ostravex-cli: $(cat "$scratch/err")"
bound=$(HOME="$scratch" zsh -f -c "fpath=('$scratch' \$fpath); autoload -U compinit;
    compinit -u -d '$scratch/zcompdump'; print -- \$_comps[ostravex-cli] \$_comps[ostravex]")
expect_equal "completion functions of ostravex-cli and ostravex" "_ostravex-cli _ostravex-cli" "$bound"

make_collection
cd "$scratch/roms"
offered() {
    HOME="$scratch" timeout 60 zsh -f "$(dirname "$0")/zsh_capture.zsh" "$scratch" "$1" "$scratch" |
        sort -u | paste -sd' '
}
expect_equal "--no-" "--no-archives --no-header-check --no-recursive" "$(offered 'ostravex-cli --no-')"
expect_equal "--mode=" "backup folder overwrite" "$(offered 'ostravex-cli --mode=')"
expect_equal "--mode " "backup folder overwrite" "$(offered 'ostravex-cli --mode ')"
expect_equal "--output=" 'sub\ dir' "$(offered 'ostravex-cli --output=')"
expect_equal "PATH" 'B.GBA a.nds c.zip d.7z e.rar sub\ dir' "$(offered 'ostravex-cli --quiet ')"
expect_equal "--info " 'a.nds sub\ dir' "$(offered 'ostravex-cli --info ')"
expect_equal "--dat=" 'c.zip sub\ dir' "$(offered 'ostravex-cli --dat=')"
expect_equal "ostravex PATH" 'B.GBA a.nds c.zip d.7z e.rar sub\ dir' "$(offered 'ostravex ')"
finish
