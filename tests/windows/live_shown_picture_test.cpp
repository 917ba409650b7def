#include <gtest/gtest.h>

#include "live/live_pixels.h"
#include "support/rgb_pictures.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using testing::Bgr;

// A picture whose every pixel names its own column and row (counted from the top).
DibBlock Coordinates(std::int32_t width, std::int32_t height) {
    return testing::MakeRgbPicture(width, height, [height](int column, int row) {
        const int fromTop = height - 1 - row;
        return Bgr{static_cast<std::uint8_t>(column & 0xFF),
                   static_cast<std::uint8_t>((column >> 8) | ((fromTop >> 8) << 2)),
                   static_cast<std::uint8_t>(fromTop & 0xFF)};
    });
}

struct SourcePixel {
    int column;
    int row;
    bool operator==(const SourcePixel&) const = default;
};

// Which source pixel a shown pixel came from.
SourcePixel Origin(const ShownPicture& shown, int x, int y) {
    const std::uint8_t* pixel =
        shown.rgb.data() + 3 * (static_cast<std::size_t>(y) * shown.width + x);
    const int red = pixel[0];
    const int green = pixel[1];
    const int blue = pixel[2];
    return {blue | ((green & 3) << 8), red | ((green >> 2) << 8)};
}

TEST(LiveShownPictureTest, EachShownPixelComesFromTheSourcePixelItFallsOn) {
    const DibBlock preview = Coordinates(160, 120);
    const DibBlock photo = Coordinates(640, 480);
    struct Case {
        bool photo;
        std::uint8_t variant;
        int x, y;
        SourcePixel expected;
    };
    const Case cases[] = {
        {false, 0, 0, 0, {0, 0}},        {false, 0, 159, 119, {159, 119}},
        {false, 0, 80, 61, {80, 61}},    {false, 1, 0, 0, {0, 0}},
        {false, 1, 4, 7, {3, 7}},        {false, 1, 159, 119, {119, 119}},
        {true, 0, 0, 0, {0, 0}},         {true, 0, 1, 1, {2, 2}},
        {true, 0, 319, 239, {638, 478}}, {true, 1, 0, 0, {4, 0}},
        {true, 1, 160, 120, {256, 240}}, {true, 1, 319, 239, {506, 478}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.photo ? "photo" : "preview") << " variant "
                                          << int(c.variant) << " at " << c.x << "," << c.y);
        const LivePicturePlacement placement =
            c.photo ? LivePhotoPlacement(c.variant) : LivePreviewPlacement(c.variant);
        const ShownPicture shown = StretchPicture(c.photo ? photo : preview, placement.source,
                                                  placement.shown.width, placement.shown.height);
        ASSERT_EQ(shown.rgb.size(),
                  3u * static_cast<std::size_t>(placement.shown.width * placement.shown.height));
        EXPECT_EQ(Origin(shown, c.x, c.y), c.expected);
    }
    EXPECT_EQ(LivePreviewPlacement(1).shown, (PictureArea{15, 15, 160, 120}));
    EXPECT_EQ(LivePhotoPlacement(0).shown, (PictureArea{5, 155, 320, 240}));
}

TEST(LiveShownPictureTest, NothingIsShownFromOutsideThePicture) {
    const DibBlock photo = Coordinates(640, 480);
    DibBlock cut = photo;
    cut.storage().resize(cut.size() - 1);
    struct Case {
        const char* what;
        const DibBlock* picture;
        PictureArea source;
        int width, height;
    };
    const Case cases[] = {
        {"past the right edge", &photo, {4, 0, 640, 480}, 320, 240},
        {"past the bottom", &photo, {0, 1, 640, 480}, 320, 240},
        {"left of the picture", &photo, {-1, 0, 10, 10}, 10, 10},
        {"empty source", &photo, {0, 0, 0, 480}, 320, 240},
        {"empty target", &photo, {0, 0, 640, 480}, 0, 240},
        {"rows missing from the block", &cut, {0, 0, 640, 480}, 320, 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(StretchPicture(*c.picture, c.source, c.width, c.height).rgb.empty());
    }
}

}  // namespace
}  // namespace fotolyx
