#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "ports/messages.h"

namespace fotolyx {

class Shell;

inline constexpr std::uint8_t JPEG_MARKER = 0xFF;
inline constexpr std::uint8_t JPEG_SOI = 0xD8;
inline constexpr std::uint8_t JPEG_EOI = 0xD9;
inline constexpr std::uint8_t JPEG_SOS = 0xDA;
inline constexpr std::uint8_t JPEG_DQT = 0xDB;
inline constexpr std::uint8_t JPEG_DHT = 0xC4;
inline constexpr std::uint8_t JPEG_SOF0 = 0xC0;
inline constexpr std::uint8_t JPEG_JPG9 = 0xF9;
inline constexpr std::uint8_t JPEG_APP0 = 0xE0;
inline constexpr std::uint8_t JPEG_APP15 = 0xEF;
inline constexpr std::uint8_t JPEG_COM = 0xFE;

// Size and sampling of a baseline frame; all 0 when the file has no baseline frame header.
struct JpegFrameInfo {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t componentCount = 0;
    struct Sampling {
        std::uint32_t horizontal = 0;
        std::uint32_t vertical = 0;
    };
    std::array<Sampling, 4> sampling{};
};

// The first bytes of a JPEG file, through the start-of-scan marker and its length field.
// None for a bitmap ("BM"), a file that is not a JPEG, or one that ends before its scan.
std::optional<std::vector<std::uint8_t>> ReadJpegHead(const std::filesystem::path& path);

// 1 with the frame information, or 0 after showing "This is not a Jpeg file.".
int ReadJpegFrameInfo(Shell& shell, const std::filesystem::path& path, JpegFrameInfo& info);

// 1 when the first Huffman table segment carries the four tables of the standard's examples
// (code-length counts compared, symbols not); 0 otherwise. Shows "This is not a Jpeg file."
// when the head cannot be read.
int HasStandardHuffmanTables(Shell& shell, const std::filesystem::path& path);

// Drops application and comment segments and merges all quantisation tables into one segment
// and all Huffman tables into another; the scan is copied through its end-of-image marker.
// None when a segment runs past the end of the data or a merged segment would not fit.
std::optional<std::vector<std::uint8_t>> CompactJpeg(std::span<const std::uint8_t> jpeg);

// Reads the whole file and compacts it.
std::optional<std::vector<std::uint8_t>> ReadAndCompactJpeg(const std::filesystem::path& path);

// Bytes through the end-of-image marker that follows the first scan; the segments before the
// scan are skipped by their lengths, so an FF D9 inside a table cannot end the data. The whole
// size when there is no end-of-image marker.
std::size_t JpegDataLength(std::span<const std::uint8_t> jpeg);

// True when the data starts with a start-of-image marker and has the end-of-image marker that
// closes its first scan: nothing of the picture was lost at either end.
bool IsWholeJpeg(std::span<const std::uint8_t> jpeg);

}  // namespace fotolyx
