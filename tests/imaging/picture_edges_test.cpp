// Pictures at the edges of what the savers are made for: thumbnails of every shape, colour
// tables, file names as long as the system allows.
#include <gtest/gtest.h>

#include <string>

#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/exif_save.h"
#include "imaging/jpeg_codec.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::TempDir;

// The brightest channel of the pixel x columns from the left, y rows from the top.
int Brightness(const DibBlock& picture, std::int32_t x, std::int32_t yFromTop) {
    const Bgr pixel = testing::PixelAt(picture, x, DibHeight(picture) - 1 - yFromTop);
    return std::max({pixel[0], pixel[1], pixel[2]});
}

// A white picture is fitted into 160 x 120 by its longer side and centred on black: the
// bands are (160 - w) / 2 columns or (120 - h) / 2 rows.
TEST(PictureEdges, ThumbnailsFitTheirLongerSideAndAreCentredOnBlack) {
    const struct {
        std::int32_t width, height;
        std::int32_t darkColumns, darkRows;  // each side
    } cases[] = {
        {640, 480, 0, 0},   // 4:3 fills the frame
        {200, 180, 13, 0},  // squarer than 4:3: height 120, width 133
        {480, 640, 35, 0},  // upright: height 120, width 90
        {640, 200, 0, 35},  // wide: width 160, height 50
    };
    for (const auto& c : cases) {
        testing::SaveWorld world;
        const TempDir& dir = world.dir;
        JpegState& jpeg = world.jpeg;
        const auto source = dir / "white.jpg";
        testing::WriteBytes(dir / "white.bmp", testing::MakeBmpFile(c.width, c.height, 24,
                                                                    [](std::int32_t, std::int32_t) {
                                                                        return Bgr{255, 255, 255};
                                                                    }));
        ASSERT_EQ(CompressBmpToJpeg(jpeg, dir / "white.bmp", source, "2x1", 90), 1);

        const auto thumbnail = MakeThumbnailJpeg(world.context, source, dir / "decoded.bmp");
        ASSERT_TRUE(thumbnail.has_value()) << c.width << "x" << c.height;
        EXPECT_EQ(thumbnail->width, c.width);
        EXPECT_EQ(thumbnail->height, c.height);
        testing::WriteBytes(dir / "thumb.jpg", thumbnail->jpeg);
        ASSERT_EQ(DecompressJpegToBmp(jpeg, dir / "thumb.jpg", dir / "thumb.bmp", 0), 1);
        const DibFileResult shown = LoadDibFile(dir / "thumb.bmp");
        ASSERT_TRUE(shown);
        ASSERT_EQ(DibWidth(*shown.block), 160);
        ASSERT_EQ(DibHeight(*shown.block), 120);
        // Quality 10 blurs a few pixels at each edge; look well inside the bands and the picture.
        // A band of 0 is checked as picture 3 pixels from the edge.
        const std::string shape = std::to_string(c.width) + "x" + std::to_string(c.height);
        EXPECT_GT(Brightness(*shown.block, 80, 60), 200) << shape;
        const auto expectBand = [&](int band, std::int32_t x, std::int32_t y) {
            if (band > 0) {
                EXPECT_LT(Brightness(*shown.block, x, y), 40) << shape << " at " << x << "," << y;
            } else {
                EXPECT_GT(Brightness(*shown.block, x, y), 200) << shape << " at " << x << "," << y;
            }
        };
        const std::int32_t inX = c.darkColumns > 0 ? c.darkColumns - 6 : 3;
        const std::int32_t inY = c.darkRows > 0 ? c.darkRows - 6 : 3;
        expectBand(c.darkColumns, inX, 60);
        expectBand(c.darkColumns, 159 - inX, 60);
        expectBand(c.darkRows, 80, inY);
        expectBand(c.darkRows, 80, 119 - inY);
    }
}

// An 8-bit bitmap takes each pixel's colour from its own entry of a four-byte table; a
// decoded 8-bit bitmap's table has its fourth bytes zero.
TEST(PictureEdges, ColourTablesAreReadAndWrittenEntryByEntry) {
    TempDir dir;
    JpegState jpeg;
    const std::vector<Bgr> table = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    testing::WriteBytes(
        dir / "green.bmp",
        testing::MakeBmpFile(
            16, 16, 8, nullptr, [](std::int32_t, std::int32_t) { return 1; }, table));
    ASSERT_EQ(CompressBmpToJpeg(jpeg, dir / "green.bmp", dir / "green.jpg", "2x1", 90), 1);
    ASSERT_EQ(DecompressJpegToBmp(jpeg, dir / "green.jpg", dir / "back.bmp", 0), 1);
    const DibFileResult back = LoadDibFile(dir / "back.bmp");
    ASSERT_TRUE(back);
    const Bgr pixel = testing::PixelAt(*back.block, 8, 8);
    EXPECT_LT(pixel[0], 30);
    EXPECT_GT(pixel[1], 225);
    EXPECT_LT(pixel[2], 30);

    ASSERT_EQ(DecompressJpegToBmp(jpeg, dir / "green.jpg", dir / "few.bmp", 256), 1);
    const WholeFileResult few = ReadWholeFile(dir / "few.bmp");
    ASSERT_TRUE(few);
    const Bytes& bytes = *few.bytes;
    ASSERT_GT(bytes.size(), 54u);
    ASSERT_EQ(bytes[28], 8);  // bits per pixel
    const std::uint32_t entries = ReadLe32(bytes.data() + 46);
    ASSERT_GE(entries, 1u);
    ASSERT_LE(entries, 256u);
    ASSERT_GE(bytes.size(), 54u + 4u * entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
        EXPECT_EQ(bytes[14 + 40 + 4 * i + 3], 0) << "entry " << i;
    }
}

// A destination whose name takes the whole 255 bytes a name may have still gets a temporary
// file beside it, and the save lands.
TEST(PictureEdges, AFileNameOfTheLongestLengthIsWrittenInPlace) {
    TempDir dir;
    for (const std::size_t length : {200u, 240u, 255u}) {
        const auto path = dir / (std::string(length - 4, 'n') + ".jpg");
        const Bytes contents = {1, 2, 3, static_cast<std::uint8_t>(length)};
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(path, contents, &error)) << length << ": " << error;
        const WholeFileResult read = ReadWholeFile(path);
        ASSERT_TRUE(read);
        EXPECT_EQ(*read.bytes, contents);
    }
    // Only the three files: no temporary file stayed beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              3);
}

}  // namespace
}  // namespace fotolyx
