#!/usr/bin/python3
"""Times the whole-picture adjustment against Pillow's four enhancers, in one run.

Usage: bench/adjust_vs_pillow.py [path/to/adjust_bench]   (default build/bin/adjust_bench)

Runs adjust_bench's ApplyToPicture on its 640 x 480 picture, then Pillow's ImageEnhance
Brightness, Contrast, Color and Sharpness one after the other on the same picture in this
process, and prints both times and the ratio (Pillow / ours; above 1 means ours is faster).
"""
import json
import os
import subprocess
import sys
import time

from PIL import Image, ImageEnhance

WIDTH, HEIGHT = 640, 480


def bench_picture():
    # The same pixels as BenchPicture() in adjust_bench.cpp, rows from the top.
    data = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            r = (x * 255 // WIDTH + (x * y) % 17) % 256
            g = (y * 255 // HEIGHT + (x + 3 * y) % 23) % 256
            b = ((x + y) * 255 // (WIDTH + HEIGHT) + (x * 7 + y * 11) % 29) % 256
            data += bytes((r, g, b))
    return Image.frombytes("RGB", (WIDTH, HEIGHT), bytes(data))


def pillow_seconds(picture, rounds=7, repeats=20):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for _ in range(repeats):
            out = ImageEnhance.Brightness(picture).enhance(1.2)
            out = ImageEnhance.Contrast(out).enhance(1.2)
            out = ImageEnhance.Color(out).enhance(1.3)
            out = ImageEnhance.Sharpness(out).enhance(1.4)
        best = min(best, (time.perf_counter() - start) / repeats)
    return best


def ours_seconds(binary):
    result = subprocess.run(
        [binary, "--benchmark_filter=BM_ApplyToPicture", "--benchmark_format=json",
         "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True)
    for entry in json.loads(result.stdout)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
            return entry["real_time"] * scale
    raise RuntimeError("no median in the benchmark output")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "bin",
                                                                "adjust_bench")
    picture = bench_picture()
    ours = ours_seconds(binary)
    pillow = pillow_seconds(picture)
    print("ApplyToPicture 640x480:                  %.3f ms" % (ours * 1e3))
    print("Pillow Brightness+Contrast+Color+Sharpness: %.3f ms" % (pillow * 1e3))
    print("ratio (Pillow / ours):                   %.2f" % (pillow / ours))


if __name__ == "__main__":
    main()
