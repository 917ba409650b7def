#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ports/messages.h"

namespace fotolyx {

class Shell;

// TIFF field types used by the template.
inline constexpr std::uint16_t EXIF_BYTE = 1;
inline constexpr std::uint16_t EXIF_ASCII = 2;
inline constexpr std::uint16_t EXIF_SHORT = 3;
inline constexpr std::uint16_t EXIF_LONG = 4;
inline constexpr std::uint16_t EXIF_RATIONAL = 5;
inline constexpr std::uint16_t EXIF_UNDEFINED = 7;
inline constexpr std::uint16_t EXIF_SLONG = 9;
inline constexpr std::uint16_t EXIF_SRATIONAL = 10;

inline constexpr std::uint16_t TAG_DATE_TIME = 0x0132;
inline constexpr std::uint16_t TAG_EXIF_POINTER = 0x8769;
inline constexpr std::uint16_t TAG_DATE_TIME_ORIGINAL = 0x9003;
inline constexpr std::uint16_t TAG_DATE_TIME_DIGITIZED = 0x9004;
inline constexpr std::uint16_t TAG_PIXEL_X_DIMENSION = 0xA002;
inline constexpr std::uint16_t TAG_PIXEL_Y_DIMENSION = 0xA003;
inline constexpr std::uint16_t TAG_INTEROPERABILITY_POINTER = 0xA005;
inline constexpr std::uint16_t TAG_JPEG_INTERCHANGE_FORMAT = 0x0201;
inline constexpr std::uint16_t TAG_JPEG_INTERCHANGE_FORMAT_LENGTH = 0x0202;

// Where the TIFF header starts inside the block ("FF E1", length, "Exif\0\0").
inline constexpr std::size_t EXIF_TIFF_OFFSET = 10;
inline constexpr std::size_t EXIF_MAX_SEGMENT_LENGTH = 65'535;

enum class ByteOrder { Little, Big };

// The program's Exif APP1 block: marker, length, "Exif\0\0", TIFF header and four directories
// (IFD0, Exif, Interoperability, IFD1 describing the thumbnail that follows the block). Its
// size is the vector's size (474 bytes). None when memory runs out.
std::optional<std::vector<std::uint8_t>> BuildExifBlock();

// Writes the APP1 segment length big-endian at offsets 2 and 3. False when the block is too
// short or the length does not fit the 16-bit field.
bool SetExifSegmentLength(std::span<std::uint8_t> block, std::size_t length);

struct ExifTagPlace {
    std::size_t valueOffset = 0;  // TIFF offset of the value's place
    std::uint32_t count = 0;
    std::size_t room = 0;  // bytes the place holds: the value's size, at least 4
};

// Finds tag in IFD0 and its chain, then the Exif directory, then the Interoperability
// directory. Every offset is checked against the data; none when absent or malformed.
std::optional<ExifTagPlace> FindExifTag(std::span<const std::uint8_t> tiff, std::uint16_t tag,
                                        ByteOrder order);

// Writes text (with its terminating zero, at most the tag's count bytes) or, without text,
// number as 4 bytes in the block's byte order. A tag the block lacks shows "Can not find the
// Tag." and gives false.
bool SetExifTag(Shell& shell, std::span<std::uint8_t> block, std::uint16_t tag,
                std::optional<std::string_view> text, std::uint32_t number);

}  // namespace fotolyx
