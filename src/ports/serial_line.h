#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace fotolyx {

// Control ids of the four ports, as the COM SETUP dialog knows them.
inline constexpr int PORT_COM1 = 1001;
inline constexpr int PORT_COM2 = 1002;
inline constexpr int PORT_COM3 = 1042;
inline constexpr int PORT_COM4 = 1043;

enum class LineOpenResult { Opened, Missing, PermissionDenied, Failed };

// What went wrong with the line settings while a port was opened (it stays open either way).
enum class LineSettingsFault { None, ReadFailed, WriteFailed };

// The serial line to the camera. Reads never block and never return more than asked.
class SerialLine {
  public:
    virtual ~SerialLine() = default;
    virtual LineOpenResult Open(int portId) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // Reads the current settings back and changes only the speed; false when the driver refuses.
    virtual bool SetBaudRate(std::uint32_t baud) = 0;
    virtual void Purge() = 0;
    // The settings fault of the last successful Open.
    virtual LineSettingsFault OpenSettingsFault() const { return LineSettingsFault::None; }
    // The device a port id opens, as the user would name it; empty where there is none.
    virtual std::string DeviceName(int /*portId*/) const { return {}; }
};

}  // namespace fotolyx
