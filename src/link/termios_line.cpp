#include "link/termios_line.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace fotolyx {

namespace {

constexpr std::array<int, 4> PORT_IDS = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};
constexpr std::array<std::string_view, 4> PORT_NAMES = {"COM1", "COM2", "COM3", "COM4"};
constexpr int WRITE_WAIT_MS = 100;

std::optional<std::size_t> PortIndex(int portId) {
    for (std::size_t i = 0; i < PORT_IDS.size(); ++i) {
        if (PORT_IDS[i] == portId) {
            return i;
        }
    }
    return std::nullopt;
}

speed_t SpeedConstant(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

}  // namespace

std::string_view PortName(int portId) {
    const auto index = PortIndex(portId);
    return index ? PORT_NAMES[*index] : std::string_view{};
}

PortMap::PortMap() {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        paths_[i] = "/dev/ttyS" + std::to_string(i);
    }
}

bool PortMap::Parse(std::string_view assignment) {
    const auto equals = assignment.find('=');
    if (equals == std::string_view::npos || equals + 1 == assignment.size()) {
        return false;
    }
    const std::string_view name = assignment.substr(0, equals);
    for (std::size_t i = 0; i < PORT_NAMES.size(); ++i) {
        if (name == PORT_NAMES[i]) {
            paths_[i] = std::string(assignment.substr(equals + 1));
            assigned_[i] = true;
            return true;
        }
    }
    return false;
}

void PortMap::Set(int portId, std::string path) {
    if (const auto index = PortIndex(portId)) {
        paths_[*index] = std::move(path);
        assigned_[*index] = true;
    }
}

bool PortMap::Assigned(int portId) const {
    const auto index = PortIndex(portId);
    return index && assigned_[*index];
}

PortMap PortMap::FilledFrom(const std::array<std::string, 4>& slots) const {
    PortMap filled = *this;
    std::size_t next = 0;
    auto taken = [this](const std::string& path) {
        for (std::size_t i = 0; i < paths_.size(); ++i) {
            if (assigned_[i] && paths_[i] == path) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (assigned_[i]) {
            continue;
        }
        while (next < slots.size() && (slots[next].empty() || taken(slots[next]))) {
            ++next;
        }
        if (next < slots.size()) {
            filled.paths_[i] = slots[next++];
        }
    }
    return filled;
}

std::optional<std::string> PortMap::PathOf(int portId) const {
    if (const auto index = PortIndex(portId)) {
        return paths_[*index];
    }
    return std::nullopt;
}

TermiosLine::~TermiosLine() {
    Close();
}

std::optional<LineOpenResult> TermiosLine::LastOpenResult(int portId) const {
    const auto index = PortIndex(portId);
    return index ? results_[*index] : std::nullopt;
}

std::string TermiosLine::AccessHint() const {
    std::string denied;
    for (std::size_t i = 0; i < results_.size(); ++i) {
        if (results_[i] == LineOpenResult::PermissionDenied) {
            denied += (denied.empty() ? "" : ", ") + map_.PathOf(PORT_IDS[i]).value_or("");
        }
    }
    if (denied.empty()) {
        return {};
    }
    return "Permission denied on " + denied +
           ": join the dialout group (sudo adduser $USER dialout), then log in again.";
}

LineOpenResult TermiosLine::Open(int portId) {
    const LineOpenResult result = OpenDevice(portId);
    if (const auto index = PortIndex(portId)) {
        results_[*index] = result;
    }
    return result;
}

LineOpenResult TermiosLine::OpenDevice(int portId) {
    Close();
    settingsFault_ = LineSettingsFault::None;
    const auto path = map_.PathOf(portId);
    if (!path) {
        return LineOpenResult::Missing;
    }
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
            case ENOTDIR:
                return LineOpenResult::Missing;
            case EACCES:
            case EPERM:
                return LineOpenResult::PermissionDenied;
            default:
                return LineOpenResult::Failed;
        }
    }
    if (::isatty(fd) == 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return LineOpenResult::Failed;
    }
    fd_ = fd;

    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
        settingsFault_ = LineSettingsFault::ReadFailed;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0 && settingsFault_ == LineSettingsFault::None) {
        settingsFault_ = LineSettingsFault::WriteFailed;
    }

    // Devices without modem lines refuse this; that is fine.
    int dtr = TIOCM_DTR;
    (void)::ioctl(fd_, TIOCMBIC, &dtr);
    // USB adapters otherwise hold received bytes back for milliseconds.
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        (void)::ioctl(fd_, TIOCSSERIAL, &serial);
    }
    return LineOpenResult::Opened;
}

void TermiosLine::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void TermiosLine::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN) {
            pollfd waitFor{fd_, POLLOUT, 0};
            if (::poll(&waitFor, 1, WRITE_WAIT_MS) > 0 && (waitFor.revents & POLLOUT) != 0) {
                continue;
            }
        }
        return;  // a line that takes nothing loses the bytes; the watchdogs notice
    }
}

std::size_t TermiosLine::Read(std::span<std::uint8_t> buffer) {
    if (fd_ < 0 || buffer.empty()) {
        return 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return 0;
    }
}

bool TermiosLine::SetBaudRate(std::uint32_t baud) {
    const speed_t speed = SpeedConstant(baud);
    termios settings{};
    if (fd_ < 0 || speed == B0 || ::tcgetattr(fd_, &settings) != 0) {
        return false;
    }
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    return ::tcsetattr(fd_, TCSANOW, &settings) == 0;
}

void TermiosLine::Purge() {
    if (fd_ >= 0) {
        ::tcflush(fd_, TCIOFLUSH);
    }
}

}  // namespace fotolyx
