#include "imaging/colour_reduction.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::RecordingShell;

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    auto operator<=>(const Rgb&) const = default;
};

// Pixel (x, y) counts rows from the bottom; pad bytes of 0xFF would add white if read as pixels.
DibBlock MakePicture(std::int32_t width, std::int32_t height,
                     const std::function<Rgb(int, int)>& colourAt) {
    return testing::MakeRgbPicture(
        width, height,
        [&](int x, int y) {
            const Rgb c = colourAt(x, y);
            return testing::Bgr{c.blue, c.green, c.red};
        },
        0xFF);
}

// The reduced picture read back: its colour table and the colour each pixel shows.
struct Reduced {
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0;
    std::size_t stride = 0;

    Rgb Entry(int index) const {
        const std::uint8_t* entry = bytes.data() + 40 + 4 * index;
        return {entry[2], entry[1], entry[0]};
    }
    std::uint8_t Index(int x, int y) const {
        return bytes[1064 + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)];
    }
    Rgb Shown(int x, int y) const { return Entry(Index(x, y)); }
};

Reduced Reduce(const DibBlock& picture) {
    RecordingShell shell;
    Reduced reduced;
    reduced.width = DibWidth(picture);
    reduced.stride = DibStride(8, static_cast<std::uint32_t>(reduced.width));
    reduced.bytes.assign(ReducedDibSize(reduced.width, DibHeight(picture)), 0xCD);
    EXPECT_EQ(ReduceTo256Colours(shell, picture, reduced.bytes), 1);
    EXPECT_TRUE(shell.messages.empty());
    const DibBlock dib(reduced.bytes);
    EXPECT_TRUE(DibIsConsistent(dib) && DibBitsOffset(dib) == 1064 && DibBitCount(dib) == 8 &&
                DibWidth(dib) == reduced.width && DibHeight(dib) == DibHeight(picture));
    return reduced;
}

// Keys lead by count, each coarse cell's leader lifted to the top; counts stop at 65,535.
TEST(ColourReduction, TheTableOrderFollowsCountsCellsAndExchanges) {
    const auto red = [](int value) { return Rgb{static_cast<std::uint8_t>(value), 8, 16}; };
    const struct {
        const char* name;
        int width;
        std::vector<std::pair<Rgb, int>> runs;  // colours and their pixel counts, in row order
        std::vector<Rgb> leading;
    } cases[] = {
        {"pure white becomes 240 248 240", 4, {{{255, 255, 255}, 16}}, {{240, 248, 240}}},
        {"equal counts by exchange",
         8,
         {{red(0), 1}, {red(16), 2}, {red(32), 2}, {red(48), 3}},
         {red(48), red(32), red(16), red(0)}},
        {"the lower of equal keys leads its cell",
         4,
         {{red(0), 2}, {red(16), 2}},
         {red(0), red(16)}},
        {"counts stop at 65,535",
         400,
         {{{0, 0, 0}, 70'000}, {{16, 0, 0}, 66'000}, {{0, 0, 200}, 24'000}},
         {{0, 0, 0}, {16, 0, 0}}},
    };
    for (const auto& c : cases) {
        std::vector<Rgb> pixels;
        for (const auto& [colour, count] : c.runs) {
            pixels.insert(pixels.end(), count, colour);
        }
        const auto height = static_cast<std::int32_t>(pixels.size()) / c.width;
        const Reduced reduced = Reduce(
            MakePicture(c.width, height, [&](int x, int y) { return pixels[y * c.width + x]; }));
        for (std::size_t i = 0; i < c.leading.size(); ++i) {
            EXPECT_EQ(reduced.Entry(static_cast<int>(i)), c.leading[i]) << c.name << " entry " << i;
        }
    }
    // 300 frequent keys in the dark cells and one white pixel, the only key of its cell: kept.
    const DibBlock rare = MakePicture(300, 11, [](int x, int y) {
        return x == 299 && y == 10 ? Rgb{255, 255, 255}
                                   : Rgb{static_cast<std::uint8_t>(16 * (x % 8)),
                                         static_cast<std::uint8_t>(8 * ((x / 8) % 32)),
                                         static_cast<std::uint8_t>(16 * (x / 256))};
    });
    EXPECT_EQ(Reduce(rare).Shown(299, 10), (Rgb{240, 248, 240}));
}

// The 4/5/4-bit distance between a pixel's key and a table colour.
int KeyDistance(Rgb pixel, Rgb entry) {
    const int b = (pixel.blue >> 4) - (entry.blue >> 4);
    const int g = (pixel.green >> 3) - (entry.green >> 3);
    const int r = (pixel.red >> 4) - (entry.red >> 4);
    return b * b + g * g + r * r;
}

TEST(ColourReduction, ManyKeysMapToTheirNearestPaletteColour) {
    std::mt19937 random(12345);
    const DibBlock picture = testing::MakeRandomPicture(97, 61, random, 0xFF);
    const Reduced reduced = Reduce(picture);
    for (int y = 0; y < 61; ++y) {
        for (int x = 0; x < 97; ++x) {
            const testing::Bgr c = testing::PixelAt(picture, x, y);
            const Rgb pixel{c.red, c.green, c.blue};
            int nearest = 0;
            for (int p = 1; p < 256; ++p) {
                if (KeyDistance(pixel, reduced.Entry(p)) <
                    KeyDistance(pixel, reduced.Entry(nearest))) {
                    nearest = p;
                }
            }
            ASSERT_EQ(reduced.Index(x, y), nearest) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace fotolyx
