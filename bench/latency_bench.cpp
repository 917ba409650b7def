// The PC adapter's latency, in virtual time: a 100 KB picture download and ten live frames at
// 115200 through the line model, with the adapter handing received bytes over at once (a direct
// line), every 1 ms (the program's low-latency request honoured) and every 16 ms (the request
// not honoured, the usual latency timer), each with and without jitter. Each reports its payload
// rate as a fraction of the line's ceiling (112 payload bytes per 116-byte packet and 1-byte
// answer) and of the direct line. Virtual time makes the numbers exact and independent of the
// machine; the wall time Google Benchmark prints is only what the simulation cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

#include "app/program.h"
#include "camsim/picture_maker.h"
#include "support/link_session.h"
#include "windows/live_image_window.h"

namespace {

using namespace fotolyx;
using camsim::Micros;

constexpr std::size_t PICTURE_BYTES = 100 * 1024;
constexpr std::uint32_t LIVE_FRAMES = 10;
constexpr double MICROS_PER_SECOND = 1e6;
constexpr int LIMIT_MS = 600'000;

// A 100 KB JPEG: a picture of a scene with comment segments after its start marker.
const camsim::SimPicture& LargePicture() {
    static const camsim::SimPicture picture = [] {
        constexpr std::size_t MAX_SEGMENT = 0xFFFF;
        camsim::SimPicture made = camsim::MakeSamplePictures(1)[0];
        made.jpeg = camsim::MakeSceneJpeg(made.width, made.height, 3, 90);
        std::vector<std::uint8_t> comments;
        while (made.jpeg.size() + comments.size() < PICTURE_BYTES) {
            const std::size_t missing = PICTURE_BYTES - made.jpeg.size() - comments.size();
            const std::size_t length = std::clamp<std::size_t>(missing - 2, 2, MAX_SEGMENT);
            comments.insert(comments.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8),
                                             static_cast<std::uint8_t>(length & 0xFF)});
            comments.insert(comments.end(), length - 2, 'x');
        }
        made.jpeg.insert(made.jpeg.begin() + 2, comments.begin(), comments.end());
        return made;
    }();
    return picture;
}

// Payload bytes per second the line carries at most: 112 of every 117 byte-times at 115200.
double CeilingBytesPerSecond() {
    return static_cast<double>(PACKET_PAYLOAD) * MICROS_PER_SECOND /
           static_cast<double>((PACKET_LENGTH + 1) * camsim::ByteTime(BAUD_115200));
}

struct Run {
    Micros downloadMicros = 0;
    Micros liveMicros = 0;
    bool ok = false;
};

Run Measure(Micros adapterLatency, Micros jitter) {
    Run run;
    testing::LinkSession session;
    session.line.options.adapterLatency = adapterLatency;
    session.line.options.jitter = jitter;
    camsim::CameraConfig config;
    config.pictures = {LargePicture()};
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    Program& pictures = program;
    if (!session.RunUntil([&] { return pictures.indexTransfer.index.IndexLoaded; }, LIMIT_MS)) {
        return run;
    }
    // A double-click on the first thumbnail: the download into a Capture window.
    Micros start = session.loop.Now();
    pictures.previewWindow.LButtonDown(70, 105, 0);
    pictures.previewWindow.Command(CMD_DATA_IN);
    const bool downloaded = session.RunUntil(
        [&] {
            return !pictures.pictureDownload.download.CaptureWaiting &&
                   !pictures.captureWindows.Ids().empty();
        },
        LIMIT_MS);
    run.downloadMicros = session.loop.Now() - start;

    start = session.loop.Now();
    const std::uint32_t framesBefore = program.live.framesCompleted;
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    const bool live = session.RunUntil(
        [&] { return program.live.framesCompleted - framesBefore >= LIVE_FRAMES; }, LIMIT_MS);
    run.liveMicros = session.loop.Now() - start;
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    run.ok = downloaded && live && session.shell.messages.empty();
    return run;
}

void Latency(benchmark::State& state) {
    const Micros latency = state.range(0) * 1000;
    const Micros jitter = state.range(1);
    const Run direct = Measure(0, jitter);
    Run run;
    for (auto _ : state) {
        run = Measure(latency, jitter);
    }
    if (!run.ok || !direct.ok) {
        state.SkipWithError("the download or the live view did not complete");
        return;
    }
    const double ceiling = CeilingBytesPerSecond();
    const double downloadRate = static_cast<double>(LargePicture().jpeg.size()) *
                                MICROS_PER_SECOND / static_cast<double>(run.downloadMicros);
    const double liveBytes = static_cast<double>(LIVE_FRAMES) * LIVE_FRAME_PACKETS * PACKET_PAYLOAD;
    const double liveRate = liveBytes * MICROS_PER_SECOND / static_cast<double>(run.liveMicros);
    state.counters["download_s"] = static_cast<double>(run.downloadMicros) / MICROS_PER_SECOND;
    state.counters["download_of_ceiling"] = downloadRate / ceiling;
    state.counters["download_of_direct"] =
        static_cast<double>(direct.downloadMicros) / static_cast<double>(run.downloadMicros);
    state.counters["live_fps"] =
        static_cast<double>(LIVE_FRAMES) * MICROS_PER_SECOND / static_cast<double>(run.liveMicros);
    state.counters["live_of_ceiling"] = liveRate / ceiling;
    state.counters["live_of_direct"] =
        static_cast<double>(direct.liveMicros) / static_cast<double>(run.liveMicros);
}

// Adapter latency in milliseconds (0 a direct line, 1 the low-latency request honoured, 16 not)
// and each byte's jitter in microseconds (0: the camera answers at once and every packet meets
// the latency timer at the same phase, the worst case; 20: a little slack between bytes spreads
// the phases).
BENCHMARK(Latency)
    ->ArgsProduct({{0, 1, 16}, {0, 20}})
    ->ArgNames({"latency_ms", "jitter_us"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
