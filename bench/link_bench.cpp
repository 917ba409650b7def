// The link's speed: over a pseudo-terminal with fotolyx-camsim pacing every byte at the line
// speed, the payload throughput of a long run of data packets as a fraction of the line's
// ceiling (112 payload bytes per 116 + 1 bytes on the line) and the camera's measured round
// trip (last byte of a packet out -> the program's ACK in); and, without pacing, how many
// packets the receiver and a handler get through per second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/program.h"
#include "bench_shell.h"
#include "link/link_setup.h"
#include "link/poll_loop.h"
#include "link/protocol.h"
#include "link/receiver.h"
#include "link/termios_line.h"
#include "ports/local_clock.h"
#include "ports/memory.h"

extern char** environ;

namespace {

using namespace fotolyx;

constexpr std::uint32_t RUN_PACKETS = 1000;
constexpr TransferMode LARGE_PHOTO_MODE = TRANSFER_LIVE_PHOTO;

class StillClock final : public LocalClock {
  public:
    LocalTime Now() const override { return {}; }
};

// Acknowledges a run of large-photo packets the way the transfers do: packet test, ACK after
// each good one but the last, NAK for a bad one.
struct PacketCounter {
    LinkState& link;
    SerialLine& line;
    std::uint32_t counter = 0;
    std::uint32_t wanted = 0;
    std::uint32_t bad = 0;
    std::chrono::steady_clock::time_point first{};
    std::chrono::steady_clock::time_point last{};
    // When the host last woke for readable bytes, and from there to each ACK written.
    std::chrono::steady_clock::time_point wokeAt{};
    std::vector<double> turnaroundMicros{};

    void Handle() {
        link.WaitingForData = 0;
        const auto now = std::chrono::steady_clock::now();
        if (ClassifyPacket(link.ReceiveBuffer, counter) != PacketKind::GoodData) {
            ++bad;
            const std::uint8_t nak = NAK;
            line.Write({&nak, 1});
            return;
        }
        if (counter == 0) {
            first = now;
        }
        last = now;
        ++counter;
        if (counter < wanted) {
            const std::uint8_t ack = ACK;
            line.Write({&ack, 1});
            turnaroundMicros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wokeAt)
                    .count());
        }
    }
};

std::filesystem::path BinDir() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

// fotolyx-camsim with --stats; Stop() ends it and returns what it printed on stderr.
class Camsim {
  public:
    Camsim() {
        std::string program = (BinDir() / "fotolyx-camsim").string();
        std::string statsOption = "--stats";
        char* argv[] = {program.data(), statsOption.data(), nullptr};
        int out[2];
        int err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        err_ = err[0];
        char c = 0;
        pollfd wait{out[0], POLLIN, 0};
        while (pid_ > 0 && ::poll(&wait, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
            path_.push_back(c);
        }
        ::close(out[0]);
    }
    ~Camsim() { Stop(); }
    std::string Stop() {
        std::string text;
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            char buffer[512];
            ssize_t got = 0;
            while ((got = ::read(err_, buffer, sizeof buffer)) > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
            }
            ::close(err_);
        }
        return text;
    }
    const std::string& path() const { return path_; }

  private:
    pid_t pid_ = -1;
    int err_ = -1;
    std::string path_;
};

double NumberAfter(const std::string& text, const std::string& key) {
    const auto at = text.find(key);
    return at == std::string::npos ? -1 : std::stod(text.substr(at + key.size()));
}

