#include "imaging/picture_reductions.h"

#include <algorithm>
#include <array>

#include "imaging/rgb_picture.h"

namespace fotolyx {

namespace {

// One source pixel (blue, green, red) of a 24-bit or 8-bit block with a 40-byte header.
struct PixelReader {
    const DibBlock& dib;
    std::size_t bits;
    std::size_t stride;
    int bitCount;
    std::uint32_t colours;

    explicit PixelReader(const DibBlock& block)
        : dib(block),
          bits(DibBitsOffset(block)),
          stride(DibStride(DibBitCount(block), static_cast<std::uint32_t>(DibWidth(block)))),
          bitCount(DibBitCount(block)),
          colours(DibNumColors(block)) {}

    std::array<double, 3> At(std::int32_t x, std::int32_t y) const {
        const std::uint8_t* row = dib.data() + bits + stride * static_cast<std::size_t>(y);
        if (bitCount == 24) {
            const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            return {double(p[0]), double(p[1]), double(p[2])};
        }
        const std::uint32_t index = row[x];
        if (index >= colours) {
            return {0, 0, 0};
        }
        const std::uint8_t* entry = dib.data() + INFO_HEADER_SIZE + 4 * index;
        return {double(entry[0]), double(entry[1]), double(entry[2])};
    }
};

struct FitSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

FitSize FitThumbnail(std::int32_t w, std::int32_t h) {
    if (w <= h) {
        return {static_cast<std::int32_t>(std::int64_t{w} * THUMBNAIL_HEIGHT / h),
                THUMBNAIL_HEIGHT};
    }
    FitSize fit{THUMBNAIL_WIDTH, static_cast<std::int32_t>(std::int64_t{h} * THUMBNAIL_WIDTH / w)};
    if (fit.height > THUMBNAIL_HEIGHT) {
        fit = {static_cast<std::int32_t>(std::int64_t{w} * THUMBNAIL_HEIGHT / h), THUMBNAIL_HEIGHT};
    }
    return fit;
}

// Scales the source bilinearly to the fit size and places it on a black 160x120 picture.
void ScaleIntoFrame(const DibBlock& source, FitSize fit, DibBlock& frame) {
    const PixelReader reader(source);
    const std::int32_t w = DibWidth(source);
    const std::int32_t h = DibHeight(source);
    const double fx = static_cast<double>(fit.width) / w;
    const double fy = static_cast<double>(fit.height) / h;
    const std::int32_t left = fit.width < THUMBNAIL_WIDTH ? (THUMBNAIL_WIDTH - fit.width) / 2 : 0;
    const std::int32_t bottom =
        fit.height < THUMBNAIL_HEIGHT ? (THUMBNAIL_HEIGHT - fit.height) / 2 : 0;
    const std::int32_t firstColumn = left != 0 ? left + 1 : 0;
    const std::int32_t firstRow = bottom != 0 ? bottom + 1 : 0;
    const std::size_t frameStride = DibStride(24, THUMBNAIL_WIDTH);
    for (std::int32_t r = 0; r < fit.height && firstRow + r < THUMBNAIL_HEIGHT; ++r) {
        const double y = r / fy;
        const std::int32_t iy = std::min(static_cast<std::int32_t>(y), h - 1);
        const double wy = y - iy;
        const std::int32_t iy1 = iy + 1 < h ? iy + 1 : iy;
        std::uint8_t* out = DibBits(frame) + frameStride * static_cast<std::size_t>(firstRow + r);
        for (std::int32_t c = 0; c < fit.width && firstColumn + c < THUMBNAIL_WIDTH; ++c) {
            const double x = c / fx;
            const std::int32_t ix = std::min(static_cast<std::int32_t>(x), w - 1);
            const double wx = x - ix;
            const std::int32_t ix1 = ix + 1 < w ? ix + 1 : ix;
            const auto p00 = reader.At(ix, iy);
            const auto p10 = reader.At(ix1, iy);
            const auto p01 = reader.At(ix, iy1);
            const auto p11 = reader.At(ix1, iy1);
            std::uint8_t* pixel = out + 3 * static_cast<std::size_t>(firstColumn + c);
            for (int k = 0; k < 3; ++k) {
                const double value = (p01[k] * (1 - wx) + p11[k] * wx) * wy +
                                     (p10[k] * wx + p00[k] * (1 - wx)) * (1 - wy);
                pixel[k] = static_cast<std::uint8_t>(value);
            }
        }
    }
}

}  // namespace

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

bool IsThumbnailSource(const DibBlock& dib) {
    const auto bitCount = DibBitCount(dib);
    return DibHeaderSize(dib) == INFO_HEADER_SIZE && (bitCount == 24 || bitCount == 8) &&
           DibIsConsistent(dib);
}

std::optional<DibBlock> MakeThumbnailPicture(const DibBlock& source) {
    if (!IsThumbnailSource(source)) {
        return std::nullopt;
    }
    const FitSize fit = FitThumbnail(DibWidth(source), DibHeight(source));
    std::optional<DibBlock> frame = CreateDib(THUMBNAIL_WIDTH, THUMBNAIL_HEIGHT, 24);
    if (frame) {
        ScaleIntoFrame(source, fit, *frame);
    }
    return frame;
}

}  // namespace fotolyx
