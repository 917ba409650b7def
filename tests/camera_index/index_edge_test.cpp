#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera_index/handlers.h"
#include "camsim/picture_maker.h"

namespace fotolyx {
namespace {

using testing::Handlers;

TEST(IndexEdges, ListTextsAndFileNamesFollowTheirFormats) {
    struct Case {
        unsigned position;
        bool fine;
        EntryDate date;
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {0, false, {2, 5, 17, 14, 5}, "  1N: 02/5/17 14:05", "1N02-5-17(14-5)"},
        {122, true, {99, 12, 31, 0, 0}, "123F: 99/12/31 0:00", "123F99-12-31(0-0)"},
        {799,
         true,
         {255, 255, 255, 255, 255},
         "800F: 255/255/255 255:255",
         "800F255-255-255(255-255)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatListText(c.position, c.fine, c.date), c.text);
        EXPECT_EQ(FormatFileName(c.position, c.fine, c.date), c.name);
    }
}

TEST(IndexEdges, TheYearByteLosesItsCenturyFromOneHundredOn) {
    for (const auto& [yearByte, text] :
         std::vector<std::pair<int, std::string>>{{102, "02"}, {99, "99"}, {100, "00"}}) {
        Handlers run;
        run.Feed(Handlers::Header(0, 80, 60, 1, yearByte));
        run.Feed(MakeDataPacket(1, {}));
        EXPECT_EQ(run.index().index.entries[0].listText.substr(6, 2), text) << yearByte;
    }
}

TEST(IndexEdges, SmallThumbnailsGetThePlaceholderAndA112ByteOneTwoPackets) {
    for (std::uint32_t size : {0u, 50u, 111u}) {
        Handlers run;
        run.Feed(Handlers::Header(size, 80, 60, 1));
        EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{ACK});
        run.Feed(MakeDataPacket(1, {}));
        EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{INDEX_NEXT}) << size;
        const auto slot = run.preview().Thumbnail(0);
        EXPECT_EQ(std::tuple(ReadLe32(slot.data() + 4), ReadLe32(slot.data() + 8), slot[40],
                             slot[40 + 128 * 56 * 3 - 1]),
                  std::tuple(128u, 56u, PLACEHOLDER_GREY, PLACEHOLDER_GREY));
    }
    // 112 bytes: a second data packet, then the decode (of what is no JPEG).
    Handlers run;
    run.Feed(Handlers::Header(112, 80, 60, 1));
    run.Feed(MakeDataPacket(1, {}));
    EXPECT_EQ(run.TakeWritten(), (std::vector<std::uint8_t>{ACK, ACK}));
    run.Feed(MakeDataPacket(2, {}));
    EXPECT_TRUE(run.TakeWritten().empty());
    ASSERT_EQ(run.shell.messages.size(), 1u);
    EXPECT_EQ(run.shell.messages[0].text, TEXT_FILE_TYPE_WRONG);
    EXPECT_EQ(run.index().index.receivedCount, 0);
}

TEST(IndexEdges, TheEndHeaderCountsOnlyAfterAnEntry) {
    Handlers run;
    const auto thumbnail = camsim::MakeSceneJpeg(80, 60, 1, 75);
    // A first header with bytes 12 and 13 zero is an ordinary entry.
    Packet first = Handlers::Header(static_cast<std::uint32_t>(thumbnail.size()), 80, 60, 2);
    first[12] = first[13] = 0;
    run.Feed(first);
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{ACK});
    run.index().index.blockCounter = 0;  // start that entry again with a regular header
    run.Entry(thumbnail, 80, 60, 2);
    EXPECT_EQ(run.index().index.receivedCount, 1);
    EXPECT_FALSE(run.index().index.IndexLoaded);
    run.TakeWritten();
    run.Feed(Handlers::Header(0, 0, 0, 2, 102, 0, true));
    EXPECT_TRUE(run.TakeWritten().empty());
    EXPECT_TRUE(run.index().index.IndexLoaded);
    EXPECT_FALSE(run.index().index.IndexTransferActive);
}

