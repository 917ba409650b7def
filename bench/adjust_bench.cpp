// Pixel algorithms on the sizes the program meets: the whole 640 x 480 picture on OK of the
// adjustment dialog, the colour treatment of a downloaded picture with smoothing, and one
// scroll step's re-render of the 160 x 120 preview. bench/adjust_vs_pillow.py compares the
// first with Pillow's four enhancers on the same picture.
#include <benchmark/benchmark.h>

#include <cstring>

#include "adjust/adjust_algorithms.h"
#include "imaging/colour_treatment.h"
#include "ports/memory.h"

namespace fotolyx {
namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

// The same picture as the peer script builds: pixel (x, y) counted from the top.
DibBlock BenchPicture() {
    DibBlock picture = *CreateDib(WIDTH, HEIGHT, 24);
    const std::size_t stride = DibStride(24, WIDTH);
    for (int y = 0; y < HEIGHT; ++y) {
        std::uint8_t* row = DibBits(picture) + static_cast<std::size_t>(HEIGHT - 1 - y) * stride;
        for (int x = 0; x < WIDTH; ++x) {
            const int r = (x * 255 / WIDTH + (x * y) % 17) % 256;
            const int g = (y * 255 / HEIGHT + (x + 3 * y) % 23) % 256;
            const int b = ((x + y) * 255 / (WIDTH + HEIGHT) + (x * 7 + y * 11) % 29) % 256;
            row[3 * x] = static_cast<std::uint8_t>(b);
            row[3 * x + 1] = static_cast<std::uint8_t>(g);
            row[3 * x + 2] = static_cast<std::uint8_t>(r);
        }
    }
    return picture;
}

struct Prepared {
    DibBlock picture = BenchPicture();
    DibBlock before{std::vector<std::uint8_t>(PREVIEW_BYTES)};
    DibBlock output{std::vector<std::uint8_t>(picture.size())};
    AdjustPlanes planes = AdjustPlanes::ForPicture(WIDTH, HEIGHT);
    AdjustEngine engine;

    Prepared() {
        MakePreviewPair(picture, before, output);
        engine.AnalysePreview(before, planes);
        engine.settings = {20, 20, 30, 40};
        engine.RenderManual(before, output, planes);
    }
};

void BM_ApplyToPicture(benchmark::State& state) {
    Prepared p;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.engine.ApplyToPicture(p.picture, p.output, p.planes));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ApplyToPicture)->Unit(benchmark::kMillisecond);

void BM_RenderManualPreview(benchmark::State& state) {
    Prepared p;
    int step = 0;
    for (auto _ : state) {
        p.engine.settings.brightness = step++ % 200 - 100;
        benchmark::DoNotOptimize(p.engine.RenderManual(p.before, p.output, p.planes));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderManualPreview)->Unit(benchmark::kMicrosecond);

void BM_ColourTreatmentWithSmoothing(benchmark::State& state) {
    const DibBlock original = BenchPicture();
    DibBlock picture = original;
    Memory memory;
    for (auto _ : state) {
        // Restoring the picture costs about a tenth of a millisecond.
        std::memcpy(picture.data(), original.data(), original.size());
        benchmark::DoNotOptimize(ApplyColourTreatment(picture, 0x51, memory));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColourTreatmentWithSmoothing)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fotolyx

BENCHMARK_MAIN();
