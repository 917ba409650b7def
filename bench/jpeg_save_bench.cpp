// The Openfile window's JPEG save (BMP -> JPEG -> Exif save with thumbnail) and its two BMP
// saves of a 640 x 480 picture and the codec's two operations alone, against two chains of common
// tools doing the same job (bench/jpeg_peer_chains.sh), timed in the same run. Prints both ratios
// at the end.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench_shell.h"
#include "imaging/bmp_file.h"
#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "imaging/save_pipeline.h"
#include "ports/free_space.h"
#include "ports/local_clock.h"
#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {
namespace {

class BenchClock final : public LocalClock {
  public:
    LocalTime Now() const override { return {2002, 3, 4, 5, 6, 7}; }
};

// A scratch folder holding the picture, as memory and as a BMP file, and its JPEG.
struct BenchWorld {
    std::filesystem::path folder;
    DibBlock picture;
    BenchShell shell;
    BenchClock clock;
    SystemFreeSpace freeSpace;
    Memory memory;
    JpegState jpeg;
    SaveState save;
    std::string initialDirectory;

    BenchWorld() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fotolyx-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        // Photograph-like: smooth shapes with a little grain, about 50 KB as a JPEG at 75.
        picture = *CreateDib(640, 480, 24);
        std::uint8_t* pixels = DibBits(picture);
        std::uint32_t grain = 12345;
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                grain = grain * 1103515245u + 12345u;
                const int noise = static_cast<int>((grain >> 16) & 15) - 8;
                const double shape = std::sin(x / 37.0) * std::cos(y / 23.0);
                const auto clamp = [](double v) {
                    return static_cast<std::uint8_t>(std::min(255.0, std::max(0.0, v)));
                };
                std::uint8_t* p = pixels + 1920 * y + 3 * x;
                p[0] = clamp(96 + 80 * shape + noise + x / 10.0);
                p[1] = clamp(128 + 60 * std::sin((x + y) / 51.0) + noise);
                p[2] = clamp(160 - 70 * shape + noise - y / 12.0);
            }
        }
        WritePictureBmp(folder / "picture.bmp", picture, false);
        CompressBmpToJpeg(jpeg, folder / "picture.bmp", folder / "picture.jpg", "2x1,1x1,1x1", 75);
    }
    ~BenchWorld() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }

    SaveContext Context() {
        return SaveContext{shell,
                           clock,
                           freeSpace,
                           memory,
                           jpeg,
                           save,
                           folder / "scratchA",
                           folder / "scratchB",
                           folder,
                           initialDirectory};
    }
};

BenchWorld& World() {
    static BenchWorld world;
    return world;
}

void OpenfileJpegSave(benchmark::State& state) {
    BenchWorld& world = World();
    world.shell.saveAnswer = {(world.folder / "saved.jpg").string(), SAVE_FILTER_JPEG};
    SaveContext context = world.Context();
    for (auto _ : state) {
        const SaveAsResult result =
            SaveAsFlow(context, SaveWindowKind::Openfile, world.picture, "bench");
        if (!result.written || result.exifResult != 1) {
            state.SkipWithError("the save failed");
            break;
        }
    }
}

// The Openfile window's two BMP saves, each over the file the previous iteration wrote.
void OpenfileBmpSave(benchmark::State& state, int filterIndex, const char* name) {
    BenchWorld& world = World();
    world.shell.saveAnswer = {(world.folder / name).string(), filterIndex};
    SaveContext context = world.Context();
    for (auto _ : state) {
        if (!SaveAsFlow(context, SaveWindowKind::Openfile, world.picture, "bench").written) {
            state.SkipWithError("the save failed");
            break;
        }
    }
}

void OpenfileBmp24Save(benchmark::State& state) {
    OpenfileBmpSave(state, SAVE_FILTER_FULL_COLOUR_BMP, "saved24.bmp");
}
void OpenfileBmp8Save(benchmark::State& state) {
    OpenfileBmpSave(state, SAVE_FILTER_256_COLOUR_BMP, "saved8.bmp");
}

void CompressBmpToJpegAlone(benchmark::State& state) {
    BenchWorld& world = World();
    for (auto _ : state) {
        if (CompressBmpToJpeg(world.jpeg, world.folder / "picture.bmp", world.folder / "out.jpg",
                              SAMPLING_2X1, SAVE_AS_QUALITY) != 1) {
            state.SkipWithError("compression failed");
            break;
        }
    }
}

void DecompressJpegToBmpAlone(benchmark::State& state) {
    BenchWorld& world = World();
    for (auto _ : state) {
        if (DecompressJpegToBmp(world.jpeg, world.folder / "picture.jpg", world.folder / "out.bmp",
                                0) != 1) {
            state.SkipWithError("decompression failed");
            break;
        }
    }
    state.counters["jpeg_bytes"] =
        static_cast<double>(std::filesystem::file_size(world.folder / "picture.jpg"));
}

void PeerChain(benchmark::State& state, const char* mode) {
    BenchWorld& world = World();
    const std::filesystem::path script =
        std::filesystem::path(__FILE__).parent_path() / "jpeg_peer_chains.sh";
    const std::string command = "'" + script.string() + "' " + mode + " '" +
                                (world.folder / "picture.bmp").string() + "' '" +
                                world.folder.string() + "' >/dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the peer chain failed (are its tools installed?)");
            break;
        }
    }
}

void CommonPeerChain(benchmark::State& state) {
    PeerChain(state, "common");
}
void FastPeerChain(benchmark::State& state) {
    PeerChain(state, "fast");
}

BENCHMARK(OpenfileJpegSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OpenfileBmp24Save)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OpenfileBmp8Save)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CompressBmpToJpegAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecompressJpegToBmpAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CommonPeerChain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(FastPeerChain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// Keeps the wall time per iteration of every benchmark for the ratios.
class RatioReporter final : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0) {
                seconds[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace
}  // namespace fotolyx

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fotolyx::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& s = reporter.seconds;
    const auto find = [&](const std::string& prefix) {
        for (auto it = s.begin(); it != s.end(); ++it) {
            if (it->first.rfind(prefix, 0) == 0) {
                return it;
            }
        }
        return s.end();
    };
    const auto save = find("OpenfileJpegSave");
    const auto common = find("CommonPeerChain");
    const auto fast = find("FastPeerChain");
    if (save != s.end() && common != s.end()) {
        std::printf("Common chain / our Openfile JPEG save: %.1fx (aim: at least 20x)\n",
                    common->second / save->second);
    }
    if (save != s.end() && fast != s.end()) {
        std::printf("Fast chain / our Openfile JPEG save:   %.1fx (aim: at least 2x)\n",
                    fast->second / save->second);
    }
    benchmark::Shutdown();
    return 0;
}
