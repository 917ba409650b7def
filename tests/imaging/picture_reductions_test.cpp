#include "imaging/picture_reductions.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::MakeRgbPicture;
using testing::PixelAt;

// Channel values that make every mean round down somewhere.
Bgr Pattern(int column, int row) {
    return {static_cast<std::uint8_t>((column * 7 + row * 3) % 256),
            static_cast<std::uint8_t>((column * 13 + row * 5 + 1) % 256),
            static_cast<std::uint8_t>(row % 4 == 1 || row % 4 == 3 ? 255 : column % 256)};
}

TEST(UploadReduction, NormalSizeIsTheRoundedDownMeanOfEachTwoByTwoBox) {
    const DibBlock picture = MakeRgbPicture(640, 480, Pattern);
    std::vector<std::uint8_t> out(NORMAL_BITMAP_BYTES + 5, 0xCC);
    ASSERT_EQ(ReduceToNormalSize(picture, out), NORMAL_BITMAP_BYTES);
    EXPECT_EQ(out[NORMAL_BITMAP_BYTES], 0xCC);
    const DibBlock reduced(
        std::vector<std::uint8_t>(out.begin(), out.begin() + NORMAL_BITMAP_BYTES));
    EXPECT_EQ(DibWidth(reduced), 320);
    EXPECT_EQ(DibHeight(reduced), 240);
    EXPECT_EQ(DibBitCount(reduced), 24);
    for (const auto& [i, j] : {std::pair{0, 0}, {1, 0}, {319, 239}, {100, 57}, {33, 200}}) {
        const Bgr a = PixelAt(picture, 2 * i, 2 * j);
        const Bgr b = PixelAt(picture, 2 * i + 1, 2 * j);
        const Bgr c = PixelAt(picture, 2 * i, 2 * j + 1);
        const Bgr d = PixelAt(picture, 2 * i + 1, 2 * j + 1);
        const Bgr expected{static_cast<std::uint8_t>((a.blue + b.blue + c.blue + d.blue) / 4),
                           static_cast<std::uint8_t>((a.green + b.green + c.green + d.green) / 4),
                           static_cast<std::uint8_t>((a.red + b.red + c.red + d.red) / 4)};
        EXPECT_EQ(PixelAt(reduced, i, j), expected) << i << "," << j;
    }
}

TEST(UploadReduction, ThumbnailUsesRowsFourJAndFourJPlusTwoOnly) {
    const DibBlock picture = MakeRgbPicture(640, 480, Pattern);
    std::vector<std::uint8_t> out(THUMBNAIL_BITMAP_BYTES);
    ASSERT_EQ(MakeThumbnailBitmap(picture, out), THUMBNAIL_BITMAP_BYTES);
    const DibBlock thumb{std::vector<std::uint8_t>(out)};
    EXPECT_EQ(DibWidth(thumb), 160);
    EXPECT_EQ(DibHeight(thumb), 120);
    for (const auto& place : {std::pair{0, 0}, {159, 119}, {77, 3}, {5, 64}}) {
        const int i = place.first;  // named, not bound: clang 14 lambdas cannot capture bindings
        const int j = place.second;
        const auto mean = [&](int row, auto channel) {
            int sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += PixelAt(picture, 4 * i + k, row).*channel;
            }
            return sum / 4;
        };
        for (auto channel : {&Bgr::blue, &Bgr::green, &Bgr::red}) {
            const int expected = (mean(4 * j, channel) + mean(4 * j + 2, channel)) / 2;
            // Rows 4j + 1 and 4j + 3 are red 255 and would show if they were read.
            EXPECT_EQ(PixelAt(thumb, i, j).*channel, expected) << i << "," << j;
        }
    }
}

TEST(UploadReduction, RefusesPicturesOfOtherSizes) {
    const DibBlock small = MakeRgbPicture(320, 240, Pattern);
    std::vector<std::uint8_t> big(NORMAL_BITMAP_BYTES, 0);
    EXPECT_EQ(ReduceToNormalSize(small, big), 0u);
    EXPECT_EQ(MakeThumbnailBitmap(small, big), 0u);
}

}  // namespace
}  // namespace fotolyx
