// The picture download's speed as the user meets it: fotolyx-camsim on a pseudo-terminal,
// paced at 115200, holding one 100 KB picture; `fotolyx-cli get 1` is timed against
// `fotolyx-cli list` (the same start-up, set-up and index without the download), and the
// difference is the download with its decode, treatment and save. Printed as payload bytes per
// second and as a fraction of the line's ceiling: 115200 / 10 bytes per second, of which 112
// in every 117 (a 116-byte packet and its ACK) are picture.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/program.h"
#include "bench_shell.h"
#include "camsim/camsim_process.h"
#include "link/poll_loop.h"
#include "link/termios_line.h"
#include "ports/local_clock.h"

namespace {

constexpr double LINE_CEILING = 115'200 / 10.0 * 112.0 / 117.0;  // 11,028 bytes/s
constexpr std::size_t PICTURE_BYTES = 100'000;

std::filesystem::path BinDir() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

// A JPEG of coloured noise, one more row at a time until it holds about `bytes` bytes.
std::vector<std::uint8_t> NoiseJpeg(std::size_t bytes) {
    std::mt19937 random(7);
    for (int height = 64;; height += 8) {
        const int width = 320;
        jpeg_compress_struct compressor{};
        jpeg_error_mgr errors{};
        compressor.err = jpeg_std_error(&errors);
        jpeg_create_compress(&compressor);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&compressor, &buffer, &size);
        compressor.image_width = width;
        compressor.image_height = static_cast<JDIMENSION>(height);
        compressor.input_components = 3;
        compressor.in_color_space = JCS_RGB;
        jpeg_set_defaults(&compressor);
        jpeg_set_quality(&compressor, 75, TRUE);
        jpeg_start_compress(&compressor, TRUE);
        std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
        while (compressor.next_scanline < compressor.image_height) {
            for (auto& sample : row) {
                sample = static_cast<JSAMPLE>(random() & 0xFF);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&compressor, rows, 1);
        }
        jpeg_finish_compress(&compressor);
        std::vector<std::uint8_t> jpeg(buffer, buffer + size);
        jpeg_destroy_compress(&compressor);
        std::free(buffer);
        if (jpeg.size() >= bytes) {
            return jpeg;
        }
    }
}

class Camsim : public fotolyx::camsim::CamsimProcess {
  public:
    explicit Camsim(const std::filesystem::path& folder)
        : fotolyx::camsim::CamsimProcess(fotolyx::camsim::CamsimBesideThisProgram(),
                                         {"--picture-folder", folder.string()}) {}
};

