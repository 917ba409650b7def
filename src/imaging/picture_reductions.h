#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "imaging/dib_block.h"
#include "imaging/thumbnail_size.h"

namespace fotolyx {

inline constexpr std::int32_t UPLOAD_SOURCE_WIDTH = 640;
inline constexpr std::int32_t UPLOAD_SOURCE_HEIGHT = 480;
inline constexpr std::int32_t NORMAL_WIDTH = 320;
inline constexpr std::int32_t NORMAL_HEIGHT = 240;
// Header and rows of the two bitmaps.
inline constexpr std::size_t NORMAL_BITMAP_BYTES = 40 + 3 * 320 * 240;
inline constexpr std::size_t THUMBNAIL_BITMAP_BYTES = 40 + 3 * 160 * 120;

// Writes a 320 x 240 bitmap (40-byte header and rows) at the start of out, each pixel the
// mean of a 2 x 2 box of the 640 x 480 picture, rounded down. Returns the bytes written, or
// 0 (out untouched) when the picture is not a 640 x 480 24-bit bitmap or out is too small.
std::size_t ReduceToNormalSize(const DibBlock& picture, std::span<std::uint8_t> out);

// Writes the 160 x 120 thumbnail bitmap of a 640 x 480 picture at the start of out: per
// channel the mean of two 4-pixel means, from source rows 4j and 4j + 2. Returns the bytes
// written, or 0 as above.
std::size_t MakeThumbnailBitmap(const DibBlock& picture, std::span<std::uint8_t> out);

// A picture the thumbnail can be made of: 24-bit or 8-bit, 40-byte header, all rows present.
bool IsThumbnailSource(const DibBlock& source);

// The thumbnail's picture: a 24-bit or 8-bit source scaled bilinearly to fit 160x120 and
// placed on black. None when the source is not such a picture or memory runs out.
std::optional<DibBlock> MakeThumbnailPicture(const DibBlock& source);

}  // namespace fotolyx
