#include "imaging/bmp_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "ports/file_error.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    WriteLe16(bytes.data() + at, static_cast<std::uint16_t>(value));
}
void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    WriteLe32(bytes.data() + at, value);
}

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
    std::size_t Stride() const { return DibStride(bitCount, static_cast<std::uint32_t>(width)); }
    std::size_t TableOffset() const { return 14 + headerSize; }
    std::size_t PixelOffset() const { return TableOffset() + tableEntries * EntrySize() + gap; }

    // Colour entry i is (i, 255 - i, i * 7); pixel bytes count up from the bottom row.
    Bytes Make() const {
        const std::size_t rows = Stride() * static_cast<std::size_t>(height);
        Bytes bytes(PixelOffset() + rows, 0);
        bytes[0] = 'B';
        bytes[1] = 'M';
        Put32(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
        Put32(bytes, 10, static_cast<std::uint32_t>(PixelOffset()));
        Put32(bytes, 14, headerSize);
        if (headerSize == 12) {
            Put16(bytes, 18, static_cast<std::uint32_t>(width));
            Put16(bytes, 20, static_cast<std::uint32_t>(height));
            Put16(bytes, 22, 1);
            Put16(bytes, 24, bitCount);
        } else {
            Put32(bytes, 18, static_cast<std::uint32_t>(width));
            Put32(bytes, 22, static_cast<std::uint32_t>(height));
            Put16(bytes, 26, 1);
            Put16(bytes, 28, bitCount);
            Put32(bytes, 30, compression);
            Put32(bytes, 46, coloursUsed);
            for (std::size_t i = 54; i < TableOffset(); ++i) {
                bytes[i] = 0xEE;  // fields of the longer headers, which a reader drops
            }
        }
        for (std::uint32_t i = 0; i < tableEntries; ++i) {
            std::uint8_t* entry = bytes.data() + TableOffset() + i * EntrySize();
            entry[0] = static_cast<std::uint8_t>(i);
            entry[1] = static_cast<std::uint8_t>(255 - i);
            entry[2] = static_cast<std::uint8_t>(i * 7);
        }
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(PixelOffset() - gap),
                  bytes.begin() + static_cast<std::ptrdiff_t>(PixelOffset()), 0xAB);
        for (std::size_t i = 0; i < rows; ++i) {
            bytes[PixelOffset() + i] = static_cast<std::uint8_t>(i * 13 + 1);
        }
        return bytes;
    }

    Bytes Rows() const {
        const Bytes bytes = Make();
        return {bytes.begin() + static_cast<std::ptrdiff_t>(PixelOffset()), bytes.end()};
    }
};

Bytes RowsOf(const DibBlock& dib) {
    const std::size_t offset = DibBitsOffset(dib);
    return {dib.bytes().begin() + static_cast<std::ptrdiff_t>(offset), dib.bytes().end()};
}

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
        const auto path = dir / "picture.bmp";
        int code = -1;
        ASSERT_EQ(WriteDibFile(path, picture, &code), 1);
        EXPECT_EQ(code, 0);

        const Bytes file = ReadBytes(path);
        ASSERT_EQ(file.size(), picture.size() + 14);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(ReadLe32(file.data() + 2), picture.size() + 14);
        EXPECT_EQ(ReadLe32(file.data() + 10), 14 + DibBitsOffset(picture));

        const DibFileResult read = LoadDibFile(path);
        ASSERT_TRUE(read) << read.errorCode;
        EXPECT_EQ(read.errorCode, 0);
        EXPECT_EQ(Bytes(read.block->bytes().begin(), read.block->bytes().end()),
                  Bytes(picture.bytes().begin(), picture.bytes().end()));
    }
}

TEST(BmpFile, CoreHeaderFileLoadsWithAnInfoHeaderAndFourByteEntries) {
    TempDir dir;
    BmpFile core;
    core.headerSize = 12;
    WriteBytes(dir / "core.bmp", core.Make());

    const DibFileResult raw = ReadDibFile(dir / "core.bmp");
    ASSERT_TRUE(raw);
    EXPECT_EQ(DibHeaderSize(*raw.block), 12u);
    EXPECT_EQ(DibCompressionTag(*raw.block), BI_BITFIELDS);

    const DibFileResult loaded = LoadDibFile(dir / "core.bmp");
    ASSERT_TRUE(loaded);
    const DibBlock& dib = *loaded.block;
    EXPECT_EQ(DibHeaderSize(dib), 40u);
    EXPECT_EQ(DibWidth(dib), 5);
    EXPECT_EQ(DibHeight(dib), 3);
    EXPECT_EQ(DibBitCount(dib), 8);
    EXPECT_EQ(DibCompressionTag(dib), 0);
    EXPECT_EQ(DibNumColors(dib), 256);
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* entry = dib.data() + 40 + 4 * i;
        EXPECT_EQ(entry[0], i);
        EXPECT_EQ(entry[1], 255 - i);
        EXPECT_EQ(entry[2], static_cast<std::uint8_t>(i * 7));
        EXPECT_EQ(entry[3], 0);
    }
    EXPECT_EQ(RowsOf(dib), core.Rows());
    EXPECT_EQ(dib.size(), 40 + 1024 + core.Rows().size());
}

