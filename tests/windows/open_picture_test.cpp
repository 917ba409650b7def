#include "windows/open_picture.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/jpeg_codec.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::MakeBmpFile;
using testing::PixelAt;
using testing::ReadBytes;
using testing::RecordingShell;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

constexpr Bgr BLACK{0, 0, 0};

// A colour that tells the file pixel it came from.
Bgr Marked(std::int32_t x, std::int32_t y) {
    return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
            static_cast<std::uint8_t>(0x80 | ((x >> 8) << 3) | (y >> 8))};
}

std::vector<Bgr> MarkedTable() {
    std::vector<Bgr> table(256);
    for (int i = 0; i < 256; ++i) {
        table[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 0x40};
    }
    return table;
}
std::uint8_t MarkedIndex(std::int32_t x, std::int32_t y) {
    return static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF);
}

struct OpenWorld {
    TempDir dir;
    RecordingShell shell;
    JpegState jpeg;
    OpenPictureContext context{shell, jpeg, dir / "scratchA"};
    DibBlock workImage = *DibBlock::Allocate(925'696);
    bool Open(const Bytes& file, int filter, const std::string& name = "picture") {
        WriteBytes(dir / name, file);
        return OpenPictureFile(context, dir / name, filter, workImage);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : shell.messages) {
            texts.push_back(message.text);
        }
        return texts;
    }
};

// A 40-byte header of a 640 x 480 24-bit picture, every other field 0.
bool IsNormalisedHeader(const DibBlock& image) {
    const Bytes expected{40, 0, 0, 0, 0x80, 2, 0, 0, 0xE0, 1, 0, 0, 1, 0, 24};
    return std::equal(expected.begin(), expected.end(), image.data()) &&
           std::all_of(image.data() + 15, image.data() + 40, [](std::uint8_t b) { return b == 0; });
}

TEST(OpenPicture, PicturesArePlacedByTheCentringAndCuttingRules) {
    // Width, height and bits; where the first used file pixel goes; the file pixels skipped at
    // the left and the rows at the bottom; cut off.
    const std::array<std::int32_t, 8> cases[] = {
        {320, 240, 24, 160, 120, 0, 0, 0}, {320, 240, 8, 160, 120, 0, 0, 0},
        {321, 240, 24, 156, 120, 0, 0, 0}, {321, 240, 8, 159, 120, 0, 0, 0},
        {640, 400, 24, 0, 40, 0, 0, 0},    {800, 600, 24, 0, 0, 80, 60, 1},
        {800, 600, 8, 0, 0, 80, 60, 1},    {1, 1, 24, 316, 239, 0, 0, 0},
        {1, 1, 8, 319, 239, 0, 0, 0},      {641, 2, 24, 0, 239, 0, 0, 1}};
    const std::vector<Bgr> table = MarkedTable();
    for (const auto& [width, height, bitCount, column, row, skipX, skipY, cutOff] : cases) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height << ", " << bitCount);
        OpenWorld world;
        ASSERT_TRUE(world.Open(MakeBmpFile(width, height, bitCount, Marked, MarkedIndex, table),
                               OPEN_FILTER_BMP));
        EXPECT_EQ(world.Texts(),
                  cutOff ? std::vector<std::string>{"Part of the image will be cut off."}
                         : std::vector<std::string>{});
        EXPECT_TRUE(IsNormalisedHeader(world.workImage));
        const std::int32_t usedWidth = std::min(width, 640);
        const std::int32_t usedHeight = std::min(height, 480);
        for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{usedWidth - 1, usedHeight - 1},
                                     std::pair{usedWidth / 2, usedHeight / 3}}) {
            const std::int32_t x = skipX + dx;
            const std::int32_t y = skipY + dy;
            EXPECT_EQ(PixelAt(world.workImage, column + dx, row + dy),
                      bitCount == 24 ? Marked(x, y) : table[MarkedIndex(x, y)])
                << dx << "," << dy;
        }
    }
}

