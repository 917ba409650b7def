#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace fotolyx
