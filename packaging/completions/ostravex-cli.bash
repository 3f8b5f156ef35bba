# bash completion for ostravex-cli and ostravex

# Completes folders and the files that ostravex can list: NDS and GBA images and the
# zip, rar and 7z archives that may hold them.
_ostravex_cli() {
    local cur prev words cword split
    _init_completion -s || return

    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir '@(nds|gba|zip|rar|7z)'
            return
        fi
    done

    case $prev in
        --mode)
            COMPREPLY=($(compgen -W 'overwrite backup folder' -- "$cur"))
            return
            ;;
        --output)
            _filedir -d
            return
            ;;
        --info)
            _filedir nds
            return
            ;;
        --dat)
            _filedir '@(dat|xml|zip)'
            return
            ;;
        --jobs)
            COMPREPLY=($(compgen -W "1 $(nproc 2>/dev/null)" -- "$cur"))
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--list --info --mode= --output= --dont-overwrite
            --sram-patch --only-patch --skip-dsi --remove-scene-numbers --restore
            --check-padding --no-header-check --dat= --jobs= --no-recursive --no-archives --dry-run --quiet --json --help
            --version --' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir '@(nds|gba|zip|rar|7z)'
}
complete -F _ostravex_cli ostravex-cli

_ostravex() {
    local cur prev words cword
    _init_completion || return
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        return
    fi
    _filedir '@(nds|gba|zip|rar|7z)'
}
complete -F _ostravex ostravex
