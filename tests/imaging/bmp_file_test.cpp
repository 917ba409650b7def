#include "imaging/bmp_file.h"

#include <gtest/gtest.h>

#include "ports/file_error.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

// A BMP file put together field by field, so a test can break any one of them.
struct BmpFile {
    std::uint32_t headerSize = 40;
    std::int32_t width = 5;
    std::int32_t height = 3;
    std::uint32_t bitCount = 8;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t tableEntries = 256;
    std::uint32_t gap = 0;  // bytes between the colour table and the pixel data

    std::size_t EntrySize() const { return headerSize == 12 ? 3 : 4; }
    std::size_t TableOffset() const { return 14 + headerSize; }
    std::size_t PixelOffset() const { return TableOffset() + tableEntries * EntrySize() + gap; }

    // Colour entry i is (i, 255 - i, i * 7); pixel bytes count up from the bottom row.
    Bytes Make() const {
        const std::size_t rows = DibStride(bitCount, static_cast<std::uint32_t>(width)) *
                                 static_cast<std::size_t>(height);
        Bytes bytes(PixelOffset() + rows, 0);
        std::uint8_t* p = bytes.data();
        p[0] = 'B';
        p[1] = 'M';
        WriteLe32(p + 2, static_cast<std::uint32_t>(bytes.size()));
        WriteLe32(p + 10, static_cast<std::uint32_t>(PixelOffset()));
        WriteLe32(p + 14, headerSize);
        if (headerSize == 12) {
            WriteLe16(p + 18, static_cast<std::uint16_t>(width));
            WriteLe16(p + 20, static_cast<std::uint16_t>(height));
            WriteLe16(p + 22, 1);
            WriteLe16(p + 24, static_cast<std::uint16_t>(bitCount));
        } else {
            std::fill(p + std::min<std::size_t>(54, TableOffset()), p + TableOffset(), 0xEE);
            WriteLe32(p + 18, static_cast<std::uint32_t>(width));
            WriteLe32(p + 22, static_cast<std::uint32_t>(height));
            WriteLe16(p + 26, 1);
            WriteLe16(p + 28, static_cast<std::uint16_t>(bitCount));
            WriteLe32(p + 30, compression);
            WriteLe32(p + 46, coloursUsed);
        }
        for (std::uint32_t i = 0; i < tableEntries; ++i) {
            std::uint8_t* entry = p + TableOffset() + i * EntrySize();
            entry[0] = static_cast<std::uint8_t>(i);
            entry[1] = static_cast<std::uint8_t>(255 - i);
            entry[2] = static_cast<std::uint8_t>(i * 7);
        }
        std::fill(p + PixelOffset() - gap, p + PixelOffset(), 0xAB);
        for (std::size_t i = 0; i < rows; ++i) {
            p[PixelOffset() + i] = static_cast<std::uint8_t>(i * 13 + 1);
        }
        return bytes;
    }
    Bytes Rows() const {
        const Bytes bytes = Make();
        return {bytes.begin() + static_cast<std::ptrdiff_t>(PixelOffset()), bytes.end()};
    }
};

// A small picture whose every byte differs from its neighbours.
DibBlock MakePicture(std::int32_t width, std::int32_t height, std::uint16_t bitCount) {
    auto dib = CreateDib(width, height, bitCount);
    EXPECT_TRUE(dib.has_value());
    for (std::size_t i = INFO_HEADER_SIZE; i < dib->size(); ++i) {
        dib->data()[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    return std::move(*dib);
}

TEST(BmpFile, WrittenFilesReadBackAsTheSameBlock) {
    TempDir dir;
    for (const std::uint16_t bitCount : {24, 8, 4, 1}) {
        SCOPED_TRACE(bitCount);
        const DibBlock picture = MakePicture(7, 5, bitCount);
        int code = -1;
        ASSERT_EQ(WriteDibFile(dir / "p.bmp", picture, &code), 1);
        EXPECT_EQ(code, 0);
        const Bytes file = ReadBytes(dir / "p.bmp");
        ASSERT_EQ(file.size(), picture.size() + 14);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 2), (Bytes{'B', 'M'}));
        EXPECT_EQ(ReadLe32(file.data() + 2), picture.size() + 14);
        EXPECT_EQ(ReadLe32(file.data() + 10), 14 + DibBitsOffset(picture));
        const DibFileResult read = LoadDibFile(dir / "p.bmp");
        ASSERT_TRUE(read) << read.errorCode;
        EXPECT_EQ(testing::BlockBytes(*read.block), testing::BlockBytes(picture));
    }
}

