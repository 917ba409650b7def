#include "link/line_trace.h"

#include <array>
#include <cstdio>

#include "link/protocol.h"
#include "link/termios_line.h"

namespace fotolyx {

namespace {

struct CommandName {
    std::uint8_t byte;
    const char* name;
};
constexpr std::array<CommandName, 21> COMMAND_NAMES = {{
    {ACK, "ACK"},
    {RESTART, "RESTART"},
    {NAK, "NAK"},
    {RESET_LINK, "RESET_LINK"},
    {SPEED_19200, "SPEED_19200"},
    {SPEED_57600, "SPEED_57600"},
    {SPEED_115200, "SPEED_115200"},
    {SPEED_CONFIRM, "SPEED_CONFIRM"},
    {IDENTIFY, "IDENTIFY"},
    {LIVE_START, "LIVE_START"},
    {LIVE_STOP, "LIVE_STOP"},
    {PHOTO_START, "PHOTO_START"},
    {PHOTO_STOP, "PHOTO_STOP"},
    {PICTURE_GET, "PICTURE_GET"},
    {DELETE_BEGIN, "DELETE_BEGIN"},
    {DELETE_PICTURE, "DELETE_PICTURE"},
    {DELETE_END, "DELETE_END"},
    {UPLOAD_FINE, "UPLOAD_FINE"},
    {UPLOAD_NORMAL, "UPLOAD_NORMAL"},
    {INDEX_NEXT, "INDEX_NEXT"},
    {INDEX_GET, "INDEX_GET"},
}};

struct DigitName {
    std::uint8_t base;
    const char* name;
};
constexpr std::array<DigitName, 3> DIGIT_NAMES = {{
    {DIGIT_UNITS, "DIGIT_UNITS"},
    {DIGIT_TENS, "DIGIT_TENS"},
    {DIGIT_HUNDREDS, "DIGIT_HUNDREDS"},
}};
constexpr std::uint8_t DIGIT_COUNT = 10;
constexpr std::size_t MODEL_CODE_LENGTH = 3;

constexpr std::array<CommandName, 6> STATUS_NAMES = {{
    {READY, "READY"},
    {CAMERA_NOTICE, "CAMERA_NOTICE"},
    {DELETE_DONE, "DELETE_DONE"},
    {MODE_CAMERA, "MODE_CAMERA"},
    {MODE_VCR, "MODE_VCR"},
    {NO_CARD, "NO_CARD"},
}};

std::string Hex(std::uint8_t byte) {
    std::array<char, 3> text{};
    std::snprintf(text.data(), text.size(), "%02X", byte);
    return text.data();
}

std::optional<std::uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

std::string_view NextWord(std::string_view& text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

std::uint32_t Be32(std::span<const std::uint8_t> p, std::size_t at) {
    return (std::uint32_t{p[at]} << 24) | (std::uint32_t{p[at + 1]} << 16) |
           (std::uint32_t{p[at + 2]} << 8) | p[at + 3];
}

}  // namespace

std::optional<TraceRecord> ParseTraceLine(std::string_view line, bool& bad) {
    bad = false;
    line = line.substr(0, line.find(';'));
    const std::string_view time = NextWord(line);
    const std::string_view kind = NextWord(line);
    if (kind != "pc" && kind != "cam") {
        return std::nullopt;
    }
    TraceRecord record;
    record.direction = kind == "pc" ? TraceDirection::Pc : TraceDirection::Camera;
    try {
        record.milliseconds = std::stod(std::string(time));
    } catch (...) {
        bad = true;
        return std::nullopt;
    }
    for (std::string_view word = NextWord(line); !word.empty(); word = NextWord(line)) {
        const auto high = word.size() == 2 ? HexDigit(word[0]) : std::nullopt;
        const auto low = word.size() == 2 ? HexDigit(word[1]) : std::nullopt;
        if (!high || !low) {
            bad = true;
            return std::nullopt;
        }
        record.bytes.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
    }
    if (record.bytes.empty()) {
        bad = true;
        return std::nullopt;
    }
    return record;
}

std::string LabelCommand(std::uint8_t command) {
    for (const DigitName& digit : DIGIT_NAMES) {
        if (command >= digit.base && command < digit.base + DIGIT_COUNT) {
            return std::string(digit.name) + ' ' + std::to_string(command - digit.base);
        }
    }
    for (const CommandName& entry : COMMAND_NAMES) {
        if (entry.byte == command) {
            return entry.name;
        }
    }
    return "command " + Hex(command);
}

std::string LabelPacket(std::span<const std::uint8_t> packet) {
    if (packet.size() != PACKET_LENGTH) {
        return std::to_string(packet.size()) + " bytes";
    }
    const std::uint8_t sequence = packet[SEQUENCE_OFFSET];
    const bool sequenceChecks =
        static_cast<std::uint8_t>(sequence + packet[SEQUENCE_COMPLEMENT_OFFSET]) == 0;
    std::string label;
    if (packet[PACKET_KIND_OFFSET] == PACKET_STATUS) {
        label = "status seq " + std::to_string(sequence);
        const std::uint8_t code = packet[STATUS_CODE_OFFSET];
        std::string name = "code " + Hex(code);
        for (const CommandName& entry : STATUS_NAMES) {
            if (entry.byte == code) {
                name = entry.name;
            }
        }
        label += ' ' + name;
        // Only an identification carries a model code.
        std::string model;
        for (std::size_t i = 0; i < MODEL_CODE_LENGTH; ++i) {
            const char c = static_cast<char>(packet[MODEL_CODE_OFFSET + i]);
            if (c >= ' ' && c <= '~') {
                model += c;
            }
        }
        if (model.size() == MODEL_CODE_LENGTH) {
            label += " model " + model;
        }
        if (packet[TRAILER_OFFSET] != STATUS_TRAILER) {
            label += " trailer " + Hex(packet[TRAILER_OFFSET]) + " (not valid)";
        }
    } else if (packet[PACKET_KIND_OFFSET] == PACKET_DATA) {
        label = "data seq " + std::to_string(sequence);
        if (sequence == 0) {
            label += " header count " + std::to_string(Be32(packet, COUNT_OFFSET));
        }
        if (packet[END_OFFSET] != DATA_END) {
            label += " end " + Hex(packet[END_OFFSET]) + " (not valid)";
        }
    } else {
        return "unknown kind " + Hex(packet[PACKET_KIND_OFFSET]);
    }
    if (!sequenceChecks) {
        label += " (sequence complement wrong)";
    }
    return label;
}

TracingLine::TracingLine(SerialLine& inner, std::ostream* out)
    : inner_(inner), out_(out), start_(std::chrono::steady_clock::now()) {
    if (out_) {
        *out_ << TRACE_HEADER << '\n';
    }
}

void TracingLine::Begin() {
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_);
    std::array<char, 32> time{};
    std::snprintf(time.data(), time.size(), "%.3f", elapsed.count());
    *out_ << time.data();
}

void TracingLine::Bytes(std::string_view what, std::span<const std::uint8_t> bytes) {
    Begin();
    *out_ << ' ' << what;
    for (const std::uint8_t byte : bytes) {
        *out_ << ' ' << Hex(byte);
    }
}

LineOpenResult TracingLine::Open(int portId) {
    const LineOpenResult result = inner_.Open(portId);
    cameraMessage_.clear();
    if (out_) {
        constexpr std::array<const char*, 4> RESULTS = {"opened", "missing", "permission denied",
                                                        "failed"};
        Begin();
        *out_ << " open " << PortName(portId) << ' ' << inner_.DeviceName(portId) << ' '
              << RESULTS[static_cast<std::size_t>(result)] << std::endl;
    }
    return result;
}

void TracingLine::Close() {
    if (out_ && inner_.IsOpen()) {
        Begin();
        *out_ << " close" << std::endl;
    }
    inner_.Close();
}

void TracingLine::Write(std::span<const std::uint8_t> bytes) {
    inner_.Write(bytes);
    if (!out_) {
        return;
    }
    Bytes("pc", bytes);
    if (bytes.size() == 1) {
        *out_ << " ; " << LabelCommand(bytes[0]);
    } else if (bytes.size() == PACKET_LENGTH) {
        *out_ << " ; " << LabelPacket(bytes);
    }
    *out_ << std::endl;
}

std::size_t TracingLine::Read(std::span<std::uint8_t> buffer) {
    const std::size_t got = inner_.Read(buffer);
    if (!out_ || got == 0) {
        return got;
    }
    Bytes("cam", buffer.first(got));
    *out_ << '\n';
    // Whole packets are labelled as they complete; a lone answer byte stands for itself.
    for (std::size_t i = 0; i < got; ++i) {
        const std::uint8_t byte = buffer[i];
        if (cameraMessage_.empty() && byte != PACKET_STATUS && byte != PACKET_DATA) {
            Begin();
            *out_ << " # answer " << Hex(byte) << '\n';
            continue;
        }
        cameraMessage_.push_back(byte);
        if (cameraMessage_.size() == PACKET_LENGTH) {
            Begin();
            *out_ << " # " << LabelPacket(cameraMessage_) << '\n';
            cameraMessage_.clear();
        }
    }
    out_->flush();
    return got;
}

bool TracingLine::SetBaudRate(std::uint32_t baud) {
    const bool done = inner_.SetBaudRate(baud);
    if (out_) {
        Begin();
        *out_ << " speed " << baud << (done ? "" : " (refused)") << std::endl;
    }
    return done;
}

void TracingLine::Purge() {
    inner_.Purge();
    cameraMessage_.clear();
    if (out_) {
        Begin();
        *out_ << " purge" << std::endl;
    }
}

}  // namespace fotolyx
