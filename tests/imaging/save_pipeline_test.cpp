#include "imaging/save_pipeline.h"
#include "imaging/exif_save.h"
#include "imaging/picture_reductions.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/bmp_file.h"
#include "imaging/exif_writer.h"
#include "imaging/jpeg_structure.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::Grey;
using testing::MakeBmpFile;
using testing::MakePicture;
using testing::PixelAt;
using testing::ReadBytes;
using testing::SaveWorld;
using testing::SmoothColour;
using testing::WriteBytes;

std::uint32_t LongInFile(const Bytes& file, std::uint16_t tag) {
    const auto place =
        FindExifTag(std::span(file).subspan(2 + EXIF_TIFF_OFFSET), tag, ByteOrder::Little);
    return place ? ReadLe32(file.data() + 2 + EXIF_TIFF_OFFSET + place->valueOffset) : 0;
}

// The segment markers before the scan, and where the scan starts.
std::pair<Bytes, std::size_t> MarkersBeforeScan(const Bytes& jpeg) {
    Bytes markers;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        markers.push_back(jpeg[at + 1]);
        at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
    }
    return {markers, std::min(at, jpeg.size())};
}

// From the start-of-scan marker to the end of the data.
Bytes ScanData(const Bytes& jpeg) {
    return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(MarkersBeforeScan(jpeg).second),
                 jpeg.begin() + static_cast<std::ptrdiff_t>(JpegDataLength(jpeg)));
}

// Capture and Openfile add the Exif block and merge the tables; Liveimage keeps the 4:1:1 output.
TEST(SavePipeline, EachWindowSavesJpegItsOwnWay) {
    const struct {
        SaveWindowKind kind;
        std::int32_t width, height;
        bool exif;
        std::uint32_t luminanceSampling;
    } cases[] = {
        {SaveWindowKind::Capture, 320, 240, true, 2},
        {SaveWindowKind::Openfile, 640, 480, true, 2},
        {SaveWindowKind::Liveimage, 640, 480, false, 4},
    };
    for (const auto& c : cases) {
        SaveWorld world;
        const SaveAsResult result =
            world.Save(c.kind, MakePicture(c.width, c.height), "out.jpg", 1);
        ASSERT_TRUE(result.written);
        EXPECT_EQ(result.exifResult, c.exif ? 1 : 0);
        EXPECT_EQ(result.windowTitle,
                  c.exif ? std::optional(world.Path("out.jpg").string()) : std::nullopt);
        EXPECT_EQ(world.save.SaveQuality, 75);
        EXPECT_EQ(world.LeftoverTemporaries(), 0u);
        const Bytes file = ReadBytes(world.Path("out.jpg"));
        JpegFrameInfo info;
        ASSERT_EQ(ReadJpegFrameInfo(world.shell, world.Path("out.jpg"), info), 1);
        EXPECT_EQ(info.sampling[0].horizontal, c.luminanceSampling);
        EXPECT_EQ(info.width, static_cast<std::uint32_t>(c.width));
        if (!c.exif) {
            EXPECT_EQ(file, ReadBytes(world.context.scratchFileB));
            continue;
        }
        const Bytes markers = MarkersBeforeScan(file).first;
        ASSERT_FALSE(markers.empty());
        EXPECT_EQ(markers[0], 0xE1);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 0);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xDB), 1);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC4), 1);
        EXPECT_EQ(LongInFile(file, TAG_PIXEL_X_DIMENSION), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(LongInFile(file, TAG_PIXEL_Y_DIMENSION), static_cast<std::uint32_t>(c.height));
        const std::uint32_t length = LongInFile(file, TAG_JPEG_INTERCHANGE_FORMAT_LENGTH);
        ASSERT_EQ((file[4] << 8) | file[5], static_cast<int>(472 + length));
    }
    SaveWorld world;  // the dialog the user saw
    ASSERT_TRUE(world.Save(SaveWindowKind::Openfile, MakePicture(640, 480), "out.jpg", 1).written);
    ASSERT_EQ(world.shell.saveRequests.size(), 1u);
    const SaveDialogRequest& request = world.shell.saveRequests[0];
    EXPECT_EQ(request.flags, 0x1006u);
    EXPECT_EQ(request.defaultExtension, "bmp");
}

