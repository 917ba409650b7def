// Our BMP files against readers and writers nobody here wrote: Pillow and ImageMagick.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/bmp_file.h"
#include "ports/file_error.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* PYTHON = "/usr/bin/python3";
constexpr const char* CONVERT = "/usr/bin/convert";

// Runs a shell command and gives its standard output; none when it fails.
std::optional<Bytes> RunCommand(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    Bytes output;
    std::array<std::uint8_t, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.insert(output.end(), chunk.begin(),
                      chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    return ::pclose(pipe) == 0 ? std::optional<Bytes>(output) : std::nullopt;
}

bool PeersRequired() {
    return std::getenv("FOTOLYX_REQUIRE_PEERS") != nullptr;
}

#define REQUIRE_PEER(available, what)                         \
    do {                                                      \
        if (!(available)) {                                   \
            if (PeersRequired()) {                            \
                FAIL() << what << " is required but missing"; \
            }                                                 \
            GTEST_SKIP() << what << " is missing";            \
        }                                                     \
    } while (false)

bool HasPillow() {
    return RunCommand(std::string(PYTHON) + " -c 'import PIL' 2>/dev/null").has_value();
}
bool HasImageMagick() {
    return RunCommand(std::string(CONVERT) + " -version >/dev/null 2>&1").has_value();
}

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Pixels as the peers give them: red, green, blue, top row first.
std::optional<Bytes> PillowPixels(const std::filesystem::path& path) {
    return RunCommand(
        std::string(PYTHON) +
        " -c 'import sys; from PIL import Image; "
        "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert(\"RGB\").tobytes())' " +
        Quoted(path));
}

std::optional<Bytes> ImageMagickPixels(const std::filesystem::path& path) {
    return RunCommand(std::string(CONVERT) + " " + Quoted(path) + " -depth 8 rgb:-");
}

// Our block's pixels in the same order; indexed pixels through the colour table.
Bytes PixelsOf(const DibBlock& dib) {
    const int width = DibWidth(dib);
    const int height = DibHeight(dib);
    const int bits = DibBitCount(dib);
    const std::size_t stride =
        DibStride(static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(width));
    const std::uint8_t* table = dib.data() + DibHeaderSize(dib);
    Bytes rgb;
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* row = DibBits(dib) + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* bgr = row + 3 * x;
            if (bits <= 8) {
                const int bit = x * bits;
                const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
                bgr = table + 4 * index;
            }
            rgb.insert(rgb.end(), {bgr[2], bgr[1], bgr[0]});
        }
    }
    return rgb;
}

std::uint8_t Wave(int value) {
    return static_cast<std::uint8_t>((value * 37) ^ (value >> 3));
}

// A 13 x 7 true-colour picture and an 11 x 5 picture of 256 colours, odd widths both.
DibBlock TrueColourPicture() {
    auto dib = CreateDib(13, 7, 24);
    const std::size_t stride = DibStride(24, 13);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            std::uint8_t* pixel = DibBits(*dib) + y * stride + 3 * x;
            pixel[0] = Wave(x * 7 + y);
            pixel[1] = static_cast<std::uint8_t>(x * 19);
            pixel[2] = static_cast<std::uint8_t>(255 - y * 36);
        }
    }
    return std::move(*dib);
}

DibBlock IndexedPicture() {
    auto dib = CreateDib(11, 5, 8);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t* entry = dib->data() + 40 + 4 * i;
        entry[0] = Wave(i);
        entry[1] = static_cast<std::uint8_t>(i);
        entry[2] = static_cast<std::uint8_t>(255 - i);
    }
    const std::size_t stride = DibStride(8, 11);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 11; ++x) {
            DibBits(*dib)[y * stride + x] = static_cast<std::uint8_t>(x * 23 + y * 51);
        }
    }
    return std::move(*dib);
}

TEST(BmpPeers, PillowReadsOurFilesWithTheSamePixels) {
    REQUIRE_PEER(HasPillow(), "Pillow (/usr/bin/python3 with PIL)");
    TempDir dir;
    for (const DibBlock& picture : {TrueColourPicture(), IndexedPicture()}) {
        SCOPED_TRACE(DibBitCount(picture));
        ASSERT_EQ(WriteDibFile(dir / "ours.bmp", picture), 1);
        EXPECT_EQ(PillowPixels(dir / "ours.bmp"), PixelsOf(picture));
    }
}

TEST(BmpPeers, ImageMagickReadsOurFilesWithTheSamePixels) {
    REQUIRE_PEER(HasImageMagick(), "ImageMagick (/usr/bin/convert)");
    TempDir dir;
    for (const DibBlock& picture : {TrueColourPicture(), IndexedPicture()}) {
        SCOPED_TRACE(DibBitCount(picture));
        ASSERT_EQ(WriteDibFile(dir / "ours.bmp", picture), 1);
        EXPECT_EQ(ImageMagickPixels(dir / "ours.bmp"), PixelsOf(picture));
    }
}

struct ImageMagickFile {
    const char* options;  // what ImageMagick is asked to write
    std::uint32_t headerSize;
    std::uint16_t bitCount;
};

TEST(BmpPeers, FilesImageMagickWritesLoadWithTheSamePixels) {
    REQUIRE_PEER(HasImageMagick(), "ImageMagick (/usr/bin/convert)");
    const ImageMagickFile files[] = {
        {"-type truecolor BMP3:", 40, 24},
        {"-type truecolor BMP:", 124, 24},
        {"-colors 200 -type palette -compress none BMP3:", 40, 8},
        {"-colors 200 -type palette -compress none BMP:", 124, 8},
        {"-colors 16 -type palette BMP3:", 40, 4},
        {"-colors 16 -type palette BMP:", 124, 4},
    };
    TempDir dir;
    ASSERT_EQ(WriteDibFile(dir / "source.bmp", TrueColourPicture()), 1);
    for (const ImageMagickFile& file : files) {
        SCOPED_TRACE(file.options);
        const auto path = dir / "theirs.bmp";
        ASSERT_TRUE(RunCommand(std::string(CONVERT) + " " + Quoted(dir / "source.bmp") + " " +
                               file.options + Quoted(path)));
        const Bytes bytes = testing::ReadBytes(path);
        ASSERT_GE(bytes.size(), 30u);
        EXPECT_EQ(ReadLe32(bytes.data() + 14), file.headerSize);
        EXPECT_EQ(ReadLe16(bytes.data() + 28), file.bitCount);

        const DibFileResult loaded = LoadDibFile(path);
        ASSERT_TRUE(loaded) << loaded.errorCode;
        EXPECT_EQ(DibHeaderSize(*loaded.block), 40u);
        EXPECT_EQ(PixelsOf(*loaded.block), ImageMagickPixels(path));
    }
}

TEST(BmpPeers, RunLengthFilesFromImageMagickAreRefused) {
    REQUIRE_PEER(HasImageMagick(), "ImageMagick (/usr/bin/convert)");
    TempDir dir;
    ASSERT_EQ(WriteDibFile(dir / "source.bmp", TrueColourPicture()), 1);
    ASSERT_TRUE(
        RunCommand(std::string(CONVERT) + " " + Quoted(dir / "source.bmp") +
                   " -colors 200 -type palette -compress rle BMP3:" + Quoted(dir / "rle.bmp")));
    const DibFileResult loaded = LoadDibFile(dir / "rle.bmp");
    EXPECT_FALSE(loaded.block.has_value());
    EXPECT_EQ(loaded.errorCode, FILE_ERROR_NOT_BMP);
}

}  // namespace
}  // namespace fotolyx
