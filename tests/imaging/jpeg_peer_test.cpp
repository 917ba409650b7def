// Our JPEG and BMP files as seen by tools nobody here wrote: exiftool, exiv2, Pillow,
// ImageMagick and the libjpeg-turbo utilities.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "imaging/bmp_file.h"
#include "imaging/exif_save.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_structure.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/save_world.h"
#include "windows/open_picture.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::CommandResult;
using testing::MakeBmpFile;
using testing::MakePicture;
using testing::PeersRequired;
using testing::Quote;
using testing::ReadBytes;
using testing::RunCommand;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

constexpr char EXIFTOOL[] = "/usr/bin/exiftool";
constexpr char EXIV2[] = "/usr/bin/exiv2";
constexpr char PYTHON[] = "/usr/bin/python3";
constexpr char IMAGEMAGICK[] = "/usr/bin/convert";
constexpr char IDENTIFY[] = "/usr/bin/identify";
constexpr char DJPEG[] = "/usr/bin/djpeg";
constexpr char CJPEG[] = "/usr/bin/cjpeg";

#define REQUIRE_TOOL(path)                           \
    do {                                             \
        if (!std::filesystem::exists(path)) {        \
            if (PeersRequired()) {                   \
                FAIL() << (path) << " is missing";   \
            }                                        \
            GTEST_SKIP() << (path) << " is missing"; \
        }                                            \
    } while (0)

bool PillowAvailable() {
    return RunCommand(std::string(PYTHON) + " -c 'import PIL' 2>/dev/null").status == 0;
}

#define REQUIRE_PILLOW()                         \
    do {                                         \
        REQUIRE_TOOL(PYTHON);                    \
        if (!PillowAvailable()) {                \
            if (PeersRequired()) {               \
                FAIL() << "Pillow is missing";   \
            }                                    \
            GTEST_SKIP() << "Pillow is missing"; \
        }                                        \
    } while (0)

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

TEST(JpegPeers, ExiftoolReadsTheExifBlockAndThumbnail) {
    REQUIRE_TOOL(EXIFTOOL);
    REQUIRE_PILLOW();
    SavedJpeg saved;
    const Bytes file = ReadBytes(saved.path);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));

    const CommandResult tags = RunCommand(std::string(EXIFTOOL) +
                                          " -S -Make -Software -ExifVersion -ExifImageWidth "
                                          "-ExifImageHeight -DateTimeOriginal -JFIFVersion " +
                                          Quote(saved.path));
    ASSERT_EQ(tags.status, 0);
    EXPECT_EQ(tags.output,
              "Make: Corvantis\n"
              "Software: Ver.1.0\n"
              "ExifVersion: 0210\n"
              "ExifImageWidth: 640\n"
              "ExifImageHeight: 480\n"
              "DateTimeOriginal: 2002:03:04 05:06:07\n");
    // exiftool trims trailing blanks when it prints values; its dump shows the stored bytes.
    const CommandResult dump = RunCommand(std::string(EXIFTOOL) + " -v3 " + Quote(saved.path));
    EXPECT_NE(dump.output.find("[ZT-K7700 .]"), std::string::npos) << dump.output;
    const CommandResult warnings =
        RunCommand(std::string(EXIFTOOL) + " -S -Warning -Error " + Quote(saved.path));
    EXPECT_EQ(warnings.output, "");

    const auto thumbnail = saved.dir / "thumb.jpg";
    ASSERT_EQ(RunCommand(std::string(EXIFTOOL) + " -b -ThumbnailImage " + Quote(saved.path) +
                         " > " + Quote(thumbnail))
                  .status,
              0);
    const CommandResult pillow = RunCommand(
        std::string(PYTHON) +
        " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.load(); "
        "print(im.format, im.size[0], im.size[1])' " +
        Quote(thumbnail));
    EXPECT_EQ(pillow.output, "JPEG 160 120\n");
}

