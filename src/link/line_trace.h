#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ports/serial_line.h"

namespace fotolyx {

// A trace of the serial line, one record a line, time in milliseconds since the trace began:
//   12.345 pc 2A ; IDENTIFY                   bytes the program wrote (one write per line)
//   14.002 cam 10 00 FF 00 ...                bytes the program read (one read per line)
//   14.002 # status seq 0 READY model 462 ... each complete camera packet, decoded
//   70.100 speed 115200                       the line's speed changed
//   0.000 open COM1 /dev/ttyUSB0 opened       a port was opened (or not), closed, purged
// Everything after ';' and every line starting with '#' after the time is a label for people;
// the simulated camera replays the pc and cam records.
inline constexpr char TRACE_HEADER[] = "# fotolyx line trace 1";

enum class TraceDirection { Pc, Camera };

struct TraceRecord {
    double milliseconds = 0;
    TraceDirection direction = TraceDirection::Pc;
    std::vector<std::uint8_t> bytes;
};

// The pc or cam record of one line; nothing for other lines (labels, speeds, openings).
// False in `bad` for a pc or cam line whose bytes are not hexadecimal pairs.
std::optional<TraceRecord> ParseTraceLine(std::string_view line, bool& bad);

// A one-line label of a command byte the program writes ("ACK", "DIGIT_TENS 4").
std::string LabelCommand(std::uint8_t command);
// A one-line label of a 116-byte message: kind, sequence, and what matters of it.
std::string LabelPacket(std::span<const std::uint8_t> packet);

// Passes everything to the line underneath and, with a stream, writes the trace of it.
class TracingLine final : public SerialLine {
  public:
    TracingLine(SerialLine& inner, std::ostream* out);

    LineOpenResult Open(int portId) override;
    void Close() override;
    bool IsOpen() const override { return inner_.IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override;
    void Purge() override;
    LineSettingsFault OpenSettingsFault() const override { return inner_.OpenSettingsFault(); }
    std::string DeviceName(int portId) const override { return inner_.DeviceName(portId); }

  private:
    void Begin();
    void Bytes(std::string_view what, std::span<const std::uint8_t> bytes);

    SerialLine& inner_;
    std::ostream* out_;
    std::chrono::steady_clock::time_point start_;
    std::vector<std::uint8_t> cameraMessage_;  // camera bytes since the last whole packet
};

}  // namespace fotolyx
