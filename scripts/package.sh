#!/usr/bin/env bash
# Builds the Debian package fotolyx_VERSION_ARCH.deb into the given folder (default: build/).
#   scripts/package.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build}
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"
mkdir -p "$out"
(cd build && cpack -G DEB -B "$(cd "$OLDPWD" && realpath "$out")")
ls "$out"/fotolyx_*.deb
