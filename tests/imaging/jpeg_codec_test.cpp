#include "imaging/jpeg_codec.h"

#include <gtest/gtest.h>

#include "imaging/bmp_file.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::MakeBmpFile;
using testing::ReadBytes;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

// An 8-bit bitmap takes each pixel's colour from its entry of a three-byte (12-byte header) or
// four-byte table; a decoded 8-bit bitmap's table has its fourth bytes zero.
TEST(JpegCodec, EightBitPicturesGoThroughTheirColourTable) {
    TempDir dir;
    std::vector<Bgr> table(256, Bgr{9, 9, 9});
    table[0] = {0, 0, 255};
    table[1] = {0, 255, 0};
    for (const std::uint32_t headerSize : {12u, 40u}) {
        SCOPED_TRACE(headerSize);
        // Left half red, right half green.
        WriteBytes(
            dir / "in.bmp",
            MakeBmpFile(
                32, 16, 8, nullptr, [](int x, int) { return x < 16 ? 0 : 1; }, table, headerSize));
        JpegState state;
        ASSERT_EQ(CompressBmpToJpeg(state, dir / "in.bmp", dir / "out.jpg", "1x1,1x1,1x1", 90), 1);
        ASSERT_EQ(DecompressJpegToBmp(state, dir / "out.jpg", dir / "back.bmp", 0), 1);
        const Bytes back = ReadBytes(dir / "back.bmp");
        // 14 + 40 header bytes, no colour table, rows of 96 bytes.
        ASSERT_EQ(back.size(), 54u + 96 * 16);
        const std::uint8_t* left = back.data() + 54 + 96 * 8 + 3 * 4;
        const std::uint8_t* right = back.data() + 54 + 96 * 8 + 3 * 28;
        EXPECT_GT(left[2], 200);
        EXPECT_LT(left[1], 60);
        EXPECT_GT(right[1], 200);
        EXPECT_LT(right[2], 60);

        ASSERT_EQ(DecompressJpegToBmp(state, dir / "out.jpg", dir / "few.bmp", 256), 1);
        const Bytes few = ReadBytes(dir / "few.bmp");
        ASSERT_GT(few.size(), 54u);
        ASSERT_EQ(few[28], 8);  // bits per pixel
        const std::uint32_t entries = ReadLe32(few.data() + 46);
        ASSERT_TRUE(entries >= 2 && entries <= 256 && few.size() >= 54u + 4u * entries);
        for (std::uint32_t i = 0; i < entries; ++i) {
            EXPECT_EQ(few[54 + 4 * i + 3], 0) << "entry " << i;
        }
    }
}

TEST(JpegCodec, CommentSegmentsAreReadAndDropped) {
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(40, 30, 24, SmoothColour));
    JpegState state;
    ASSERT_EQ(CompressBmpToJpeg(state, dir / "in.bmp", dir / "plain.jpg", "2x1,1x1,1x1", 75), 1);
    Bytes jpeg = ReadBytes(dir / "plain.jpg");
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x0A, 'h', 'e', 'l', 'l', 'o', '!', 0xFF, 0xD9};
    jpeg.insert(jpeg.begin() + 2, comment.begin(), comment.end());
    WriteBytes(dir / "commented.jpg", jpeg);
    ASSERT_EQ(DecompressJpegToBmp(state, dir / "plain.jpg", dir / "plain.bmp", 0), 1);
    ASSERT_EQ(DecompressJpegToBmp(state, dir / "commented.jpg", dir / "commented.bmp", 0), 1);
    EXPECT_EQ(ReadBytes(dir / "plain.bmp"), ReadBytes(dir / "commented.bmp"));
}

}  // namespace
}  // namespace fotolyx