TEST(SavePipeline, AFullColourBitmapCarriesTheBlocksHeaderAndPixels) {
    SaveWorld world;
    DibBlock picture = MakePicture(640, 480);
    picture.storage().resize(925'696);  // an Openfile block with its spare bytes
    WriteLe32(picture.data() + 24, 2835);
    ASSERT_TRUE(world.Save(SaveWindowKind::Openfile, picture, "full.bmp", 2).written);
    const Bytes full = ReadBytes(world.Path("full.bmp"));
    ASSERT_EQ(full.size(), 921'654u);
    EXPECT_EQ(0, std::memcmp(full.data() + 14, picture.data(), 40 + 921'600));
}

// A save needs its size free (plus a JPEG margin, not for Liveimage), else the old file stays.
TEST(SavePipeline, ASaveNeedsItsSizeFreeOrReportsAFullDisk) {
    const struct {
        SaveWindowKind kind;
        int filter;
        std::uint64_t needed;  // for a JPEG: the margin beside the compressed size
        const char* caption;
    } cases[] = {
        {SaveWindowKind::Capture, 1, 40'960, "ZIVU VEVE"},
        {SaveWindowKind::Capture, 2, 921'654, "ZIVU VEVE"},
        {SaveWindowKind::Openfile, 1, 40'960, "Fotolyx"},
        {SaveWindowKind::Openfile, 2, 921'654, "ZIVU VEVE"},
        {SaveWindowKind::Openfile, 3, 308'278, "ZIVU VEVE"},
        {SaveWindowKind::Liveimage, 1, 0, "Fotolyx"},
        {SaveWindowKind::Liveimage, 3, 308'278, "Fotolyx"},
    };
    const DibBlock picture = MakePicture(640, 480);
    const std::size_t descriptors = testing::OpenDescriptors();
    for (const auto& c : cases) {
        std::uint64_t needed = c.needed;
        if (c.filter == SAVE_FILTER_JPEG) {
            SaveWorld probe;
            ASSERT_TRUE(probe.Save(c.kind, picture, "p.jpg", 1).written);
            needed += ReadBytes(probe.context.scratchFileB).size();
        }
        for (const std::uint64_t available : {needed - 1, needed}) {
            SCOPED_TRACE(::testing::Message() << c.caption << " " << c.filter << ", " << available);
            SaveWorld world;
            WriteBytes(world.Path("out"), {1, 2, 3});
            world.freeSpace.scriptedAnswers = {available};
            const bool written = world.Save(c.kind, picture, "out", c.filter).written;
            EXPECT_EQ(testing::OpenDescriptors(), descriptors);
            EXPECT_EQ(world.LeftoverTemporaries(), 0u);
            ASSERT_FALSE(world.freeSpace.askedFolders.empty());
            EXPECT_EQ(world.freeSpace.askedFolders[0], world.dir.path());
            if (available == needed) {
                EXPECT_TRUE(written);
                continue;
            }
            EXPECT_FALSE(written);
            EXPECT_EQ(ReadBytes(world.Path("out")), (Bytes{1, 2, 3}));
            ASSERT_EQ(world.shell.messages.size(), 1u);
            EXPECT_EQ(world.shell.messages[0].text, "Disk is full.");
            EXPECT_EQ(world.shell.messages[0].caption, c.caption);
            EXPECT_EQ(world.shell.messages[0].style, MB_OK | MB_ICONEXCLAMATION);
        }
    }
}

TEST(SavePipeline, NoMemoryAndNoRoomForTheExifResult) {
    SaveWorld noMemory;  // for the 256-colour copy
    noMemory.memory.failingCalls = {0};
    EXPECT_FALSE(
        noMemory.Save(SaveWindowKind::Openfile, MakePicture(640, 480), "o.bmp", 3).written);
    ASSERT_EQ(noMemory.shell.messages.size(), 1u);
    EXPECT_EQ(noMemory.shell.messages[0].text, "Not enough memory.");
    EXPECT_EQ(noMemory.shell.messages[0].caption, "Global Memory");
    EXPECT_FALSE(std::filesystem::exists(noMemory.Path("o.bmp")));

    SaveWorld noRoom;  // the plain JPEG stays
    noRoom.freeSpace.scriptedAnswers = {std::uint64_t{1} << 30, 0};
    const SaveAsResult result =
        noRoom.Save(SaveWindowKind::Openfile, MakePicture(640, 480), "o.jpg", 1);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.exifResult, -1);
    EXPECT_EQ(ReadBytes(noRoom.Path("o.jpg")), ReadBytes(noRoom.context.scratchFileB));
    EXPECT_TRUE(noRoom.shell.messages.empty());
    EXPECT_EQ(noRoom.LeftoverTemporaries(), 0u);
}

// A JPEG of the given sampling; compacted, its four Huffman tables share one segment.
std::filesystem::path WriteSourceJpeg(SaveWorld& world, const char* sampling, bool compact) {
    WriteBytes(world.Path("source.bmp"), MakeBmpFile(640, 480, 24, SmoothColour));
    EXPECT_EQ(CompressBmpToJpeg(world.jpeg, world.Path("source.bmp"), world.Path("source.jpg"),
                                sampling, 75),
              1);
    if (compact) {
        WriteBytes(world.Path("source.jpg"), *ReadAndCompactJpeg(world.Path("source.jpg")));
    }
    return world.Path("source.jpg");
}

TEST(SavePipeline, StandardSourcesKeepTheirScanOthersAreReencoded) {
    const struct {
        const char* sampling;
        bool compact;
        bool reused;
    } cases[] = {
        {"2x1,1x1,1x1", true, true},   {"2x2,1x1,1x1", true, true},
        {"2x1,1x1,1x1", false, false},  // one Huffman segment per table
        {"1x1,1x1,1x1", true, false},  {"2x1,2x1,1x1", true, false},
    };
    for (const auto& c : cases) {
        SaveWorld world;
        world.save.SaveQuality = 60;
        const auto source = WriteSourceJpeg(world, c.sampling, c.compact);
        ASSERT_EQ(SaveJpegWithExif(world.context, source, world.Path("result.jpg")), 1);
        const Bytes sourceBytes = ReadBytes(source);
        const Bytes result = ReadBytes(world.Path("result.jpg"));
        EXPECT_EQ(ScanData(result) == ScanData(sourceBytes), c.reused) << c.sampling;
        JpegFrameInfo info;
        ASSERT_EQ(ReadJpegFrameInfo(world.shell, world.Path("result.jpg"), info), 1);
        EXPECT_TRUE(c.reused ||
                    (info.sampling[0].horizontal == 2 && info.sampling[0].vertical == 1 &&
                     info.sampling[1].horizontal == 1))
            << c.sampling;
        EXPECT_EQ(world.LeftoverTemporaries(), 0u) << c.sampling;
        EXPECT_TRUE(world.shell.messages.empty());
    }
}

TEST(SavePipeline, ExifSaveFailuresAreReportedAndLeaveNothingBehind) {
    SaveWorld world;
    const Bytes good = ReadBytes(WriteSourceJpeg(world, "2x1,1x1,1x1", false));
    Bytes twelveBit = good;
    const Bytes frame = {0xFF, 0xC0};
    std::search(twelveBit.begin(), twelveBit.end(), frame.begin(), frame.end())[4] = 12;
    const struct {
        const char* name;
        Bytes source;
        const char* message;
    } cases[] = {
        {"cut before the scan", Bytes(good.begin(), good.begin() + 100),
         "This is not a Jpeg file."},
        {"12-bit samples", twelveBit, "Can not change the exif format."},
    };
    for (const auto& c : cases) {
        world.shell.messages.clear();
        WriteBytes(world.Path("bad.jpg"), c.source);
        WriteBytes(world.Path("old.jpg"), {9, 9, 9});
        EXPECT_EQ(SaveJpegWithExif(world.context, world.Path("bad.jpg"), world.Path("old.jpg")), 0)
            << c.name;
        ASSERT_EQ(world.shell.messages.size(), 1u) << c.name;
        EXPECT_EQ(world.shell.messages[0].text, c.message);
        EXPECT_EQ(world.shell.messages[0].caption, "Error");
        EXPECT_EQ(ReadBytes(world.Path("old.jpg")), (Bytes{9, 9, 9}));
        EXPECT_EQ(world.LeftoverTemporaries(), 0u) << c.name;
    }
}

TEST(SavePipeline, AReplacementNeedsItsWholeSizeFreeBesideTheOldFile) {
    const struct {
        std::size_t oldSize;  // 0: no old file
        std::uint64_t available;
        int result;  // for a new file of 20,000 bytes
    } rows[] = {{50'000, 19'999, -1}, {50'000, 20'000, 1}, {0, 19'999, -1},
                {10'000, 15'000, -1}, {500, 0, -1},        {0, 20'000, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.oldSize << " old, " << row.available);
        SaveWorld world;
        const Bytes old(row.oldSize, 1);
        if (row.oldSize != 0) {
            WriteBytes(world.Path("d.jpg"), old);
        }
        WriteBytes(world.Path("new"), Bytes(20'000, 2));
        world.freeSpace.available = row.available;
        EXPECT_EQ(ReplaceFileSafely(world.context, world.Path("d.jpg"), world.Path("new")),
                  row.result);
        EXPECT_EQ(ReadBytes(world.Path("d.jpg")), row.result == 1 ? Bytes(20'000, 2) : old);
        EXPECT_FALSE(std::filesystem::exists(world.Path("new")));
        EXPECT_EQ(world.LeftoverTemporaries(), 0u);
    }
}

TEST(SavePipeline, ThumbnailsFitTheirLongerSideCentredOnBlack) {
    using Points = std::vector<std::pair<int, int>>;  // (column, stored row) of the 160 x 120
    const struct {
        std::int32_t width, height;
        Points black, white;
    } cases[] = {
        {640, 480, {}, {{0, 0}, {159, 119}}},
        {480, 640, {{35, 0}, {35, 60}, {35, 119}, {126, 60}}, {{36, 0}, {36, 60}, {125, 119}}},
        {800, 200, {{80, 40}, {80, 81}}, {{80, 41}, {80, 80}}},
        {200, 180, {{6, 60}, {153, 60}}, {{20, 60}, {139, 60}, {80, 0}, {80, 119}}},
    };
    for (const auto& c : cases) {
        const auto thumbnail = MakeThumbnailPicture(
            MakePicture(c.width, c.height, [](int, int) { return Grey(255); }));
        ASSERT_TRUE(thumbnail);
        ASSERT_EQ(DibWidth(*thumbnail), 160);
        ASSERT_EQ(DibHeight(*thumbnail), 120);
        for (const auto& [x, y] : c.black) {
            EXPECT_EQ(PixelAt(*thumbnail, x, y), Grey(0)) << c.width << " at " << x << "," << y;
        }
        for (const auto& [x, y] : c.white) {
            EXPECT_EQ(PixelAt(*thumbnail, x, y), Grey(255)) << c.width << " at " << x << "," << y;
        }
    }
    // Bilinear: a 2 x 1 picture of black and white blends along the row.
    const auto blend =
        MakeThumbnailPicture(MakePicture(2, 1, [](int x, int) { return Grey(255 * x); }));
    ASSERT_TRUE(blend);
    EXPECT_EQ(PixelAt(*blend, 40, 60)[0], 127);   // x = 0.5
    EXPECT_EQ(PixelAt(*blend, 100, 60)[0], 255);  // the last column blends with itself
}

}  // namespace
}  // namespace fotolyx
