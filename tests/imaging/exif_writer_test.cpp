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

TEST(ExifWriter, BuildsTheTemplateByteForByte) {
    const auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    ASSERT_EQ(block->size(), 474u);
    const Bytes start = {0xFF, 0xE1, 0x01, 0xDA, 0x45, 0x78, 0x69, 0x66, 0x00, 0x00,
                         0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x09, 0x00};
    EXPECT_EQ(Bytes(block->begin(), block->begin() + 20), start);
    EXPECT_EQ(TiffLong(*block, 118), 370u);  // IFD0 links to IFD1
    EXPECT_EQ(PointerValue(*block, TAG_EXIF_POINTER), 186u);
    EXPECT_EQ(PointerValue(*block, TAG_INTEROPERABILITY_POINTER), 340u);
    EXPECT_EQ(PointerValue(*block, TAG_JPEG_INTERCHANGE_FORMAT), 464u);
    EXPECT_EQ(TiffText(*block, 122, 10), std::string("Corvantis\0", 10));
    EXPECT_EQ(TiffText(*block, 132, 10), std::string("ZT-K7700 \0", 10));
    EXPECT_EQ(TiffLong(*block, 142), 72u);
    EXPECT_EQ(TiffLong(*block, 146), 1u);
    EXPECT_EQ(TiffText(*block, 158, 8), std::string("Ver.1.0\0", 8));
    EXPECT_EQ(TiffText(*block, 166, 20), std::string("1999:01:01 00:00:00\0", 20));
    EXPECT_EQ(TiffText(*block, 300, 20), std::string("1999:01:01 00:00:00\0", 20));
    EXPECT_EQ(TiffLong(*block, 448), 72u);
    EXPECT_EQ(TiffLong(*block, 456), 72u);
}

TEST(ExifWriter, SegmentLengthIsBigEndianAndBoundedBy16Bits) {
    auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    ASSERT_TRUE(SetExifSegmentLength(*block, 472 + 3000));
    EXPECT_EQ((*block)[2], (3472 >> 8));
    EXPECT_EQ((*block)[3], (3472 & 0xFF));
    EXPECT_TRUE(SetExifSegmentLength(*block, 65'535));
    EXPECT_FALSE(SetExifSegmentLength(*block, 65'536));
    EXPECT_EQ((*block)[2], 0xFF);
    EXPECT_EQ((*block)[3], 0xFF);
}

TEST(ExifWriter, SetTagWritesTextAndNumbersInPlace) {
    auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    RecordingShell shell;
    ASSERT_TRUE(SetExifTag(shell, *block, TAG_DATE_TIME, "2002:07:15 09:05:00", 0));
    EXPECT_EQ(TiffText(*block, 166, 20), std::string("2002:07:15 09:05:00\0", 20));
    EXPECT_EQ(TiffText(*block, 122, 10), std::string("Corvantis\0", 10));
    EXPECT_EQ(TiffText(*block, 132, 10), std::string("ZT-K7700 \0", 10));
    ASSERT_TRUE(SetExifTag(shell, *block, TAG_PIXEL_X_DIMENSION, std::nullopt, 640));
    EXPECT_EQ(PointerValue(*block, TAG_PIXEL_X_DIMENSION), 640u);
    // A text longer than the tag's room is cut to it, never spilling into the next value.
    ASSERT_TRUE(SetExifTag(shell, *block, 0x010F, "A much longer maker name", 0));
    EXPECT_EQ(TiffText(*block, 122, 10), std::string("A much lo\0", 10));
    EXPECT_EQ(TiffText(*block, 132, 10), std::string("ZT-K7700 \0", 10));
    EXPECT_TRUE(shell.messages.empty());
}

TEST(ExifWriter, ATagTheBlockLacksIsReported) {
    auto block = BuildExifBlock();
    ASSERT_TRUE(block);
    const Bytes before = *block;
    RecordingShell shell;
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
    struct Case {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        bool thirtyTwoBits;
    };
    const Case cases[] = {
        {"IFD0 past the end", 4, 100000, true},
        {"entry count past the end", 8, 5000, false},
        {"IFD1 loops back to IFD0", 118, 8, true},
        {"IFD1 links to itself", 444, 370, true},
        {"Exif pointer past the end", 8 + 2 + 12 * 8 + 8, 0xFFFFFFF0u, true},
        {"value offset past the end", 8 + 2 + 8, 0xFFFFFF00u, true},
    };
    for (const Case& c : cases) {
        Bytes broken = tiff;
        if (c.thirtyTwoBits) {
            WriteLe32(broken.data() + c.at, c.value);
        } else {
            WriteLe16(broken.data() + c.at, static_cast<std::uint16_t>(c.value));
        }
        for (const std::uint16_t tag :
             {std::uint16_t{0x0112}, TAG_DATE_TIME_ORIGINAL, std::uint16_t{0x0002}}) {
            const auto place = FindExifTag(broken, tag, ByteOrder::Little);
            if (place) {
                EXPECT_LE(place->valueOffset + 4, broken.size()) << c.name;
            }
        }
    }
    EXPECT_FALSE(FindExifTag(Bytes{0x49, 0x49}, 0x010F, ByteOrder::Little));
}

}  // namespace
}  // namespace fotolyx
