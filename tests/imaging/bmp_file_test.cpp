#include "imaging/bmp_file.h"

#include <gtest/gtest.h>

#include "ports/file_error.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

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
        EXPECT_EQ(ReadLe32(ReadBytes(dir / "p.bmp").data() + 10), 14 + DibBitsOffset(picture));
        const DibFileResult read = LoadDibFile(dir / "p.bmp");
        ASSERT_TRUE(read) << read.errorCode;
        EXPECT_EQ(testing::BlockBytes(*read.block), testing::BlockBytes(picture));
    }
}

// A file too short for what it claims is a read error; a claim no bitmap makes is not a bitmap.
TEST(BmpFile, MalformedFilesGiveTheirCodeAndNoBlock) {
    constexpr int READ = FILE_ERROR_READ;
    constexpr int NOT_BMP = FILE_ERROR_NOT_BMP;
    constexpr std::size_t ALL = SIZE_MAX;
    const struct {
        const char* name;
        std::size_t length;  // the sound 8-bit 5 x 3 file of 2 colours cut to this length
        std::size_t at;      // then the 32 bits here set to value (ALL: none)
        std::uint32_t value;
        int code;
    } cases[] = {
        {"empty file", 0, ALL, 0, READ},
        {"ends inside the last row", 54 + 8 + 14, ALL, 0, READ},
        {"not BM", ALL, 0, 'B' | 'A' << 8, NOT_BMP},
        {"unknown header size 20", ALL, 14, 20, NOT_BMP},
        {"negative height (top-down)", ALL, 22, 0xFFFFFFFD, NOT_BMP},
        {"rows missing for a large but sane height", ALL, 22, 3000, READ},
        {"pixel data inside the colour table", ALL, 10, 54 + 4, NOT_BMP},
        {"257 colours at 8 bits", ALL, 46, 257, NOT_BMP},
        {"bit count 3", ALL, 28, 3, NOT_BMP},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = testing::MakeBmpFile(5, 3, 8, nullptr, [](int x, int) { return x & 1; },
                                           {{1, 2, 3}, {4, 5, 6}});
        bytes.resize(std::min(bytes.size(), c.length));
        if (c.at != ALL) {
            WriteLe32(bytes.data() + c.at, c.value);
        }
        WriteBytes(dir / "bad.bmp", bytes);
        for (const DibFileResult& result :
             {ReadDibFile(dir / "bad.bmp"), LoadDibFile(dir / "bad.bmp")}) {
            EXPECT_FALSE(result.block.has_value());
            EXPECT_EQ(result.errorCode, c.code);
        }
    }
    std::filesystem::create_directory(dir / "folder.bmp");
    for (const auto& path : {dir / "missing.bmp", dir / "folder.bmp"}) {
        EXPECT_EQ(LoadDibFile(path).errorCode, FILE_ERROR_OPEN);
        EXPECT_EQ(ReadWholeFile(path).errorCode, FILE_ERROR_OPEN);
    }
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
