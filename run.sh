#!/usr/bin/env bash
# Installs the build dependencies if missing, builds, and starts the program.
#   ./run.sh                  the window program on the simulated camera (fotolyx --simulate)
#   ./run.sh ARGUMENTS...     the window program with these arguments
# Without a display, the command-line program shows the same simulated camera instead.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh build

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"

if [[ $# -eq 0 ]]; then
    set -- --simulate
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" || -n "${QT_QPA_PLATFORM:-}" ]]; then
    exec build/bin/fotolyx "$@"
fi

echo "run.sh: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)," \
     "so the window program cannot open." >&2
cli_help=$(build/bin/fotolyx-cli --help 2>&1 || true)
if grep -q -- '--simulate' <<<"$cli_help" && grep -q '^  list' <<<"$cli_help"; then
    echo "run.sh: running 'fotolyx-cli --simulate list' instead." >&2
    exec build/bin/fotolyx-cli --simulate list
fi
# The command-line program on the simulated camera: its picture list when it has the command,
# else what camera it finds.
command=info
if grep -q '^  list' <<<"$cli_help"; then
    command=list
fi
echo "run.sh: running 'fotolyx-cli $command' against the simulated camera instead." >&2
camsim_output=$(mktemp)
build/bin/fotolyx-camsim >"$camsim_output" &
camsim=$!
trap 'kill "$camsim" 2>/dev/null || true; rm -f "$camsim_output"' EXIT
for _ in $(seq 50); do
    [[ -s "$camsim_output" ]] && break
    sleep 0.1
done
device=$(head -n 1 "$camsim_output")
build/bin/fotolyx-cli "$command" --port "COM1=$device"
