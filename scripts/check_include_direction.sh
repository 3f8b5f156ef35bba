#!/usr/bin/env bash
# Fails when a file of src/core includes a header other than by its folder's name, or a
# header of a folder above it or beside it. The folders form layers (OSTRAVEX_CORE_LAYERS
# in src/core/CMakeLists.txt, where the build enforces them too); a file may include
# headers of its own folder and of lower layers only, so that no two folders depend on
# each other. Paths with ".." and headers named without their folder would slip past the
# build's include roots: they are refused here.
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer list, lowest first, one quoted line per layer.
mapfile -t layers < <(sed -n '/^set(OSTRAVEX_CORE_LAYERS/,/^)/p' src/core/CMakeLists.txt |
    sed -n 's/^ *"\(.*\)" *$/\1/p')
if [ ${#layers[@]} -eq 0 ]; then
    echo "$0: no OSTRAVEX_CORE_LAYERS in src/core/CMakeLists.txt" >&2
    exit 1
fi

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
        echo "src/core/$folder: not in OSTRAVEX_CORE_LAYERS" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#\s*include\s+"([^"]*)".*/\1/' <<<"$text")
        if [[ ! "$target" =~ ^[a-z_]+/[A-Za-z0-9_.]+$ ]]; then
            echo "$file:$line: includes \"$target\"; name a header as \"folder/name.h\"" >&2
            status=1
            continue
        fi
        target=${target%%/*}
        [ "$target" = "$folder" ] && continue
        if [ -z "${rank[$target]+set}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
            echo "$file:$line: $folder includes $target, which is not below it" >&2
            status=1
        fi
    done < <(grep -rnE '^\s*#\s*include\s+"' "$dir" || true)
done
for file in src/core/*.h src/core/*.cpp; do
    if [ -e "$file" ]; then
        echo "$file: every file of the engine belongs to a layer's folder" >&2
        status=1
    fi
done
exit $status
