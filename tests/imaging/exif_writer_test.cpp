#include "imaging/exif_writer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/dib_block.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::RecordingShell;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t TiffLong(const Bytes& block, std::size_t tiffOffset) {
    return ReadLe32(block.data() + EXIF_TIFF_OFFSET + tiffOffset);
}

std::string TiffText(const Bytes& block, std::size_t tiffOffset, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(block.data() + EXIF_TIFF_OFFSET + tiffOffset),
                       count);
}

std::uint32_t PointerValue(const Bytes& block, std::uint16_t tag) {
    const auto place =
        FindExifTag(std::span(block).subspan(EXIF_TIFF_OFFSET), tag, ByteOrder::Little);
    EXPECT_TRUE(place.has_value()) << tag;
    return place ? TiffLong(block, place->valueOffset) : 0;
}

// The whole block, written out from the template and its layout rules: every tag, type, count,
// value and offset, little-endian, inline SHORTs as 02 00 00 00.
// clang-format off
const Bytes TEMPLATE_BLOCK = {
        0xFF, 0xE1, 0x01, 0xDA, 0x45, 0x78, 0x69, 0x66, 0x00, 0x00,  // marker, length 474, "Exif\0\0"
        0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,  // "II", 42, IFD0 at 8
        0x09, 0x00,  // IFD0: 9 entries
        0x0F, 0x01, 0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x7A, 0x00, 0x00, 0x00,  // Make
        0x10, 0x01, 0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x84, 0x00, 0x00, 0x00,  // Model
        0x1A, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x8E, 0x00, 0x00, 0x00,  // XResolution
        0x1B, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x96, 0x00, 0x00, 0x00,  // YResolution
        0x28, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // ResolutionUnit 2
        0x31, 0x01, 0x02, 0x00, 0x08, 0x00, 0x00, 0x00, 0x9E, 0x00, 0x00, 0x00,  // Software
        0x32, 0x01, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0xA6, 0x00, 0x00, 0x00,  // DateTime
        0x13, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // YCbCrPositioning 2
        0x69, 0x87, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0xBA, 0x00, 0x00, 0x00,  // Exif directory at 186
        0x72, 0x01, 0x00, 0x00,  // IFD1 at 370
        0x43, 0x6F, 0x72, 0x76, 0x61, 0x6E, 0x74, 0x69, 0x73, 0x00,  // Make
        0x5A, 0x54, 0x2D, 0x4B, 0x37, 0x37, 0x30, 0x30, 0x20, 0x00,  // Model
        0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // XResolution 72/1
        0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // YResolution 72/1
        0x56, 0x65, 0x72, 0x2E, 0x31, 0x2E, 0x30, 0x00,  // Software
        0x31, 0x39, 0x39, 0x39, 0x3A, 0x30, 0x31, 0x3A, 0x30, 0x31, 0x20, 0x30,  // DateTime
        0x30, 0x3A, 0x30, 0x30, 0x3A, 0x30, 0x30, 0x00,
        0x09, 0x00,  // Exif directory: 9 entries
        0x00, 0x90, 0x07, 0x00, 0x04, 0x00, 0x00, 0x00, 0x30, 0x32, 0x31, 0x30,  // ExifVersion "0210"
        0x03, 0x90, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0x2C, 0x01, 0x00, 0x00,  // DateTimeOriginal
        0x04, 0x90, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00,  // DateTimeDigitized
        0x01, 0x91, 0x07, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x00,  // ComponentsConfiguration 01 02 03 00
        0x00, 0xA0, 0x07, 0x00, 0x04, 0x00, 0x00, 0x00, 0x30, 0x31, 0x30, 0x30,  // FlashpixVersion "0100"
        0x01, 0xA0, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // ColorSpace 1
        0x02, 0xA0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // PixelXDimension
        0x03, 0xA0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // PixelYDimension
        0x05, 0xA0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x54, 0x01, 0x00, 0x00,  // Interoperability directory at 340
        0x00, 0x00, 0x00, 0x00,  // no next directory
        0x31, 0x39, 0x39, 0x39, 0x3A, 0x30, 0x31, 0x3A, 0x30, 0x31, 0x20, 0x30,  // DateTimeOriginal
        0x30, 0x3A, 0x30, 0x30, 0x3A, 0x30, 0x30, 0x00,
        0x31, 0x39, 0x39, 0x39, 0x3A, 0x30, 0x31, 0x3A, 0x30, 0x31, 0x20, 0x30,  // DateTimeDigitized
        0x30, 0x3A, 0x30, 0x30, 0x3A, 0x30, 0x30, 0x00,
        0x02, 0x00,  // Interoperability: 2 entries
        0x01, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x52, 0x39, 0x38, 0x00,  // InteroperabilityIndex "R98"
        0x02, 0x00, 0x07, 0x00, 0x04, 0x00, 0x00, 0x00, 0x30, 0x31, 0x30, 0x30,  // InteroperabilityVersion "0100"
        0x00, 0x00, 0x00, 0x00,  // no next directory
        0x06, 0x00,  // IFD1: 6 entries
        0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // Compression 6
        0x1A, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0xC0, 0x01, 0x00, 0x00,  // XResolution
        0x1B, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0xC8, 0x01, 0x00, 0x00,  // YResolution
        0x28, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // ResolutionUnit 2
        0x01, 0x02, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0xD0, 0x01, 0x00, 0x00,  // JPEGInterchangeFormat 464
        0x02, 0x02, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // JPEGInterchangeFormatLength
        0x00, 0x00, 0x00, 0x00,  // no next directory
        0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // XResolution 72/1
        0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // YResolution 72/1
};
// clang-format on

