#include "imaging/picture_reductions.h"

#include "imaging/rgb_picture.h"

namespace fotolyx {

std::size_t ReduceToNormalSize(const DibBlock& picture, std::span<std::uint8_t> out) {
    const auto geometry = RgbPictureGeometry(picture, UPLOAD_SOURCE_WIDTH, UPLOAD_SOURCE_HEIGHT);
    if (!geometry || out.size() < NORMAL_BITMAP_BYTES) {
        return 0;
    }
    WriteRgbHeader(out.data(), NORMAL_WIDTH, NORMAL_HEIGHT);
    const std::uint8_t* source = picture.data() + geometry->bitsOffset;
    std::uint8_t* target = out.data() + INFO_HEADER_SIZE;
    for (std::size_t j = 0; j < static_cast<std::size_t>(NORMAL_HEIGHT); ++j) {
        const std::uint8_t* lower = source + 2 * j * geometry->stride;
        const std::uint8_t* upper = lower + geometry->stride;
        for (std::size_t i = 0; i < static_cast<std::size_t>(NORMAL_WIDTH); ++i) {
            for (std::size_t channel = 0; channel < 3; ++channel) {
                const std::size_t left = 6 * i + channel;
                const int sum = lower[left] + lower[left + 3] + upper[left] + upper[left + 3];
                *target++ = static_cast<std::uint8_t>(sum / 4);
            }
        }
    }
    return NORMAL_BITMAP_BYTES;
}

std::size_t MakeThumbnailBitmap(const DibBlock& picture, std::span<std::uint8_t> out) {
    const auto geometry = RgbPictureGeometry(picture, UPLOAD_SOURCE_WIDTH, UPLOAD_SOURCE_HEIGHT);
    if (!geometry || out.size() < THUMBNAIL_BITMAP_BYTES) {
        return 0;
    }
    WriteRgbHeader(out.data(), THUMBNAIL_WIDTH, THUMBNAIL_HEIGHT);
    const std::uint8_t* source = picture.data() + geometry->bitsOffset;
    std::uint8_t* target = out.data() + INFO_HEADER_SIZE;
    const auto fourPixelMean = [](const std::uint8_t* first) {
        return (first[0] + first[3] + first[6] + first[9]) / 4;
    };
    for (std::size_t j = 0; j < static_cast<std::size_t>(THUMBNAIL_HEIGHT); ++j) {
        const std::uint8_t* rowA = source + 4 * j * geometry->stride;
        const std::uint8_t* rowB = rowA + 2 * geometry->stride;
        for (std::size_t i = 0; i < static_cast<std::size_t>(THUMBNAIL_WIDTH); ++i) {
            for (std::size_t channel = 0; channel < 3; ++channel) {
                const std::size_t first = 12 * i + channel;
                const int a = fourPixelMean(rowA + first);
                const int b = fourPixelMean(rowB + first);
                *target++ = static_cast<std::uint8_t>((a + b) / 2);
            }
        }
    }
    return THUMBNAIL_BITMAP_BYTES;
}

}  // namespace fotolyx
