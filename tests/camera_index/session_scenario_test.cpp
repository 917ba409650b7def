#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera_index/pictures_run.h"
#include "imaging/colour_reduction.h"
#include "link/link_setup.h"

namespace fotolyx {
namespace {

using testing::Micros;
using testing::MS;
using testing::PicturesRun;

std::size_t CountOf(const std::vector<std::uint8_t>& bytes, std::uint8_t byte) {
    return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte));
}

TEST(PicturesSession, IndexOfThirtyFillsTheListTheSlotsAndTheScrollRows) {
    PicturesRun run(camsim::MakeSamplePictures(30), false);
    const PictureIndex& index = run.index().index;
    const SelectionState& selection = run.index().selection;
    // The last row is added by the 13th and 17th entries, not by the 14th to 16th.
    const std::pair<int, int> rows[] = {{12, 0}, {13, 1}, {16, 1}, {17, 2}};
    for (const auto& [received, lastRow] : rows) {
        ASSERT_TRUE(run.session.RunUntil([&] { return index.receivedCount == received; }, 60'000));
        EXPECT_EQ(selection.LastRow, lastRow) << received;
        EXPECT_EQ(selection.TopRow, lastRow) << received;  // the grid follows
    }
    ASSERT_TRUE(run.RunUntilIndexLoaded());
    EXPECT_EQ(std::tuple(index.receivedCount, index.reportedCount, selection.LastRow),
              std::tuple(30, 30, 5));
    EXPECT_EQ(index.entries[1].listText, "  2N: 02/5/17 14:06");
    EXPECT_EQ(index.entries[29].fileName, "30N02-5-17(14-34)");
    EXPECT_EQ(run.preview().TotalText(), "30");
    EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(run.session.shell.MenuItem(MenuBar::Preview, CMD_DELETE_ALL), true);
    EXPECT_EQ(run.session.shell.MenuItem(MenuBar::Imagefile, CMD_DATA_OUT_FINE), true);
    EXPECT_EQ(run.session.shell.mdiClientStates.back(), true);
    // Every thumbnail is its camera thumbnail decoded, in the slot of its position (the store
    // has room for the 30 of the identification plus 14).
    EXPECT_EQ(run.index().store->SlotCount(), 409'600u / 40'960 + 30 + 4);
    for (unsigned p : {0u, 13u, 29u}) {
        const auto& thumbnail = run.camera->Pictures()[p];
        camsim::SimPicture asPicture;
        asPicture.width = thumbnail.thumbnailWidth;
        asPicture.height = thumbnail.thumbnailHeight;
        asPicture.jpeg = thumbnail.thumbnail;
        const auto expected = testing::ExpectedPicture(asPicture, run.session.root.path());
        ASSERT_FALSE(expected.empty());
        const auto slot = run.preview().Thumbnail(p);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end() - 60, slot.begin())) << p;
    }
    // Every entry but the end was answered, and the watchdog stopped by itself.
    const auto written = run.session.WrittenSince(0);
    EXPECT_EQ(CountOf(written, INDEX_NEXT), 30u);
    EXPECT_EQ(CountOf(written, NAK), 0u);
    run.session.loop.RunFor(2'000);
    EXPECT_FALSE(run.session.loop.TimerRunning(PREVIEW_WINDOW, WATCHDOG_TIMER));
}

TEST(PicturesSession, ADoubleClickDownloadsThePictureWithItsTreatment) {
    // Fine without treatment, treatment only, treatment with smoothing.
    for (std::uint8_t attribute : {std::uint8_t{0x01}, std::uint8_t{0x31}, std::uint8_t{0x51}}) {
        auto samples = camsim::MakeSamplePictures(3);
        samples[1].attribute = attribute;
        PicturesRun run(samples);
        ASSERT_TRUE(run.loaded);
        run.Click(1);
        const Micros start = run.session.loop.Now();
        run.preview().LButtonDblClk(10 + 140 + 5, 65, 0);
        ASSERT_EQ(run.session.shell.createdWindows.size(), 1u);
        const ChildWindowRequest& request = run.session.shell.createdWindows[0];
        EXPECT_EQ(request.title, "  2F: 02/5/17 14:06");  // all three are Fine
        EXPECT_EQ(std::tuple(request.width, request.height), std::tuple(320 + 4, 240 + 30));
        EXPECT_EQ(request.x, CW_USEDEFAULT);
        ASSERT_TRUE(run.RunUntilDownloadsDone());
        EXPECT_EQ(run.CommandsSince(start),
                  (std::vector<std::uint8_t>{0xA1, 0xB0, 0xC0, PICTURE_GET}));
        PictureWindow* window = run.captures().Find(request.id);
        ASSERT_NE(window, nullptr);
        const auto expected = testing::ExpectedPicture(samples[1], run.session.root.path());
        EXPECT_EQ(window->picture().storage(), expected) << int{attribute};
        EXPECT_EQ(run.session.shell.pleaseWaitEnded,
                  std::vector<PleaseWait>{PleaseWait::DataTrans});
        EXPECT_FALSE(run.session.shell.progressShown);
    }
}

TEST(PicturesSession, TransferOfThreeSelectedOpensTheirWindowsInOrderHalfASecondApart) {
    PicturesRun run(12);
    ASSERT_TRUE(run.loaded);
    run.Click(9);
    run.Click(2, MK_CONTROL);
    run.Click(5, MK_CONTROL);
    EXPECT_EQ(run.index().selection.SelectedCount, 3);
    const Micros start = run.session.loop.Now();
    run.preview().Command(CMD_DATA_IN);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    auto& shell = run.session.shell;
    ASSERT_EQ(shell.createdWindows.size(), 3u);
    EXPECT_EQ(shell.createdWindows[0].title.substr(0, 3), "  3");
    EXPECT_EQ(shell.createdWindows[1].title.substr(0, 3), "  6");
    EXPECT_EQ(shell.createdWindows[2].title.substr(0, 3), " 10");
    EXPECT_EQ(run.CommandsSince(start),
              (std::vector<std::uint8_t>{0xA2, 0xB0, 0xC0, PICTURE_GET, 0xA5, 0xB0, 0xC0,
                                         PICTURE_GET, 0xA9, 0xB0, 0xC0, PICTURE_GET}));
    // The next picture's first digit goes out 500 ms after the previous picture's last ACK.
    const auto& written = run.session.line.Written();
    std::vector<Micros> digitTimes;
    std::vector<Micros> lastAckBefore;
    Micros lastAck = 0;
    for (const auto& byte : written) {
        if (byte.sent < start) {
            continue;
        }
        if (byte.byte == ACK) {
            lastAck = byte.sent;
        }
        if (byte.byte == 0xA5 || byte.byte == 0xA9) {
            digitTimes.push_back(byte.sent);
            lastAckBefore.push_back(lastAck);
        }
    }
    ASSERT_EQ(digitTimes.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        // The last data packet's arrival (one packet time after the last ACK) plus 500 ms.
        EXPECT_GE(digitTimes[i] - lastAckBefore[i], 500 * MS);
        EXPECT_LT(digitTimes[i] - lastAckBefore[i], 520 * MS);
    }
    // One dialog for the whole sequence, ended after the last picture.
    EXPECT_EQ(shell.pleaseWaitShown.size(), 1u);
    EXPECT_EQ(shell.pleaseWaitEnded.size(), 1u);
    EXPECT_EQ(run.captures().Ids().size(), 3u);
}

TEST(PicturesSession, SaveOfTwoSelectedWritesTwoFilesUnderTheirNamesAndClosesTheWindows) {
    PicturesRun run(4);
    ASSERT_TRUE(run.loaded);
    run.Click(0);
    run.Click(3, MK_CONTROL);
    auto& shell = run.session.shell;
    const auto folder = run.session.root.path();
    shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(folder / "1F02-5-17(14-5).jpg").string(), SAVE_FILTER_JPEG});
    shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(folder / "4N02-5-17(14-8).bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
    run.preview().Command(CMD_SAVE_AS);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    ASSERT_EQ(shell.saveRequests.size(), 2u);
    EXPECT_EQ(shell.saveRequests[0].proposedName, "1F02-5-17(14-5)");
    EXPECT_EQ(shell.saveRequests[1].proposedName, "4N02-5-17(14-8)");
    EXPECT_EQ(shell.createdWindows[0].x, 5);
    EXPECT_TRUE(std::filesystem::file_size(folder / "1F02-5-17(14-5).jpg") > 1000);
    EXPECT_EQ(std::filesystem::file_size(folder / "4N02-5-17(14-8).bmp"), 54u + 320 * 240 * 3);
    EXPECT_TRUE(run.captures().Ids().empty());
    EXPECT_FALSE(run.download().download.SaveAfterDownload);
}

