#include "adjust/adjust_algorithms.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "imaging/rgb_picture.h"

namespace fotolyx {

namespace {

// Toward zero, then into 0..255; for values known to be finite.
int TruncClamp(double value) {
    if (value <= 0) {
        return 0;
    }
    if (value >= 255) {
        return 255;
    }
    return static_cast<int>(value);
}

int RoundHalfAway(double value) {
    return value >= 0 ? static_cast<int>(value + 0.5) : static_cast<int>(value - 0.5);
}

// The products of the forward conversion for every byte value, so that each pixel costs
// lookups and the additions in their written order.
struct ForwardProducts {
    std::array<double, 256> yR, yG, yB;
    std::array<double, 256> cbB, cbR, cbG;
    std::array<double, 256> crR, crG, crB;

    ForwardProducts() {
        for (int v = 0; v < 256; ++v) {
            yR[v] = 0.299 * v;
            yG[v] = 0.587 * v;
            yB[v] = 0.114 * v;
            cbB[v] = 0.4997 * v;
            cbR[v] = 0.1686 * v;
            cbG[v] = 0.3311 * v;
            crR[v] = 0.4998 * v;
            crG[v] = 0.4185 * v;
            crB[v] = 0.0813 * v;
        }
    }
};

std::uint8_t SignedByte(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

int SignedValue(std::uint8_t byte) {
    return static_cast<std::int8_t>(byte);
}

bool PlanesHold(const AdjustPlanes& planes, const RgbGeometry& geometry) {
    const std::size_t count = geometry.PixelCount();
    return planes.Y.size() >= count && planes.Cb.size() >= count && planes.Cr.size() >= count &&
           planes.RowTail.size() >= geometry.PadBytes() * static_cast<std::size_t>(geometry.height);
}

// Converts every pixel into the planes and keeps every row's pad bytes.
void ConvertToPlanes(const DibBlock& picture, const RgbGeometry& geometry, AdjustPlanes& planes) {
    const ForwardProducts p;
    const std::size_t width = static_cast<std::size_t>(geometry.width);
    const std::size_t pad = geometry.PadBytes();
    const std::uint8_t* bits = picture.data() + geometry.bitsOffset;
    for (std::size_t row = 0; row < static_cast<std::size_t>(geometry.height); ++row) {
        const std::uint8_t* pixel = bits + row * geometry.stride;
        std::uint8_t* y = planes.Y.data() + row * width;
        std::uint8_t* cb = planes.Cb.data() + row * width;
        std::uint8_t* cr = planes.Cr.data() + row * width;
        for (std::size_t column = 0; column < width; ++column, pixel += 3) {
            const std::uint8_t b = pixel[0];
            const std::uint8_t g = pixel[1];
            const std::uint8_t r = pixel[2];
            y[column] = static_cast<std::uint8_t>(
                std::min(255, static_cast<int>(p.yR[r] + p.yG[g] + p.yB[b] + 0.5)));
            cb[column] = SignedByte(RoundHalfAway(p.cbB[b] - p.cbR[r] - p.cbG[g]));
            cr[column] = SignedByte(RoundHalfAway(p.crR[r] - p.crG[g] - p.crB[b]));
        }
        if (pad > 0) {
            std::memcpy(planes.RowTail.data() + row * pad, pixel, pad);
        }
    }
}

PlaneSignature TakeSignature(const AdjustPlanes& planes) {
    return {planes.Y[0], planes.Cr[0], planes.Cb[0]};
}

// Everything the render needs per chroma byte, computed once per render.
struct ChromaProducts {
    std::array<double, 256> redCr, greenCb, greenCr, blueCb;

    explicit ChromaProducts(double saturationFactor) {
        for (int byte = 0; byte < 256; ++byte) {
            const int scaled =
                static_cast<int>(SignedValue(static_cast<std::uint8_t>(byte)) * saturationFactor);
            redCr[byte] = 1.4026 * scaled;
            greenCb[byte] = 0.3444 * scaled;
            greenCr[byte] = 0.7144 * scaled;
            blueCb[byte] = 1.773 * scaled;
        }
    }
};

// Writes the header and the rows of output from the planes, the table and the factors.
void Render(const DibBlock& source, const RgbGeometry& geometry, DibBlock& output,
            const AdjustPlanes& planes, const ToneTable& table, double sharpnessFactor,
            double saturationFactor) {
    std::memcpy(output.data(), source.data(), geometry.bitsOffset);
    const ChromaProducts chroma(saturationFactor);
    const std::size_t width = static_cast<std::size_t>(geometry.width);
    const std::size_t height = static_cast<std::size_t>(geometry.height);
    const std::size_t pad = geometry.PadBytes();
    std::uint8_t* bits = output.data() + geometry.bitsOffset;
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint8_t* y = planes.Y.data() + row * width;
        const std::uint8_t* cb = planes.Cb.data() + row * width;
        const std::uint8_t* cr = planes.Cr.data() + row * width;
        const bool innerRow = row > 0 && row + 1 < height;
        std::uint8_t* pixel = bits + row * geometry.stride;
        for (std::size_t column = 0; column < width; ++column, pixel += 3) {
            const int level = table[y[column]];
            int sharpened = level;
            if (innerRow && column > 0 && column + 1 < width) {
                int d = 4 * level - table[y[column + width]] - table[y[column - width]] -
                        table[y[column + 1]] - table[y[column - 1]];
                if (d >= -SHARPEN_DEAD_ZONE && d <= SHARPEN_DEAD_ZONE) {
                    d = 0;
                }
                if (d != 0) {
                    const double value = d * sharpnessFactor + level;
                    sharpened = TruncClamp(value);
                }
            }
            const double luma = sharpened;
            pixel[0] =
                static_cast<std::uint8_t>(TruncClamp(luma + chroma.blueCb[cb[column]] + 0.5));
            pixel[1] = static_cast<std::uint8_t>(
                TruncClamp(luma - chroma.greenCb[cb[column]] - chroma.greenCr[cr[column]] + 0.5));
            pixel[2] = static_cast<std::uint8_t>(TruncClamp(luma + chroma.redCr[cr[column]] + 0.5));
        }
        if (pad > 0) {
            std::memcpy(pixel, planes.RowTail.data() + row * pad, pad);
        }
    }
}

std::int32_t Clamp(std::int32_t value, std::int32_t low, std::int32_t high) {
    return std::max(low, std::min(high, value));
}

}  // namespace

namespace {

constexpr std::int32_t AdjustSettings::*SETTING_FIELDS[] = {
    &AdjustSettings::brightness, &AdjustSettings::contrast, &AdjustSettings::saturation,
    &AdjustSettings::sharpness};

}  // namespace

std::int32_t& SettingAt(AdjustSettings& settings, int index) {
    return settings.*SETTING_FIELDS[std::clamp(index, 0, 3)];
}

std::int32_t SettingAt(const AdjustSettings& settings, int index) {
    return settings.*SETTING_FIELDS[std::clamp(index, 0, 3)];
}

AdjustPlanes AdjustPlanes::ForPicture(std::int32_t width, std::int32_t height) {
    const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) *
                              static_cast<std::size_t>(std::max(height, 0));
    AdjustPlanes planes;
    try {
        planes.Y.resize(count);
        planes.Cb.resize(count);
        planes.Cr.resize(count);
        planes.RowTail.resize(static_cast<std::size_t>(std::max(width, 0) % 4) *
                              static_cast<std::size_t>(std::max(height, 0)));
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
    return planes;
}

ContrastRange ManualContrastRange(int blackPoint, int whitePoint, std::int32_t contrast) {
    ContrastRange range;
    const int topGap = 255 - whitePoint;
    if (blackPoint < topGap) {
        range.lo = static_cast<int>(static_cast<double>(blackPoint) / topGap * contrast + 0.5);
        range.hi = 255 - contrast;
    } else {
        // Both gaps empty (black point 0, white point 255): nothing to balance.
        const double ratio = blackPoint == 0 ? 0.0 : static_cast<double>(topGap) / blackPoint;
        range.lo = contrast;
        range.hi = static_cast<int>(255 - ratio * contrast + 0.5);
    }
    return range;
}

ToneTable BuildToneTable(int lo, double scale, double k) {
    ToneTable table{};
    const double topSlope = 1.25 - 0.25 * k;
    for (int level = 0; level < 256; ++level) {
        const double x = (level - lo) * scale;
        double value;
        if (x < 0) {
            value = 0;
        } else if (x < 32) {
            value = k * x;
        } else if (x < 128) {
            value = x + 32 * k - 32;
        } else if (x <= 255) {
            value = topSlope * x + 64 * k - 64;
        } else {
            value = topSlope * 255 + 64 * k - 64;
        }
        table[static_cast<std::size_t>(level)] = TruncClamp(value);
    }
    return table;
}

bool MakePreviewPair(const DibBlock& picture, DibBlock& before, DibBlock& after) {
    const auto geometry = RgbPictureGeometry(picture);
    if (!geometry || before.size() < PREVIEW_BYTES || after.size() < PREVIEW_BYTES) {
        return false;
    }
    const std::size_t stepX = static_cast<std::size_t>(geometry->width / PREVIEW_WIDTH);
    const std::size_t stepY = static_cast<std::size_t>(geometry->height / PREVIEW_HEIGHT);
    const std::uint8_t* source = picture.data() + geometry->bitsOffset;
    for (DibBlock* preview : {&before, &after}) {
        WriteRgbHeader(preview->data(), PREVIEW_WIDTH, PREVIEW_HEIGHT);
        std::uint8_t* out = preview->data() + INFO_HEADER_SIZE;
        for (std::size_t j = 0; j < static_cast<std::size_t>(PREVIEW_HEIGHT); ++j) {
            const std::uint8_t* row = source + j * stepY * geometry->stride;
            for (std::size_t i = 0; i < static_cast<std::size_t>(PREVIEW_WIDTH); ++i, out += 3) {
                std::memcpy(out, row + 3 * i * stepX, 3);
            }
        }
    }
    return true;
}

AdjustEngine::AdjustEngine() : toneTable(BuildToneTable(0, 1.0, 1.0)) {}

bool AdjustEngine::AnalysePreview(const DibBlock& before, AdjustPlanes& planes) {
    const auto geometry = RgbPictureGeometry(before);
    if (!geometry || !PlanesHold(planes, *geometry)) {
        return false;
    }
    ConvertToPlanes(before, *geometry, planes);
    signature = TakeSignature(planes);
    histogram.fill(0);
    pixelCount = geometry->PixelCount();
    for (std::size_t i = 0; i < pixelCount; ++i) {
        ++histogram[planes.Y[i]];
    }

    const std::size_t darkClip = DARK_CLIP_PER_2000 * pixelCount / 2000;
    const std::size_t brightClip = BRIGHT_CLIP_PER_2000 * pixelCount / 2000;
    blackPoint = 0;
    if (darkClip > 0) {
        std::size_t sum = 0;
        for (int bin = 1; bin <= 255; ++bin) {
            blackPoint = bin;
            sum += histogram[static_cast<std::size_t>(bin)];
            if (sum >= darkClip) {
                break;
            }
        }
    }
    blackPoint = std::min(blackPoint, LARGEST_BLACK_POINT);
    whitePoint = 255;
    if (brightClip > 0) {
        std::size_t sum = 0;
        for (int bin = 254; bin >= 0; --bin) {
            whitePoint = bin;
            sum += histogram[static_cast<std::size_t>(bin)];
            if (sum >= brightClip) {
                break;
            }
        }
    }
    whitePoint = std::max(whitePoint, SMALLEST_WHITE_POINT);
    return true;
}

bool AdjustEngine::SignatureMatches(const AdjustPlanes& planes) const {
    const PlaneSignature now = TakeSignature(planes);
    return now.y == signature.y && now.cr == signature.cr && now.cb == signature.cb;
}

bool AdjustEngine::RenderManual(const DibBlock& before, DibBlock& after, AdjustPlanes& planes) {
    const auto geometry = RgbPictureGeometry(before);
    if (!geometry || !PlanesHold(planes, *geometry) || after.size() < geometry->UsedBytes() ||
        !SignatureMatches(planes)) {
        return false;
    }
    // The dialog never leaves these ranges; the clamps keep the contrast span positive.
    const std::int32_t contrast = Clamp(settings.contrast, -100, 100);
    const std::int32_t brightness = Clamp(settings.brightness, -100, 100);
    const std::int32_t saturation = Clamp(settings.saturation, -100, 100);
    const std::int32_t sharpness = Clamp(settings.sharpness, 0, 100);

    const ContrastRange range = ManualContrastRange(blackPoint, whitePoint, contrast);
    const double scale = 255.0 / (range.hi - range.lo);
    sharpnessFactor = sharpness / SHARPNESS_DIVISOR;
    saturationFactor = (saturation + 100) / SATURATION_DIVISOR;
    const double k = brightness / BRIGHTNESS_DIVISOR + 1;
    toneTable = BuildToneTable(range.lo, scale, k);
    Render(before, *geometry, after, planes, toneTable, sharpnessFactor, saturationFactor);
    return true;
}

bool AdjustEngine::RenderAutomatic(const DibBlock& before, DibBlock& after, AdjustPlanes& planes) {
    const auto geometry = RgbPictureGeometry(before);
    if (!geometry || !PlanesHold(planes, *geometry) || after.size() < geometry->UsedBytes() ||
        !SignatureMatches(planes)) {
        return false;
    }
    const int contrast = std::max(blackPoint, 255 - whitePoint);
    const int range = whitePoint - blackPoint;
    const double scale = 255.0 / range;
    const double u = range / 255.0;
    const double lowStart = blackPoint + AUTO_LOW_BAND_START * u;
    const double midStart = blackPoint + AUTO_MID_BAND_START * u;
    const double midEnd = blackPoint + AUTO_MID_BAND_END * u;

    const std::size_t width = static_cast<std::size_t>(geometry->width);
    const std::size_t height = static_cast<std::size_t>(geometry->height);
    std::size_t lowCount = 0;
    std::size_t midCount = 0;
    std::size_t edgeCount = 0;
    double chromaSum = 0;
    for (std::size_t row = 0; row < height; ++row) {
        for (std::size_t column = 0; column < width; ++column) {
            const std::size_t i = row * width + column;
            const int y = planes.Y[i];
            if (lowStart <= y && y < midStart) {
                ++lowCount;
            } else if (midStart <= y && y < midEnd) {
                ++midCount;
            }
            const int cb = SignedValue(planes.Cb[i]);
            const int cr = SignedValue(planes.Cr[i]);
            chromaSum += std::sqrt(static_cast<double>(cb * cb + cr * cr));
            if (row > 0 && row + 1 < height && column > 0 && column + 1 < width) {
                const int edge = 4 * y - planes.Y[i + width] - planes.Y[i - width] -
                                 planes.Y[i + 1] - planes.Y[i - 1];
                if (edge >= AUTO_EDGE_THRESHOLD) {
                    ++edgeCount;
                }
            }
        }
    }

    double q = midCount == 0 ? 1.0 : static_cast<double>(lowCount) / midCount;
    q = std::clamp(q, AUTO_RATIO_MIN, AUTO_RATIO_MAX);
    const int brightness = static_cast<int>((q - 1) * BRIGHTNESS_DIVISOR);
    toneTable = BuildToneTable(blackPoint, scale, q);

    const std::size_t count = geometry->PixelCount();
    const double meanChroma = count == 0 ? 0.0 : chromaSum / count;
    double gain = 1;
    if (meanChroma < 10) {
        gain = 1 + 0.06 * meanChroma;
    } else if (meanChroma < 20) {
        gain = 2.2 - 0.06 * meanChroma;
    }
    saturationFactor = std::min(gain * scale, AUTO_SATURATION_CAP);
    const int saturation = static_cast<int>(100 * saturationFactor - 100);
    if (count > 0) {
        sharpnessFactor = std::max(
            0.0, AUTO_SHARPNESS_BASE - AUTO_EDGE_WEIGHT * static_cast<double>(edgeCount) / count);
    }
    const int sharpness = static_cast<int>(100 * sharpnessFactor);

    settings = {brightness, contrast, saturation, sharpness};
    Render(before, *geometry, after, planes, toneTable, sharpnessFactor, saturationFactor);
    return true;
}

bool AdjustEngine::ApplyToPicture(const DibBlock& picture, DibBlock& output, AdjustPlanes& planes) {
    const auto geometry = RgbPictureGeometry(picture);
    if (!geometry || !PlanesHold(planes, *geometry) || output.size() < geometry->UsedBytes()) {
        return false;
    }
    ConvertToPlanes(picture, *geometry, planes);
    signature = TakeSignature(planes);
    Render(picture, *geometry, output, planes, toneTable, sharpnessFactor, saturationFactor);
    return true;
}

}  // namespace fotolyx
