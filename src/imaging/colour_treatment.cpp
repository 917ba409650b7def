#include "imaging/colour_treatment.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/rgb_picture.h"
#include "ports/memory.h"

namespace fotolyx {

namespace {

// The work block holds Y', V', U' per pixel as signed 16-bit values, six bytes a pixel.
class WorkPlane {
  public:
    WorkPlane(std::uint8_t* bytes, std::size_t width) : bytes_(bytes), width_(width) {}

    std::int16_t Get(std::size_t index, int channel) const {
        std::int16_t value;
        std::memcpy(&value, bytes_ + 6 * index + 2 * static_cast<std::size_t>(channel), 2);
        return value;
    }
    void Set(std::size_t index, int channel, int value) {
        const auto stored = static_cast<std::int16_t>(value);
        std::memcpy(bytes_ + 6 * index + 2 * static_cast<std::size_t>(channel), &stored, 2);
    }
    int Y(std::size_t row, std::size_t column) const { return Get(row * width_ + column, 0); }
    void SetY(std::size_t row, std::size_t column, int value) {
        Set(row * width_ + column, 0, value);
    }

  private:
    std::uint8_t* bytes_;
    std::size_t width_;
};

constexpr int CHANNEL_Y = 0;
constexpr int CHANNEL_V = 1;
constexpr int CHANNEL_U = 2;

// The edge level T: six times the mean positive diagonal contrast on the grid of every
// second row and column, plus five.
int EdgeLevel(const WorkPlane& plane, std::size_t width, std::size_t height) {
    const std::size_t gridRows = (height - 1) / 2;
    const std::size_t gridColumns = (width - 1) / 2;
    long long sum = 0;
    long long count = 0;
    for (std::size_t r = 1; r < gridRows; ++r) {
        for (std::size_t c = 1; c < gridColumns; ++c) {
            const std::size_t row = 2 * r;
            const std::size_t column = 2 * c;
            const int e = 4 * plane.Y(row, column) - plane.Y(row - 2, column - 2) -
                          plane.Y(row - 2, column + 2) - plane.Y(row + 2, column - 2) -
                          plane.Y(row + 2, column + 2);
            sum += std::max(e, 0);
            ++count;
        }
    }
    return static_cast<int>(6 * (sum / count + 5));
}

// Blends each inner pixel between its five-point mean (flat areas) and itself (edges), in
// place, so that the neighbours above and to the left are already smoothed.
void SmoothLuminance(WorkPlane& plane, std::size_t width, std::size_t height) {
    const int level = EdgeLevel(plane, width, height);
    for (std::size_t r = 1; r + 1 < height; ++r) {
        for (std::size_t c = 1; c + 1 < width; ++c) {
            const int up = plane.Y(r - 1, c);
            const int down = plane.Y(r + 1, c);
            const int left = plane.Y(r, c - 1);
            const int right = plane.Y(r, c + 1);
            const int self = plane.Y(r, c);
            const int strength = std::abs(up - down) + std::abs(left - right) +
                                 std::abs(plane.Y(r - 1, c - 1) - plane.Y(r + 1, c + 1)) +
                                 std::abs(plane.Y(r - 1, c + 1) - plane.Y(r + 1, c - 1));
            const int mean = (up + down + left + right + self) / 5;
            const int blend = std::clamp(100 * strength / level - 50, 0, 100);
            plane.SetY(r, c, ((100 - blend) * mean + blend * self) / 100);
        }
    }
}

}  // namespace

ColourTreatmentResult ApplyColourTreatment(DibBlock& picture, std::uint8_t attribute,
                                           Memory& memory) {
    const int level = attribute >> 4;
    if (level < TREATMENT_FROM_LEVEL) {
        return ColourTreatmentResult::NotAsked;
    }
    const auto geometry = RgbPictureGeometry(picture);
    if (!geometry) {
        return ColourTreatmentResult::NotAPicture;
    }
    auto work = memory.AllocateZeroed(6 * geometry->PixelCount());
    if (!work) {
        return ColourTreatmentResult::NotEnoughMemory;
    }
    const std::size_t width = static_cast<std::size_t>(geometry->width);
    const std::size_t height = static_cast<std::size_t>(geometry->height);
    WorkPlane plane(work->data(), width);
    std::uint8_t* bits = picture.data() + geometry->bitsOffset;

    for (std::size_t row = 0; row < height; ++row) {
        const std::uint8_t* pixel = bits + row * geometry->stride;
        for (std::size_t column = 0; column < width; ++column, pixel += 3) {
            const int b = pixel[0];
            const int g = pixel[1];
            const int r = pixel[2];
            const int y = (30 * r + 59 * g + 11 * b) / 100;
            const int dr = r - y;
            const int db = b - y;
            const int v = (100 * dr + 3 * db) / 100;
            const int u = (100 * db - 3 * dr) / 100;
            const std::size_t index = row * width + column;
            plane.Set(index, CHANNEL_Y, 13 * y / 10);
            plane.Set(index, CHANNEL_V, 12 * v / 10);
            plane.Set(index, CHANNEL_U, 12 * u / 10);
        }
    }

    const bool smooth = level >= SMOOTHING_FROM_LEVEL && geometry->width >= SMOOTHING_MIN_SIZE &&
                        geometry->height >= SMOOTHING_MIN_SIZE;
    if (smooth) {
        SmoothLuminance(plane, width, height);
    }

    for (std::size_t row = 0; row < height; ++row) {
        std::uint8_t* pixel = bits + row * geometry->stride;
        for (std::size_t column = 0; column < width; ++column, pixel += 3) {
            const std::size_t index = row * width + column;
            const int y = plane.Get(index, CHANNEL_Y);
            const int v = plane.Get(index, CHANNEL_V);
            const int u = plane.Get(index, CHANNEL_U);
            pixel[0] = ClampToByte(y + u);
            pixel[1] = ClampToByte((100 * y - 51 * v - 19 * u) / 100);
            pixel[2] = ClampToByte(y + v);
        }
    }
    return smooth ? ColourTreatmentResult::TreatedSmoothed : ColourTreatmentResult::Treated;
}

}  // namespace fotolyx
