#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace fotolyx {

enum class DecodedBmpResult { Ok, WrongType, WrongSize, DoesNotFit };

// Reads a BMP file written by the JPEG decoder (24 bits, or 8 bits with a colour table) into
// dest as a 40-byte header and 24-bit bottom-up rows padded to 4 bytes. The file must be of
// the expected width and height and the picture must fit dest; nothing past dest is written.
DecodedBmpResult ReadDecodedBmp(const std::filesystem::path& path, std::int32_t width,
                                std::int32_t height, std::span<std::uint8_t> dest);

// 40 + padded rows of a 24-bit picture; 0 when the size is absurd.
std::size_t Rgb24DibBytes(std::int32_t width, std::int32_t height);

}  // namespace fotolyx
