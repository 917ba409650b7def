#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace fotolyx::camsim {

// What the garble fault turns the first byte of a message into.
inline constexpr std::uint8_t GARBLED_BYTE = 0xFF;

// Time on the camera's clock, in microseconds.
using Micros = std::int64_t;

// Ten bit-times (start, 8 data bits, stop) of one byte at a line speed.
inline Micros ByteTime(std::uint32_t baud) {
    return baud == 0 ? 0 : static_cast<Micros>((10'000'000ULL + baud - 1) / baud);
}

enum class CameraMode { Photo, Vcr, NoCard };

struct SimPicture {
    std::uint8_t attribute = 0x01;  // low four bits not 0: Fine
    std::uint16_t width = 640;
    std::uint16_t height = 480;
    UploadDate date;
    std::vector<std::uint8_t> jpeg;
    std::uint16_t thumbnailWidth = 80;
    std::uint16_t thumbnailHeight = 60;
    std::vector<std::uint8_t> thumbnail;
};

// Faults the camera can be told to make. Messages are counted from 0 over everything the camera
// sends (packets and one-byte upload answers).
struct CameraFaults {
    std::optional<std::uint32_t> silentAfterMessages;   // then quiet until RESET_LINK
    std::optional<std::uint32_t> garbleMessage;         // its first byte arrives garbled ...
    std::uint32_t garbleCount = 1;                      // ... and so for that many messages
    std::optional<std::uint32_t> dropByteMessage;       // it loses its last byte
    std::optional<std::uint32_t> noiseBeforeMessage;    // noise bytes on the line before it ...
    std::uint32_t noiseBytes = 3;                       // ... this many
    std::optional<std::uint32_t> wrongSequenceMessage;  // a data packet with a wrong number
    std::uint32_t nakAnswers = 0;        // upload: the first k packets are answered NAK
    std::uint32_t badTrailerStatus = 0;  // the first k status packets carry byte 114 wrong
    // The cable is pulled when the camera would send message N (0: before it says anything).
    std::optional<std::uint32_t> hangUpAfterMessages;
};

struct CameraConfig {
    std::string modelCode = "462";
    std::vector<std::uint32_t> speeds = {BAUD_115200, BAUD_57600, BAUD_19200};
    CameraMode mode = CameraMode::Photo;
    std::vector<SimPicture> pictures;
    std::uint16_t fineCapacity = 20;
    std::uint16_t normalCapacity = 40;
    std::uint32_t identValue = 409'600;        // V of the identification answer
    std::uint32_t uploadLimitBytes = 300'000;  // a larger upload answers UPLOAD_FULL
    Micros speedAnswerDelay = 100'000;         // READY after a speed request
    // At a speed other than 9600, this long without a byte from the PC sends the camera back to
    // 9600 (none: it keeps its speed until RESET_LINK or a VCR or no-card answer).
    std::optional<Micros> fallBackAfterSilence;
    CameraFaults faults;
};

// One message as it leaves the camera, with the speed it is sent at.
struct Outgoing {
    std::vector<std::uint8_t> bytes;
    std::uint32_t baud = BAUD_9600;
};

// The camera's side of every exchange, as a state machine without its own clock or line: the
// transport hands it each arrived byte and wakes it for its delayed answers, and takes what it
// sends.
class SimCamera {
  public:
    explicit SimCamera(CameraConfig config);

    // A byte has arrived from the PC, as the camera's UART read it at the camera's speed (at
    // another speed than the PC's that is whatever the line made of the PC's bytes).
    void Receive(std::uint8_t byte, Micros now);
    std::optional<Micros> NextWakeup() const;
    void Wake(Micros now);
    // The camera's own photo button: a CAMERA_NOTICE status packet.
    void PressPhotoButton();
    void SetMode(CameraMode mode) { config_.mode = mode; }
    void FallBackAfterSilence(std::optional<Micros> after) { config_.fallBackAfterSilence = after; }
    // Pulls the cable now.
    void PullCable() { cablePulled_ = true; }

    std::vector<Outgoing> TakeOutput();

    std::uint32_t Baud() const { return baud_; }
    bool CablePulled() const { return cablePulled_; }
    const std::vector<SimPicture>& Pictures() const { return config_.pictures; }
    std::uint16_t FineCapacity() const { return config_.fineCapacity; }
    std::uint16_t NormalCapacity() const { return config_.normalCapacity; }
    std::uint32_t MessagesSent() const { return messagesSent_; }
    // The faults to make from now on (message numbers count from the camera's first message).
    CameraFaults& Faults() { return config_.faults; }
    // Every byte received, as the camera read it.
    const std::vector<std::uint8_t>& Received() const { return received_; }

  private:
    enum class StreamKind { None, Index, Picture, Live, Photo };

    void Command(std::uint8_t byte, Micros now);
    void BackTo9600();
    void Send(std::vector<std::uint8_t> bytes, bool isStatus);
    void SendPacket(const Packet& packet);
    void SendStatus(std::uint8_t code);
    void SendByte(std::uint8_t byte);
    void StartStream(StreamKind kind, std::vector<Packet> packets);
    void StopEverything();
    void SendIndexEntry();
    void UploadByte(std::uint8_t byte);
    void UploadPacket(const Packet& packet);
    unsigned DigitsNumber() const;
    std::vector<Packet> LiveFrame() const;
    std::vector<Packet> PhotoPackets() const;

    CameraConfig config_;
    std::uint32_t baud_ = BAUD_9600;
    bool waitingConfirm_ = false;
    std::optional<std::pair<std::uint32_t, Micros>> pendingSpeed_;
    Micros lastHeard_ = 0;  // the last byte from the PC, or the last speed change
    bool silent_ = false;
    bool cablePulled_ = false;
    std::uint32_t messagesSent_ = 0;
    std::uint32_t statusPacketsSent_ = 0;
    std::vector<Outgoing> output_;
    std::vector<std::uint8_t> lastMessage_;
    bool lastWasStatus_ = false;
    std::vector<std::uint8_t> received_;

    std::array<std::uint8_t, 3> digits_{};
    StreamKind stream_ = StreamKind::None;
    std::vector<Packet> packets_;
    std::size_t nextPacket_ = 0;
    std::size_t indexPosition_ = 0;
    std::set<unsigned> deleteMarks_;
    std::uint32_t liveFrames_ = 0;
    std::uint32_t photos_ = 0;

    struct Upload {
        bool active = false;
        bool fine = true;
        int file = 0;  // 0 the picture, 1 its thumbnail
        std::uint32_t counter = 0;
        std::uint32_t byteCount = 0;
        std::uint32_t expectedPackets = 0;
        UploadDate date;
        std::vector<std::uint8_t> collected;
        std::vector<std::uint8_t> pictureJpeg;
        std::vector<std::uint8_t> partial;
    } upload_;
    std::uint32_t nakAnswersLeft_ = 0;
};

}  // namespace fotolyx::camsim
