#include "camsim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sstream>

namespace fotolyx::camsim {

namespace {

Micros MonotonicMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<Micros>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

std::uint32_t BaudOf(speed_t speed) {
    switch (speed) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

}  // namespace

std::string TurnaroundStats::Summary() const {
    std::ostringstream out;
    if (samples.empty()) {
        out << "turnaround: no samples";
        return out.str();
    }
    std::vector<Micros> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    Micros total = 0;
    for (const Micros sample : sorted) {
        total += sample;
    }
    out << "turnaround_us samples=" << sorted.size()
        << " mean=" << total / static_cast<Micros>(sorted.size())
        << " median=" << sorted[sorted.size() / 2] << " p99=" << sorted[sorted.size() * 99 / 100]
        << " max=" << sorted.back();
    return out.str();
}

PtyServer::~PtyServer() {
    for (const int fd : {master_, slave_, signals_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool PtyServer::Open(std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        error = "cannot name the pseudo-terminal";
        return false;
    }
    slavePath_ = name;
    // Holding the other end open keeps the terminal alive between the program's openings, and
    // lets the camera read the speed the program sets.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    ::tcgetattr(slave_, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(slave_, TCSANOW, &settings);

    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGUSR1);  // the camera's own photo button
    ::sigprocmask(SIG_BLOCK, &handled, nullptr);
    signals_ = ::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
    // Byte pacing needs timers of microsecond precision.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    return true;
}

std::uint32_t PtyServer::PcBaud() const {
    termios settings{};
    if (::tcgetattr(slave_, &settings) != 0) {
        return 0;
    }
    return BaudOf(::cfgetospeed(&settings));
}

void PtyServer::ReadIncoming(Micros now) {
    std::uint8_t buffer[512];
    const std::uint32_t baud = PcBaud();
    for (;;) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            return;
        }
        if (lastPacketEnd_ >= 0) {
            stats_.samples.push_back(now - lastPacketEnd_);
            lastPacketEnd_ = -1;
        }
        for (ssize_t i = 0; i < got; ++i) {
            rxBusyUntil_ = std::max(now, rxBusyUntil_) + ByteTime(baud);
            incoming_.push_back({buffer[i], baud, rxBusyUntil_});
        }
    }
}

void PtyServer::Process(Micros now) {
    // The camera reacts the moment a byte has fully arrived, however late this loop gets round
    // to it: its answer is timed from then, and bytes already due go out together.
    auto queueOutput = [this](Micros reactedAt) {
        for (const auto& message : camera_.TakeOutput()) {
            for (const std::uint8_t byte : message.bytes) {
                txBusyUntil_ = std::max(reactedAt, txBusyUntil_) + ByteTime(message.baud);
                outgoing_.push_back({byte, message.baud, txBusyUntil_});
            }
            if (message.bytes.size() == PACKET_LENGTH && message.bytes[0] == PACKET_DATA) {
                outgoing_.back().endsDataPacket = true;
            }
        }
    };
    std::size_t done = 0;
    while (done < incoming_.size() && incoming_[done].due <= now) {
        const Pending& byte = incoming_[done];
        camera_.Receive(byte.byte, byte.baud, byte.due);
        queueOutput(byte.due);
        ++done;
    }
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(done));
    if (const auto wake = camera_.NextWakeup(); wake && *wake <= now) {
        camera_.Wake(*wake);
        queueOutput(*wake);
    }
    queueOutput(now);  // the photo button
}

void PtyServer::Flush(Micros now) {
    const std::uint32_t pcBaud = PcBaud();
    std::vector<std::uint8_t> bytes;
    std::size_t end = outgoingSent_;
    bool packetEnded = false;
    while (end < outgoing_.size() && outgoing_[end].due <= now) {
        packetEnded = outgoing_[end].endsDataPacket;
        bytes.push_back(outgoing_[end].baud == pcBaud ? outgoing_[end].byte : GARBLED_BYTE);
        ++end;
    }
    if (bytes.empty()) {
        return;
    }
    const ssize_t written = ::write(master_, bytes.data(), bytes.size());
    if (written <= 0) {
        return;  // the terminal is full: try again on the next round
    }
    outgoingSent_ += static_cast<std::size_t>(written);
    if (packetEnded && outgoingSent_ == end) {
        lastPacketEnd_ = MonotonicMicros();
    }
    if (outgoingSent_ == outgoing_.size()) {
        outgoing_.clear();
        outgoingSent_ = 0;
    }
}

void PtyServer::Run() {
    for (;;) {
        Micros now = MonotonicMicros();
        std::optional<Micros> next = camera_.NextWakeup();
        auto earliest = [&next](Micros due) { next = next ? std::min(*next, due) : due; };
        if (!incoming_.empty()) {
            earliest(incoming_.front().due);
        }
        if (outgoingSent_ < outgoing_.size()) {
            earliest(outgoing_[outgoingSent_].due);
        }
        const Micros wait = next ? std::clamp<Micros>(*next - now, 0, 1'000'000) : 1'000'000;
        const timespec timeout{static_cast<time_t>(wait / 1'000'000),
                               static_cast<long>((wait % 1'000'000) * 1000)};
        pollfd watch[2] = {{master_, POLLIN, 0}, {signals_, POLLIN, 0}};
        ::ppoll(watch, 2, &timeout, nullptr);
        if ((watch[1].revents & POLLIN) != 0) {
            signalfd_siginfo signal{};
            if (::read(signals_, &signal, sizeof signal) == sizeof signal &&
                signal.ssi_signo == SIGUSR1) {
                camera_.PressPhotoButton();
            } else {
                return;
            }
        }
        now = MonotonicMicros();
        if ((watch[0].revents & POLLIN) != 0) {
            ReadIncoming(now);
        }
        Process(now);
        Flush(now);
        if (camera_.CablePulled() && outgoingSent_ == outgoing_.size()) {
            ::close(master_);
            master_ = -1;
            return;
        }
    }
}

}  // namespace fotolyx::camsim
