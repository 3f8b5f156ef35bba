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
all_targets=(zip_reader nds_header trim_decision sram_patch reg_file libarchive)
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
cmake --build build-fuzz --parallel 2 >/dev/null

failed=0
for target in "${targets[@]}"; do
    work="build-fuzz/fuzz-work/$target"
    mkdir -p "$work/corpus"
    log="$work/run.log"
    status=0
    "build-fuzz/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 ||
        status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -eq 0 ]; then
        echo "$target: ${runs:-?} runs in ${seconds} s, nothing found"
    else
        echo "$target: FAILED after ${runs:-?} runs; see $log" >&2
        failed=1
    fi
done
exit "$failed"
