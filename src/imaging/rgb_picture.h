#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "imaging/dib_block.h"

namespace fotolyx {

// Where the pixels of a 24-bit picture lie in its block. Rows are bottom-up, `stride` bytes
// apart: 3 × width pixel bytes followed by width mod 4 pad bytes.
struct RgbGeometry {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    std::size_t bitsOffset = 0;

    std::size_t PixelCount() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::size_t PadBytes() const { return stride - 3 * static_cast<std::size_t>(width); }
    // Header, colour table and rows.
    std::size_t UsedBytes() const { return bitsOffset + stride * static_cast<std::size_t>(height); }
};

// The geometry of a block with a 40-byte header and 24 bits per pixel whose rows all lie
// inside the block; none for anything else.
std::optional<RgbGeometry> RgbPictureGeometry(const DibBlock& dib);

// The same, and the picture must be exactly width × height.
std::optional<RgbGeometry> RgbPictureGeometry(const DibBlock& dib, std::int32_t width,
                                              std::int32_t height);

// Writes the 40-byte header of a 24-bit picture (size 40, planes 1, all else 0) at out.
void WriteRgbHeader(std::uint8_t* out, std::int32_t width, std::int32_t height);

inline std::uint8_t ClampToByte(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace fotolyx