void BM_PacedThroughputOverPty(benchmark::State& state) {
    for (auto _ : state) {
        Camsim camsim;
        if (camsim.path().empty()) {
            state.SkipWithError("fotolyx-camsim did not start");
            return;
        }
        PortMap map;
        map.Set(PORT_COM1, camsim.path());
        for (int port : {PORT_COM2, PORT_COM3, PORT_COM4}) {
            map.Set(port, "/nonexistent/fotolyx-bench");
        }
        BenchShell shell;
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
        PacketCounter packets{program.link, line};
        loop.onReadable = [&program, &packets] {
            packets.wokeAt = std::chrono::steady_clock::now();
            program.receiver.OnReadable();
        };
        loop.onHangUp = [&program] { program.receiver.OnHangUp(); };
        program.Startup();
        if (!loop.RunUntil([&] { return program.link.SetupPhase == 0 || shell.failed; },
                           std::chrono::seconds(20)) ||
            shell.failed) {
            state.SkipWithError("the link could not be set up");
            return;
        }
        // The picture index comes first; the measured run starts once it is through.
        if (!loop.RunUntil([&] { return program.indexTransfer.index.IndexLoaded || shell.failed; },
                           std::chrono::seconds(20)) ||
            shell.failed) {
            state.SkipWithError("the picture index did not arrive");
            return;
        }
        packets.wanted = RUN_PACKETS;
        program.receiver.transferHandlers[LARGE_PHOTO_MODE] = [&packets] { packets.Handle(); };
        program.link.TransferMode = LARGE_PHOTO_MODE;
        const std::uint8_t start = PHOTO_START;
        line.Write({&start, 1});
        loop.RunUntil([&] { return packets.counter >= RUN_PACKETS; }, std::chrono::seconds(60));
        const std::uint8_t stop = PHOTO_STOP;
        line.Write({&stop, 1});
        program.Shutdown();
        const std::string stats = camsim.Stop();

        const double seconds = std::chrono::duration<double>(packets.last - packets.first).count();
        const double payloadPerSecond = (packets.counter - 1) * 112.0 / seconds;
        const double ceiling = program.link.SavedLineSpeed / 10.0 * 112.0 / 117.0;
        state.counters["line_baud"] = program.link.SavedLineSpeed;
        state.counters["packets"] = packets.counter;
        state.counters["bad_packets"] = packets.bad;
        state.counters["payload_bytes_per_s"] = payloadPerSecond;
        state.counters["fraction_of_ceiling"] = payloadPerSecond / ceiling;
        auto& turnaround = packets.turnaroundMicros;
        std::sort(turnaround.begin(), turnaround.end());
        if (!turnaround.empty()) {
            state.counters["turnaround_us_median"] = turnaround[turnaround.size() / 2];
            state.counters["turnaround_us_p99"] = turnaround[turnaround.size() * 99 / 100];
        }
        state.counters["round_trip_us_mean"] = NumberAfter(stats, "mean=");
        state.counters["round_trip_us_median"] = NumberAfter(stats, "median=");
        state.counters["round_trip_us_p99"] = NumberAfter(stats, "p99=");
        state.counters["round_trip_us_max"] = NumberAfter(stats, "max=");
    }
}
BENCHMARK(BM_PacedThroughputOverPty)->Iterations(1)->Unit(benchmark::kMillisecond);

// A line that hands out a prepared byte stream as fast as it is read.
class MemoryLine final : public SerialLine {
  public:
    LineOpenResult Open(int) override { return LineOpenResult::Opened; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    void Write(std::span<const std::uint8_t> bytes) override { written += bytes.size(); }
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), stream.size() - position);
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
        position += count;
        return count;
    }
    bool SetBaudRate(std::uint32_t) override { return true; }
    void Purge() override {}

    std::vector<std::uint8_t> stream;
    std::size_t position = 0;
    std::size_t written = 0;
};

void BM_UnpacedPacketsPerSecond(benchmark::State& state) {
    constexpr std::uint32_t packetCount = 2160;
    MemoryLine line;
    std::vector<std::uint8_t> payload(112, 0x5A);
    for (std::uint32_t k = 0; k < packetCount; ++k) {
        const Packet packet = MakeDataPacket(k, payload);
        line.stream.insert(line.stream.end(), packet.begin(), packet.end());
    }
    LinkState link;
    link.SetupPhase = 0;
    link.TransferMode = LARGE_PHOTO_MODE;
    Receiver receiver(link, line);
    PacketCounter packets{link, line};
    packets.wanted = packetCount;
    receiver.transferHandlers[LARGE_PHOTO_MODE] = [&packets] { packets.Handle(); };
    for (auto _ : state) {
        line.position = 0;
        packets.counter = 0;
        receiver.LineOpened();
        receiver.OnReadable();
        benchmark::DoNotOptimize(packets.counter);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * packetCount);
    state.counters["bad_packets"] = packets.bad;
}
BENCHMARK(BM_UnpacedPacketsPerSecond);

}  // namespace

BENCHMARK_MAIN();