// A full-size 24-bit file keeps its header (its resolution, say) but announces no colour table.
TEST(OpenPicture, AFullSizeTrueColourFileKeepsTheHeaderFieldsThatStillHold) {
    // Colours used and important, image size, and the image size kept.
    const std::uint32_t cases[][4] = {{0, 0, 921'600, 921'600},
                                      {256, 0, 0, 0},
                                      {2, 2, 921'600, 921'600},
                                      {0, 0x01000007, 5, 0},
                                      {16, 16, 921'654, 0}};
    for (const auto& [used, important, imageSize, kept] : cases) {
        SCOPED_TRACE(used);
        OpenWorld world;
        Bytes file = MakeBmpFile(640, 480, 24, Marked, nullptr, {}, 40, 4 * used);
        std::fill_n(file.begin() + 54, 4 * used, std::uint8_t{0x5A});
        WriteLe32(file.data() + 14 + 20, imageSize);
        WriteLe32(file.data() + 14 + 24, 3780);  // horizontal resolution
        WriteLe32(file.data() + 14 + 32, used);
        WriteLe32(file.data() + 14 + 36, important);
        ASSERT_TRUE(world.Open(file, OPEN_FILTER_BMP));
        EXPECT_TRUE(world.shell.messages.empty());
        const std::uint8_t* h = world.workImage.data();
        EXPECT_EQ(
            (std::array{ReadLe32(h + 20), ReadLe32(h + 24), ReadLe32(h + 32), ReadLe32(h + 36)}),
            (std::array{kept, 3780u, 0u, 0u}));
        EXPECT_EQ(DibBitsOffset(world.workImage), 40u);
        EXPECT_EQ(0, std::memcmp(file.data() + 54 + 4 * used, h + 40, 921'600));
    }
}

TEST(OpenPicture, LongerHeadersAndGapsBeforeThePixelsAreHonoured) {
    const std::vector<Bgr> table = MarkedTable();
    const std::array<std::uint32_t, 3> cases[] = {{108, 24, 0}, {124, 8, 0}, {40, 24, 10},
                                                  {40, 8, 6},   {12, 8, 0},  {12, 24, 2}};
    for (const auto& [headerSize, bitCount, gap] : cases) {
        OpenWorld world;
        const Bytes file = MakeBmpFile(320, 240, static_cast<int>(bitCount), Marked, MarkedIndex,
                                       table, headerSize, gap);
        ASSERT_TRUE(world.Open(file, OPEN_FILTER_BMP)) << headerSize;
        EXPECT_TRUE(world.shell.messages.empty());
        const Bgr expected = bitCount == 24 ? Marked(5, 7) : table[MarkedIndex(5, 7)];
        EXPECT_EQ(PixelAt(world.workImage, 165, 127), expected) << headerSize << "/" << gap;
    }
}

TEST(OpenPicture, AShortFileLeavesTheMissingPixelsBlack) {
    OpenWorld world;
    Bytes file = MakeBmpFile(640, 480, 24, Marked);
    file.resize(54 + 1920 * 100 + 30);
    ASSERT_TRUE(world.Open(file, OPEN_FILTER_BMP));
    EXPECT_EQ(PixelAt(world.workImage, 9, 100), Marked(9, 100));
    EXPECT_EQ(PixelAt(world.workImage, 10, 100), BLACK);
    EXPECT_EQ(PixelAt(world.workImage, 5, 300), BLACK);
}

// Every malformed file ends in "This file type is wrong." and opens nothing; a missing one is
// not found.
TEST(OpenPicture, MalformedAndMissingFilesAreRefused) {
    TempDir source;
    JpegState state;
    WriteBytes(source / "in.bmp", MakeBmpFile(64, 48, 24, SmoothColour));
    ASSERT_EQ(CompressBmpToJpeg(state, source / "in.bmp", source / "in.jpg", "2x1,1x1,1x1", 75), 1);
    const Bytes jpeg = ReadBytes(source / "in.jpg");
    const Bytes bmp = MakeBmpFile(64, 48, 24, SmoothColour);
    // The bitmap with the 32 bits at a place changed (at 28 the bit count and the compression).
    const auto changed = [](Bytes b, std::size_t at, std::uint32_t value) {
        WriteLe32(b.data() + at, value);
        return b;
    };
    const auto zeroIndex = [](int, int) { return 0; };
    Bytes tooManyColours = MakeBmpFile(4, 4, 8, nullptr, zeroIndex, {{1, 2, 3}});
    WriteLe32(tooManyColours.data() + 46, 1000);
    Bytes cutTable = MakeBmpFile(4, 4, 8, nullptr, zeroIndex, MarkedTable());
    cutTable.resize(14 + 40 + 100);
    const std::vector<std::pair<std::string, Bytes>> asJpeg = {
        {"a BMP", bmp}, {"cut", Bytes(jpeg.begin(), jpeg.begin() + 30)}};
    const std::vector<std::pair<std::string, Bytes>> asBmp = {
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
        {"16 bits", changed(bmp, 28, 16)},
        {"compressed", changed(bmp, 30, 1)},
        {"top-down", changed(bmp, 22, static_cast<std::uint32_t>(-48))},
        {"header size 1000", changed(bmp, 14, 1000)},
        {"pixel offset past the end", changed(bmp, 10, 1 << 30)},
        {"pixel offset inside the header", changed(bmp, 10, 30)},
        {"1000 colours", tooManyColours},
        {"cut inside the colour table", cutTable},
    };
    for (const auto& [filter, cases] :
         {std::pair{OPEN_FILTER_JPEG, &asJpeg}, {OPEN_FILTER_BMP, &asBmp}}) {
        for (const auto& [name, file] : *cases) {
            OpenWorld world;
            EXPECT_FALSE(world.Open(file, filter)) << name;
            EXPECT_EQ(world.Texts(), std::vector<std::string>{TEXT_FILE_TYPE_WRONG}) << name;
            EXPECT_EQ(world.shell.messages[0].style, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    OpenWorld missing;
    EXPECT_FALSE(
        OpenPictureFile(missing.context, missing.dir / "gone", OPEN_FILTER_BMP, missing.workImage));
    EXPECT_EQ(missing.Texts(), std::vector<std::string>{"This file could not be found. "});
}

}  // namespace
}  // namespace fotolyx
