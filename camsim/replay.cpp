#include "camsim/replay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>

namespace fotolyx::camsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int IDLE_POLL_MS = 1000;

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    return text;
}

}  // namespace

bool LoadTrace(const std::string& path, std::vector<TraceRecord>& records, std::string& error) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line != TRACE_HEADER) {
        error = path + " is not a line trace";
        return false;
    }
    // Records since the last opening of a port; a port that never answered is left out, so the
    // replay starts where the camera was found.
    std::size_t openedAt = 0;
    bool answered = false;
    for (int number = 2; std::getline(in, line); ++number) {
        if (line.find(" open ") != std::string::npos && line.find(';') == std::string::npos) {
            if (!answered) {
                records.resize(openedAt);
            }
            openedAt = records.size();
            answered = false;
            continue;
        }
        bool bad = false;
        auto record = ParseTraceLine(line, bad);
        if (bad) {
            error = path + ":" + std::to_string(number) + ": damaged record";
            return false;
        }
        if (record) {
            answered = answered || record->direction == TraceDirection::Camera;
            records.push_back(std::move(*record));
        }
    }
    return true;
}

int RunReplay(const std::vector<TraceRecord>& records) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[256] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        std::cerr << "fotolyx-camsim: cannot create a pseudo-terminal: " << std::strerror(errno)
                  << '\n';
        return 1;
    }
    // Held open so the terminal lives between the program's openings.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios settings{};
    if (slave >= 0 && ::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &handled, nullptr);
    const int signals = ::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
    std::cout << name << std::endl;

    std::size_t next = 0;
    std::vector<std::uint8_t> received;  // the program's bytes not yet matched
    double anchorMs = 0;                 // trace time of the last pc record matched
    Clock::time_point anchor = Clock::now();
    bool diverged = false;
    for (;;) {
        // Send every camera record that is due; find how long until the next one.
        int wait = IDLE_POLL_MS;
        while (!diverged && next < records.size() &&
               records[next].direction == TraceDirection::Camera) {
            const auto due = anchor + std::chrono::microseconds(static_cast<long long>(
                                          (records[next].milliseconds - anchorMs) * 1000));
            const auto now = Clock::now();
            if (due > now) {
                wait = static_cast<int>(
                    std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
                break;
            }
            const auto& bytes = records[next].bytes;
            if (::write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                std::cerr << "fotolyx-camsim: the terminal took only part of record " << next + 1
                          << '\n';
            }
            ++next;
        }
        pollfd watch[2] = {{master, POLLIN, 0}, {signals, POLLIN, 0}};
        ::poll(watch, 2, wait);
        if ((watch[1].revents & POLLIN) != 0) {
            break;
        }
        if ((watch[0].revents & POLLIN) == 0) {
            continue;
        }
        std::uint8_t buffer[512];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0 || diverged) {
            continue;
        }
        received.insert(received.end(), buffer, buffer + got);
        // Match the program's bytes against the pc records, one record at a time.
        while (!diverged && next < records.size() &&
               records[next].direction == TraceDirection::Pc &&
               received.size() >= records[next].bytes.size()) {
            const auto& expected = records[next].bytes;
            if (!std::equal(expected.begin(), expected.end(), received.begin())) {
                const std::vector<std::uint8_t> wrote(
                    received.begin(),
                    received.begin() + static_cast<std::ptrdiff_t>(expected.size()));
                std::cerr << "fotolyx-camsim: replay record " << next + 1 << ": the program wrote "
                          << HexBytes(wrote) << "where the trace has " << HexBytes(expected)
                          << "; the camera falls silent\n";
                diverged = true;
                break;
            }
            received.erase(received.begin(),
                           received.begin() + static_cast<std::ptrdiff_t>(expected.size()));
            anchorMs = records[next].milliseconds;
            anchor = Clock::now();
            ++next;
        }
        if (next == records.size() && !received.empty()) {
            received.clear();  // after the trace: the camera hears nothing more
        }
    }
    ::close(signals);
    if (slave >= 0) {
        ::close(slave);
    }
    ::close(master);
    return !diverged && next == records.size() ? 0 : 1;
}

}  // namespace fotolyx::camsim
