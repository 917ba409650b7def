#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera_index/fixtures.h"

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

TEST(IndexEdges, EntriesAddScrollRowsAtTheThirteenthAndSeventeenthAndShowTheirYear) {
    Handlers run;
    int received = 0;
    for (const auto& [count, lastRow] : {std::pair{12, 0}, {13, 1}, {16, 1}, {17, 2}}) {
        for (; received < count; ++received) {
            run.Entry({}, 80, 60, 30, 99 + received % 4);  // years 1999 to 2002
        }
        EXPECT_EQ(run.index().selection.LastRow, lastRow) << count;
        EXPECT_EQ(run.index().selection.TopRow, lastRow) << count;
    }
    // The year byte loses its century from 100 on.
    std::string years;
    for (int p = 0; p < 4; ++p) {
        years += run.index().index.entries[p].listText.substr(6, 3);
    }
    EXPECT_EQ(years, "99/00/01/02/");
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
    run.Feed(Handlers::Header(0, 0, 0, 2, 102, true));
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
    EXPECT_EQ(run.index().index.thumbnailWriteOffset, 0u);
    // The next packet must be the entry's header again.
    run.Feed(MakeDataPacket(2, {}));
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{NAK});
    // CAMERA_NOTICE is not answered; READY with no step pending is bad.
    run.Status(CAMERA_NOTICE);
    EXPECT_TRUE(run.TakeWritten().empty());
    run.Status(READY);
    EXPECT_EQ(run.TakeWritten(), std::vector<std::uint8_t>{NAK});
}

// Every data packet but the entry's last is answered ACK (112 bytes are two packets); a thumbnail
// the slot cannot take is listed with the light grey placeholder, one of another size or no JPEG
// is reported and its entry not answered.
TEST(IndexEdges, ThumbnailsTheSlotCannotTakeGetThePlaceholderOrAreReported) {
    using Bytes = std::vector<std::uint8_t>;
    const std::tuple<Bytes, std::uint16_t, std::uint16_t, const char*> cases[] = {
        {Bytes(50, 0), 80, 60, nullptr},
        {Bytes(111, 0), 80, 60, nullptr},
        {Bytes(60'000, 0x55), 80, 60, nullptr},                      // larger than the buffer
        {camsim::MakeSceneJpeg(200, 200, 1, 5), 200, 200, nullptr},  // pixels larger
        {Bytes(112, 0), 80, 60, TEXT_FILE_TYPE_WRONG},
        {camsim::MakeSceneJpeg(80, 60, 1, 75), 80, 64, TEXT_FILE_SIZE_WRONG},
    };
    for (const auto& [jpeg, width, height, message] : cases) {
        Handlers run;
        run.Entry(jpeg, width, height, 2);
        const auto written = run.TakeWritten();
        EXPECT_EQ(std::count(written.begin(), written.end(), ACK), jpeg.size() / 112 + 1);
        EXPECT_EQ(written.back() == INDEX_NEXT, message == nullptr) << jpeg.size();
        EXPECT_EQ(run.index().index.receivedCount, message == nullptr ? 1 : 0) << jpeg.size();
        if (message == nullptr) {
            const auto slot = run.preview().Thumbnail(0);
            EXPECT_EQ(std::tuple(ReadLe32(slot.data() + 4), ReadLe32(slot.data() + 8), slot[40],
                                 slot[40 + 128 * 56 * 3 - 1]),
                      std::tuple(128u, 56u, 0xE0, 0xE0));
            EXPECT_TRUE(run.shell.messages.empty()) << jpeg.size();
        } else {
            ASSERT_EQ(run.shell.messages.size(), 1u);
            EXPECT_EQ(run.shell.messages[0].text, message);
        }
    }
}

TEST(IndexEdges, ThumbnailRowsOfOddWidthsKeepTheirPlaces) {
    Handlers run;
    const auto thumbnail = camsim::MakeSceneJpeg(78, 58, 2, 95);
    run.Entry(thumbnail, 78, 58, 1);
    ASSERT_EQ(run.index().index.receivedCount, 1);
    // Compared with a decode of the same file: 78 pixels are 234 bytes, padded to 236.
    testing::WriteBytes(run.root / "t.jpg", thumbnail);
    JpegState state;
    ASSERT_EQ(DecompressJpegToBmp(state, run.root / "t.jpg", run.root / "t.bmp", 0), 1);
    const auto bmp = testing::ReadBytes(run.root / "t.bmp");
    const auto slot = run.preview().Thumbnail(0);
    EXPECT_EQ(ReadLe32(slot.data() + 4), 78u);
    EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.begin() + 54 + 236 * 58, slot.begin() + 40));
}

TEST(IndexEdges, ARepeatedDeleteDoneRemovesNothingMore) {
    testing::Listed run(5);
    run.index().selection.SelectionMark[1] = MARK_DELETE;
    run.Status(DELETE_DONE);
    EXPECT_EQ(run.index().index.reportedCount, 4);
    run.Status(DELETE_DONE);
    EXPECT_EQ(std::tuple(run.index().index.reportedCount, run.index().index.receivedCount),
              std::tuple(4, 4));
    EXPECT_EQ(run.TakeWritten(), (std::vector<std::uint8_t>{NAK, NAK}));
}

}  // namespace
}  // namespace fotolyx