TEST(IndexEdges, TenBadPacketsGetNakTheEleventhRestartsTheEntry) {
    Handlers run;
    run.Feed(Handlers::Header(300, 80, 60, 1));
    run.Feed(MakeDataPacket(1, {}));
    run.TakeWritten();
    Packet badEnd = MakeDataPacket(2, {});
    badEnd[END_OFFSET] = 1;  // a data packet whose end byte is not 0 is bad
    for (int i = 0; i < 10; ++i) {
        run.Feed(i % 2 == 0 ? badEnd : MakeDataPacket(7, {}));
    }
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>(10, NAK));
    run.Status(0x55);
    // The restart waits for a quiet moment of 150 ms; what arrives meanwhile is not answered.
    EXPECT_TRUE(run.TakeWritten().empty());
    EXPECT_EQ(run.timers.running.at({PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART}), 150);
    run.Feed(badEnd);
    EXPECT_TRUE(run.TakeWritten().empty());
    run.program->TimerFired(PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART);
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{INDEX_RESEND});
    EXPECT_EQ(run.index().index.blockCounter, 0);
    EXPECT_EQ(run.index().index.thumbnailWriteOffset, 0u);
    // The next packet must be the entry's header again.
    run.Feed(MakeDataPacket(2, {}));
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{NAK});
    // READY with no step pending and CAMERA_NOTICE.
    run.Status(CAMERA_NOTICE);
    EXPECT_TRUE(run.TakeWritten().empty());
    run.Status(READY);
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{NAK});
}

TEST(IndexEdges, OversizedThumbnailsAreListedWithThePlaceholderAndTheIndexGoesOn) {
    struct Case {
        const char* what;
        std::uint32_t bytes;
        std::uint16_t width;
        std::uint16_t height;
    };
    const Case cases[] = {
        {"JPEG larger than the buffer", 60'000, 80, 60},
        {"pixels larger than the buffer", 300, 200, 200},
    };
    for (const auto& c : cases) {
        Handlers run;
        std::vector<std::uint8_t> thumbnail = c.bytes == 300
                                                  ? camsim::MakeSceneJpeg(200, 200, 1, 5)
                                                  : std::vector<std::uint8_t>(c.bytes, 0x55);
        run.Entry(thumbnail, c.width, c.height, 2);
        const auto written = run.TakeWritten();
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back(), INDEX_NEXT) << c.what;
        EXPECT_EQ(std::count(written.begin(), written.end(), ACK),
                  static_cast<long>(DataPacketCount(static_cast<std::uint32_t>(thumbnail.size()))))
            << c.what;
        EXPECT_EQ(run.index().index.receivedCount, 1) << c.what;
        EXPECT_EQ(run.preview().Thumbnail(0)[40], PLACEHOLDER_GREY) << c.what;
        EXPECT_TRUE(run.shell.messages.empty()) << c.what;
    }
}

TEST(IndexEdges, AThumbnailOfAnotherSizeIsReportedAndNotAnswered) {
    Handlers run;
    run.Entry(camsim::MakeSceneJpeg(80, 60, 1, 75), 80, 64, 1);
    EXPECT_EQ(run.shell.messages.back().text, TEXT_FILE_SIZE_WRONG);
    EXPECT_NE(run.TakeWritten().back(), INDEX_NEXT);
    EXPECT_EQ(run.index().index.receivedCount, 0);
}

TEST(IndexEdges, ThumbnailRowsOfOddWidthsKeepTheirPlaces) {
    Handlers run;
    const auto thumbnail = camsim::MakeSceneJpeg(78, 58, 2, 95);
    run.Entry(thumbnail, 78, 58, 1);
    ASSERT_EQ(run.index().index.receivedCount, 1);
    // Compared with a decode of the same file: 78 pixels are 234 bytes, padded to 236.
    const auto jpegPath = run.root / "t.jpg";
    const auto bmpPath = run.root / "t.bmp";
    testing::WriteBytes(jpegPath, thumbnail);
    JpegState state;
    ASSERT_EQ(DecompressJpegToBmp(state, jpegPath, bmpPath, 0), 1);
    const auto bmp = testing::ReadBytes(bmpPath);
    const auto slot = run.preview().Thumbnail(0);
    EXPECT_EQ(ReadLe32(slot.data() + 4), 78u);
    EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.begin() + 54 + 236 * 58, slot.begin() + 40));
}

TEST(IndexEdges, EntriesBeyondTheStoreAreListedWithoutThumbnail) {
    Handlers run(2);
    for (int i = 0; i < 3; ++i) {
        run.Entry({}, 80, 60, 3);
    }
    EXPECT_EQ(run.index().index.receivedCount, 3);
    const auto cells = run.preview().CellsInView();
    EXPECT_TRUE(cells[1].hasThumbnail);
    EXPECT_FALSE(cells[2].hasThumbnail);
    EXPECT_TRUE(cells[2].received);
    EXPECT_EQ(cells[2].text, "  3F: 02/5/17 9:03");
}

