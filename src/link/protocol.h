#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace fotolyx {

// Every camera message outside an upload is one 116-byte packet.
inline constexpr std::size_t PACKET_LENGTH = 116;
inline constexpr std::size_t PACKET_PAYLOAD = 112;

// Packet kinds (byte 0) and the data packet's end byte (byte 115).
inline constexpr std::uint8_t PACKET_DATA = 0x01;
inline constexpr std::uint8_t PACKET_STATUS = 0x10;
inline constexpr std::uint8_t DATA_END = 0x00;
inline constexpr std::uint8_t STATUS_TRAILER = 0x72;  // byte 114 of a status packet, 'r'

// Status codes, byte 8 of a status packet.
inline constexpr std::uint8_t READY = 0x80;
inline constexpr std::uint8_t CAMERA_NOTICE = 0x88;
inline constexpr std::uint8_t DELETE_DONE = 0x89;
inline constexpr std::uint8_t MODE_CAMERA = 0xA0;
inline constexpr std::uint8_t MODE_VCR = 0xA2;
inline constexpr std::uint8_t NO_CARD = 0xA3;

// Command bytes, PC to camera.
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t RESTART = 0x08;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t RESET_LINK = 0x20;
inline constexpr std::uint8_t SPEED_19200 = 0x22;
inline constexpr std::uint8_t SPEED_57600 = 0x24;
inline constexpr std::uint8_t SPEED_115200 = 0x26;
inline constexpr std::uint8_t SPEED_CONFIRM = 0x28;
inline constexpr std::uint8_t IDENTIFY = 0x2A;
inline constexpr std::uint8_t LIVE_START = 0x81;
inline constexpr std::uint8_t LIVE_STOP = 0x82;
inline constexpr std::uint8_t PHOTO_START = 0x84;
inline constexpr std::uint8_t PHOTO_STOP = 0x87;
inline constexpr std::uint8_t DIGIT_UNITS = 0xA0;
inline constexpr std::uint8_t DIGIT_TENS = 0xB0;
inline constexpr std::uint8_t DIGIT_HUNDREDS = 0xC0;
inline constexpr std::uint8_t PICTURE_GET = 0xD0;
inline constexpr std::uint8_t DELETE_BEGIN = 0xD1;
inline constexpr std::uint8_t DELETE_PICTURE = 0xD2;
inline constexpr std::uint8_t DELETE_END = 0xD3;
inline constexpr std::uint8_t UPLOAD_FINE = 0xE0;
inline constexpr std::uint8_t UPLOAD_NORMAL = 0xE1;
inline constexpr std::uint8_t INDEX_NEXT = 0xE5;
inline constexpr std::uint8_t INDEX_RESEND = 0xE6;
inline constexpr std::uint8_t INDEX_GET = 0xE8;
inline constexpr std::uint8_t ERASE_ALL = 0xEA;

// One-byte answers of the camera during an upload.
inline constexpr std::uint8_t UPLOAD_READY = 0xE4;
inline constexpr std::uint8_t UPLOAD_SECOND = 0xE5;
inline constexpr std::uint8_t UPLOAD_DONE = 0xE6;
inline constexpr std::uint8_t UPLOAD_FULL = 0xE7;

// Line speeds of the link: it always starts at 9600 and runs at one of the three faster ones.
inline constexpr std::uint32_t BAUD_9600 = 9600;
inline constexpr std::uint32_t BAUD_19200 = 19200;
inline constexpr std::uint32_t BAUD_57600 = 57600;
inline constexpr std::uint32_t BAUD_115200 = 115200;