TEST(BmpFile, GapBeforeThePixelDataIsSkipped) {
    TempDir dir;
    BmpFile file;
    file.gap = 37;
    WriteBytes(dir / "gap.bmp", file.Make());
    const DibFileResult read = LoadDibFile(dir / "gap.bmp");
    ASSERT_TRUE(read);
    EXPECT_EQ(DibBitsOffset(*read.block), 40u + 1024u);
    EXPECT_EQ(RowsOf(*read.block), file.Rows());
}

TEST(BmpFile, LongerInfoHeadersBecomeTheFortyByteHeader) {
    TempDir dir;
    for (const std::uint32_t headerSize : {52u, 56u, 108u, 124u}) {
        for (const std::uint32_t bitCount : {24u, 8u}) {
            SCOPED_TRACE(::testing::Message() << headerSize << " bytes, " << bitCount << " bits");
            BmpFile file;
            file.headerSize = headerSize;
            file.bitCount = bitCount;
            file.tableEntries = bitCount == 8 ? 16 : 0;
            file.coloursUsed = file.tableEntries;
            WriteBytes(dir / "long.bmp", file.Make());

            const DibFileResult read = LoadDibFile(dir / "long.bmp");
            ASSERT_TRUE(read) << read.errorCode;
            const DibBlock& dib = *read.block;
            EXPECT_EQ(DibHeaderSize(dib), 40u);
            EXPECT_EQ(DibBitCount(dib), bitCount);
            EXPECT_EQ(DibNumColors(dib), file.tableEntries);
            EXPECT_EQ(RowsOf(dib), file.Rows());
            EXPECT_TRUE(DibIsConsistent(dib));
            if (bitCount == 8) {
                EXPECT_EQ(dib.data()[40 + 4 * 15 + 2], 15 * 7);
            }
        }
    }
}

struct Malformed {
    const char* name;
    void (*change)(BmpFile& file, Bytes& bytes);
    int code;
};

