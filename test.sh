#!/usr/bin/env bash
# Installs what the tests need, builds and runs every test through ctest.
#   ./test.sh              build/ (optimised, with debug info)
#   ./test.sh --sanitize   build-sanitize/ with AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOTOLYX_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
    build_dir=build-sanitize
    options=(-DCMAKE_BUILD_TYPE=Debug -DFOTOLYX_WERROR=ON -DFOTOLYX_SANITIZE=ON -DFOTOLYX_BUILD_BENCH=OFF)
    export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    shift
fi

scripts/install-deps.sh test

jobs=$(nproc)
cmake -S . -B "$build_dir" "${options[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$jobs"

export FOTOLYX_REQUIRE_PEERS=1
export QT_QPA_PLATFORM=offscreen
# --timeout: the limit of any test that does not set its own.
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 --parallel "$jobs" "$@"
