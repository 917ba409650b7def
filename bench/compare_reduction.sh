#!/usr/bin/env bash
# Times our 256-colour reduction and ImageMagick's on the same 640 x 480 photo-like picture,
# in one run, and prints both and the ratio. Builds nothing: expects build/bin (or
# FOTOLYX_BIN_DIR) to hold colour_reduction_bench.
#   bench/compare_reduction.sh [runs of ImageMagick, default 7]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${FOTOLYX_BIN_DIR:-$root/build/bin}/colour_reduction_bench
convert=/usr/bin/convert
python=/usr/bin/python3
runs=${1:-7}

for tool in "$bench" "$convert" "$python"; do
    if [[ ! -x $tool ]]; then
        echo "missing: $tool (build first: cmake --build build)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-picture "$work/in.bmp"

"$bench" --benchmark_filter='BM_ReduceTo256Colours|BM_ReduceBmpFileTo256Colours' \
    --benchmark_min_time=1 --benchmark_format=json >"$work/ours.json" 2>/dev/null

"$python" - "$work" "$convert" "$runs" <<'EOF'
import json, statistics, subprocess, sys, time

work, convert, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
ours = {b["name"]: b["real_time"] for b in json.load(open(f"{work}/ours.json"))["benchmarks"]}
ours_reduce = ours["BM_ReduceTo256Colours"]          # milliseconds
ours_file_job = ours["BM_ReduceBmpFileTo256Colours"]

command = [convert, f"{work}/in.bmp", "-colors", "256", "+dither", f"BMP3:{work}/theirs.bmp"]
times = []
for _ in range(runs):
    start = time.perf_counter()
    subprocess.run(command, check=True)
    times.append((time.perf_counter() - start) * 1000)
theirs = statistics.median(times)
with open(f"{work}/theirs.bmp", "rb") as f:
    header = f.read(30)
bits = int.from_bytes(header[28:30], "little")

print("640 x 480 photo-like picture, 256 colours")
print(f"  ours, ReduceTo256Colours:                  {ours_reduce:8.2f} ms")
print(f"  ours, read BMP + reduce + write BMP:       {ours_file_job:8.2f} ms")
print(f"  ImageMagick process ({bits}-bit BMP, median of {runs}): {theirs:8.2f} ms")
print(f"  ratio ImageMagick / ReduceTo256Colours:    {theirs / ours_reduce:8.1f}x")
print(f"  ratio ImageMagick / our file job:          {theirs / ours_file_job:8.1f}x")
EOF
