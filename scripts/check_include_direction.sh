#!/usr/bin/env bash
# Fails when a folder of src/core includes a header of a folder above it or beside it.
# The folders form layers; a file may include headers of its own folder and of lower
# layers only, so that no two folders depend on each other.
set -euo pipefail
cd "$(dirname "$0")/.."

# Lowest layer first. Folders on one line are beside each other and must not include
# each other.
layers=(
    "io"
    "romformat romlist runlog settings update"
    "dat"
    "trim"
    "archive sram"
    "scan"
    "backgrounds"
)

declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do
        rank[$folder]=$i
    done
done

status=0
for dir in src/core/*/; do
    folder=$(basename "$dir")
    if [ -z "${rank[$folder]+set}" ]; then
        echo "src/core/$folder: not in the layer list of $0" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#\s*include\s+"([a-z_]+)\/.*/\1/' <<<"$text")
        [ "$target" = "$folder" ] && continue
        if [ -z "${rank[$target]+set}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
            echo "$file:$line: $folder includes $target, which is not below it" >&2
            status=1
        fi
    done < <(grep -rnE '^\s*#\s*include\s+"[a-z_]+/' "$dir" || true)
done
exit $status
