#include "support/rgb_pictures.h"

#include <stdexcept>

namespace fotolyx::testing {

namespace {

std::uint8_t* PixelAddress(DibBlock& picture, int column, int row) {
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(DibWidth(picture)));
    return DibBits(picture) + static_cast<std::size_t>(row) * stride +
           3 * static_cast<std::size_t>(column);
}

}  // namespace

DibBlock MakeRgbPicture(std::int32_t width, std::int32_t height,
                        const std::function<Bgr(int column, int row)>& pixel,
                        std::uint8_t padByte) {
    auto dib = CreateDib(width, height, 24);
    if (!dib) {
        throw std::runtime_error("cannot make a test picture");
    }
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = DibBits(*dib) + static_cast<std::size_t>(row) * stride;
        for (int column = 0; column < width; ++column) {
            const Bgr value = pixel(column, row);
            line[3 * column] = value.blue;
            line[3 * column + 1] = value.green;
            line[3 * column + 2] = value.red;
        }
        for (std::size_t i = 3 * static_cast<std::size_t>(width); i < stride; ++i) {
            line[i] = padByte;
        }
    }
    return std::move(*dib);
}

DibBlock MakeRandomPicture(std::int32_t width, std::int32_t height, std::mt19937& random,
                           std::uint8_t padByte) {
    std::uniform_int_distribution<int> byte(0, 255);
    return MakeRgbPicture(
        width, height,
        [&](int, int) {
            return Bgr{static_cast<std::uint8_t>(byte(random)),
                       static_cast<std::uint8_t>(byte(random)),
                       static_cast<std::uint8_t>(byte(random))};
        },
        padByte);
}

Bgr PixelAt(const DibBlock& picture, int column, int row) {
    const std::uint8_t* p = PixelAddress(const_cast<DibBlock&>(picture), column, row);
    return {p[0], p[1], p[2]};
}

Bgr PixelFromTop(const DibBlock& picture, int column, int rowFromTop) {
    return PixelAt(picture, column, DibHeight(picture) - 1 - rowFromTop);
}

}  // namespace fotolyx::testing
