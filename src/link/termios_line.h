#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "ports/serial_line.h"

namespace fotolyx {

// Which device each of the four ports opens: /dev/ttyS0../dev/ttyS3 unless mapped elsewhere.
class PortMap {
  public:
    PortMap();
    // "COM1=/dev/ttyUSB0": false when the text is not of that form.
    bool Parse(std::string_view assignment);
    void Set(int portId, std::string path);
    // The device path of a port id, or nothing for an unknown id.
    std::optional<std::string> PathOf(int portId) const;
    // True for a port given by Parse or Set (not a default).
    bool Assigned(int portId) const;
    // This map with the ports not assigned taken from slots in order (COM1 first), leaving out
    // a device an assigned port already opens.
    PortMap FilledFrom(const std::array<std::string, 4>& slots) const;

  private:
    std::array<std::string, 4> paths_;
    std::array<bool, 4> assigned_{};
};

// The port name ("COM1".."COM4") of a port id; empty for an unknown id.
std::string_view PortName(int portId);

// The camera's serial line on a termios device: exclusive, non-blocking, raw 8N1, DTR held off,
// low latency where the driver allows.
class TermiosLine final : public SerialLine {
  public:
    explicit TermiosLine(PortMap map) : map_(std::move(map)) {}
    ~TermiosLine() override;
    TermiosLine(const TermiosLine&) = delete;
    TermiosLine& operator=(const TermiosLine&) = delete;

    LineOpenResult Open(int portId) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    void Write(std::span<const std::uint8_t> bytes) override;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override;
    void Purge() override;
    LineSettingsFault OpenSettingsFault() const override { return settingsFault_; }
    std::string DeviceName(int portId) const override { return map_.PathOf(portId).value_or(""); }

    // How the last opening of each port went (COM1..COM4), nothing for a port not tried yet.
    std::optional<LineOpenResult> LastOpenResult(int portId) const;
    // A line for the user when a port's device exists but may not be opened: which device and
    // which group to join; empty when every opening was allowed.
    std::string AccessHint() const;

    // For the host's event loop: the descriptor to watch, -1 while closed.
    int FileDescriptor() const { return fd_; }
    const PortMap& map() const { return map_; }

  private:
    LineOpenResult OpenDevice(int portId);

    PortMap map_;
    int fd_ = -1;
    std::array<std::optional<LineOpenResult>, 4> results_;
    LineSettingsFault settingsFault_ = LineSettingsFault::None;
};

}  // namespace fotolyx