TEST(BmpFile, OtherHeadersLoadAsAFortyByteHeaderWithFourByteEntries) {
    const BmpFile files[] = {
        {.headerSize = 12},
        {.gap = 37},
        {.headerSize = 52, .coloursUsed = 16, .tableEntries = 16},
        {.headerSize = 56, .bitCount = 24, .tableEntries = 0},
        {.headerSize = 108, .coloursUsed = 16, .tableEntries = 16},
        {.headerSize = 124, .bitCount = 24, .tableEntries = 0},
    };
    TempDir dir;
    for (const BmpFile& file : files) {
        SCOPED_TRACE(::testing::Message() << file.headerSize << " bytes, gap " << file.gap);
        WriteBytes(dir / "other.bmp", file.Make());
        const DibFileResult read = LoadDibFile(dir / "other.bmp");
        ASSERT_TRUE(read) << read.errorCode;
        const DibBlock& dib = *read.block;
        EXPECT_EQ(DibHeaderSize(dib), 40u);
        EXPECT_EQ(DibWidth(dib), 5);
        EXPECT_EQ(DibHeight(dib), 3);
        EXPECT_EQ(DibBitCount(dib), file.bitCount);
        EXPECT_EQ(DibCompressionTag(dib), 0);
        EXPECT_EQ(DibNumColors(dib), file.tableEntries);
        EXPECT_EQ(DibBitsOffset(dib), 40 + 4 * file.tableEntries);
        EXPECT_EQ(Bytes(dib.bytes().begin() + static_cast<std::ptrdiff_t>(DibBitsOffset(dib)),
                        dib.bytes().end()),
                  file.Rows());
        EXPECT_TRUE(DibIsConsistent(dib));
        for (std::uint32_t i = 0; i < file.tableEntries; i += 15) {
            const std::uint8_t* entry = dib.data() + 40 + 4 * i;
            EXPECT_EQ(Bytes(entry, entry + 4),
                      (Bytes{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                             static_cast<std::uint8_t>(i * 7), 0}));
        }
    }
    WriteBytes(dir / "core.bmp", BmpFile{.headerSize = 12}.Make());
    const DibFileResult raw = ReadDibFile(dir / "core.bmp");
    ASSERT_TRUE(raw);
    EXPECT_EQ(DibHeaderSize(*raw.block), 12u);
    EXPECT_EQ(DibCompressionTag(*raw.block), BI_BITFIELDS);
}

