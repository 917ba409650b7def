#!/usr/bin/env bash
# Installs the Debian packages that packages.txt lists for the given job (build or test).
# Does nothing when they are all present, so repeated runs stay fast.
set -euo pipefail
job=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)

wanted=()
while read -r name tags; do
    [[ -z "$name" || "$name" == \#* ]] && continue
    if [[ "$job" == test || " $tags " == *" $job "* ]]; then
        wanted+=("$name")
    fi
done <"$here/packages.txt"

missing=()
for name in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$name")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