TEST(IndexEdges, ARepeatedDeleteDoneRemovesNothingMore) {
    Handlers run;
    for (int i = 0; i < 5; ++i) {
        run.Entry({}, 80, 60, 5);
    }
    run.Feed(Handlers::Header(0, 0, 0, 5, 102, 0, true));
    run.index().selection.SelectionMark[1] = MARK_DELETE;
    run.TakeWritten();
    run.Status(DELETE_DONE);
    EXPECT_EQ(run.index().index.reportedCount, 4);
    run.Status(DELETE_DONE);
    EXPECT_EQ(std::tuple(run.index().index.reportedCount, run.index().index.receivedCount),
              std::tuple(4, 4));
    EXPECT_EQ(run.TakeWritten(), (std::vector<std::uint8_t>{NAK, NAK}));
}

TEST(DownloadEdges, PicturePositionsBecomeThreeDigitsUnitsFirst) {
    for (const auto& [position, digits] :
         std::vector<std::pair<unsigned, std::vector<std::uint8_t>>>{
             {7, {0xA7, 0xB0, 0xC0, 0xD0}}, {123, {0xA3, 0xB2, 0xC1, 0xD0}}}) {
        Handlers run(200);
        for (unsigned i = 0; i <= position; ++i) {
            run.Entry({}, 80, 60, static_cast<std::uint16_t>(position + 1));
        }
        run.TakeWritten();
        run.download().StartDownload(position, true);
        run.Status(READY);
        run.Status(READY);
        run.Status(READY);
        EXPECT_EQ(run.TakeWritten(), digits) << position;
        EXPECT_EQ(run.program->link.TransferMode, TRANSFER_DOWNLOAD);
    }
}

TEST(DownloadEdges, TheEleventhBadPacketSendsTheLastCommandAgain) {
    Handlers run;
    run.Entry({}, 80, 60, 1);
    run.download().StartDownload(0, true);
    for (int i = 0; i < 3; ++i) {
        run.Status(READY);
    }
    run.TakeWritten();
    for (int i = 0; i < 10; ++i) {
        run.Feed(MakeDataPacket(3, {}));
    }
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>(10, NAK));
    run.Status(READY);  // READY at step 0 is bad too
    EXPECT_TRUE(run.TakeWritten().empty());
    run.program->TimerFired(PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART);
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{PICTURE_GET});
    EXPECT_EQ(run.download().download.blockCounter, 0);
}

TEST(DownloadEdges, APictureLargerThanTheTransferBufferIsRefusedWithoutOverrun) {
    Handlers run;
    run.Entry({}, 80, 60, 1);
    run.download().StartDownload(0, true);
    for (int i = 0; i < 3; ++i) {
        run.Status(READY);
    }
    auto& buffer = *run.program->buffers.TransferBuffer;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0x5A});
    Packet header = MakeDataPacket(0, {});
    const std::uint32_t bytes = 1'000'000;
    WriteBe32(header, 4, bytes);
    run.Feed(header);
    const std::vector<std::uint8_t> payload(PACKET_PAYLOAD, 0xEE);
    for (std::uint32_t i = 1; i <= DataPacketCount(bytes); ++i) {
        run.Feed(MakeDataPacket(i, payload));
    }
    ASSERT_FALSE(run.shell.messages.empty());
    EXPECT_EQ(run.shell.messages.back().text, TEXT_FILE_SIZE_WRONG);
    EXPECT_FALSE(run.download().download.CaptureWaiting);
    // Whole packets were stored while they fitted (7,980 of 116 bytes), nothing after them:
    // the last 16 bytes of the 925,696 are untouched.
    const auto stored = buffer.begin() + 7'980 * 116;
    EXPECT_EQ(std::count(buffer.begin(), stored, std::uint8_t{0xEE}), 7'980 * 116);
    EXPECT_EQ(std::count(stored, buffer.end(), std::uint8_t{0x5A}), 16);
}

TEST(DownloadEdges, AnAbsurdPictureSizeInTheIndexOpensNoWindow) {
    Handlers run;
    Packet header = Handlers::Header(0, 80, 60, 1);
    WriteBe16(header, 8, 2);  // 2 pixels wide
    run.Feed(header);
    run.Feed(MakeDataPacket(1, {}));
    run.TakeWritten();
    run.download().StartDownload(0, true);
    EXPECT_TRUE(run.shell.createdWindows.empty());
    EXPECT_TRUE(run.TakeWritten().empty());
    EXPECT_EQ(run.shell.messages.back().text, TEXT_FILE_SIZE_WRONG);
}

}  // namespace
}  // namespace fotolyx