// Offsets inside a packet.
inline constexpr std::size_t PACKET_KIND_OFFSET = 0;
inline constexpr std::size_t SEQUENCE_OFFSET = 1;
inline constexpr std::size_t SEQUENCE_COMPLEMENT_OFFSET = 2;
inline constexpr std::size_t PAYLOAD_OFFSET = 3;
inline constexpr std::size_t STATUS_CODE_OFFSET = 8;
inline constexpr std::size_t MODEL_CODE_OFFSET = 4;    // the identification answer: "462" or "318",
inline constexpr std::size_t IDENT_VALUE_OFFSET = 16;  // a 32-bit value
inline constexpr std::size_t IDENT_PICTURES_OFFSET = 20;  // and the picture count
// Header packets (sequence 0) of an index entry, a picture and an upload; numbers big-endian.
inline constexpr std::size_t HEADER_ATTRIBUTE_OFFSET = 3;  // 1 fine, 0 normal
inline constexpr std::size_t COUNT_OFFSET = 4;             // byte count L, 32 bits
inline constexpr std::size_t HEADER_WIDTH_OFFSET = 8;
inline constexpr std::size_t HEADER_HEIGHT_OFFSET = 10;
inline constexpr std::size_t HEADER_END_MARK_OFFSET = 12;  // 0 only in the index's end header
inline constexpr std::size_t HEADER_THUMB_WIDTH_OFFSET = 14;
inline constexpr std::size_t HEADER_THUMB_HEIGHT_OFFSET = 16;
inline constexpr std::size_t HEADER_FINE_CAPACITY_OFFSET = 18;
inline constexpr std::size_t HEADER_NORMAL_CAPACITY_OFFSET = 20;
inline constexpr std::size_t HEADER_DATE_OFFSET = 22;  // year - 1900, month, day, hour, minute
inline constexpr std::size_t HEADER_REPORTED_COUNT_OFFSET = 28;
inline constexpr std::size_t TRAILER_OFFSET = 114;
inline constexpr std::size_t END_OFFSET = 115;

// Consecutive bad packets answered with NAK before a transfer restarts.
inline constexpr std::uint8_t RETRY_LIMIT = 10;

using Packet = std::array<std::uint8_t, PACKET_LENGTH>;

std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t ReadBe16(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteBe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void WriteBe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);

// The packet test every handler applies, in this order: a data packet (byte 0 = 0x01 and byte
// 115 = 0x00) is good only with the expected sequence number; else byte 0 = 0x10 makes a status
// packet; anything else is bad.
enum class PacketKind { GoodData, Status, Bad };
PacketKind ClassifyPacket(std::span<const std::uint8_t> packet, std::uint32_t packetCounter);

// A status packet carrying a status code, with byte 114 set.
Packet MakeStatusPacket(std::uint8_t statusCode);
// A data packet with sequence number sequence (low 8 bits), its complement in byte 2 and up to
// 112 payload bytes from byte 3 on (the rest padded with 0).
Packet MakeDataPacket(std::uint32_t sequence, std::span<const std::uint8_t> payload);

// The identification answer: model code, V and the picture count P.
struct Identification {
    std::array<char, 3> modelCode{};
    std::uint32_t value = 0;
    std::uint16_t pictureCount = 0;
};
Identification ReadIdentification(std::span<const std::uint8_t> packet);
Packet MakeIdentificationPacket(const Identification& identification);

// Number of data packets after a header announcing byteCount bytes: L / 112 + 1.
std::uint32_t DataPacketCount(std::uint32_t byteCount);

// The three digit commands of a picture number (0..999), units first.
std::array<std::uint8_t, 3> PictureNumberDigits(unsigned pictureNumber);

struct UploadDate {
    int year = 2000;  // full year
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

// The header packet of an upload: the packet counter in byte 1 and its complement in byte 2, the
// quality in byte 3, the byte count in 4..7, the date in 22..26 for the picture's header only,
// and every other byte i holding i.
Packet MakeUploadHeader(std::uint8_t counter, bool fine, std::uint32_t byteCount,
                        const UploadDate* date);

// The retry rule shared by the transfers: a bad packet is answered with NAK while RetryCount is
// below 10; the eleventh in a row gets the transfer's restart byte and the count starts again.
struct RetryRule {
    std::uint8_t restartByte = NAK;

    enum class Answer { Nak, Restart };
    Answer OnBadPacket(std::uint8_t& retryCount) const;
    std::uint8_t AnswerByte(Answer answer) const {
        return answer == Answer::Nak ? NAK : restartByte;
    }
};

}  // namespace fotolyx
