#include <gtest/gtest.h>

#include <algorithm>

#include "camera_index/handlers.h"
#include "camera_index/pictures_run.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "upload/picture_upload.h"

namespace fotolyx {
namespace {

using testing::Handlers;
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
        const DownloadState& download = run.pictures().download;
        EXPECT_EQ(download.RemainingCount, 0) << c.name;
        EXPECT_FALSE(download.SaveAfterDownload) << c.name;
        EXPECT_FALSE(run.pictures().PleaseWaitDialog().has_value()) << c.name;
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
        EXPECT_FALSE(run.pictures().PleaseWaitDialog().has_value()) << c.name;
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
            names.push_back(run.pictures().index.entries[p].fileName);
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
        const PictureIndex& index = run.pictures().index;
        ASSERT_EQ(index.receivedCount, c.kept.size()) << c.name;
        for (std::size_t p = 0; p < c.kept.size(); ++p) {
            EXPECT_EQ(index.entries[p].fileName, names[c.kept[p]]) << c.name << " " << p;
        }
    }
}

// A program with `count` entries listed by hand, each with the light grey placeholder.
struct Listed : Handlers {
    Listed(int count, std::uint16_t reported, std::uint32_t slots) : Handlers(slots) {
        for (int i = 0; i < count; ++i) {
            Entry({}, 80, 60, reported);
        }
        Feed(Header(0, 0, 0, reported, 102, 0, true));
        TakeWritten();
    }
    // Deletes the picture in the first cell of the grid.
    void DeleteFirst() {
        pictures().preview.LButtonDown(70, 105, 0);
        pictures().preview.Command(CMD_DELETE_PAGE);
        for (int i = 0; i < 5; ++i) {
            Status(READY);
        }
        Status(DELETE_DONE);
    }
};

TEST(MarkedPictures, WithNothingMarkedDeletePageAndDataInDoNothing) {
    for (const int command : {CMD_DELETE_PAGE, CMD_DATA_IN, CMD_SAVE_AS}) {
        Listed run(6, 6, 10);
        run.pictures().preview.LButtonDown(70, 105, 0);
        run.pictures().selection.SelectionMark.fill(MARK_NONE);
        const std::size_t messages = run.shell.messages.size();
        run.pictures().preview.Command(command);
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
    ASSERT_EQ(run.pictures().store->SlotCount(), 3u);
    // The placeholder of a listed entry is 0xE0; an empty slot is 0x80.
    EXPECT_EQ(run.pictures().store->Slot(2)[40], 0xE0);
    run.DeleteFirst();
    const ThumbnailStore& store = *run.pictures().store;
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
        EXPECT_EQ(run.pictures().index.reportedCount, reported - 1);
        EXPECT_EQ(run.pictures().selection.LastRow, lastRow) << reported;
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
        run.pictures().preview.LButtonDown(70, 105, 0);
        run.pictures().preview.Command(command);
        ASSERT_FALSE(run.shell.messages.empty());
        EXPECT_EQ(run.shell.messages.back().text, TEXT_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(run.shell.messages.back().caption, CAPTION_GLOBAL_MEMORY);
        EXPECT_TRUE(run.shell.createdWindows.empty());
        EXPECT_TRUE(run.TakeWritten().empty());
        EXPECT_TRUE(run.shell.pleaseWaitShown.empty());
        EXPECT_FALSE(run.pictures().download.SaveAfterDownload);
    }
}

// Every transfer that ends or fails and every set-up that is given up leaves "Ready".
TEST(StatusBar, EveryEndedTransferAndGivenUpSetupSaysReady) {
    {
        // Esc on DATA_TRANS during a download.
        PicturesRun run(3);
        ASSERT_TRUE(run.loaded);
        run.Click(0);
        run.preview().Command(CMD_DATA_IN);
        ASSERT_TRUE(
            run.session.RunUntil([&] { return run.pictures().download.blockCounter > 5; }, 10'000));
        EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_RECEIVE_IMAGE);
        run.pictures().PleaseWaitClosed(PleaseWait::DataTrans);
        EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_READY);
        run.session.loop.RunFor(5'000);
        EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_READY);
    }
    {
        // An empty camera: the index transfer ends at its first header.
        PicturesRun run(std::vector<camsim::SimPicture>{});
        ASSERT_TRUE(run.loaded);
        ASSERT_FALSE(run.session.shell.statusTexts.empty());
        EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_READY);
    }
    for (const bool viaDisconnect : {false, true}) {
        // No camera: COM_RECONNECT, Cancel, then OK in COM_CANCELOK.
        testing::LinkSession session;
        session.line.AddSilentDevice(PORT_COM1);
        Program& program = session.Start();
        ASSERT_TRUE(session.RunUntil([&] { return session.DialogShown(LinkDialog::ComReconnect); },
                                     20'000));
        ASSERT_FALSE(session.shell.statusTexts.empty());
        EXPECT_EQ(session.shell.statusTexts.back(), TEXT_SETUP_PROCEEDING);
        if (viaDisconnect) {
            program.linkSetup.DisconnectCancel();
        } else {
            program.linkSetup.ReconnectCancel();
        }
        program.linkSetup.CancelOkOk();
        EXPECT_EQ(session.shell.statusTexts.back(), TEXT_READY) << viaDisconnect;
    }
}

// An upload into an index that already lists 800 pictures is refused before anything is sent.
TEST(FullIndex, AnUploadIntoAFullIndexIsRefusedBeforeAnythingIsSent) {
    Listed run(2, 2, 10);
    Program& program = *run.program;
    run.pictures().index.receivedCount = 800;
    run.pictures().index.reportedCount = 800;
    PictureWindow* window = program.CreateOpenfileWindow("full.bmp", false);
    ASSERT_NE(window, nullptr);
    for (const int command : {CMD_DATA_OUT_FINE, CMD_DATA_OUT_NORMAL}) {
        run.shell.messages.clear();
        window->Command(command);
        ASSERT_EQ(run.shell.messages.size(), 1u) << command;
        EXPECT_EQ(run.shell.messages[0].text, TEXT_INDEX_FULL);
        EXPECT_EQ(run.shell.messages[0].caption, CAPTION_VISTACAM_INFO);
        EXPECT_TRUE(run.TakeWritten().empty()) << command;
        EXPECT_EQ(program.link.TransferMode, TRANSFER_INDEX) << command;
        EXPECT_EQ(run.pictures().index.receivedCount, 800);
    }
    // The grid has no position 800 to click, whatever the counts say.
    run.pictures().selection.LastRow = 200;
    run.pictures().preview.VScroll(SB_THUMBTRACK, 200);
    EXPECT_FALSE(run.pictures().preview.HitTest(70, 105).has_value());
}

}  // namespace
}  // namespace fotolyx
