#!/usr/bin/env bash
# Makes docs/screenshot.png: the window program on the simulated camera, once the Preview has
# loaded, on a virtual X display (Xvfb). Anyone can run it; it installs what it needs.
#   scripts/screenshot.sh [OUTPUT.png] [SECONDS]
# With --adjust it makes docs/screenshot-adjust.png instead: a downloaded picture adjusted,
# beside the Image Adjustment dialog that adjusted it (drawn off screen, no X display needed).
#   scripts/screenshot.sh --adjust [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --adjust ]]; then
    output=${2:-docs/screenshot-adjust.png}
    scripts/install-deps.sh test
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --parallel "$(nproc)" --target fotolyx-adjust-screenshot fotolyx-camsim
    mkdir -p "$(dirname "$output")"
    QT_QPA_PLATFORM=offscreen build/bin/fotolyx-adjust-screenshot "$output" 2>&1 |
        grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR
    exit 0
fi
output=${1:-docs/screenshot.png}
wait_seconds=${2:-12}

scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target fotolyx fotolyx-camsim

mkdir -p "$(dirname "$output")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The program runs in a scratch folder so that its files stay out of the repository.
cat >"$work/shoot.sh" <<INNER
#!/usr/bin/env bash
set -euo pipefail
cd "$work"
QT_QPA_PLATFORM=xcb "$PWD/build/bin/fotolyx" --simulate &
program=\$!
sleep "$wait_seconds"
/usr/bin/import -window root -crop 745x605+0+0 "$work/shot.png"
kill "\$program"
wait "\$program" || true
INNER
chmod +x "$work/shoot.sh"
xvfb-run --auto-servernum --server-args="-screen 0 800x650x24" "$work/shoot.sh"
cp "$work/shot.png" "$output"
echo "wrote $output"