TEST(PicturesSession, DeleteAllOfThirtyEmptiesTheGrid) {
    PicturesRun run(30);
    ASSERT_TRUE(run.loaded);
    run.preview().Command(CMD_DELETE_ALL);
    auto& shell = run.session.shell;
    EXPECT_EQ(shell.messages.back().text, TEXT_DELETE_ALL);
    ASSERT_TRUE(run.session.RunUntil([&] { return !shell.pleaseWaitEnded.empty(); }, 10'000));
    const IndexTransfer& index = run.index();
    EXPECT_EQ(
        std::tuple(index.index.reportedCount, index.index.receivedCount, index.selection.LastRow),
        std::tuple(0, 0, 0));
    EXPECT_EQ(shell.MenuItem(MenuBar::Current, CMD_DELETE_ALL), false);
    const auto cells = run.preview().CellsInView();
    EXPECT_TRUE(std::none_of(cells.begin(), cells.end(),
                             [](const PreviewCell& c) { return c.received || !c.text.empty(); }));
    EXPECT_TRUE(run.camera->Pictures().empty());
    // The marks were used up: a second DELETE_DONE would remove nothing more.
    EXPECT_EQ(std::count(index.selection.SelectionMark.begin(), index.selection.SelectionMark.end(),
                         MARK_DELETE),
              0);
}

TEST(PicturesSession, ReloadWhileADownloadDialogIsOpenClosesItAndReadsTheIndexAgain) {
    PicturesRun run(6);
    ASSERT_TRUE(run.loaded);
    run.Click(4);
    run.preview().Command(CMD_DATA_IN);
    run.session.loop.RunFor(100);
    ASSERT_TRUE(run.program().pleaseWait.Current().has_value());
    run.preview().Command(CMD_RELOAD);
    auto& shell = run.session.shell;
    EXPECT_EQ(shell.messages.back().text, TEXT_RELOAD);
    EXPECT_EQ(shell.pleaseWaitEnded, std::vector<PleaseWait>{PleaseWait::DataTrans});
    EXPECT_FALSE(run.index().index.IndexLoaded);
    EXPECT_EQ(run.index().index.receivedCount, 0);
    EXPECT_EQ((shell.scrollBars[{PREVIEW_WINDOW, ScrollBarKind::Vertical}].page), 1000);
    EXPECT_EQ(run.session.line.WrittenBytes().back(), RESET_LINK);
    ASSERT_TRUE(run.RunUntilIndexLoaded());
    EXPECT_EQ(run.index().index.receivedCount, 6);
    EXPECT_EQ(run.session.Allocations(20 * THUMBNAIL_SLOT_SIZE), 2);  // the store made afresh
}

TEST(PicturesSession, ClosingAWaitingWindowDropsItsPictureAndTheNextDownloadWorks) {
    PicturesRun run(3);
    ASSERT_TRUE(run.loaded);
    run.Click(0);
    run.preview().Command(CMD_DATA_IN);
    // Half-way through the picture the user closes the DATA_TRANS dialog.
    ASSERT_TRUE(
        run.session.RunUntil([&] { return run.download().download.blockCounter > 20; }, 10'000));
    const WindowId first = run.session.shell.createdWindows[0].id;
    run.download().PleaseWaitClosed(PleaseWait::DataTrans);
    EXPECT_FALSE(run.session.shell.WindowOpen(first));
    EXPECT_EQ(run.index().selection.CurrentPicture, NO_PICTURE);
    EXPECT_EQ(run.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(run.session.shell.MenuItem(MenuBar::Current, CMD_DATA_IN), false);
    // The camera sends the rest, which is dropped.
    run.session.loop.RunFor(20'000);
    EXPECT_TRUE(run.captures().Ids().empty());
    run.Click(2);
    const Micros start = run.session.loop.Now();
    run.preview().Command(CMD_DATA_IN);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    // Its first header is taken at once: no NAK, no repeated command.
    EXPECT_EQ(CountOf(run.session.WrittenSince(start), NAK), 0u);
    ASSERT_EQ(run.captures().Ids().size(), 1u);
    PictureWindow* window = run.captures().Find(run.captures().Ids()[0]);
    EXPECT_EQ(window->picture().storage(),
              testing::ExpectedPicture(run.camera->Pictures()[2], run.session.root.path()));
}

TEST(PicturesSession, AnEmptyCameraIsReportedOnceAndNotAnswered) {
    PicturesRun run(std::vector<camsim::SimPicture>{});
    ASSERT_TRUE(run.loaded);
    auto& shell = run.session.shell;
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text, TEXT_NO_IMAGES);
    EXPECT_EQ(shell.messages[0].caption, CAPTION_VISTACAM_INFO);
    run.session.loop.RunFor(5'000);
    EXPECT_EQ(run.session.line.WrittenBytes().back(), INDEX_GET);
    EXPECT_EQ(shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(shell.MenuItem(MenuBar::Preview, CMD_RELOAD), true);
    EXPECT_FALSE(shell.MenuItem(MenuBar::Preview, CMD_DELETE_ALL).has_value());
    EXPECT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.linkDialogsShown.empty());
}

TEST(PicturesSession, OnAnEightBitScreenTheWindowGetsThePicturesOwnPalette) {
    testing::LinkSession session;
    session.environment.trueColourDisplay = false;
    camsim::CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 20'000));
    program.previewWindow.LButtonDown(70, 105, 0);
    program.previewWindow.Command(CMD_DATA_IN);
    ASSERT_TRUE(
        session.RunUntil([&] { return !program.pictureDownload.download.CaptureWaiting; }, 60'000));
    PictureWindow* window = program.captureWindows.Find(program.captureWindows.Ids().at(0));
    ASSERT_TRUE(window->palette().has_value());
    LogPalette expected;
    ASSERT_EQ(BuildPopularityPalette(session.shell, window->picture(), expected), 1);
    auto same = [](const LogPalette& a, const LogPalette& b) {
        return std::equal(a.palPalEntry.begin(), a.palPalEntry.end(), b.palPalEntry.begin(),
                          [](const PaletteEntry& x, const PaletteEntry& y) {
                              return x.peRed == y.peRed && x.peGreen == y.peGreen &&
                                     x.peBlue == y.peBlue && x.peFlags == y.peFlags;
                          });
    };
    EXPECT_TRUE(same(*window->palette(), expected));
    ASSERT_TRUE(program.display.ImagePalette.has_value());
    EXPECT_TRUE(same(*program.display.ImagePalette, expected));
    EXPECT_TRUE(program.display.ScreenPalette.has_value());
}

}  // namespace
}  // namespace fotolyx