// Each case starts from a sound 8-bit file of 5 x 3 pixels with a 40-byte header.
const Malformed MALFORMED[] = {
    {"empty file", [](BmpFile&, Bytes& b) { b.clear(); }, FILE_ERROR_READ},
    {"not BM", [](BmpFile&, Bytes& b) { b[1] = 'A'; }, FILE_ERROR_NOT_BMP},
    {"one byte", [](BmpFile&, Bytes& b) { b.resize(1); }, FILE_ERROR_NOT_BMP},
    {"ends inside the file header", [](BmpFile&, Bytes& b) { b.resize(13); }, FILE_ERROR_NOT_BMP},
    {"ends after the file header", [](BmpFile&, Bytes& b) { b.resize(14); }, FILE_ERROR_READ},
    {"ends inside the header size", [](BmpFile&, Bytes& b) { b.resize(17); }, FILE_ERROR_READ},
    {"ends after the header size", [](BmpFile&, Bytes& b) { b.resize(18); }, FILE_ERROR_READ},
    {"ends inside the info header", [](BmpFile&, Bytes& b) { b.resize(53); }, FILE_ERROR_READ},
    {"ends after the info header", [](BmpFile&, Bytes& b) { b.resize(54); }, FILE_ERROR_READ},
    {"ends inside the colour table", [](BmpFile&, Bytes& b) { b.resize(54 + 1023); },
     FILE_ERROR_READ},
    {"ends after the colour table", [](BmpFile&, Bytes& b) { b.resize(54 + 1024); },
     FILE_ERROR_READ},
    {"ends inside the last row", [](BmpFile&, Bytes& b) { b.pop_back(); }, FILE_ERROR_READ},
    {"unknown header size 20", [](BmpFile& f, Bytes&) { f.headerSize = 20; }, FILE_ERROR_NOT_BMP},
    {"header size 0", [](BmpFile&, Bytes& b) { Put32(b, 14, 0); }, FILE_ERROR_NOT_BMP},
    {"zero width", [](BmpFile& f, Bytes&) { f.width = 0; }, FILE_ERROR_NOT_BMP},
    {"zero height", [](BmpFile& f, Bytes&) { f.height = 0; }, FILE_ERROR_NOT_BMP},
    {"negative width", [](BmpFile&, Bytes& b) { Put32(b, 18, 0xFFFFFFFB); }, FILE_ERROR_NOT_BMP},
    {"negative height (top-down)", [](BmpFile&, Bytes& b) { Put32(b, 22, 0xFFFFFFFD); },
     FILE_ERROR_NOT_BMP},
    {"huge width", [](BmpFile&, Bytes& b) { Put32(b, 18, 0x7FFFFFFF); }, FILE_ERROR_NOT_BMP},
    {"huge height", [](BmpFile&, Bytes& b) { Put32(b, 22, 0x7FFFFFFF); }, FILE_ERROR_NOT_BMP},
    {"width x height overflows 32 bits",
     [](BmpFile&, Bytes& b) {
         Put32(b, 18, 0x10000);
         Put32(b, 22, 0x10001);
     },
     FILE_ERROR_NOT_BMP},
    {"rows missing for a large but sane height", [](BmpFile&, Bytes& b) { Put32(b, 22, 3000); },
     FILE_ERROR_READ},
    {"pixel data past the end", [](BmpFile&, Bytes& b) { Put32(b, 10, 0xFFFFFFF0); },
     FILE_ERROR_NOT_BMP},
    {"pixel data one byte past the end",
     [](BmpFile&, Bytes& b) { Put32(b, 10, static_cast<std::uint32_t>(b.size() + 1)); },
     FILE_ERROR_NOT_BMP},
    {"pixel data inside the colour table", [](BmpFile&, Bytes& b) { Put32(b, 10, 54 + 1020); },
     FILE_ERROR_NOT_BMP},
    {"pixel data inside the header", [](BmpFile&, Bytes& b) { Put32(b, 10, 20); },
     FILE_ERROR_NOT_BMP},
    {"1000 colours", [](BmpFile&, Bytes& b) { Put32(b, 46, 1000); }, FILE_ERROR_NOT_BMP},
    {"257 colours at 8 bits", [](BmpFile&, Bytes& b) { Put32(b, 46, 257); }, FILE_ERROR_NOT_BMP},
    {"17 colours at 4 bits",
     [](BmpFile& f, Bytes&) {
         f.bitCount = 4;
         f.coloursUsed = 17;
         f.tableEntries = 17;
     },
     FILE_ERROR_NOT_BMP},
    {"300 colours at 24 bits",
     [](BmpFile& f, Bytes&) {
         f.bitCount = 24;
         f.coloursUsed = 300;
         f.tableEntries = 300;
     },
     FILE_ERROR_NOT_BMP},
    {"bit count 3", [](BmpFile& f, Bytes&) { f.bitCount = 3; }, FILE_ERROR_NOT_BMP},
    {"bit count 32", [](BmpFile& f, Bytes&) { f.bitCount = 32; }, FILE_ERROR_NOT_BMP},
    {"bit count 16", [](BmpFile& f, Bytes&) { f.bitCount = 16; }, FILE_ERROR_NOT_BMP},
    {"bit count 0", [](BmpFile& f, Bytes&) { f.bitCount = 0; }, FILE_ERROR_NOT_BMP},
    {"run-length compressed", [](BmpFile& f, Bytes&) { f.compression = 1; }, FILE_ERROR_NOT_BMP},
    {"bit fields at 24 bits",
     [](BmpFile& f, Bytes&) {
         f.bitCount = 24;
         f.tableEntries = 0;
         f.compression = BI_BITFIELDS;
     },
     FILE_ERROR_NOT_BMP},
    {"compression with only high bits set", [](BmpFile& f, Bytes&) { f.compression = 0x10000; },
     FILE_ERROR_NOT_BMP},
    {"core header, zero width",
     [](BmpFile& f, Bytes&) {
         f.headerSize = 12;
         f.width = 0;
     },
     FILE_ERROR_NOT_BMP},
    {"core header, bit count 32",
     [](BmpFile& f, Bytes&) {
         f.headerSize = 12;
         f.bitCount = 32;
         f.tableEntries = 0;
     },
     FILE_ERROR_NOT_BMP},
    {"core header, ends inside the colour table",
     [](BmpFile& f, Bytes& b) {
         f.headerSize = 12;
         b = f.Make();
         b.resize(26 + 700);
     },
     FILE_ERROR_READ},
};

