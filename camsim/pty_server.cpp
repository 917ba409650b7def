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
            toCamera_.Put(buffer[i], baud, now);
        }
    }
}

void PtyServer::Process(Micros now) {
    // The camera reacts the moment a byte has fully arrived, however late this loop gets round
    // to it: its answer is timed from then, and bytes already due go out together.
    auto queueOutput = [this](Micros reactedAt) {
        for (const auto& message : camera_.TakeOutput()) {
            for (const std::uint8_t byte : message.bytes) {
                toPc_.Put(byte, message.baud, reactedAt);
            }
            if (message.bytes.size() == PACKET_LENGTH && message.bytes[0] == PACKET_DATA) {
                packetEnds_.push_back(toPc_.BusyUntil());
            }
        }
    };
    std::vector<Arrival> arrivals;
    toCamera_.Read(camera_.Baud(), now, arrivals);
    for (const Arrival& arrival : arrivals) {
        if (const auto wake = camera_.NextWakeup(); wake && *wake <= arrival.at) {
            camera_.Wake(*wake);
            queueOutput(*wake);
        }
        camera_.Receive(arrival.byte, arrival.at);
        queueOutput(arrival.at);
    }
    if (const auto wake = camera_.NextWakeup(); wake && *wake <= now) {
        camera_.Wake(*wake);
        queueOutput(*wake);
    }
    queueOutput(now);  // the photo button
}

void PtyServer::Flush(Micros now) {
    // What the PC's UART has read at the speed the program set, handed over by its adapter.
    const std::uint32_t baud = PcBaud();
    if (baud != 0) {
        pcBaud_ = baud;
    }
    std::vector<Arrival> arrivals;
    toPc_.Read(pcBaud_, now, arrivals);
    for (const Arrival& arrival : arrivals) {
        lastDue_ = std::max(AdapterDelivery(arrival.at, line_.adapterLatency), lastDue_);
        outgoing_.push_back({arrival.byte, lastDue_});
    }
    std::vector<std::uint8_t> bytes;
    std::size_t end = outgoingSent_;
    Micros lastArrival = -1;
    while (end < outgoing_.size() && outgoing_[end].due <= now) {
        bytes.push_back(outgoing_[end].byte);
        lastArrival = outgoing_[end].due;
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
    if (outgoingSent_ == end) {
        bool packetEnded = false;
        while (!packetEnds_.empty() && packetEnds_.front() <= lastArrival) {
            packetEnds_.erase(packetEnds_.begin());
            packetEnded = true;
        }
        if (packetEnded) {
            lastPacketEnd_ = MonotonicMicros();
        }
    }
    if (outgoingSent_ == outgoing_.size()) {
        outgoing_.clear();
        outgoingSent_ = 0;
    }
}

// The next time something is due: a byte complete on either wire, a byte the adapter hands
// over, or the camera's own wake-up.
std::optional<Micros> PtyServer::NextEvent() const {
    std::optional<Micros> next = camera_.NextWakeup();
    auto earliest = [&next](std::optional<Micros> due) {
        if (due) {
            next = next ? std::min(*next, *due) : *due;
        }
    };
    earliest(toCamera_.NextRead(camera_.Baud()));
    earliest(toPc_.NextRead(pcBaud_));
    if (outgoingSent_ < outgoing_.size()) {
        earliest(outgoing_[outgoingSent_].due);
    }
    return next;
}

void PtyServer::Run() {
    for (;;) {
        Micros now = MonotonicMicros();
        const std::optional<Micros> next = NextEvent();
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
        if (camera_.CablePulled() && outgoingSent_ == outgoing_.size() &&
            toPc_.BusyUntil() <= now) {
            ::close(master_);
            master_ = -1;
            return;
        }
    }
}

}  // namespace fotolyx::camsim