TEST(JpegPeers, Exiv2PrintsTheSameTagsWithoutWarnings) {
    REQUIRE_TOOL(EXIV2);
    SavedJpeg saved;
    const CommandResult tags =
        RunCommand(std::string(EXIV2) + " -pa " + Quote(saved.path) + " 2>&1");
    ASSERT_EQ(tags.status, 0) << tags.output;
    const char* expected[] = {
        R"(Exif\.Image\.Make +Ascii +10 +Corvantis\n)",
        R"(Exif\.Image\.Model +Ascii +10 +ZT-K7700 \n)",
        R"(Exif\.Image\.Software +Ascii +8 +Ver\.1\.0\n)",
        R"(Exif\.Image\.DateTime +Ascii +20 +2002:03:04 05:06:07\n)",
        R"(Exif\.Photo\.DateTimeOriginal +Ascii +20 +2002:03:04 05:06:07\n)",
        R"(Exif\.Photo\.PixelXDimension +Long +1 +640\n)",
        R"(Exif\.Photo\.PixelYDimension +Long +1 +480\n)",
        R"(Exif\.Iop\.InteroperabilityIndex +Ascii +4 +R98\n)",
        R"(Exif\.Thumbnail\.JPEGInterchangeFormat +Long +1 +464\n)",
    };
    for (const char* pattern : expected) {
        EXPECT_TRUE(std::regex_search(tags.output, std::regex(pattern))) << pattern << "\n"
                                                                         << tags.output;
    }
    EXPECT_EQ(tags.output.find("Warning"), std::string::npos) << tags.output;
    EXPECT_EQ(tags.output.find("Error"), std::string::npos) << tags.output;
}

TEST(JpegPeers, DjpegFindsOnlyBaselineTables) {
    REQUIRE_TOOL(DJPEG);
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(640, 480, 24, SmoothColour));
    for (const int quality : {10, 75}) {
        JpegState state;
        ASSERT_EQ(CompressBmpToJpeg(state, dir / "in.bmp", dir / "out.jpg", "2x1,1x1,1x1", quality),
                  1);
        const CommandResult verbose = RunCommand(std::string(DJPEG) + " -verbose -verbose " +
                                                 Quote(dir / "out.jpg") + " 2>&1 >/dev/null");
        EXPECT_EQ(verbose.status, 0) << verbose.output;
        EXPECT_NE(verbose.output.find("precision 0"), std::string::npos) << verbose.output;
        EXPECT_EQ(verbose.output.find("precision 1"), std::string::npos) << quality;
    }
    SavedJpeg saved;
    const CommandResult decoded =
        RunCommand(std::string(DJPEG) + " -bmp " + Quote(saved.path) + " 2>&1 | head -c 2");
    EXPECT_EQ(decoded.output, "BM");
}

TEST(JpegPeers, AGreyJpegDecodesToAGreyTableBitmapThatPillowReads) {
    REQUIRE_TOOL(CJPEG);
    REQUIRE_PILLOW();
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(100, 60, 24, SmoothColour));
    ASSERT_EQ(RunCommand(std::string(CJPEG) + " -grayscale -outfile " + Quote(dir / "grey.jpg") +
                         " " + Quote(dir / "in.bmp"))
                  .status,
              0);
    JpegState state;
    ASSERT_EQ(DecompressJpegToBmp(state, dir / "grey.jpg", dir / "grey.bmp", 0), 1);
    const Bytes bmp = ReadBytes(dir / "grey.bmp");
    EXPECT_EQ(ReadLe16(bmp.data() + 28), 8);
    EXPECT_EQ(ReadLe32(bmp.data() + 46), 256u);
    EXPECT_EQ(ReadLe32(bmp.data() + 10), 54u + 1024);
    EXPECT_EQ(bmp.size(), 54u + 1024 + 100 * 60);
    const CommandResult pillow = RunCommand(
        std::string(PYTHON) +
        " -c 'import sys; from PIL import Image; a = Image.open(sys.argv[1]).convert(\"L\"); "
        "b = Image.open(sys.argv[2]); print(a.size[0], a.size[1], "
        "max(abs(x - y) for x, y in zip(a.getdata(), b.getdata())))' " +
        Quote(dir / "grey.bmp") + " " + Quote(dir / "grey.jpg"));
    EXPECT_EQ(pillow.output, "100 60 0\n");
}

