# zsh reads the completion file and binds it to both programs. (Which candidates it offers
# is left to zsh's own _arguments and _files; the option list is checked against --help in
# completion_options.sh.)
source "$(dirname "$0")/lib.sh"
cp "$OSTRAVEX_PACKAGING/completions/_ostravex-cli" "$scratch/"

zsh -n "$scratch/_ostravex-cli" 2>"$scratch/err" || fail "zsh cannot read _ostravex-cli: $(cat "$scratch/err")"
bound=$(HOME="$scratch" zsh -f -c "fpath=('$scratch' \$fpath); autoload -U compinit;
    compinit -u -d '$scratch/zcompdump'; print -- \$_comps[ostravex-cli] \$_comps[ostravex]")
expect_equal "completion functions of ostravex-cli and ostravex" "_ostravex-cli _ostravex-cli" "$bound"
finish
