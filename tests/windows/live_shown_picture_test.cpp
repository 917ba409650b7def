#include <gtest/gtest.h>

#include "live/live_pixels.h"
#include "support/rgb_pictures.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

// A picture whose every pixel names its own column and row from the top: blue and the low bits
// of green the column, red and the high bits of green the row.
DibBlock Coordinates(std::int32_t width, std::int32_t height) {
    return testing::MakeRgbPicture(width, height, [height](int column, int row) {
        const int fromTop = height - 1 - row;
        return testing::Bgr{static_cast<std::uint8_t>(column & 0xFF),
                            static_cast<std::uint8_t>((column >> 8) | ((fromTop >> 8) << 2)),
                            static_cast<std::uint8_t>(fromTop & 0xFF)};
    });
}

TEST(LiveShownPictureTest, EachShownPixelComesFromTheSourcePixelItFallsOn) {
    const DibBlock preview = Coordinates(160, 120);
    const DibBlock photo = Coordinates(640, 480);
    // Photo or preview, model variant, shown pixel, and the source pixel it shows.
    const std::array<int, 6> cases[] = {
        {0, 0, 159, 119, 159, 119}, {0, 0, 80, 61, 80, 61},     {0, 1, 4, 7, 3, 7},
        {0, 1, 159, 119, 119, 119}, {1, 0, 1, 1, 2, 2},         {1, 0, 319, 239, 638, 478},
        {1, 1, 0, 0, 4, 0},         {1, 1, 160, 120, 256, 240}, {1, 1, 319, 239, 506, 478}};
    for (const auto& [isPhoto, variant, x, y, column, row] : cases) {
        SCOPED_TRACE(::testing::Message() << isPhoto << variant << " at " << x << "," << y);
        const auto modelVariant = static_cast<std::uint8_t>(variant);
        const LivePicturePlacement placement =
            isPhoto ? LivePhotoPlacement(modelVariant) : LivePreviewPlacement(modelVariant);
        const ShownPicture shown = StretchPicture(isPhoto ? photo : preview, placement.source,
                                                  placement.shown.width, placement.shown.height);
        ASSERT_EQ(shown.rgb.size(), 3u * placement.shown.width * placement.shown.height);
        const std::uint8_t* pixel = shown.rgb.data() + 3 * (y * shown.width + x);
        EXPECT_EQ(pixel[2] | ((pixel[1] & 3) << 8), column);
        EXPECT_EQ(pixel[0] | ((pixel[1] >> 2) << 8), row);
    }
}

}  // namespace
}  // namespace fotolyx
