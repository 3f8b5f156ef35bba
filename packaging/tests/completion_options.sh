# The completions of bash, zsh and fish offer exactly the options and --mode values that
# ostravex-cli --help lists.
source "$(dirname "$0")/lib.sh"
completions="$OSTRAVEX_PACKAGING/completions"

expected=$(help_options)
[ -n "$expected" ] || fail "no options found in ostravex-cli --help"
modes=$(help_modes | sort)
expect_equal "--mode values in --help" $'backup\nfolder\noverwrite' "$modes"

bash_options=$(sed -n '/^_ostravex_cli()/,/^}/p' "$completions/ostravex-cli.bash" |
    grep -oE -- "--[a-z][a-z-]*=?" | tr -d = | sort -u)
# Each option line of the command-line program's _arguments, its exclusion list and the "*"
# of a repeatable option left out.
zsh_options=$(sed -n '/^_arguments/,$p' "$completions/_ostravex-cli" |
    sed -nE "s/^ +'(\([^)]*\))?\*?(--[a-z][a-z-]*).*/\2/p" | sort -u)
fish_options=$(grep -oE -- "^complete -c ostravex-cli .*-l [a-z][a-z-]*" "$completions/ostravex-cli.fish" |
    sed -E 's/.*-l ([a-z-]+)$/--\1/' | sort -u)
expect_equal "options completed by bash" "$expected" "$bash_options"
expect_equal "options completed by zsh" "$expected" "$zsh_options"
expect_equal "options completed by fish" "$expected" "$fish_options"

for mode in $modes; do
    for file in ostravex-cli.bash _ostravex-cli ostravex-cli.fish; do
        grep -q -- "$mode" "$completions/$file" || fail "$file does not offer --mode=$mode"
    done
done
finish
