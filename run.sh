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
echo "run.sh: running 'fotolyx-cli --simulate list' instead." >&2
exec build/bin/fotolyx-cli --simulate list
