#include "host/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace fotolyx::host {

namespace {

constexpr std::array<int, 3> ENDING_SIGNALS = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the handler; -1 while no SignalPipe lives.
volatile sig_atomic_t writeFd = -1;

void OnSignal(int number) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    if (writeFd >= 0) {
        // A full pipe already holds a signal for the loop: losing this one loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SignalPipe::SignalPipe() {
    int fds[2];
    if (writeFd >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) {
        // A signal the program was started to ignore (a job run with nohup) stays ignored.
        ::sigaction(ENDING_SIGNALS[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler != SIG_IGN) {
            ::sigaction(ENDING_SIGNALS[i], &action, nullptr);
        }
    }
    readFd_ = fds[0];
}

SignalPipe::~SignalPipe() {
    if (readFd_ < 0) {
        return;
    }
    for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) {
        ::sigaction(ENDING_SIGNALS[i], &previous_[i], nullptr);
    }
    const int fd = writeFd;
    writeFd = -1;
    ::close(fd);
    ::close(readFd_);
}

int SignalPipe::Take() {
    unsigned char bytes[16];
    ssize_t got = 0;
    while (readFd_ >= 0 && (got = ::read(readFd_, bytes, sizeof bytes)) > 0) {
        if (received_ == 0) {
            received_ = bytes[0];
        }
    }
    return received_;
}

}  // namespace fotolyx::host