TEST(BmpFile, MalformedFilesGiveTheirCodeAndNoBlock) {
    TempDir dir;
    for (const Malformed& malformed : MALFORMED) {
        SCOPED_TRACE(malformed.name);
        BmpFile file;
        Bytes bytes = file.Make();
        // A change to the description rebuilds the file; a change to the bytes patches it.
        Bytes patched = bytes;
        malformed.change(file, patched);
        const Bytes rebuilt = file.Make();
        WriteBytes(dir / "bad.bmp", patched != bytes ? patched : rebuilt);

        for (const DibFileResult& result :
             {ReadDibFile(dir / "bad.bmp"), LoadDibFile(dir / "bad.bmp")}) {
            EXPECT_FALSE(result.block.has_value());
            EXPECT_EQ(result.errorCode, malformed.code);
        }
    }
}

TEST(BmpFile, FilesThatCannotBeOpenedGiveCode16) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.bmp");
    for (const auto& path : {dir / "missing.bmp", dir / "folder.bmp"}) {
        EXPECT_EQ(LoadDibFile(path).errorCode, FILE_ERROR_OPEN);
        EXPECT_EQ(ReadWholeFile(path).errorCode, FILE_ERROR_OPEN);
    }
}

TEST(BmpFile, ConvertCoreDibTakesOnlyCoreBlocks) {
    const DibBlock info = MakePicture(4, 4, 8);
    EXPECT_EQ(ConvertCoreDib(info).errorCode, FILE_ERROR_NOT_BMP);
    EXPECT_EQ(ConvertCoreDib(DibBlock()).errorCode, FILE_ERROR_NOT_BMP);
    Bytes shortCore(12 + 768, 0);
    Put32(shortCore, 0, 12);
    Put16(shortCore, 4, 4);
    Put16(shortCore, 6, 4);
    Put16(shortCore, 10, 8);
    EXPECT_EQ(ConvertCoreDib(DibBlock(shortCore)).errorCode, FILE_ERROR_NOT_BMP);
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path().filename());
    }
    return files;
}

TEST(BmpFile, FailedWritesLeaveTheOldFileAsItWas) {
    TempDir dir;
    const auto path = dir / "old.bmp";
    const Bytes old = {'o', 'l', 'd'};
    WriteBytes(path, old);
    const DibBlock picture = MakePicture(40, 30, 24);

    int code = 0;
    EXPECT_EQ(WriteDibFile(path, DibBlock(), &code), 0);
    EXPECT_EQ(code, FILE_ERROR_LOCK);
    DibBlock lying = MakePicture(4, 4, 24);
    Put32(lying.storage(), 8, 400);  // more rows than the block holds
    EXPECT_EQ(WriteDibFile(path, lying, &code), 0);
    EXPECT_EQ(code, FILE_ERROR_LOCK);
    EXPECT_EQ(WriteDibFile(dir / "missing" / "new.bmp", picture, &code), 0);
    EXPECT_EQ(code, FILE_ERROR_OPEN);
    // A folder in the file's place is refused before anything is written.
    std::filesystem::create_directory(dir / "folder.bmp");
    EXPECT_EQ(WriteDibFile(dir / "folder.bmp", picture, &code), 0);
    EXPECT_EQ(code, FILE_ERROR_OPEN);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.bmp"));

    // A disk that fills up half-way: the file size limit makes the write fail after 1000 bytes.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int childCode = 0;
        const int written = WriteDibFile(path, picture, &childCode);
        ::_exit(written == 0 && childCode == FILE_ERROR_WRITE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(ReadBytes(path), old);
    auto files = FilesIn(dir.path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::filesystem::path>{"folder.bmp", "old.bmp"}));
}

TEST(BmpFile, ReadWholeFileGivesEveryByte) {
    TempDir dir;
    Bytes bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    }
    WriteBytes(dir / "data", bytes);
    const WholeFileResult read = ReadWholeFile(dir / "data");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read.bytes, bytes);

    WriteBytes(dir / "empty", {});
    const WholeFileResult empty = ReadWholeFile(dir / "empty");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty.bytes->empty());
}

}  // namespace
}  // namespace fotolyx
