// Our BMP and JPEG files as seen by tools nobody here wrote, and theirs as we read them.

#include <gtest/gtest.h>

#include <regex>

#include "imaging/bmp_file.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_structure.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::CommandResult;
using testing::MakeBmpFile;
using testing::MakePicture;
using testing::Quote;
using testing::ReadBytes;
using testing::RunCommand;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

const std::string EXIFTOOL = "/usr/bin/exiftool";
const std::string EXIV2 = "/usr/bin/exiv2";
const std::string PILLOW = "/usr/bin/python3 -c 'import sys; from PIL import Image; ";
const std::string IMAGEMAGICK = "/usr/bin/convert";
const std::string CJPEG = "/usr/bin/cjpeg";

bool Available(const std::string& tool) {
    return tool == PILLOW ? RunCommand(PILLOW + "' 2>/dev/null").status == 0
                          : std::filesystem::exists(tool);
}

// A missing tool fails the test when FOTOLYX_REQUIRE_PEERS is set, else skips it.
#define REQUIRE_TOOLS(...)                          \
    for (const std::string& tool : {__VA_ARGS__}) { \
        if (!Available(tool)) {                     \
            if (testing::PeersRequired()) {         \
                FAIL() << tool << " is missing";    \
            }                                       \
            GTEST_SKIP() << tool << " is missing";  \
        }                                           \
    }

// Pixels as the tools give them: red, green, blue, top row first; indexed ones through the table.
std::string PixelsOf(const DibBlock& dib) {
    const int bits = DibBitCount(dib);
    const std::size_t stride =
        DibStride(static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(DibWidth(dib)));
    std::string rgb;
    for (int y = DibHeight(dib) - 1; y >= 0; --y) {
        const std::uint8_t* row = DibBits(dib) + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < DibWidth(dib); ++x) {
            const std::uint8_t* bgr = row + 3 * x;
            if (bits <= 8) {
                const int bit = x * bits;
                const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
                bgr = dib.data() + DibHeaderSize(dib) + 4 * index;
            }
            rgb +=
                {static_cast<char>(bgr[2]), static_cast<char>(bgr[1]), static_cast<char>(bgr[0])};
        }
    }
    return rgb;
}

std::uint8_t Wave(int value) {
    return static_cast<std::uint8_t>((value * 37) ^ (value >> 3));
}

// A 13 x 7 true-colour picture and an 11 x 5 picture of 256 colours: odd widths both.
DibBlock TrueColourPicture() {
    return MakePicture(13, 7, [](int x, int y) {
        return testing::Bgr{Wave(x * 7 + y), static_cast<std::uint8_t>(x * 19),
                            static_cast<std::uint8_t>(255 - y * 36)};
    });
}

DibBlock IndexedPicture() {
    auto dib = CreateDib(11, 5, 8);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t* entry = dib->data() + 40 + 4 * i;
        entry[0] = Wave(i);
        entry[1] = static_cast<std::uint8_t>(i);
        entry[2] = static_cast<std::uint8_t>(255 - i);
    }
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 11; ++x) {
            DibBits(*dib)[y * DibStride(8, 11) + x] = static_cast<std::uint8_t>(x * 23 + y * 51);
        }
    }
    return std::move(*dib);
}

TEST(BmpPeers, PillowAndImageMagickReadOurFilesWithTheSamePixels) {
    REQUIRE_TOOLS(PILLOW, IMAGEMAGICK);
    TempDir dir;
    const std::string readers[] = {
        PILLOW + "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert(\"RGB\").tobytes())' ",
        IMAGEMAGICK + " bmp:- -depth 8 rgb:- <"};
    for (const DibBlock& picture : {TrueColourPicture(), IndexedPicture()}) {
        ASSERT_EQ(WriteDibFile(dir / "ours.bmp", picture), 1);
        for (const std::string& reader : readers) {
            const CommandResult read = RunCommand(reader + Quote(dir / "ours.bmp"));
            EXPECT_EQ(read.status, 0);
            EXPECT_EQ(read.output, PixelsOf(picture)) << reader << DibBitCount(picture);
        }
    }
}

