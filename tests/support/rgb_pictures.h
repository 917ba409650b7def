#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "imaging/dib_block.h"

namespace fotolyx::testing {

struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    bool operator==(const Bgr&) const = default;
};

inline Bgr Grey(int value) {
    const auto v = static_cast<std::uint8_t>(value);
    return {v, v, v};
}

// A 24-bit picture with a 40-byte header and padded rows; pixel(column, row) gives each pixel,
// rows counted in stored (bottom-up) order. Pad bytes are filled with padByte.
DibBlock MakeRgbPicture(std::int32_t width, std::int32_t height,
                        const std::function<Bgr(int column, int row)>& pixel,
                        std::uint8_t padByte = 0);
// The same with random pixels.
DibBlock MakeRandomPicture(std::int32_t width, std::int32_t height, std::mt19937& random,
                           std::uint8_t padByte = 0);

inline std::vector<std::uint8_t> BlockBytes(const DibBlock& block) {
    return {block.bytes().begin(), block.bytes().end()};
}

// Pixel access by stored row; no bounds beyond the picture's own are checked.
Bgr PixelAt(const DibBlock& picture, int column, int row);
// The same with rows counted from the top of the picture.
Bgr PixelFromTop(const DibBlock& picture, int column, int rowFromTop);

}  // namespace fotolyx::testing
