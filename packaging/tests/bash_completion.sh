# bash completes options, --mode values, folders for --output, and for PATH folders, NDS and
# GBA images and archives, in any letter case.
source "$(dirname "$0")/lib.sh"
source /usr/share/bash-completion/bash_completion
source "$OSTRAVEX_PACKAGING/completions/ostravex-cli.bash"
make_collection
cd "$scratch/roms"

# What bash offers for a command line typed up to its end; the last word is the one being
# completed. The words are split the way bash splits them ("--mode=b" is "--mode" "=" "b");
# a folder name with a blank is typed escaped.
offered() {
    COMP_LINE="$1"
    COMP_POINT=${#COMP_LINE}
    local spaced=${1//=/ = }
    read -r -a COMP_WORDS <<<"$spaced"
    [[ $1 == *" " || $1 == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$completer" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

completer=_ostravex_cli
expect_equal "--mo" "--mode=" "$(offered 'ostravex-cli --mo')"
expect_equal "--no-" "--no-archives --no-header-check --no-recursive" "$(offered 'ostravex-cli --no-')"
expect_equal "--mode=" "backup folder overwrite" "$(offered 'ostravex-cli --mode=')"
expect_equal "--mode=b" "backup" "$(offered 'ostravex-cli --mode=b')"
expect_equal "--mode f" "folder" "$(offered 'ostravex-cli --mode f')"
expect_equal "--output=" "sub dir" "$(offered 'ostravex-cli --mode=folder --output=')"
expect_equal "--output " "sub dir" "$(offered 'ostravex-cli --output ')"
expect_equal "PATH" "B.GBA a.nds c.zip d.7z e.rar sub dir" "$(offered 'ostravex-cli --dry-run ')"
expect_equal "--info" "a.nds sub dir" "$(offered 'ostravex-cli --info ')"
expect_equal "--dat" "c.zip sub dir" "$(offered 'ostravex-cli --dat ')"
touch -- --x.nds
expect_equal "after --" "--x.nds" "$(offered 'ostravex-cli -- --')"
rm -- --x.nds

completer=_ostravex
expect_equal "ostravex --" "--help --version" "$(offered 'ostravex --')"
expect_equal "ostravex PATH" "B.GBA a.nds c.zip d.7z e.rar sub dir" "$(offered 'ostravex ')"
finish