// Runs fotolyx-cli; the wall time in seconds, negative when it failed.
double TimedCli(const std::string& arguments) {
    const std::string command =
        (BinDir() / "fotolyx-cli").string() + " " + arguments + " >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

void BM_GetOf100KbPictureAt115200(benchmark::State& state) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("fotolyx-get-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "card");
    std::filesystem::create_directories(root / "out");
    const auto jpeg = NoiseJpeg(PICTURE_BYTES);
    std::ofstream(root / "card" / "picture.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    for (auto _ : state) {
        Camsim camsim(root / "card");
        if (camsim.path().empty()) {
            state.SkipWithError("fotolyx-camsim did not start");
            break;
        }
        std::string ports = " --port COM1=" + camsim.path();
        for (const char* port : {"COM2", "COM3", "COM4"}) {
            ports += std::string(" --port ") + port + "=/nonexistent/fotolyx-bench";
        }
        const double list = TimedCli("list" + ports);
        const double get = TimedCli("get 1 --overwrite --dir " + (root / "out").string() + ports);
        if (list < 0 || get < 0) {
            state.SkipWithError("fotolyx-cli failed");
            break;
        }
        const double download = get - list;
        state.counters["picture_bytes"] = static_cast<double>(jpeg.size());
        state.counters["list_s"] = list;
        state.counters["get_s"] = get;
        state.counters["payload_bytes_per_s"] = jpeg.size() / download;
        state.counters["fraction_of_ceiling"] = jpeg.size() / download / LINE_CEILING;
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}
BENCHMARK(BM_GetOf100KbPictureAt115200)->Iterations(1)->Unit(benchmark::kSecond);

class StillClock final : public fotolyx::LocalClock {
  public:
    fotolyx::LocalTime Now() const override { return {}; }
};

// The same download inside one process, with the save as `get` does it: from the first digit
// to the saved file, and from the picture header to the last data packet (the line's share).
void BM_SavedDownloadInProcess(benchmark::State& state) {
    using namespace fotolyx;
    const auto root = std::filesystem::temp_directory_path() /
                      ("fotolyx-get-bench-in-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "card");
    const auto jpeg = NoiseJpeg(PICTURE_BYTES);
    std::ofstream(root / "card" / "picture.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    for (auto _ : state) {
        Camsim camsim(root / "card");
        PortMap map;
        map.Set(PORT_COM1, camsim.path());
        for (int port : {PORT_COM2, PORT_COM3, PORT_COM4}) {
            map.Set(port, "/nonexistent/fotolyx-bench");
        }
        BenchShell shell;
        shell.saveAnswer = SaveDialogResult{(root / "saved.jpg").string(), 1};
        PollLoop loop;
        TermiosLine line(map);
        StillClock clock;
        Memory memory;
        SystemFreeSpace freeSpace;
        HostEnvironment environment = HostEnvironment::FromProcess(true);
        environment.startDirectory = environment.tempDirectory;
        Program program(Ports{shell, loop, line, clock, memory, freeSpace}, environment);
        loop.onTimer = [&program](WindowId window, int id) { program.TimerFired(window, id); };
        loop.watchedFd = [&] { return program.receiver.Watching() ? line.FileDescriptor() : -1; };
        using Clock = std::chrono::steady_clock;
        Clock::time_point header{};
        Clock::time_point lastPacket{};
        Program& pictures = program;
        loop.onReadable = [&program] { program.receiver.OnReadable(); };
        // The download handler, timed: the header's arrival, and the last packet's.
        auto handler = program.receiver.transferHandlers[1];
        program.receiver.transferHandlers[1] = [&, handler] {
            const auto now = Clock::now();
            const bool waiting = pictures.pictureDownload.download.CaptureWaiting;
            handler();
            if (pictures.pictureDownload.download.blockCounter == 1 &&
                header == Clock::time_point{}) {
                header = now;
            }
            if (waiting && !pictures.pictureDownload.download.CaptureWaiting) {
                lastPacket = now;
            }
        };
        loop.onHangUp = [&program] { program.receiver.OnHangUp(); };
        program.Startup();
        if (!loop.RunUntil([&] { return pictures.indexTransfer.index.IndexLoaded || shell.failed; },
                           std::chrono::seconds(30)) ||
            shell.failed) {
            state.SkipWithError("no index");
            break;
        }
        pictures.previewWindow.LButtonDown(70, 105, 0);
        const auto start = Clock::now();
        pictures.previewWindow.Command(CMD_SAVE_AS);
        loop.RunUntil([&] { return pictures.captureWindows.Ids().empty() || shell.failed; },
                      std::chrono::seconds(60));
        const auto end = Clock::now();
        program.Shutdown();
        if (shell.failed || !std::filesystem::exists(root / "saved.jpg")) {
            state.SkipWithError("the download failed");
            break;
        }
        const double whole = std::chrono::duration<double>(end - start).count();
        // The header's packet came before `header` was taken: count one more packet time.
        const double packets = (jpeg.size() / 112 + 1);
        const double lineSeconds = std::chrono::duration<double>(lastPacket - header).count();
        state.counters["whole_s"] = whole;
        state.counters["fraction_of_ceiling"] = jpeg.size() / whole / LINE_CEILING;
        state.counters["data_packets_fraction_of_ceiling"] =
            packets * 112 / lineSeconds / LINE_CEILING;
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}
BENCHMARK(BM_SavedDownloadInProcess)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
