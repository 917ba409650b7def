#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

#include "imaging/dib_block.h"

namespace fotolyx::testing {

// One pixel as a 24-bit picture stores it; [0] is blue, [1] green, [2] red.
struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    bool operator==(const Bgr&) const = default;
    std::uint8_t operator[](int channel) const {
        return channel == 0 ? blue : channel == 1 ? green : red;
    }
};

inline Bgr Grey(int value) {
    const auto v = static_cast<std::uint8_t>(value);
    return {v, v, v};
}

// Pixel (column, row) of a 24-bit picture, rows in stored (bottom-up) order; no bounds checked.
inline std::uint8_t* PixelAddress(const DibBlock& picture, int column, int row) {
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(DibWidth(picture)));
    return const_cast<std::uint8_t*>(DibBits(picture)) + static_cast<std::size_t>(row) * stride +
           3 * static_cast<std::size_t>(column);
}

// A 24-bit picture with a 40-byte header, its pixels from pixel(column, row), its pads padByte.
inline DibBlock MakeRgbPicture(std::int32_t width, std::int32_t height,
                               const std::function<Bgr(int column, int row)>& pixel,
                               std::uint8_t padByte = 0) {
    auto dib = CreateDib(width, height, 24);
    if (!dib) {
        throw std::runtime_error("cannot make a test picture");
    }
    std::fill(DibBits(*dib), dib->data() + dib->size(), padByte);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const Bgr value = pixel(column, row);
            std::memcpy(PixelAddress(*dib, column, row), &value, 3);
        }
    }
    return std::move(*dib);
}

inline DibBlock MakeRandomPicture(std::int32_t width, std::int32_t height, std::mt19937& random,
                                  std::uint8_t padByte = 0) {
    std::uniform_int_distribution<int> byte(0, 255);
    const auto next = [&] { return static_cast<std::uint8_t>(byte(random)); };
    return MakeRgbPicture(
        width, height,
        [&](int, int) {
            return Bgr{next(), next(), next()};
        },
        padByte);
}

inline std::vector<std::uint8_t> BlockBytes(const DibBlock& block) {
    return {block.bytes().begin(), block.bytes().end()};
}

inline Bgr PixelAt(const DibBlock& picture, int column, int row) {
    const std::uint8_t* p = PixelAddress(picture, column, row);
    return {p[0], p[1], p[2]};
}

inline Bgr PixelFromTop(const DibBlock& picture, int column, int rowFromTop) {
    return PixelAt(picture, column, DibHeight(picture) - 1 - rowFromTop);
}

}  // namespace fotolyx::testing
