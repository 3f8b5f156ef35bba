# Sourced by the set-up scripts: runs a long command with its output kept in a log, and
# shows how far it is from the "[N/TOTAL]" (ninja) or "N/TOTAL Test" (ctest) counts the
# command prints. On a terminal the count is one line that updates itself; elsewhere (CI, a
# pipe) a line is printed at each further tenth, so that a log stays short.
#
#   with_progress LABEL LOG COMMAND...     returns the command's exit status

with_progress() {
    local label=$1 log=$2
    shift 2
    local status_file line done total tenth shown=-1
    status_file=$(mktemp)
    : >"$log"
    # The loop sees the end of the output only once the command's subshell has exited, so
    # its status is in the file by then.
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$log"
        if [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || [[ $line =~ ^\ *([0-9]+)/([0-9]+)\ Test ]]; then
            done=${BASH_REMATCH[1]}
            total=${BASH_REMATCH[2]}
            # "[0/N]" is ninja checking whether anything is to be done, not work done: a
            # build with nothing to do shows no count.
            if [ "$done" -eq 0 ]; then
                continue
            fi
            if [ -t 2 ]; then
                printf '\r%s: %d/%d' "$label" "$done" "$total" >&2
            elif [ "$total" -gt 0 ]; then
                tenth=$((done * 10 / total))
                if [ "$tenth" -gt "$shown" ]; then
                    shown=$tenth
                    echo "$label: $done/$total" >&2
                fi
            fi
        fi
    done < <(
        "$@" 2>&1
        echo $? >"$status_file"
    )
    if [ -t 2 ]; then
        printf '\r\033[K' >&2
    fi
    local status
    status=$(cat "$status_file")
    rm -f "$status_file"
    return "${status:-1}"
}
