#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/dib_block.h"

namespace fotolyx {

// Live view: 112 samples a packet, one line of 168 pixels, 60 lines a frame.
inline constexpr std::size_t LIVE_SAMPLES = 112;
inline constexpr std::size_t LIVE_LINE_PIXELS = 168;
inline constexpr std::size_t LIVE_LINE_BYTES = 3 * LIVE_LINE_PIXELS;
inline constexpr std::size_t LIVE_FIRST_SHOWN_PIXEL = 8;
inline constexpr std::uint16_t LIVE_FRAME_PACKETS = 60;
inline constexpr std::int32_t LIVE_VIEW_WIDTH = 160;
inline constexpr std::int32_t LIVE_VIEW_HEIGHT = 120;

// Large photo: nine 12-byte groups of 8 pixels a packet, nine packets a line of 648 pixels
// (640 shown), 240 lines.
inline constexpr std::size_t PHOTO_GROUP_OFFSET = 3;
inline constexpr std::size_t PHOTO_GROUP_BYTES = 12;
inline constexpr std::size_t PHOTO_GROUPS = 9;
inline constexpr std::size_t PHOTO_PACKET_PIXELS = 72;
inline constexpr std::uint16_t PHOTO_PACKETS_PER_LINE = 9;
inline constexpr std::size_t PHOTO_LINE_PIXELS = PHOTO_PACKET_PIXELS * PHOTO_PACKETS_PER_LINE;
inline constexpr std::uint16_t PHOTO_PACKETS = 2160;
inline constexpr std::int32_t PHOTO_WIDTH = 640;
inline constexpr std::int32_t PHOTO_HEIGHT = 480;

// A live sample byte: luminance in the high nibble, chroma as a signed nibble times 16.
struct LiveSample {
    std::uint8_t y = 0;
    int chroma = 0;
};
LiveSample DecodeLiveSample(std::uint8_t sample);

// The last chroma per sample position from an even- and an odd-numbered packet; they carry
// over from packet to packet and frame to frame.
struct LiveChromaStores {
    std::array<std::int8_t, LIVE_SAMPLES> even{};
    std::array<std::int8_t, LIVE_SAMPLES> odd{};
};

// One live line of 168 pixels, blue, green, red.
using LiveLine = std::array<std::uint8_t, LIVE_LINE_BYTES>;

// Decodes the samples of one live packet (its first 112 bytes) into a line, updating the
// chroma store of the packet's parity. False, nothing changed, for a packet under 112 bytes.
bool DecodeLiveLine(std::span<const std::uint8_t> packet, std::uint16_t packetNumber,
                    LiveChromaStores& chroma, LiveLine& line);

// Puts line p of a frame into the 160 x 120 live picture: the line in row 2p from the top,
// the mean of it and previousLine in row 2p - 1 (not for p = 0); then previousLine becomes
// the line. The bottom row is never written. False, nothing changed, for p outside the frame
// or a block that is not a 160 x 120 24-bit picture.
bool PlaceLiveLine(DibBlock& preview, std::uint16_t packetNumber, const LiveLine& line,
                   LiveLine& previousLine);

// The 648-pixel photo line being built, blue, green, red.
using PhotoLine = std::array<std::uint8_t, 3 * PHOTO_LINE_PIXELS>;

// The 72 pixels of one photo packet (bytes 3..110 in groups).
using PhotoPacketPixels = std::array<std::uint8_t, 3 * PHOTO_PACKET_PIXELS>;
bool DecodePhotoPacket(std::span<const std::uint8_t> packet, PhotoPacketPixels& pixels);

// Adds photo packet n to the line at pixel 72 x (n mod 9); when the line k = n / 9 is
// complete, writes it to row 2k from the top of the 640 x 480 photo and the mean of it and
// line k - 1 (read back from the photo) to row 2k - 1. The bottom row is never written.
// False, nothing changed, for n outside the photo, a short packet or a wrong block.
bool AddPhotoPacket(std::span<const std::uint8_t> packet, std::uint16_t packetNumber,
                    PhotoLine& line, DibBlock& photo);

// Camera variant 1: widens the used 506 columns of the photo to 640 for showing (header
// copied). False, work untouched, unless both are 640 x 480 24-bit pictures.
bool ZoomWidenPhoto(const DibBlock& photo, DibBlock& work);

// Camera variant 1: widens source columns 0..512 to 640 for saving, five output columns
// from every four source steps (header copied). False as above.
bool SaveWidenPhoto(const DibBlock& photo, DibBlock& work);

// A part of a picture, or of a window: x and y of its top-left pixel (rows counted from the
// top), width and height.
struct PictureArea {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const PictureArea&) const = default;
};

// A picture as the screen gets it: top-down rows of red, green, blue bytes, no padding.
struct ShownPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;
};

// Stretches the part `source` of a 24-bit picture to width x height. Each shown pixel is the
// source pixel it falls on (shown column c takes source column x + c * source width / width,
// rounded down; rows alike), so columns and rows are repeated or dropped, never blended.
// Empty when the block is not a sound 24-bit picture, the part does not lie inside it or a
// size is not positive.
ShownPicture StretchPicture(const DibBlock& picture, const PictureArea& source, std::int32_t width,
                            std::int32_t height);

}  // namespace fotolyx