TEST(JpegPeers, ImageMagickReadsOurFilesAndWeReadItsJpegs) {
    REQUIRE_TOOL(IMAGEMAGICK);
    REQUIRE_TOOL(IDENTIFY);
    SavedJpeg saved;
    const DibBlock picture = MakePicture(640, 480);
    for (const auto& [name, filter] : {std::pair{"full.bmp", 2}, std::pair{"reduced.bmp", 3}}) {
        saved.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{(saved.dir / name).string(), filter});
        ASSERT_TRUE(SaveAsFlow(saved.context, SaveWindowKind::Openfile, picture, "x").written);
    }
    const CommandResult identify =
        RunCommand(std::string(IDENTIFY) + " -format '%w %h %m %k\\n' " + Quote(saved.path) + " " +
                   Quote(saved.dir / "full.bmp") + " " + Quote(saved.dir / "reduced.bmp"));
    ASSERT_EQ(identify.status, 0);
    std::istringstream lines(identify.output);
    std::string jpegLine, fullLine, reducedLine;
    std::getline(lines, jpegLine);
    std::getline(lines, fullLine);
    std::getline(lines, reducedLine);
    EXPECT_EQ(jpegLine.rfind("640 480 JPEG", 0), 0u) << jpegLine;
    EXPECT_EQ(fullLine.rfind("640 480 BMP", 0), 0u) << fullLine;
    EXPECT_EQ(reducedLine.rfind("640 480 BMP", 0), 0u) << reducedLine;
    EXPECT_LE(std::stoi(reducedLine.substr(reducedLine.rfind(' ') + 1)), 256);
    // The full-colour file holds our pixels exactly.
    const CommandResult pixel =
        RunCommand(std::string(IMAGEMAGICK) + " " + Quote(saved.dir / "full.bmp") +
                   " -format '%[fx:int(255*p{100,0}.r)] "
                   "%[fx:int(255*p{100,0}.g)] %[fx:int(255*p{100,0}.b)]' info:");
    const auto expected = SmoothColour(100, 479);  // the top row is the last one stored
    EXPECT_EQ(pixel.output, std::to_string(expected[2]) + " " + std::to_string(expected[1]) + " " +
                                std::to_string(expected[0]));

    // A progressive 4:2:0 JPEG from ImageMagick: no baseline frame to inspect, but it opens and
    // the Exif save re-encodes it.
    const auto progressive = saved.dir / "progressive.jpg";
    ASSERT_EQ(RunCommand(std::string(IMAGEMAGICK) +
                         " -size 320x200 gradient:red-blue -interlace "
                         "JPEG -sampling-factor 2x2 " +
                         Quote(progressive))
                  .status,
              0);
    JpegFrameInfo info;
    ASSERT_EQ(ReadJpegFrameInfo(saved.shell, progressive, info), 1);
    EXPECT_EQ(info.width, 0u);
    DibBlock workImage = *DibBlock::Allocate(925'696);
    OpenPictureContext open{saved.shell, saved.jpeg, saved.dir / "scratchA"};
    ASSERT_TRUE(OpenPictureFile(open, progressive, OPEN_FILTER_JPEG, workImage));
    EXPECT_GT(testing::PixelAt(workImage, 320, 240)[2], 100);  // red at the top, centred
    EXPECT_EQ(testing::PixelAt(workImage, 320, 20)[2], 0);     // black below the picture
    ASSERT_EQ(SaveJpegWithExif(saved.context, progressive, saved.dir / "progressive-exif.jpg"), 1);
    JpegFrameInfo reencoded;
    ASSERT_EQ(ReadJpegFrameInfo(saved.shell, saved.dir / "progressive-exif.jpg", reencoded), 1);
    EXPECT_EQ(reencoded.width, 320u);
    EXPECT_EQ(reencoded.sampling[0].horizontal, 2u);
}

}  // namespace
}  // namespace fotolyx
