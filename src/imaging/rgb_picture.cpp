#include "imaging/rgb_picture.h"

#include <cstring>

namespace fotolyx {

std::optional<RgbGeometry> RgbPictureGeometry(const DibBlock& dib) {
    if (DibHeaderSize(dib) != INFO_HEADER_SIZE || DibBitCount(dib) != 24 || !DibIsConsistent(dib)) {
        return std::nullopt;
    }
    RgbGeometry geometry;
    geometry.width = DibWidth(dib);
    geometry.height = DibHeight(dib);
    geometry.stride = DibStride(24, static_cast<std::uint32_t>(geometry.width));
    geometry.bitsOffset = DibBitsOffset(dib);
    return geometry;
}

std::optional<RgbGeometry> RgbPictureGeometry(const DibBlock& dib, std::int32_t width,
                                              std::int32_t height) {
    auto geometry = RgbPictureGeometry(dib);
    if (!geometry || geometry->width != width || geometry->height != height) {
        return std::nullopt;
    }
    return geometry;
}

void WriteRgbHeader(std::uint8_t* out, std::int32_t width, std::int32_t height) {
    std::memset(out, 0, INFO_HEADER_SIZE);
    WriteLe32(out, INFO_HEADER_SIZE);
    WriteLe32(out + 4, static_cast<std::uint32_t>(width));
    WriteLe32(out + 8, static_cast<std::uint32_t>(height));
    WriteLe16(out + 12, 1);
    WriteLe16(out + 14, 24);
}

}  // namespace fotolyx
