#!/usr/bin/env bash
# Installs the build dependencies if missing, builds, and starts the program.
#   ./run.sh                  the window program on the simulated camera
#   ./run.sh ARGUMENTS...     the window program with these arguments
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh build

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"

if [[ -x build/bin/fotolyx ]]; then
    if [[ $# -eq 0 ]]; then
        set -- --simulate
    fi
    exec build/bin/fotolyx "$@"
fi

# Until the window program exists, the command-line program is what there is to run.
echo "run.sh: the window program is not built yet; starting fotolyx-cli ${*:-settings}" >&2
if [[ $# -eq 0 ]]; then
    set -- settings
fi
exec build/bin/fotolyx-cli "$@"