TEST(ExifWriter, BuildsTheTemplateByteForByte) {
    ASSERT_EQ(TEMPLATE_BLOCK.size(), 474u);
    const auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    ASSERT_EQ(block->size(), TEMPLATE_BLOCK.size());
    for (std::size_t i = 0; i < TEMPLATE_BLOCK.size(); ++i) {
        ASSERT_EQ((*block)[i], TEMPLATE_BLOCK[i]) << "first difference at block offset " << i;
    }
}

TEST(ExifWriter, EditsStayInTheirPlaceAndAMissingTagIsReported) {
    auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    RecordingShell shell;
    ASSERT_TRUE(SetExifTag(shell, *block, TAG_DATE_TIME, "2002:07:15 09:05:00", 0));
    EXPECT_EQ(TiffText(*block, 166, 20), std::string("2002:07:15 09:05:00\0", 20));
    EXPECT_EQ(TiffText(*block, 122, 10), std::string("Corvantis\0", 10));
    ASSERT_TRUE(SetExifTag(shell, *block, TAG_PIXEL_X_DIMENSION, std::nullopt, 640));
    EXPECT_EQ(PointerValue(*block, TAG_PIXEL_X_DIMENSION), 640u);
    // A text longer than the tag's room is cut to it, never spilling into the next value.
    ASSERT_TRUE(SetExifTag(shell, *block, 0x010F, "A much longer maker name", 0));
    EXPECT_EQ(TiffText(*block, 122, 10), std::string("A much lo\0", 10));
    EXPECT_EQ(TiffText(*block, 132, 10), std::string("ZT-K7700 \0", 10));
    EXPECT_TRUE(shell.messages.empty());
    // The segment length is big-endian and fits 16 bits.
    ASSERT_TRUE(SetExifSegmentLength(*block, 472 + 3000));
    EXPECT_EQ(Bytes(block->begin() + 2, block->begin() + 4), (Bytes{3472 >> 8, 3472 & 0xFF}));
    EXPECT_TRUE(SetExifSegmentLength(*block, 65'535));
    EXPECT_FALSE(SetExifSegmentLength(*block, 65'536));
    EXPECT_EQ(Bytes(block->begin() + 2, block->begin() + 4), (Bytes{0xFF, 0xFF}));

    const Bytes before = *block;
    EXPECT_FALSE(SetExifTag(shell, *block, 0x0112, std::nullopt, 1));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text, "Can not find the Tag.");
    EXPECT_EQ(shell.messages[0].caption, "Error");
    EXPECT_EQ(*block, before);
}

// Found by the fuzzer: a tag of an unknown type has a count but only its 4-byte field, so its
// text is cut to that field instead of running over the directory and past the block.
TEST(ExifWriter, TextForATagOfUnknownTypeStaysInItsField) {
    Bytes block = {0xFF, 0xE1, 0,  34, 'E', 'x', 'i', 'f', 0, 0,  // marker, length, name
                   'I',  'I',  42, 0,  8,   0,   0,   0,          // TIFF header
                   1,    0,                                       // IFD0: one entry
                   0x32, 0x01, 99, 0,  100, 0,   0,   0,   0, 0,
                   0,    0,             // DateTime, type 99, count 100
                   0,    0,    0,  0};  // no next directory
    RecordingShell shell;
    ASSERT_TRUE(SetExifTag(shell, block, TAG_DATE_TIME, "2002:07:15 09:05:00", 0));
    EXPECT_EQ(Bytes(block.end() - 8, block.end()), (Bytes{'2', '0', '0', 0, 0, 0, 0, 0}));
}

TEST(ExifWriter, MalformedDirectoriesAreWalkedSafely) {
    const auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    const Bytes tiff(block->begin() + EXIF_TIFF_OFFSET, block->end());
    // Where each tag's value is found (TIFF offsets of the template's layout), NONE when it is
    // not, INSIDE when the walk reads stray bytes as entries and may find it anywhere in the
    // block: DateTimeOriginal, InteroperabilityVersion, Make, JPEGInterchangeFormatLength.
    constexpr int NONE = 0;
    constexpr int INSIDE = -1;
    const std::uint16_t tags[] = {TAG_DATE_TIME_ORIGINAL, 0x0002, 0x010F, 0x0202};
    struct Case {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        bool thirtyTwoBits;
        int found[4];
    };
    const Case cases[] = {
        {"intact", 0, 0, false, {300, 362, 122, 440}},
        {"IFD0 past the end", 4, 100000, true, {NONE, NONE, NONE, NONE}},
        {"entry count past the end", 8, 5000, false, {300, INSIDE, 122, NONE}},
        {"IFD1 loops back to IFD0", 118, 8, true, {300, 362, 122, NONE}},
        {"IFD1 links to itself", 444, 370, true, {300, 362, 122, 440}},
        {"Exif pointer past the end",
         8 + 2 + 12 * 8 + 8,
         0xFFFFFFF0u,
         true,
         {NONE, NONE, 122, 440}},
        {"value offset past the end", 8 + 2 + 8, 0xFFFFFF00u, true, {300, 362, NONE, 440}},
    };
    for (const Case& c : cases) {
        Bytes broken = tiff;
        if (c.at != 0 && c.thirtyTwoBits) {
            WriteLe32(broken.data() + c.at, c.value);
        } else if (c.at != 0) {
            WriteLe16(broken.data() + c.at, static_cast<std::uint16_t>(c.value));
        }
        for (std::size_t t = 0; t < std::size(tags); ++t) {
            const auto place = FindExifTag(broken, tags[t], ByteOrder::Little);
            if (c.found[t] == NONE) {
                EXPECT_FALSE(place) << c.name << " tag " << tags[t];
            } else if (c.found[t] == INSIDE) {
                ASSERT_TRUE(place) << c.name << " tag " << tags[t];
                EXPECT_LE(place->valueOffset + 4, broken.size()) << c.name << " tag " << tags[t];
            } else {
                ASSERT_TRUE(place) << c.name << " tag " << tags[t];
                EXPECT_EQ(place->valueOffset, static_cast<std::size_t>(c.found[t]))
                    << c.name << " tag " << tags[t];
            }
        }
    }
    EXPECT_FALSE(FindExifTag(Bytes{0x49, 0x49}, 0x010F, ByteOrder::Little));
}

}  // namespace
}  // namespace fotolyx
