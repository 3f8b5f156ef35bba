#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a while, one after
# the other. New inputs go to build-fuzz/fuzz-work/<target>/corpus, crashing inputs to
# build-fuzz/fuzz-work/<target>/; the seed corpora in tests/fuzz/corpus stay as they are.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]    (default 300 seconds, every target)
#
# Exits 1 when a target finds a crash, a leak or a broken check. The seed corpora are
# written by build-fuzz/bin/make_seed_corpus tests/fuzz/corpus (from the test builders); a
# crashing input, once fixed, belongs in its target's seed corpus too.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
shift || true
# Every target: one tests/fuzz/NAME_fuzz.cpp each.
all_targets=()
for source in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    all_targets+=("${name%_fuzz}")
done
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

if ! command -v clang++ >/dev/null; then
    echo "clang++ is not installed (scripts/deps.sh installs it)" >&2
    exit 1
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DOSTRAVEX_FUZZ=ON "${launcher[@]}" >/dev/null
build_log=$(mktemp)
trap 'rm -f "$build_log"' EXIT
echo "Building the fuzz targets with clang in build-fuzz..." >&2
if ! cmake --build build-fuzz --parallel 2 >"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "Building the fuzz targets failed" >&2
    exit 1
fi

failed=0
count=0
for target in "${targets[@]}"; do
    count=$((count + 1))
    step="[$count/${#targets[@]}]"
    if [ ! -x "build-fuzz/bin/${target}_fuzz" ]; then
        echo "$step $target: no such fuzz target (tests/fuzz/${target}_fuzz.cpp, listed in tests/fuzz/CMakeLists.txt)" >&2
        failed=1
        continue
    fi
    work="build-fuzz/fuzz-work/$target"
    mkdir -p "$work/corpus"
    log="$work/run.log"
    status=0
    seeds=()
    [ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")
    "build-fuzz/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "${seeds[@]}" >"$log" 2>&1 ||
        status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -eq 0 ]; then
        echo "$step $target: ${runs:-?} runs in ${seconds} s, nothing found"
    else
        echo "$step $target: FAILED after ${runs:-?} runs; see $log" >&2
        failed=1
    fi
done
exit "$failed"