TEST(BmpFile, MalformedFilesGiveTheirCodeAndNoBlock) {
    constexpr std::size_t KEEP = SIZE_MAX;
    constexpr int READ = FILE_ERROR_READ;
    const struct {
        const char* name;
        BmpFile file;               // the sound 8-bit 5 x 3 file, or a change to it
        std::size_t length = KEEP;  // the file cut to this length
        std::size_t at = KEEP;      // a 32-bit field set to value
        std::uint32_t value = 0;
        int code = FILE_ERROR_NOT_BMP;
    } cases[] = {
        {"empty file", {}, 0, KEEP, 0, READ},
        {"one byte", {}, 1},
        {"ends after the file header", {}, 14, KEEP, 0, READ},
        {"ends inside the header size", {}, 17, KEEP, 0, READ},
        {"ends after the info header", {}, 54, KEEP, 0, READ},
        {"ends inside the colour table", {}, 54 + 1023, KEEP, 0, READ},
        {"ends inside the last row", {}, 54 + 1024 + 23, KEEP, 0, READ},
        {"not BM", {}, KEEP, 0, 'B' | 'A' << 8},
        {"unknown header size 20", {.headerSize = 20}},
        {"header size 0", {}, KEEP, 14, 0},
        {"zero width", {.width = 0}},
        {"zero height", {.height = 0}},
        {"negative width", {}, KEEP, 18, 0xFFFFFFFB},
        {"negative height (top-down)", {}, KEEP, 22, 0xFFFFFFFD},
        {"huge width", {}, KEEP, 18, 0x7FFFFFFF},
        {"width x height past 32 bits", {.height = 0x10001}, KEEP, 18, 0x10000},
        {"rows missing for a large but sane height", {}, KEEP, 22, 3000, READ},
        {"pixel data past the end", {}, KEEP, 10, 0xFFFFFFF0},
        {"pixel data one byte past the end", {}, KEEP, 10, 54 + 1024 + 24 + 1},
        {"pixel data inside the colour table", {}, KEEP, 10, 54 + 1020},
        {"257 colours at 8 bits", {}, KEEP, 46, 257},
        {"17 colours at 4 bits", {.bitCount = 4, .coloursUsed = 17, .tableEntries = 17}},
        {"300 colours at 24 bits", {.bitCount = 24, .coloursUsed = 300, .tableEntries = 300}},
        {"bit count 3", {.bitCount = 3}},
        {"bit count 32", {.bitCount = 32}},
        {"run-length compressed", {.compression = 1}},
        {"bit fields at 24 bits", {.bitCount = 24, .compression = BI_BITFIELDS, .tableEntries = 0}},
        {"compression with only high bits set", {.compression = 0x10000}},
        {"core header, bit count 32", {.headerSize = 12, .bitCount = 32, .tableEntries = 0}},
        {"core header, ends inside the colour table", {.headerSize = 12}, 26 + 700, KEEP, 0, READ},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = c.file.Make();
        bytes.resize(std::min(bytes.size(), c.length));
        if (c.at != KEEP) {
            WriteLe32(bytes.data() + c.at, c.value);
        }
        WriteBytes(dir / "bad.bmp", bytes);
        for (const DibFileResult& result :
             {ReadDibFile(dir / "bad.bmp"), LoadDibFile(dir / "bad.bmp")}) {
            EXPECT_FALSE(result.block.has_value());
            EXPECT_EQ(result.errorCode, c.code);
        }
    }
}

TEST(BmpFile, WhatIsNoFileOrNoCoreBlockIsRefused) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.bmp");
    for (const auto& path : {dir / "missing.bmp", dir / "folder.bmp"}) {
        EXPECT_EQ(LoadDibFile(path).errorCode, FILE_ERROR_OPEN);
        EXPECT_EQ(ReadWholeFile(path).errorCode, FILE_ERROR_OPEN);
    }
    WriteBytes(dir / "empty", {});
    ASSERT_TRUE(ReadWholeFile(dir / "empty"));
    EXPECT_TRUE(ReadWholeFile(dir / "empty").bytes->empty());

    EXPECT_EQ(ConvertCoreDib(MakePicture(4, 4, 8)).errorCode, FILE_ERROR_NOT_BMP);
    EXPECT_EQ(ConvertCoreDib(DibBlock()).errorCode, FILE_ERROR_NOT_BMP);
    Bytes shortCore(12 + 768, 0);  // 4 x 4 at 8 bits, no room for the rows
    WriteLe32(shortCore.data(), 12);
    WriteLe16(shortCore.data() + 4, 4);
    WriteLe16(shortCore.data() + 6, 4);
    WriteLe16(shortCore.data() + 10, 8);
    EXPECT_EQ(ConvertCoreDib(DibBlock(shortCore)).errorCode, FILE_ERROR_NOT_BMP);
}

TEST(BmpFile, RefusedWritesLeaveTheOldFileAsItWas) {
    TempDir dir;
    const auto path = dir / "old.bmp";
    const Bytes old = {'o', 'l', 'd'};
    WriteBytes(path, old);
    const DibBlock picture = MakePicture(40, 30, 24);
    const DibBlock empty;
    DibBlock lying = MakePicture(4, 4, 24);
    WriteLe32(lying.data() + 8, 400);  // more rows than the block holds
    std::filesystem::create_directory(dir / "folder.bmp");
    const struct {
        std::filesystem::path path;
        const DibBlock& dib;
        int code;
    } cases[] = {{path, empty, FILE_ERROR_LOCK},
                 {path, lying, FILE_ERROR_LOCK},
                 {dir / "missing" / "new.bmp", picture, FILE_ERROR_OPEN},
                 {dir / "folder.bmp", picture, FILE_ERROR_OPEN}};
    for (const auto& c : cases) {
        int code = 0;
        EXPECT_EQ(WriteDibFile(c.path, c.dib, &code), 0) << c.path;
        EXPECT_EQ(code, c.code) << c.path;
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.bmp"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
}

}  // namespace
}  // namespace fotolyx
