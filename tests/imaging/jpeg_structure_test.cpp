#include "imaging/jpeg_structure.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace fotolyx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::RecordingShell;
using testing::TempDir;
using testing::WriteBytes;

Bytes Segment(std::uint8_t marker, const Bytes& contents) {
    const std::size_t length = contents.size() + 2;
    Bytes bytes = {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length)};
    bytes.insert(bytes.end(), contents.begin(), contents.end());
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes SOI = {0xFF, 0xD8};
const Bytes EOI = {0xFF, 0xD9};
const Bytes APP0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
const Bytes FRAME_640_480 =
    Segment(0xC0, {8, 0x01, 0xE0, 0x02, 0x80, 3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
const Bytes SCAN = Join(
    {Segment(0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}), Bytes{0x12, 0x34, 0xFF, 0x00, 0x56}});

Bytes QuantisationTable(std::uint8_t id) {
    Bytes table(65, static_cast<std::uint8_t>(id + 1));
    table[0] = id;
    return table;
}

// A Huffman table: class/id byte, 16 counts, then the symbols.
Bytes HuffmanTable(std::uint8_t classId, const std::array<std::uint8_t, 16>& counts,
                   std::uint8_t symbol = 0) {
    Bytes table;
    table.push_back(classId);
    for (const std::uint8_t count : counts) {
        table.push_back(count);
    }
    for (const std::uint8_t count : counts) {
        table.insert(table.end(), count, symbol);
    }
    return table;
}

constexpr std::array<std::uint8_t, 16> DC_LUMINANCE = {0, 1, 5, 1, 1, 1, 1, 1,
                                                       1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 16> DC_CHROMINANCE = {0, 3, 1, 1, 1, 1, 1, 1,
                                                         1, 1, 1, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 16> AC_LUMINANCE = {0, 2, 1, 3, 3, 2, 4, 3,
                                                       5, 5, 4, 4, 0, 0, 1, 0x7D};
constexpr std::array<std::uint8_t, 16> AC_CHROMINANCE = {0, 2, 1, 2, 4, 4, 3, 4,
                                                         7, 5, 4, 4, 0, 1, 2, 0x77};

Bytes StandardTables(std::uint8_t symbol = 0) {
    return Join(
        {HuffmanTable(0x00, DC_LUMINANCE, symbol), HuffmanTable(0x01, DC_CHROMINANCE, symbol),
         HuffmanTable(0x10, AC_LUMINANCE, symbol), HuffmanTable(0x11, AC_CHROMINANCE, symbol)});
}

// A libjpeg-style stream: APP0, one DQT and one DHT segment per table.
Bytes SeparateSegmentsStream() {
    return Join({SOI, APP0, Segment(0xDB, QuantisationTable(0)),
                 Segment(0xDB, QuantisationTable(1)), FRAME_640_480,
                 Segment(0xC4, HuffmanTable(0x00, DC_LUMINANCE)),
                 Segment(0xC4, HuffmanTable(0x10, AC_LUMINANCE)),
                 Segment(0xC4, HuffmanTable(0x01, DC_CHROMINANCE)),
                 Segment(0xC4, HuffmanTable(0x11, AC_CHROMINANCE)), SCAN, EOI});
}

TEST(JpegInspection, CompactionMergesTablesAndRefusesStreamsThatRunPastTheirData) {
    const Bytes whole = SeparateSegmentsStream();
    const auto firstTableLength = [&whole](std::uint8_t high, std::uint8_t low) {
        Bytes bytes = whole;
        bytes.at(2 + 18 + 2) = high;
        bytes.at(2 + 18 + 3) = low;
        return bytes;
    };
    const Bytes merged = Join(
        {SOI, Segment(0xDB, Join({QuantisationTable(0), QuantisationTable(1)})), FRAME_640_480,
         Segment(0xC4,
                 Join({HuffmanTable(0x00, DC_LUMINANCE), HuffmanTable(0x10, AC_LUMINANCE),
                       HuffmanTable(0x01, DC_CHROMINANCE), HuffmanTable(0x11, AC_CHROMINANCE)})),
         SCAN, EOI});
    const struct {
        Bytes source;
        std::optional<Bytes> compacted;
    } cases[] = {
        {whole, merged},
        {Join({SOI, Segment(0xFE, {'h', 'i'}), Segment(0xE1, {1, 2, 3}), FRAME_640_480, SCAN, EOI,
               Bytes{1, 2, 3, 4}}),
         Join({SOI, FRAME_640_480, SCAN, EOI})},
        {firstTableLength(0x7F, 0x43), std::nullopt},  // past the end
        {firstTableLength(0, 1), std::nullopt},        // below two: inside its own length
        {Bytes(whole.begin(), whole.begin() + 40), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompactJpeg(c.source), c.compacted) << c.source.size();
    }
}

struct HeadFile {
    const char* name;
    Bytes bytes;
    bool isJpeg;
    std::uint32_t width = 0;  // of a baseline frame
};

TEST(JpegInspection, FilesThatAreNotJpegsAreReported) {
    const Bytes whole = SeparateSegmentsStream();
    const HeadFile cases[] = {
        {"bitmap starting BM then FF D8", Bytes{'B', 'M', 0xFF, 0xD8, 0xFF, 0xDA, 0, 2}, false},
        {"cut before the scan", Bytes(whole.begin(), whole.begin() + 200), false},
        {"baseline", whole, true, 640},
    };
    for (const HeadFile& c : cases) {
        TempDir dir;
        WriteBytes(dir / "file", c.bytes);
        RecordingShell shell;
        JpegFrameInfo info;
        EXPECT_EQ(ReadJpegFrameInfo(shell, dir / "file", info), c.isJpeg ? 1 : 0) << c.name;
        EXPECT_EQ(ReadJpegHead(dir / "file").has_value(), c.isJpeg) << c.name;
        EXPECT_EQ(info.width, c.width) << c.name;
        EXPECT_EQ(info.componentCount, c.width == 0 ? 0u : 3u) << c.name;
        if (c.width != 0) {
            EXPECT_EQ(info.height, 480u);
            EXPECT_EQ(info.sampling[0].horizontal * 10 + info.sampling[0].vertical, 21u);
            EXPECT_EQ(info.sampling[1].horizontal * 10 + info.sampling[2].vertical, 11u);
        }
    }
}

TEST(JpegInspection, HuffmanTestLooksAtTheFirstTableSegmentOnly) {
    const auto stream = [](const Bytes& tables) {
        return Join({SOI, Segment(0xDB, QuantisationTable(0)), FRAME_640_480, tables, SCAN, EOI});
    };
    auto odd = AC_CHROMINANCE;
    odd[15] = 0x76;
    odd[14] = 3;
    const HeadFile cases[] = {
        {"four standard tables in one segment", stream(Segment(0xC4, StandardTables())), true},
        {"other symbols, same counts", stream(Segment(0xC4, StandardTables(0x42))), true},
        {"a table with other counts",
         stream(Segment(0xC4,
                        Join({HuffmanTable(0x00, DC_LUMINANCE), HuffmanTable(0x01, DC_CHROMINANCE),
                              HuffmanTable(0x10, AC_LUMINANCE), HuffmanTable(0x11, odd)}))),
         false},
        {"counts past the segment", stream(Segment(0xC4, Bytes{0x00, 0, 200})), false},
    };
    for (const HeadFile& c : cases) {
        TempDir dir;
        WriteBytes(dir / "file.jpg", c.bytes);
        RecordingShell shell;
        EXPECT_EQ(HasStandardHuffmanTables(shell, dir / "file.jpg"), c.isJpeg ? 1 : 0) << c.name;
        EXPECT_TRUE(shell.messages.empty()) << c.name;
    }
}

// The data end at the first FF D9 after the scan, not at one inside an earlier segment.
TEST(JpegInspection, TheDataEndAtTheEndMarkerAfterTheScan) {
    Bytes table = QuantisationTable(0);
    table[10] = 0xFF;
    table[11] = 0xD9;
    const Bytes stream = Join({SOI, Segment(0xDB, table), FRAME_640_480, SCAN, EOI});
    const struct {
        const char* name;
        Bytes bytes;
        bool whole;
        std::size_t length;  // of the data
    } cases[] = {
        {"table holding FF D9, then padding", Join({stream, Bytes{0, 0, 0, 0}}), true,
         stream.size()},
        {"no end marker", Bytes(stream.begin(), stream.end() - 2), false, stream.size() - 2},
        {"start, comment, scan, end",
         {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, 0x41, 0xFF, 0xDA, 0x00, 0x02, 0x11, 0x22, 0xFF, 0xD9},
         true,
         15},
        {"end marker only inside a comment",
         {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 0xFF, 0xD9, 0xFF, 0xDA, 0x00, 0x02, 0x11},
         false,
         13},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWholeJpeg(c.bytes), c.whole) << c.name;
        EXPECT_EQ(JpegDataLength(c.bytes), c.length) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
