// The 256-colour reduction of a 640 x 480 photo-like picture.
//
//   colour_reduction_bench [benchmark options]   runs the benchmarks
//   colour_reduction_bench --write-picture FILE  writes the picture as a 24-bit BMP file, so
//                                                 other programs can be timed on the same one
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_shell.h"
#include "imaging/bmp_file.h"
#include "imaging/colour_reduction.h"
#include "ports/shell.h"

namespace fotolyx {
namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

std::uint8_t Clamp(double value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// A sky gradient over a ground gradient, a sun, a colour wheel, two lit boxes and sensor
// noise.
DibBlock PhotoLikePicture() {
    auto picture = CreateDib(WIDTH, HEIGHT, 24);
    std::uint32_t seed = 2002;
    const std::size_t stride = DibStride(24, WIDTH);
    for (int y = 0; y < HEIGHT; ++y) {
        std::uint8_t* row = DibBits(*picture) + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < WIDTH; ++x) {
            const double top = y / double(HEIGHT);  // rows are stored bottom-up
            double r = 0;
            double g = 0;
            double b = 0;
            if (top > 0.45) {
                r = 90 + 120 * (1 - top) + 30 * std::sin(x / 37.0);
                g = 140 + 90 * (1 - top);
                b = 220 + 30 * top;
            } else {
                r = 70 + 60 * top + 25 * std::sin(x / 11.0 + y / 17.0);
                g = 110 + 80 * top;
                b = 40 + 30 * std::cos(x / 23.0);
            }
            const double sun = std::hypot(x - 480.0, y - 380.0);
            if (sun < 45) {
                r = 255;
                g = 240 - sun;
                b = 160 - 2 * sun;
            }
            const double wheel = std::hypot(x - 150.0, y - 370.0);
            if (wheel < 80) {  // a colour wheel: every hue, paling towards the middle
                const double angle = std::atan2(y - 370.0, x - 150.0);
                const double pale = 1 - wheel / 80;
                r = 255 * (pale + (1 - pale) * (0.5 + 0.5 * std::cos(angle)));
                g = 255 * (pale + (1 - pale) * (0.5 + 0.5 * std::cos(angle - 2.094)));
                b = 255 * (pale + (1 - pale) * (0.5 + 0.5 * std::cos(angle + 2.094)));
            }
            if (x > 80 && x < 260 && y > 60 && y < 200) {
                const double light = 0.6 + 0.4 * (x - 80) / 180.0;
                r = 180 * light;
                g = 40 * light;
                b = 35 * light;
            }
            if (x > 300 && x < 380 && y > 30 && y < 240) {
                r = g = b = 60 + 150 * (y - 30) / 210.0;
            }
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<int>(seed >> 27) - 16;
            std::uint8_t* pixel = row + 3 * x;
            pixel[0] = Clamp(b + noise);
            pixel[1] = Clamp(g + noise * 0.8);
            pixel[2] = Clamp(r + noise * 1.1);
        }
    }
    return std::move(*picture);
}

void BM_ReduceTo256Colours(benchmark::State& state) {
    const DibBlock picture = PhotoLikePicture();
    std::vector<std::uint8_t> output(ReducedDibSize(WIDTH, HEIGHT));
    BenchShell shell;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReduceTo256Colours(shell, picture, output));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
}
BENCHMARK(BM_ReduceTo256Colours)->Unit(benchmark::kMillisecond);

void BM_BuildPopularityPalette(benchmark::State& state) {
    const DibBlock picture = PhotoLikePicture();
    LogPalette palette;
    BenchShell shell;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildPopularityPalette(shell, picture, palette));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildPopularityPalette)->Unit(benchmark::kMillisecond);

// The whole job as a user sees it: read the 24-bit file, reduce, write the 8-bit file
// (written safely, so this includes flushing it to disk).
void BM_ReduceBmpFileTo256Colours(benchmark::State& state) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("fotolyx-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto source = folder / "in.bmp";
    const auto target = folder / "out.bmp";
    WriteDibFile(source, PhotoLikePicture());
    BenchShell shell;
    for (auto _ : state) {
        const DibFileResult read = LoadDibFile(source);
        auto reduced = DibBlock::Allocate(ReducedDibSize(WIDTH, HEIGHT));
        if (!read || !reduced || !ReduceTo256Colours(shell, *read.block, reduced->bytes()) ||
            !WriteDibFile(target, *reduced)) {
            state.SkipWithError("the file job failed");
            break;
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ReduceBmpFileTo256Colours)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fotolyx

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-picture") == 0) {
        if (fotolyx::WriteDibFile(argv[2], fotolyx::PhotoLikePicture()) != 1) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
