// The window program's start with a camera of 4 and of 200 pictures: its peak resident memory,
// the time from start to the first thumbnail and to the last, and the index transfer's time as a
// fraction of the line's ceiling for the bytes it moved (every byte both ways back to back at
// 115200 baud, counted by the camera process's own reads and writes). Each case runs in a
// process of its own (this program started again with --child N), so that the peaks are its own.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "gui_bench_session.h"

extern char** environ;

namespace {

using namespace fotolyx;
using bench::Clock;

// Bytes the camera process read and wrote so far (its terminal's traffic, both ways).
long long CameraTraffic(pid_t camera) {
    std::ifstream io("/proc/" + std::to_string(camera) + "/io");
    std::string key;
    long long value = 0;
    long long total = 0;
    while (io >> key >> value) {
        if (key == "rchar:" || key == "wchar:") {
            total += value;
        }
    }
    return total;
}

// The peak resident memory of this process, in bytes.
long long PeakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6)) * 1024;
        }
    }
    return 0;
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// One start: prints "first last index_seconds index_bytes peak_bytes" on stdout.
int RunChild(int argc, char** argv, int pictures) {
    const auto application = bench::MakeApplication(argc, argv);
    bench::GuiBenchSession session({"--pictures", std::to_string(pictures), "--stats"});
    if (!session.CameraStarted()) {
        return 1;
    }
    Program& program = session.program();
    const PictureIndex& index = program.indexTransfer.index;
    Clock::time_point indexStart{};
    Clock::time_point first{};
    long long bytesAtStart = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (indexStart == Clock::time_point{} && program.link.SetupPhase == 0) {
            indexStart = Clock::now();
            bytesAtStart = CameraTraffic(session.CameraPid());
        }
        if (first == Clock::time_point{} && index.receivedCount >= 1) {
            first = Clock::now();
        }
    });
    watch.start(1);
    if (!bench::RunUntil([&] { return index.IndexLoaded; }, std::chrono::minutes(8))) {
        return 1;
    }
    const Clock::time_point last = Clock::now();
    const long long bytes = CameraTraffic(session.CameraPid()) - bytesAtStart;
    // Let the Preview paint the thumbnails it now holds before the peak is read.
    bench::RunUntil([] { return false; }, std::chrono::milliseconds(500));
    std::cout << Seconds(first - session.Started()) << ' ' << Seconds(last - session.Started())
              << ' ' << Seconds(last - indexStart) << ' ' << bytes << ' ' << PeakResident()
              << std::endl;
    return 0;
}

void BM_GuiStart(benchmark::State& state) {
    const int pictures = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int output[2];
        if (pipe(output) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        const std::string count = std::to_string(pictures);
        char self[] = "/proc/self/exe";
        char child[] = "--child";
        char* arguments[] = {self, child, const_cast<char*>(count.c_str()), nullptr};
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, self, &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        std::string text;
        char buffer[256];
        for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        close(output[0]);
        int status = 0;
        if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("the start did not complete");
            return;
        }
        std::istringstream values(text);
        double first = 0;
        double last = 0;
        double indexSeconds = 0;
        double bytes = 0;
        double peak = 0;
        values >> first >> last >> indexSeconds >> bytes >> peak;
        const double ceiling = bytes * bench::BITS_PER_BYTE / bench::BAUD;
        state.counters["first_thumbnail_s"] = first;
        state.counters["last_thumbnail_s"] = last;
        state.counters["index_s"] = indexSeconds;
        state.counters["index_bytes"] = bytes;
        state.counters["index_ceiling_s"] = ceiling;
        state.counters["index_over_ceiling"] = indexSeconds / ceiling;
        state.counters["peak_rss_MB"] = peak / 1e6;
    }
}
BENCHMARK(BM_GuiStart)->Arg(4)->Arg(200)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") {
        return RunChild(argc, argv, std::stoi(argv[2]));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
