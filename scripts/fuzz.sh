#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, in build-fuzz/) and runs one or all of them: each over its
# seed corpus in fuzz/corpus/TARGET plus SECONDS of fresh input (default 30). New inputs are kept
# in build-fuzz/corpus/TARGET; a crash leaves its input in build-fuzz/artifacts/ and fails.
# FOTOLYX_FUZZ_RUNS=N also ends each run after N executions, if that comes first.
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-all}
seconds=${2:-30}
runs=${FOTOLYX_FUZZ_RUNS:--1}
if [[ ! "$seconds" =~ ^[0-9]+$ || ! "$runs" =~ ^-?[0-9]+$ ]]; then
    echo "usage: [FOTOLYX_FUZZ_RUNS=N] scripts/fuzz.sh [TARGET|all] [SECONDS]" >&2
    exit 2
fi

targets=()
for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    if [[ "$target" == all || "$target" == "$name" ]]; then
        targets+=("$name")
    fi
done
if [[ ${#targets[@]} -eq 0 ]]; then
    echo "unknown target '$target'; the targets are:" $(basename -s _fuzz.cpp fuzz/*_fuzz.cpp) >&2
    exit 2
fi

scripts/install-deps.sh test
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFOTOLYX_FUZZ=ON -DFOTOLYX_WERROR=ON >/dev/null
cmake --build build-fuzz --parallel "$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p build-fuzz/artifacts build-fuzz/logs
summary=()
status=0
for name in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$name"
    log="build-fuzz/logs/$name.log"
    echo "== $name: seed corpus and $seconds s of fresh input"
    # Absolute paths: a target may change its working folder (cli_arguments does).
    if build-fuzz/bin/"fuzz_$name" -max_total_time="$seconds" -runs="$runs" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$PWD/build-fuzz/artifacts/$name-" \
        "$PWD/build-fuzz/corpus/$name" "$PWD/fuzz/corpus/$name" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
        grep -E "ERROR|SUMMARY|Test unit written|^    #[0-9]" "$log" | head -40 >&2 || true
    fi
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
    summary+=("$(printf '%-16s %-7s %10s runs  %s' "$name" "$result" "${executed:-?}" \
        "${coverage:-}")")
done

echo
printf '%s\n' "${summary[@]}"
exit $status