// A picture saved as JPEG through the Openfile window's Save As, at the fixed clock's time.
struct SavedJpeg : testing::SaveWorld {
    std::filesystem::path path = Path("saved.jpg");

    SavedJpeg() {
        const SaveAsResult result =
            Save(SaveWindowKind::Openfile, MakePicture(640, 480), "saved.jpg", SAVE_FILTER_JPEG);
        EXPECT_TRUE(result.written);
        EXPECT_EQ(result.exifResult, 1);
    }
};

TEST(JpegPeers, ExiftoolAndExiv2ReadTheExifBlockAndThumbnailWithoutWarnings) {
    REQUIRE_TOOLS(EXIFTOOL, EXIV2, PILLOW);
    SavedJpeg saved;
    const CommandResult warnings =
        RunCommand(EXIFTOOL + " -S -Warning -Error " + Quote(saved.path));
    EXPECT_EQ(warnings.output, "");

    const auto thumbnail = saved.dir / "thumb.jpg";
    ASSERT_EQ(
        RunCommand(EXIFTOOL + " -b -ThumbnailImage " + Quote(saved.path) + " > " + Quote(thumbnail))
            .status,
        0);
    const CommandResult pillow = RunCommand(
        PILLOW + "im = Image.open(sys.argv[1]); im.load(); print(im.format, *im.size)' " +
        Quote(thumbnail));
    EXPECT_EQ(pillow.output, "JPEG 160 120\n");

    const CommandResult exiv2 = RunCommand(EXIV2 + " -pa " + Quote(saved.path) + " 2>&1");
    ASSERT_EQ(exiv2.status, 0) << exiv2.output;
    const char* expected[] = {
        R"(Exif\.Image\.Make +Ascii +10 +Corvantis\n)",
        R"(Exif\.Image\.Model +Ascii +10 +ZT-K7700 \n)",
        R"(Exif\.Image\.DateTime +Ascii +20 +2002:03:04 05:06:07\n)",
        R"(Exif\.Photo\.DateTimeOriginal +Ascii +20 +2002:03:04 05:06:07\n)",
        R"(Exif\.Photo\.PixelXDimension +Long +1 +640\n)",
        R"(Exif\.Iop\.InteroperabilityIndex +Ascii +4 +R98\n)",
        R"(Exif\.Thumbnail\.JPEGInterchangeFormat +Long +1 +464\n)",
    };
    for (const char* pattern : expected) {
        EXPECT_TRUE(std::regex_search(exiv2.output, std::regex(pattern))) << pattern;
    }
    EXPECT_EQ(exiv2.output.find("Warning"), std::string::npos) << exiv2.output;
    EXPECT_EQ(exiv2.output.find("Error"), std::string::npos) << exiv2.output;
}

TEST(JpegPeers, AGreyJpegDecodesToAGreyTableBitmapThatPillowReads) {
    REQUIRE_TOOLS(CJPEG, PILLOW);
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(100, 60, 24, SmoothColour));
    ASSERT_EQ(RunCommand(CJPEG + " -grayscale -outfile " + Quote(dir / "grey.jpg") + " " +
                         Quote(dir / "in.bmp"))
                  .status,
              0);
    JpegState state;
    ASSERT_EQ(DecompressJpegToBmp(state, dir / "grey.jpg", dir / "grey.bmp", 0), 1);
    const Bytes bmp = ReadBytes(dir / "grey.bmp");
    EXPECT_EQ(ReadLe16(bmp.data() + 28), 8);
    EXPECT_EQ(ReadLe32(bmp.data() + 46), 256u);
    const CommandResult pillow =
        RunCommand(PILLOW +
                   "a = Image.open(sys.argv[1]).convert(\"L\"); "
                   "b = Image.open(sys.argv[2]); print(a.size[0], a.size[1], "
                   "max(abs(x - y) for x, y in zip(a.getdata(), b.getdata())))' " +
                   Quote(dir / "grey.bmp") + " " + Quote(dir / "grey.jpg"));
    EXPECT_EQ(pillow.output, "100 60 0\n");
}

}  // namespace
}  // namespace fotolyx
