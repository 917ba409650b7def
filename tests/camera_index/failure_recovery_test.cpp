#include <gtest/gtest.h>

#include <algorithm>

#include "camera_index/handlers.h"
#include "camera_index/pictures_run.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "upload/picture_upload.h"

namespace fotolyx {
namespace {

using testing::Listed;
using testing::Micros;
using testing::PicturesRun;

// A picture whose JPEG data is no JPEG at all: it cannot be decoded.
camsim::SimPicture Undecodable(camsim::SimPicture picture) {
    picture.jpeg.assign(700, 0x11);
    return picture;
}

// A picture whose size in the index no Capture window takes.
camsim::SimPicture Refused(camsim::SimPicture picture) {
    picture.width = 2;
    return picture;
}

// Any failure ends the whole multi-picture download: no next picture, no save dialog, DATA_TRANS
// closed and "Ready"; a later double-click downloads its one picture once.
TEST(DownloadFailures, AFailedPictureEndsTheWholeSequence) {
    struct Case {
        const char* name;
        unsigned bad;  // position of the failing picture
        std::function<camsim::SimPicture(camsim::SimPicture)> spoil;
        int command;
        const char* message;
        std::size_t windows;  // Capture windows opened by the sequence
        std::size_t saves;    // save dialogs asked for
    };
    const Case cases[] = {
        {"first of two does not decode", 0, Undecodable, CMD_DATA_IN, TEXT_FILE_TYPE_WRONG, 1, 0},
        {"first of two does not decode, Save...", 0, Undecodable, CMD_SAVE_AS, TEXT_FILE_TYPE_WRONG,
         1, 0},
        {"second of two has a refused size", 2, Refused, CMD_DATA_IN, TEXT_FILE_SIZE_WRONG, 1, 0},
        {"second of two has a refused size, Save...", 2, Refused, CMD_SAVE_AS, TEXT_FILE_SIZE_WRONG,
         1, 1},
    };
    for (const Case& c : cases) {
        auto samples = camsim::MakeSamplePictures(4);
        samples[c.bad] = c.spoil(samples[c.bad]);
        PicturesRun run(samples);
        ASSERT_TRUE(run.loaded) << c.name;
        auto& shell = run.session.shell;
        shell.scriptedSaveAnswers.push_back(SaveDialogResult{
            (run.session.root / "first.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
        run.Click(0);
        run.Click(2, MK_CONTROL);
        run.preview().Command(c.command);
        ASSERT_TRUE(run.RunUntilDownloadsDone()) << c.name;
        run.session.loop.RunFor(3'000);
        ASSERT_FALSE(shell.messages.empty()) << c.name;
        EXPECT_EQ(shell.messages.back().text, c.message) << c.name;
        EXPECT_EQ(shell.createdWindows.size(), c.windows) << c.name;
        EXPECT_EQ(shell.saveRequests.size(), c.saves) << c.name;
        const DownloadState& download = run.download().download;
        EXPECT_EQ(download.RemainingCount, 0) << c.name;
        EXPECT_FALSE(download.SaveAfterDownload) << c.name;
        EXPECT_FALSE(run.program().pleaseWait.Current().has_value()) << c.name;
        EXPECT_EQ(shell.pleaseWaitShown.size(), shell.pleaseWaitEnded.size()) << c.name;
        EXPECT_EQ(shell.statusTexts.back(), TEXT_READY) << c.name;
        EXPECT_FALSE(shell.progressShown) << c.name;
        // A later double-click on picture 3 downloads it once, into one window.
        const std::size_t before = shell.createdWindows.size();
        run.preview().LButtonDblClk(10 + 140 * 3 + 5, 65, 0);
        ASSERT_TRUE(run.RunUntilDownloadsDone()) << c.name;
        run.session.loop.RunFor(3'000);
        EXPECT_EQ(shell.createdWindows.size(), before + 1) << c.name;
        EXPECT_EQ(shell.saveRequests.size(), c.saves) << c.name;
        EXPECT_FALSE(run.program().pleaseWait.Current().has_value()) << c.name;
    }
}

// Delete Page and Data in act on the marked pictures only: a current picture the user just
// deselected with Ctrl is kept, and with nothing marked nothing is sent.
TEST(MarkedPictures, DeletePageAndDataInActOnTheMarkedPicturesOnly) {
    struct Case {
        const char* name;
        std::vector<std::pair<unsigned, unsigned>> clicks;  // position, keys
        int command;
        std::vector<std::uint8_t> commands;
        std::vector<unsigned> kept;  // old positions still listed, in order (deletions)
    };
    const Case cases[] = {
        {"Delete Page after 9 was deselected",
         {{2, 0}, {5, MK_CONTROL}, {9, MK_CONTROL}, {9, MK_CONTROL}},
         CMD_DELETE_PAGE,
         {DELETE_BEGIN, 0xA5, 0xB0, 0xC0, DELETE_PICTURE, 0xA2, 0xB0, 0xC0, DELETE_PICTURE,
          DELETE_END},
         {0, 1, 3, 4, 6, 7, 8, 9, 10, 11}},
        {"Delete Page after 2 was deselected",
         {{5, 0}, {2, MK_CONTROL}, {2, MK_CONTROL}},
         CMD_DELETE_PAGE,
         {DELETE_BEGIN, 0xA5, 0xB0, 0xC0, DELETE_PICTURE, DELETE_END},
         {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11}},
        {"Delete Page: the current picture first, then from the top down",
         {{2, 0}, {9, MK_CONTROL}, {5, MK_CONTROL}},
         CMD_DELETE_PAGE,
         {DELETE_BEGIN, 0xA5, 0xB0, 0xC0, DELETE_PICTURE, 0xA9, 0xB0, 0xC0, DELETE_PICTURE, 0xA2,
          0xB0, 0xC0, DELETE_PICTURE, DELETE_END},
         {0, 1, 3, 4, 6, 7, 8, 10, 11}},
        {"Data in after 5 was deselected",
         {{2, 0}, {5, MK_CONTROL}, {5, MK_CONTROL}},
         CMD_DATA_IN,
         {0xA2, 0xB0, 0xC0, PICTURE_GET},
         {}},
    };
    for (const Case& c : cases) {
        PicturesRun run(12);
        ASSERT_TRUE(run.loaded) << c.name;
        std::vector<std::string> names;
        for (unsigned p = 0; p < 12; ++p) {
            names.push_back(run.index().index.entries[p].fileName);
        }
        for (const auto& [position, keys] : c.clicks) {
            run.Click(position, keys);
        }
        const Micros start = run.session.loop.Now();
        run.preview().Command(c.command);
        run.session.loop.RunFor(20'000);
        EXPECT_EQ(run.CommandsSince(start), c.commands) << c.name;
        if (c.kept.empty()) {
            continue;
        }
        const PictureIndex& index = run.index().index;
        ASSERT_EQ(index.receivedCount, c.kept.size()) << c.name;
        EXPECT_EQ(run.camera->Pictures().size(), c.kept.size()) << c.name;
        for (std::size_t p = 0; p < c.kept.size(); ++p) {
            EXPECT_EQ(index.entries[p].fileName, names[c.kept[p]]) << c.name << " " << p;
        }
    }
}

TEST(MarkedPictures, WithNothingMarkedDeletePageAndDataInDoNothing) {
    for (const int command : {CMD_DELETE_PAGE, CMD_DATA_IN, CMD_SAVE_AS}) {
        Listed run(6, 6, 10);
        run.ClickCell(0, 0);
        run.index().selection.SelectionMark.fill(MARK_NONE);
        const std::size_t messages = run.shell.messages.size();
        run.preview().Command(command);
        EXPECT_TRUE(run.TakeWritten().empty()) << command;
        EXPECT_EQ(run.shell.messages.size(), messages) << command;
        EXPECT_TRUE(run.shell.createdWindows.empty()) << command;
        EXPECT_TRUE(run.shell.pleaseWaitShown.empty()) << command;
    }
}

// After a deletion every position shows the thumbnail of the picture now there; a picture that
// had no slot leaves the empty mid-grey picture behind, not the thumbnail of another.
TEST(DeletionEdges, ThumbnailsMoveWithTheirPicturesOrLeaveTheEmptyPicture) {
    Listed run(5, 5, 3);  // slots for positions 0 to 2 only
    ASSERT_EQ(run.index().store->SlotCount(), 3u);
    // The placeholder of a listed entry is 0xE0; an empty slot is 0x80.
    EXPECT_EQ(run.index().store->Slot(2)[40], 0xE0);
    run.DeleteFirst();
    const ThumbnailStore& store = *run.index().store;
    EXPECT_EQ(store.Slot(0)[40], 0xE0);
    EXPECT_EQ(store.Slot(1)[40], 0xE0);
    // Position 2 now holds the former position 3, which never had a thumbnail.
    const auto slot = store.Slot(2);
    EXPECT_TRUE(
        std::all_of(slot.begin() + 40, slot.end(), [](std::uint8_t b) { return b == 0x80; }));
    EXPECT_EQ(ReadLe32(slot.data() + 4), 128u);
    EXPECT_EQ(ReadLe32(slot.data() + 8), 56u);
}

// The scroll rows after a deletion come from the reported count, however large.
TEST(DeletionEdges, TheLastRowAfterADeletionDoesNotWrap) {
    const std::pair<std::uint16_t, int> cases[] = {
        {13, 0}, {14, 1}, {1'030, 255}, {1'034, 256}, {2'000, 497}};
    for (const auto& [reported, lastRow] : cases) {
        Listed run(2, reported, 10);
        run.DeleteFirst();
        EXPECT_EQ(run.index().index.reportedCount, reported - 1);
        EXPECT_EQ(run.index().selection.LastRow, lastRow) << reported;
        const auto bar = run.shell.scrollBars[{PREVIEW_WINDOW, ScrollBarKind::Vertical}];
        EXPECT_EQ(bar.max, lastRow) << reported;
    }
}

// Without a TransferBuffer (its allocation failed at start) no download starts: the memory
// message, and no window, no command, no DATA_TRANS.
TEST(DownloadFailures, WithoutATransferBufferNothingStarts) {
    for (const int command : {CMD_DATA_IN, CMD_SAVE_AS}) {
        Listed run(4, 4, 10);
        run.program->buffers.TransferBuffer.reset();
        run.ClickCell(0, 0);
        run.preview().Command(command);
        ASSERT_FALSE(run.shell.messages.empty());
        EXPECT_EQ(run.shell.messages.back().text, TEXT_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(run.shell.messages.back().caption, CAPTION_GLOBAL_MEMORY);
        EXPECT_TRUE(run.shell.createdWindows.empty());
        EXPECT_TRUE(run.TakeWritten().empty());
        EXPECT_TRUE(run.shell.pleaseWaitShown.empty());
        EXPECT_FALSE(run.download().download.SaveAfterDownload);
    }
}

}  // namespace
}  // namespace fotolyx
