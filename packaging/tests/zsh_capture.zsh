# Prints the candidates zsh's completion system offers for a command line, one a line:
#   zsh -f zsh_capture.zsh COMPLETIONS_FOLDER "LINE TYPED BEFORE TAB" SCRATCH_FOLDER
# An interactive zsh runs in a pseudo-terminal; compadd is wrapped so that each candidate
# added is also printed, marked, before zsh shows its list.
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "PS1='' RPS1='' fpath=('$1' \$fpath); autoload -U compinit; compinit -u -d '$3/zcompdump'"
zpty -w z 'compadd () { builtin compadd -O __hits "$@"; (( ${#__hits} )) && print -rl -- "<hit>"${^__hits}; builtin compadd "$@" }'
zpty -w z "bindkey '^I' complete-word"
zpty -n -w z "$2"$'\t'

print_hit() {
    [[ $1 == *'<hit>'* ]] && print -r -- ${${${1//$'\r'/}#*<hit>}%$'\n'}
}
# Input typed ahead would cut the completion short: wait until zsh has been quiet for two
# seconds (at most 30 seconds; a loaded machine can pause a starting compinit for one),
# then end the line and mark the end of the output.
local line quiet=0 waited=0
while (( quiet < 20 && waited < 300 )); do
    if zpty -r -t z line; then
        print_hit "$line"
        quiet=0
    else
        sleep 0.1
        (( quiet++ ))
    fi
    (( waited++ ))
done
zpty -w z $'\C-u'"print '<''end>'"
while zpty -r z line; do
    [[ $line == *'<end>'* ]] && break
    print_hit "$line"
done
zpty -d z
