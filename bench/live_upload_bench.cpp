// The live view and the upload over a pseudo-terminal with fotolyx-camsim pacing every byte at
// 115200 baud: ten live frames, and a Fine picture sent to the camera, each as a fraction of the
// line's ceiling (every byte both ways back to back: a live frame is 60 packets of 116 bytes,
// 59 ACKs and the LIVE_START; an upload is its 116-byte packets and one answer byte each).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "app/program.h"
#include "bench_shell.h"
#include "camsim/camsim_process.h"
#include "link/poll_loop.h"
#include "link/termios_line.h"
#include "ports/local_clock.h"
#include "ports/memory.h"

namespace {

using namespace fotolyx;
using Clock = std::chrono::steady_clock;

constexpr int LIVE_FRAMES = 10;
constexpr double BAUD = 115200.0;
constexpr double LIVE_FRAME_BYTES = 60 * 116 + 59 + 1;

class StillClock final : public LocalClock {
  public:
    LocalTime Now() const override { return {2002, 1, 15, 9, 5, 0}; }
};

// fotolyx-camsim with one picture on its card, for as long as the object lives.
class Camsim : public camsim::CamsimProcess {
  public:
    Camsim() : camsim::CamsimProcess(camsim::CamsimBesideThisProgram(), {"--pictures", "1"}) {}
};

// A program set up to the camera over the pseudo-terminal, with its index loaded.
struct Session {
    explicit Session(const std::string& path)
        : line([&] {
              PortMap map;
              map.Set(PORT_COM1, path);
              for (int port : {PORT_COM2, PORT_COM3, PORT_COM4}) {
                  map.Set(port, "/nonexistent/fotolyx-bench");
              }
              return map;
          }()),
          program(Ports{shell, loop, line, clock, memory, freeSpace},
                  HostEnvironment::FromProcess(true)) {
        loop.onTimer = [this](WindowId window, int id) { program.TimerFired(window, id); };
        loop.watchedFd = [this] {
            return program.receiver.Watching() ? line.FileDescriptor() : -1;
        };
        loop.onReadable = [this] { program.receiver.OnReadable(); };
        loop.onHangUp = [this] { program.receiver.OnHangUp(); };
        program.Startup();
        ready = Run([this] { return program.indexTransfer.index.IndexLoaded; });
    }
    ~Session() { program.Shutdown(); }

    // Runs until done() or failure; after each round the live frame just completed is painted,
    // which asks for the next one.
    bool Run(const std::function<bool()>& done, std::uint32_t* paintedFrames = nullptr) {
        const auto end = Clock::now() + std::chrono::seconds(120);
        while (!shell.failed && Clock::now() < end) {
            if (done()) {
                return true;
            }
            if (paintedFrames != nullptr && program.live.framesCompleted > *paintedFrames) {
                *paintedFrames = program.live.framesCompleted;
                program.PaintWindow(LIVE_IMAGE_WINDOW);
                continue;
            }
            loop.RunOnce(std::chrono::milliseconds(100));
        }
        return false;
    }

    BenchShell shell;
    PollLoop loop;
    TermiosLine line;
    StillClock clock;
    Memory memory;
    SystemFreeSpace freeSpace;
    Program program;
    bool ready = false;
};

void BM_LiveViewTenFramesOverPty(benchmark::State& state) {
    for (auto _ : state) {
        Camsim camsim;
        Session session(camsim.path());
        if (!session.ready) {
            state.SkipWithError("no camera");
            return;
        }
        Program& program = session.program;
        std::uint32_t painted = program.live.framesCompleted;
        const auto start = Clock::now();
        program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        const bool done = session.Run(
            [&] { return program.live.framesCompleted >= static_cast<std::uint32_t>(LIVE_FRAMES); },
            &painted);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        if (!done) {
            state.SkipWithError("live view did not complete");
            return;
        }
        const double ceiling = LIVE_FRAMES * LIVE_FRAME_BYTES * 10.0 / BAUD;
        state.counters["seconds"] = seconds;
        state.counters["ceiling_seconds"] = ceiling;
        state.counters["fraction_of_ceiling"] = ceiling / seconds;
    }
}
BENCHMARK(BM_LiveViewTenFramesOverPty)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FineUploadOverPty(benchmark::State& state) {
    for (auto _ : state) {
        Camsim camsim;
        Session session(camsim.path());
        if (!session.ready) {
            state.SkipWithError("no camera");
            return;
        }
        Program& program = session.program;
        DibBlock& work = *program.buffers.WorkImage;
        std::uint8_t* pixels = work.data();
        WriteLe32(pixels, 40);
        WriteLe32(pixels + 4, 640);
        WriteLe32(pixels + 8, 480);
        WriteLe16(pixels + 12, 1);
        WriteLe16(pixels + 14, 24);
        for (std::size_t i = 0; i < 640 * 480 * 3; ++i) {
            pixels[40 + i] = static_cast<std::uint8_t>((i * 7) / 640 + (i % 97));
        }
        PictureWindow* window = program.CreateOpenfileWindow("bench.bmp", false);
        // The preparation is timed apart from the transfer.
        const auto prepare = Clock::now();
        window->Command(CMD_DATA_OUT_FINE);
        const auto start = Clock::now();
        const bool done = session.Run([&] { return program.upload.uploadsDone > 0; });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!done) {
            state.SkipWithError("upload did not complete");
            return;
        }
        const double packets = 2.0 + DataPacketCount(program.upload.UploadSize) +
                               DataPacketCount(program.upload.UploadThumbSize);
        const double ceiling = (1.0 + packets * (PACKET_LENGTH + 1)) * 10.0 / BAUD;
        state.counters["prepare_seconds"] = std::chrono::duration<double>(start - prepare).count();
        state.counters["seconds"] = seconds;
        state.counters["ceiling_seconds"] = ceiling;
        state.counters["fraction_of_ceiling"] = ceiling / seconds;
        state.counters["picture_bytes"] = program.upload.UploadSize;
    }
}
BENCHMARK(BM_FineUploadOverPty)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
