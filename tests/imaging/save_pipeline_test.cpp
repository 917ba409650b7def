#include "imaging/save_pipeline.h"
#include "imaging/atomic_file.h"
#include "imaging/exif_save.h"
#include "imaging/picture_reductions.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "imaging/bmp_file.h"
#include "imaging/exif_writer.h"
#include "imaging/jpeg_structure.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::FixedClock;
using testing::MakeBmpFile;
using testing::MakePicture;
using testing::PixelAt;
using testing::ReadBytes;
using testing::SaveWorld;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

std::optional<ExifTagPlace> FindInFile(const Bytes& file, std::uint16_t tag) {
    return FindExifTag(std::span(file).subspan(2 + EXIF_TIFF_OFFSET), tag, ByteOrder::Little);
}

std::uint32_t LongInFile(const Bytes& file, std::uint16_t tag) {
    const auto place = FindInFile(file, tag);
    return place ? ReadLe32(file.data() + 2 + EXIF_TIFF_OFFSET + place->valueOffset) : 0;
}

std::string TextInFile(const Bytes& file, std::uint16_t tag) {
    const auto place = FindInFile(file, tag);
    return place ? std::string(reinterpret_cast<const char*>(file.data() + 2 + EXIF_TIFF_OFFSET +
                                                             place->valueOffset))
                 : std::string();
}

// Markers of the segments before the scan.
std::vector<std::uint8_t> MarkersBeforeScan(const Bytes& jpeg) {
    std::vector<std::uint8_t> markers;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        markers.push_back(jpeg[at + 1]);
        at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
    }
    return markers;
}

// The bytes from the start-of-scan marker to the end of the data.
Bytes ScanData(const Bytes& jpeg) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA)) {
        at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
    }
    return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(at, jpeg.size())),
                 jpeg.begin() + static_cast<std::ptrdiff_t>(JpegDataLength(jpeg)));
}

