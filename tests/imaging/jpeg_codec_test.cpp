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
using testing::TempDir;
using testing::WriteBytes;

// 8-bit pixels go through a 3- or 4-byte colour table; a decoded table's fourth bytes are zero.
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

}  // namespace
}  // namespace fotolyx
