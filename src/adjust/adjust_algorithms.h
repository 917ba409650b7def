#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/dib_block.h"

namespace fotolyx {

// Brightness, contrast and saturation in -100..100, sharpness in 0..100; all 0 changes nothing.
struct AdjustSettings {
    std::int32_t brightness = 0;
    std::int32_t contrast = 0;
    std::int32_t saturation = 0;
    std::int32_t sharpness = 0;
};

// Setting i of the dialog's scroll bars: 0 brightness, 1 contrast, 2 saturation, 3 sharpness.
std::int32_t& SettingAt(AdjustSettings& settings, int index);
std::int32_t SettingAt(const AdjustSettings& settings, int index);

// Output level for each luminance level, each 0..255.
using ToneTable = std::array<std::int32_t, 256>;

inline constexpr std::int32_t PREVIEW_WIDTH = 160;
inline constexpr std::int32_t PREVIEW_HEIGHT = 120;
inline constexpr std::size_t PREVIEW_PIXELS = 160 * 120;
// Header and rows of one 160 x 120 preview.
inline constexpr std::size_t PREVIEW_BYTES = 40 + 3 * PREVIEW_PIXELS;

inline constexpr int DARK_CLIP_PER_2000 = 2;
inline constexpr int BRIGHT_CLIP_PER_2000 = 2;
inline constexpr int LARGEST_BLACK_POINT = 50;
inline constexpr int SMALLEST_WHITE_POINT = 205;
inline constexpr double BRIGHTNESS_DIVISOR = 25;
inline constexpr double SATURATION_DIVISOR = 100;
inline constexpr double SHARPNESS_DIVISOR = 100;
inline constexpr int SHARPEN_DEAD_ZONE = 2;
inline constexpr double AUTO_RATIO_MIN = 1;
inline constexpr double AUTO_RATIO_MAX = 3;
inline constexpr double AUTO_LOW_BAND_START = 10;
inline constexpr double AUTO_MID_BAND_START = 30;
inline constexpr double AUTO_MID_BAND_END = 50;
inline constexpr double AUTO_SATURATION_CAP = (30.0 + 100.0) / 100.0;
inline constexpr int AUTO_EDGE_THRESHOLD = 128;
inline constexpr double AUTO_SHARPNESS_BASE = 0.12;
inline constexpr double AUTO_EDGE_WEIGHT = 4;  // 0.12 / 0.03

// The working planes of one adjustment, one value per pixel in the bitmap's row order:
// luminance, the two colour differences (signed values kept as their bytes), and the pad
// bytes of every source row. The caller sizes them; an operation whose picture needs more
// than they hold refuses to run.
struct AdjustPlanes {
    std::vector<std::uint8_t> Y;
    std::vector<std::uint8_t> Cb;
    std::vector<std::uint8_t> Cr;
    std::vector<std::uint8_t> RowTail;

    // Planes large enough for a picture of width x height; empty ones when memory runs out.
    static AdjustPlanes ForPicture(std::int32_t width, std::int32_t height);
};

// The first pixel's values, taken when the planes were computed. A render runs only while
// the planes still start with them.
struct PlaneSignature {
    std::uint8_t y = 0;
    std::uint8_t cr = 0;
    std::uint8_t cb = 0;
};

// Contrast end points of the manual method.
struct ContrastRange {
    int lo = 0;
    int hi = 255;
};

ContrastRange ManualContrastRange(int blackPoint, int whitePoint, std::int32_t contrast);

// For each level i: x = (i - lo) x scale, then the curve with factor k, truncated and
// clamped to 0..255.
ToneTable BuildToneTable(int lo, double scale, double k);

// Fills both 160 x 120 previews (headers included) with the same samples of a 24-bit picture.
// False, previews untouched, when the picture is not a sound 24-bit bitmap or a preview block
// is too small.
bool MakePreviewPair(const DibBlock& picture, DibBlock& before, DibBlock& after);

// The adjustment's state between the dialog's steps: histogram, black and white points,
// signature, tone table and the two factors. All operations return false and change nothing
// when their source is not a sound 24-bit bitmap (bit counts below 16 included) or when a
// block or plane is too small for it.
class AdjustEngine {
  public:
    AdjustEngine();

    // Planes, histogram, pixel count, black and white points and signature of the preview.
    bool AnalysePreview(const DibBlock& before, AdjustPlanes& planes);
    // Tone table and factors from the settings; renders After. Does nothing more when the
    // planes no longer match their signature.
    bool RenderManual(const DibBlock& before, DibBlock& after, AdjustPlanes& planes);
    // Derives the settings from the preview's statistics, stores them and renders After.
    bool RenderAutomatic(const DibBlock& before, DibBlock& after, AdjustPlanes& planes);
    // Converts the whole picture into the planes and renders it into output with the table
    // and factors of the last render.
    bool ApplyToPicture(const DibBlock& picture, DibBlock& output, AdjustPlanes& planes);

    AdjustSettings settings;
    std::array<std::uint32_t, 256> histogram{};
    std::size_t pixelCount = 0;
    int blackPoint = 0;
    int whitePoint = 255;
    PlaneSignature signature;
    ToneTable toneTable{};
    double sharpnessFactor = 0;
    double saturationFactor = 1;

  private:
    bool SignatureMatches(const AdjustPlanes& planes) const;
};

}  // namespace fotolyx