TEST(SavePipeline, OpenfileJpegCarriesTheExifBlockAndThumbnail) {
    SaveWorld world;
    const DibBlock picture = MakePicture(640, 480);
    const SaveAsResult result = world.Save(SaveWindowKind::Openfile, picture, "out.jpg", 1);
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.exifResult, 1);
    EXPECT_EQ(result.windowTitle, world.Path("out.jpg").string());
    EXPECT_EQ(world.initialDirectory, world.dir.path().string());
    EXPECT_EQ(world.save.SaveQuality, 75);
    EXPECT_EQ(world.save.filterIndex, 1);
    ASSERT_EQ(world.shell.saveRequests.size(), 1u);
    const SaveDialogRequest& request = world.shell.saveRequests[0];
    EXPECT_EQ(request.flags, 0x1006u);
    EXPECT_EQ(request.proposedName, "proposed");
    EXPECT_EQ(request.initialDirectory, "/start");
    EXPECT_EQ(request.defaultExtension, "bmp");
    ASSERT_EQ(request.filters.size(), 3u);
    EXPECT_EQ(request.filters[2].first, "256 Color BMP (*.BMP)");
    EXPECT_TRUE(world.shell.messages.empty());

    const Bytes file = ReadBytes(world.Path("out.jpg"));
    ASSERT_GT(file.size(), 476u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
    const auto markers = MarkersBeforeScan(file);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 0);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xDB), 1);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC4), 1);
    EXPECT_EQ(LongInFile(file, TAG_PIXEL_X_DIMENSION), 640u);
    EXPECT_EQ(LongInFile(file, TAG_PIXEL_Y_DIMENSION), 480u);
    EXPECT_EQ(TextInFile(file, TAG_DATE_TIME_ORIGINAL), "2002:03:04 05:06:07");
    EXPECT_EQ(TextInFile(file, TAG_DATE_TIME_DIGITIZED), "2002:03:04 05:06:07");
    EXPECT_EQ(TextInFile(file, TAG_DATE_TIME), "2002:03:04 05:06:07");

    const std::uint32_t offset = LongInFile(file, TAG_JPEG_INTERCHANGE_FORMAT);
    const std::uint32_t length = LongInFile(file, TAG_JPEG_INTERCHANGE_FORMAT_LENGTH);
    ASSERT_EQ(offset, 464u);
    EXPECT_EQ((file[4] << 8) | file[5], static_cast<int>(472 + length));
    const Bytes thumbnail(file.begin() + 2 + 10 + offset, file.begin() + 2 + 10 + offset + length);
    EXPECT_EQ(thumbnail[length - 2], 0xFF);
    EXPECT_EQ(thumbnail[length - 1], 0xD9);
    WriteBytes(world.Path("thumb.jpg"), thumbnail);
    ASSERT_EQ(DecompressJpegToBmp(world.jpeg, world.Path("thumb.jpg"), world.Path("thumb.bmp"), 0),
              1);
    const DibFileResult decoded = LoadDibFile(world.Path("thumb.bmp"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(DibWidth(*decoded.block), 160);
    EXPECT_EQ(DibHeight(*decoded.block), 120);
    // The picture after the thumbnail decodes to the saved size.
    ASSERT_EQ(DecompressJpegToBmp(world.jpeg, world.Path("out.jpg"), world.Path("back.bmp"), 0), 1);
    const DibFileResult back = LoadDibFile(world.Path("back.bmp"));
    ASSERT_TRUE(back);
    EXPECT_EQ(DibWidth(*back.block), 640);
    EXPECT_EQ(world.LeftoverTemporaries(), 0u);
}

TEST(SavePipeline, EachWindowSavesJpegItsOwnWay) {
    struct Case {
        SaveWindowKind kind;
        std::int32_t width;
        std::int32_t height;
        bool exif;
        std::uint32_t luminanceSampling;
        bool title;
    };
    const Case cases[] = {
        {SaveWindowKind::Capture, 320, 240, true, 2, true},
        {SaveWindowKind::Openfile, 640, 480, true, 2, true},
        {SaveWindowKind::Liveimage, 640, 480, false, 4, false},
    };
    for (const Case& c : cases) {
        SaveWorld world;
        const SaveAsResult result =
            world.Save(c.kind, MakePicture(c.width, c.height), "out.jpg", 1);
        ASSERT_TRUE(result.written);
        EXPECT_EQ(result.windowTitle.has_value(), c.title);
        const Bytes file = ReadBytes(world.Path("out.jpg"));
        EXPECT_EQ(file[3], c.exif ? 0xE1 : 0xE0);
        if (c.exif) {
            EXPECT_EQ(LongInFile(file, TAG_PIXEL_X_DIMENSION), static_cast<std::uint32_t>(c.width));
        } else {
            // The encoder's output unchanged.
            EXPECT_EQ(file, ReadBytes(world.context.scratchFileB));
        }
        JpegFrameInfo info;
        ASSERT_EQ(ReadJpegFrameInfo(world.shell, world.Path("out.jpg"), info), 1);
        EXPECT_EQ(info.sampling[0].horizontal, c.luminanceSampling);
        EXPECT_EQ(info.width, static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(world.LeftoverTemporaries(), 0u);
    }
}

TEST(SavePipeline, BitmapsHaveTheirFixedSizes) {
    SaveWorld world;
    DibBlock picture = MakePicture(640, 480);
    picture.storage().resize(925'696);  // an Openfile block with its spare bytes
    WriteLe32(picture.data() + 24, 2835);
    ASSERT_TRUE(world.Save(SaveWindowKind::Openfile, picture, "full.bmp", 2).written);
    ASSERT_TRUE(world.Save(SaveWindowKind::Openfile, picture, "256.bmp", 3).written);
    const Bytes full = ReadBytes(world.Path("full.bmp"));
    ASSERT_EQ(full.size(), 921'654u);
    EXPECT_EQ(ReadLe32(full.data() + 2), 921'654u);
    EXPECT_EQ(ReadLe32(full.data() + 10), 54u);
    EXPECT_EQ(0, std::memcmp(full.data() + 14, picture.data(), 40 + 921'600));
    const Bytes reduced = ReadBytes(world.Path("256.bmp"));
    ASSERT_EQ(reduced.size(), 308'278u);
    EXPECT_EQ(ReadLe32(reduced.data() + 2), 308'278u);
    EXPECT_EQ(ReadLe32(reduced.data() + 10), 1078u);
    EXPECT_EQ(ReadLe16(reduced.data() + 28), 8);
    const DibFileResult loaded = LoadDibFile(world.Path("256.bmp"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(DibNumColors(*loaded.block), 256);
    EXPECT_EQ(world.save.filterIndex, 3);
}

TEST(SavePipeline, EverySaveClosesTheFilesItOpened) {
    SaveWorld world;
    const DibBlock picture = MakePicture(640, 480);
    const struct {
        SaveWindowKind kind;
        const char* name;
        int filter;
    } saves[] = {{SaveWindowKind::Openfile, "a.jpg", 1},
                 {SaveWindowKind::Capture, "b.jpg", 1},
                 {SaveWindowKind::Openfile, "c.bmp", 2},
                 {SaveWindowKind::Openfile, "d.bmp", 3},
                 {SaveWindowKind::Openfile, "a.jpg", 1}};  // the last one replaces a file
    const std::size_t before = testing::OpenDescriptors();
    for (const auto& save : saves) {
        ASSERT_TRUE(world.Save(save.kind, picture, save.name, save.filter).written) << save.name;
        EXPECT_EQ(testing::OpenDescriptors(), before) << save.name;
    }
    world.freeSpace.available = 0;  // and one that fails
    EXPECT_FALSE(world.Save(SaveWindowKind::Openfile, picture, "e.jpg", 1).written);
    EXPECT_EQ(testing::OpenDescriptors(), before);
}

TEST(SavePipeline, ACancelledDialogWritesNothing) {
    SaveWorld world;
    world.shell.scriptedSaveAnswers.push_back(std::nullopt);
    const SaveAsResult result =
        SaveAsFlow(world.context, SaveWindowKind::Openfile, MakePicture(640, 480), "x");
    EXPECT_FALSE(result.written);
    EXPECT_EQ(world.initialDirectory, "/start");
    EXPECT_TRUE(world.shell.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(world.context.scratchFileA));
}

TEST(SavePipeline, AFullDiskIsReportedWithTheWindowsCaption) {
    struct Case {
        SaveWindowKind kind;
        int filter;
        const char* caption;
    };
    const Case cases[] = {
        {SaveWindowKind::Capture, 1, "ZIVU VEVE"},  {SaveWindowKind::Capture, 2, "ZIVU VEVE"},
        {SaveWindowKind::Capture, 3, "ZIVU VEVE"},  {SaveWindowKind::Openfile, 1, "Fotolyx"},
        {SaveWindowKind::Openfile, 2, "ZIVU VEVE"}, {SaveWindowKind::Openfile, 3, "ZIVU VEVE"},
        {SaveWindowKind::Liveimage, 1, "Fotolyx"},  {SaveWindowKind::Liveimage, 2, "Fotolyx"},
        {SaveWindowKind::Liveimage, 3, "Fotolyx"},
    };
    for (const Case& c : cases) {
        SaveWorld world;
        WriteBytes(world.Path("out"), {1, 2, 3});
        world.freeSpace.available = 1000;
        const SaveAsResult result = world.Save(c.kind, MakePicture(640, 480), "out", c.filter);
        EXPECT_FALSE(result.written);
        ASSERT_EQ(world.shell.messages.size(), 1u);
        EXPECT_EQ(world.shell.messages[0].text, "Disk is full.");
        EXPECT_EQ(world.shell.messages[0].caption, c.caption);
        EXPECT_EQ(world.shell.messages[0].style, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(ReadBytes(world.Path("out")), (Bytes{1, 2, 3}));
        ASSERT_FALSE(world.freeSpace.askedFolders.empty());
        EXPECT_EQ(world.freeSpace.askedFolders[0], world.dir.path());
        EXPECT_EQ(world.LeftoverTemporaries(), 0u);
    }
}

TEST(SavePipeline, TheSpaceNeededDependsOnWindowAndType) {
    struct Case {
        SaveWindowKind kind;
        int filter;
        std::uint64_t needed;
    };
    const Case cases[] = {
        {SaveWindowKind::Openfile, 2, 921'654},
        {SaveWindowKind::Openfile, 3, 308'278},
        {SaveWindowKind::Liveimage, 3, 308'278},
        {SaveWindowKind::Capture, 3, 921'654},
    };
    for (const Case& c : cases) {
        for (const std::uint64_t available : {c.needed - 1, c.needed}) {
            SaveWorld world;
            world.freeSpace.available = available;
            const SaveAsResult result =
                world.Save(c.kind, MakePicture(640, 480), "out.bmp", c.filter);
            EXPECT_EQ(result.written, available == c.needed) << c.needed;
        }
    }
    // JPEG: the compressed size plus 40,960 bytes, or the size alone for the Liveimage window.
    for (const bool live : {false, true}) {
        const auto kind = live ? SaveWindowKind::Liveimage : SaveWindowKind::Openfile;
        SaveWorld probe;
        ASSERT_TRUE(probe.Save(kind, MakePicture(640, 480), "p.jpg", 1).written);
        const std::uint64_t size =
            ReadBytes(probe.context.scratchFileB).size() + (live ? 0 : 40'960);
        for (const std::uint64_t available : {size - 1, size}) {
            SaveWorld world;
            world.freeSpace.scriptedAnswers = {available};
            EXPECT_EQ(world.Save(kind, MakePicture(640, 480), "out.jpg", 1).written,
                      available == size);
        }
    }
}

TEST(SavePipeline, NoMemoryForThe256ColourCopyIsReported) {
    SaveWorld world;
    world.memory.failingCalls = {0};
    const SaveAsResult result =
        world.Save(SaveWindowKind::Openfile, MakePicture(640, 480), "o.bmp", 3);
    EXPECT_FALSE(result.written);
    ASSERT_EQ(world.shell.messages.size(), 1u);
    EXPECT_EQ(world.shell.messages[0].text, "Not enough memory.");
    EXPECT_EQ(world.shell.messages[0].caption, "Global Memory");
    EXPECT_FALSE(std::filesystem::exists(world.Path("o.bmp")));
}

TEST(SavePipeline, NoRoomForTheExifResultKeepsThePlainJpeg) {
    SaveWorld world;
    world.freeSpace.scriptedAnswers = {std::uint64_t{1} << 30, 0};
    const SaveAsResult result =
        world.Save(SaveWindowKind::Openfile, MakePicture(640, 480), "o.jpg", 1);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.exifResult, -1);
    EXPECT_EQ(ReadBytes(world.Path("o.jpg")), ReadBytes(world.context.scratchFileB));
    EXPECT_TRUE(world.shell.messages.empty());
    EXPECT_EQ(world.LeftoverTemporaries(), 0u);
}

// Writes a JPEG of the picture with the given sampling, compacted when asked (so that its four
// Huffman tables share one segment).
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
    struct Case {
        const char* sampling;
        bool compact;
        bool reused;
    };
    const Case cases[] = {
        {"2x1,1x1,1x1", true, true},   {"2x2,1x1,1x1", true, true},
        {"2x1,1x1,1x1", false, false},  // one Huffman segment per table
        {"1x1,1x1,1x1", true, false},  {"2x1,2x1,1x1", true, false},
    };
    for (const Case& c : cases) {
        SaveWorld world;
        world.save.SaveQuality = 60;
        const auto source = WriteSourceJpeg(world, c.sampling, c.compact);
        ASSERT_EQ(SaveJpegWithExif(world.context, source, world.Path("result.jpg")), 1);
        const Bytes sourceBytes = ReadBytes(source);
        const Bytes result = ReadBytes(world.Path("result.jpg"));
        EXPECT_EQ(ScanData(result) == ScanData(sourceBytes), c.reused) << c.sampling;
        JpegFrameInfo info;
        ASSERT_EQ(ReadJpegFrameInfo(world.shell, world.Path("result.jpg"), info), 1);
        if (!c.reused) {
            EXPECT_EQ(info.sampling[0].horizontal, 2u) << c.sampling;
            EXPECT_EQ(info.sampling[0].vertical, 1u) << c.sampling;
            EXPECT_EQ(info.sampling[1].horizontal, 1u) << c.sampling;
        }
        EXPECT_EQ(world.LeftoverTemporaries(), 0u) << c.sampling;
        EXPECT_TRUE(world.shell.messages.empty());
    }
}

TEST(SavePipeline, ExifSaveFailuresAreReportedAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        std::function<Bytes(const Bytes&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"a bitmap", [](const Bytes&) { return MakeBmpFile(8, 8, 24, SmoothColour); },
         "This is not a Jpeg file."},
        {"a text file", [](const Bytes&) { return Bytes{'n', 'o', 't', ' ', 'j', 'p', 'g'}; },
         "This is not a Jpeg file."},
        {"cut before the scan", [](const Bytes& b) { return Bytes(b.begin(), b.begin() + 100); },
         "This is not a Jpeg file."},
        {"12-bit samples",
         [](const Bytes& b) {
             Bytes damaged = b;
             for (std::size_t i = 2; i + 4 < damaged.size();
                  i += 2 + ((damaged[i + 2] << 8) | damaged[i + 3])) {
                 if (damaged[i + 1] == 0xC0) {
                     damaged.at(i + 4) = 12;
                     break;
                 }
             }
             return damaged;
         },
         "Can not change the exif format."},
    };
    for (const Case& c : cases) {
        SaveWorld world;
        const auto source = WriteSourceJpeg(world, "2x1,1x1,1x1", false);
        WriteBytes(source, c.damage(ReadBytes(source)));
        WriteBytes(world.Path("old.jpg"), {9, 9, 9});
        EXPECT_EQ(SaveJpegWithExif(world.context, source, world.Path("old.jpg")), 0) << c.name;
        ASSERT_EQ(world.shell.messages.size(), 1u) << c.name;
        EXPECT_EQ(world.shell.messages[0].text, c.message);
        EXPECT_EQ(world.shell.messages[0].caption, "Error");
        EXPECT_EQ(ReadBytes(world.Path("old.jpg")), (Bytes{9, 9, 9}));
        EXPECT_EQ(world.LeftoverTemporaries(), 0u) << c.name;
    }
}

TEST(SavePipeline, SourceAndDestinationMayBeTheSameFile) {
    SaveWorld world;
    const auto source = WriteSourceJpeg(world, "1x1,1x1,1x1", false);
    ASSERT_EQ(SaveJpegWithExif(world.context, source, source), 1);
    const Bytes file = ReadBytes(source);
    EXPECT_EQ(file[3], 0xE1);
    EXPECT_EQ(LongInFile(file, TAG_PIXEL_Y_DIMENSION), 480u);
    // A second save replaces the Exif block rather than stacking another.
    ASSERT_EQ(SaveJpegWithExif(world.context, source, source), 1);
    const auto markers = MarkersBeforeScan(ReadBytes(source));
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 1);
}

TEST(SavePipeline, ReplaceFileSafelyKeepsTheOldFileWhenItCannotCopy) {
    SaveWorld world;
    const Bytes old(500, 1);
    const Bytes replacement(20'000, 2);
    WriteBytes(world.Path("dest.jpg"), old);

    // No room: -1, both files as they were apart from the new one, which is gone.
    WriteBytes(world.Path("new1"), replacement);
    world.freeSpace.available = 0;
    EXPECT_EQ(ReplaceFileSafely(world.context, world.Path("dest.jpg"), world.Path("new1")), -1);
    EXPECT_EQ(ReadBytes(world.Path("dest.jpg")), old);
    EXPECT_FALSE(std::filesystem::exists(world.Path("new1")));

    // The copy fails half way (a file size limit): 0 and the old file intact.
    WriteBytes(world.Path("new2"), replacement);
    world.freeSpace.available = std::uint64_t{1} << 30;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10'000, 10'000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const int result =
            ReplaceFileSafely(world.context, world.Path("dest.jpg"), world.Path("new2"));
        ::_exit(result == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadBytes(world.Path("dest.jpg")), old);
    EXPECT_FALSE(std::filesystem::exists(world.Path("new2")));
    EXPECT_EQ(world.LeftoverTemporaries(), 0u);

    // With room and no limit: 1.
    WriteBytes(world.Path("new3"), replacement);
    EXPECT_EQ(ReplaceFileSafely(world.context, world.Path("dest.jpg"), world.Path("new3")), 1);
    EXPECT_EQ(ReadBytes(world.Path("dest.jpg")), replacement);
    EXPECT_EQ(world.LeftoverTemporaries(), 0u);
}

TEST(SavePipeline, ThumbnailsFitTheirBoxOnBlack) {
    const Bgr white{255, 255, 255};
    const auto isBlack = [](Bgr c) { return c == Bgr{0, 0, 0}; };
    // A tall picture: 90 x 120 with a left margin of 35, so columns 36 to 125.
    const auto tall = MakeThumbnailPicture(MakePicture(480, 640, [&](int, int) { return white; }));
    ASSERT_TRUE(tall);
    for (const std::int32_t y : {0, 60, 119}) {
        EXPECT_TRUE(isBlack(PixelAt(*tall, 35, y)));
        EXPECT_EQ(PixelAt(*tall, 36, y), white);
        EXPECT_EQ(PixelAt(*tall, 125, y), white);
        EXPECT_TRUE(isBlack(PixelAt(*tall, 126, y)));
    }
    // 640 x 480 fills the box.
    const auto full = MakeThumbnailPicture(MakePicture(640, 480, [&](int, int) { return white; }));
    ASSERT_TRUE(full);
    EXPECT_EQ(PixelAt(*full, 0, 0), white);
    EXPECT_EQ(PixelAt(*full, 159, 119), white);
    // A wide picture: 160 x 40, bottom margin 40, rows 41 to 80.
    const auto wide = MakeThumbnailPicture(MakePicture(800, 200, [&](int, int) { return white; }));
    ASSERT_TRUE(wide);
    EXPECT_TRUE(isBlack(PixelAt(*wide, 80, 40)));
    EXPECT_EQ(PixelAt(*wide, 80, 41), white);
    EXPECT_EQ(PixelAt(*wide, 80, 80), white);
    EXPECT_TRUE(isBlack(PixelAt(*wide, 80, 81)));
    // Bilinear: a 2 x 1 picture of black and white blends along the row.
    const auto blend = MakeThumbnailPicture(MakePicture(2, 1, [&](int x, int) {
        return x == 0 ? Bgr{0, 0, 0} : white;
    }));
    ASSERT_TRUE(blend);
    EXPECT_EQ(PixelAt(*blend, 40, 60)[0], 127);   // x = 0.5
    EXPECT_EQ(PixelAt(*blend, 100, 60)[0], 255);  // the last column blends with itself
}

TEST(SavePipeline, GreyPicturesGetThumbnailsToo) {
    SaveWorld world;
    std::vector<Bgr> grey(256);
    for (int i = 0; i < 256; ++i) {
        grey[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                   static_cast<std::uint8_t>(i)};
    }
    WriteBytes(world.Path("grey.bmp"),
               MakeBmpFile(
                   320, 240, 8, nullptr, [](int x, int) { return x & 0xFF; }, grey));
    const auto picture = LoadDibFile(world.Path("grey.bmp"));
    ASSERT_TRUE(picture);
    const auto thumbnail = MakeThumbnailPicture(*picture.block);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(PixelAt(*thumbnail, 80, 60)[0], PixelAt(*thumbnail, 80, 60)[2]);
    EXPECT_GT(PixelAt(*thumbnail, 80, 60)[0], 0);
}

TEST(SavePipeline, TimeTextsAndTemporaryNames) {
    struct Case {
        LocalTime time;
        const char* stamp;
        const char* name;
    };
    const Case cases[] = {
        {{2002, 7, 15, 9, 5, 0}, "2002:07:15 09:05:00", "02-7-15(9-5)"},
        {{1999, 12, 31, 23, 59, 58}, "1999:12:31 23:59:58", "99-12-31(23-59)"},
        {{2026, 1, 2, 3, 4, 5}, "2026:01:02 03:04:05", "26-1-2(3-4)"},
    };
    for (const Case& c : cases) {
        FixedClock clock;
        clock.now = c.time;
        EXPECT_EQ(MakeTimeStamp(clock), c.stamp);
        EXPECT_EQ(ProposeTimeName(c.time), c.name);
    }
    TempDir dir;
    std::filesystem::path name = MakeTempName(dir.path());
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(name.filename().string().rfind("QZV", 0), 0u);
    DropTempFile(name);
    EXPECT_TRUE(name.empty());
    DropTempFile(name);
    EXPECT_TRUE(MakeTempName(dir / "missing").empty());
}

}  // namespace
}  // namespace fotolyx
