#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "camera_index/fixtures.h"
#include "imaging/colour_reduction.h"
#include "link/link_setup.h"

namespace fotolyx {
namespace {

using testing::Micros;
using testing::PicturesRun;

TEST(PicturesSession, IndexOfThirtyAnswersEveryEntryAndStopsTheWatchdog) {
    PicturesRun run(30);
    // The store has room for the 30 of the identification plus 14.
    EXPECT_EQ(run.index().store->SlotCount(), 409'600u / 40'960 + 30 + 4);
    EXPECT_EQ(std::tuple(run.Count(INDEX_NEXT), run.Count(NAK)), std::tuple(30u, 0u));
    run.session.loop.RunFor(2'000);
    EXPECT_FALSE(run.session.loop.TimerRunning(PREVIEW_WINDOW, WATCHDOG_TIMER));
}

// Fine without treatment, treatment only, treatment with smoothing (on an eight-bit screen).
TEST(PicturesSession, ADoubleClickDownloadsThePictureWithItsTreatmentAndPalette) {
    for (const auto& [attribute, trueColour] :
         {std::pair<std::uint8_t, bool>{0x01, true}, {0x31, true}, {0x51, false}}) {
        auto samples = camsim::MakeSamplePictures(3);
        samples[1].attribute = attribute;
        PicturesRun run(samples, trueColour);
        run.Click(1);
        const Micros start = run.session.loop.Now();
        run.preview().LButtonDblClk(10 + 140 + 5, 65, 0);
        ASSERT_EQ(run.shell().createdWindows.size(), 1u);
        const ChildWindowRequest& request = run.shell().createdWindows[0];
        EXPECT_EQ(std::tuple(request.title, request.width, request.height, request.x),
                  std::tuple("  2F: 02/5/17 14:06", 320 + 4, 240 + 30, CW_USEDEFAULT));
        ASSERT_TRUE(run.RunUntilDownloadsDone());
        EXPECT_EQ(run.CommandsSince(start),
                  (std::vector<std::uint8_t>{0xA1, 0xB0, 0xC0, PICTURE_GET}));
        EXPECT_TRUE(run.NewestWindowShows(1)) << int{attribute};
        PictureWindow* window = run.captures().Find(request.id);
        ASSERT_EQ(window->palette().has_value(), !trueColour);
        if (!trueColour) {
            LogPalette expected;
            ASSERT_EQ(BuildPopularityPalette(run.shell(), window->picture(), expected), 1);
            auto same = [&](const LogPalette& palette) {
                return std::memcmp(palette.palPalEntry.data(), expected.palPalEntry.data(),
                                   sizeof expected.palPalEntry) == 0;
            };
            EXPECT_TRUE(same(*window->palette()));
            EXPECT_TRUE(same(run.program().display.ImagePalette.value_or(LogPalette{})));
            EXPECT_TRUE(run.program().display.ScreenPalette.has_value());
        }
    }
}

TEST(PicturesSession, TransferOfThreeSelectedOpensTheirWindowsInOrderHalfASecondApart) {
    PicturesRun run(12);
    run.Click(9);
    run.Click(2, MK_CONTROL);
    run.Click(5, MK_CONTROL);
    const Micros start = run.session.loop.Now();
    run.preview().Command(CMD_DATA_IN);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    auto& shell = run.shell();
    ASSERT_EQ(shell.createdWindows.size(), 3u);
    EXPECT_EQ(shell.createdWindows[2].title.substr(0, 3), " 10");
    EXPECT_EQ(run.CommandsSince(start),
              (std::vector<std::uint8_t>{0xA2, 0xB0, 0xC0, PICTURE_GET, 0xA5, 0xB0, 0xC0,
                                         PICTURE_GET, 0xA9, 0xB0, 0xC0, PICTURE_GET}));
    // A next picture's first digit goes out 500 ms after the last data packet, which comes one
    // packet time after the last ACK.
    Micros lastAck = 0;
    int gaps = 0;
    for (const auto& byte : run.session.line.Written()) {
        if (byte.sent >= start && byte.byte == ACK) {
            lastAck = byte.sent;
        } else if (byte.sent >= start && (byte.byte == 0xA5 || byte.byte == 0xA9)) {
            ++gaps;
            EXPECT_GE(byte.sent - lastAck, 500 * testing::MS);
            EXPECT_LT(byte.sent - lastAck, 520 * testing::MS);
        }
    }
    EXPECT_EQ(gaps, 2);
    // One dialog for the whole sequence, ended after the last picture.
    EXPECT_EQ(std::tuple(shell.pleaseWaitShown.size(), shell.pleaseWaitEnded.size(),
                         run.captures().Ids().size()),
              std::tuple(1u, 1u, 3u));
}

TEST(PicturesSession, SaveOfTwoSelectedWritesTwoFilesUnderTheirNamesAndClosesTheWindows) {
    PicturesRun run(4);
    run.Click(0);
    run.Click(3, MK_CONTROL);
    auto& shell = run.shell();
    const auto folder = run.session.root.path();
    shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(folder / "first.jpg").string(), SAVE_FILTER_JPEG});
    shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(folder / "second.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
    run.preview().Command(CMD_SAVE_AS);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    ASSERT_EQ(shell.saveRequests.size(), 2u);
    EXPECT_EQ(std::tuple(shell.saveRequests[0].proposedName, shell.saveRequests[1].proposedName),
              std::tuple("1F02-5-17(14-5)", "4N02-5-17(14-8)"));
    EXPECT_EQ(shell.createdWindows[0].x, 5);
    EXPECT_GT(std::filesystem::file_size(folder / "first.jpg"), 1000u);
    EXPECT_EQ(std::filesystem::file_size(folder / "second.bmp"), 54u + 320 * 240 * 3);
    EXPECT_TRUE(run.captures().Ids().empty());
    EXPECT_FALSE(run.download().download.SaveAfterDownload);
}

// Reload, even with a download's dialog open, reads the index afresh; Delete All empties the
// grid; an empty camera is reported once and its end of the index not answered.
TEST(PicturesSession, ReloadAndDeleteAllStartTheIndexAfresh) {
    PicturesRun run(6);
    auto& shell = run.shell();
    const PictureIndex& index = run.index().index;
    run.Click(4);
    run.preview().Command(CMD_DATA_IN);
    run.session.loop.RunFor(100);
    run.preview().Command(CMD_RELOAD);
    EXPECT_EQ(shell.messages.back().text, TEXT_RELOAD);
    EXPECT_EQ(shell.pleaseWaitEnded, std::vector<PleaseWait>{PleaseWait::DataTrans});
    EXPECT_EQ(std::tuple(index.IndexLoaded, index.receivedCount), std::tuple(false, 0));
    EXPECT_EQ(run.session.line.WrittenBytes().back(), RESET_LINK);
    ASSERT_TRUE(run.session.RunUntil([&] { return index.IndexLoaded; }, 60'000));
    EXPECT_EQ(index.receivedCount, 6);
    EXPECT_EQ(run.session.Allocations(20 * THUMBNAIL_SLOT_SIZE), 2);  // the store made afresh
    run.preview().Command(CMD_DELETE_ALL);
    EXPECT_EQ(shell.messages.back().text, TEXT_DELETE_ALL);
    ASSERT_TRUE(run.session.RunUntil([&] { return shell.pleaseWaitEnded.size() == 2; }, 10'000));
    EXPECT_EQ(std::tuple(index.reportedCount, index.receivedCount, run.index().selection.LastRow),
              std::tuple(0, 0, 0));
    const auto cells = run.preview().CellsInView();
    EXPECT_TRUE(std::none_of(cells.begin(), cells.end(),
                             [](const PreviewCell& c) { return c.received || !c.text.empty(); }));
    EXPECT_TRUE(run.camera->Pictures().empty());
    const std::size_t messages = shell.messages.size();
    run.session.loop.RunFor(3'000);  // the camera done with the erasure
    run.preview().Command(CMD_RELOAD);
    run.session.loop.RunFor(5'000);
    ASSERT_EQ(shell.messages.size(), messages + 2);
    EXPECT_EQ(std::tuple(shell.messages.back().text, shell.messages.back().caption),
              std::tuple(TEXT_NO_IMAGES, CAPTION_VISTACAM_INFO));
    EXPECT_EQ(run.session.line.WrittenBytes().back(), INDEX_GET);
    EXPECT_TRUE(shell.linkDialogsShown.empty());
}

TEST(PicturesSession, ClosingAWaitingWindowDropsItsPictureAndTheNextDownloadWorks) {
    PicturesRun run(3);
    run.Click(0);
    run.preview().Command(CMD_DATA_IN);
    // Half-way through the picture the user closes the DATA_TRANS dialog.
    ASSERT_TRUE(
        run.session.RunUntil([&] { return run.download().download.blockCounter > 20; }, 10'000));
    run.download().PleaseWaitClosed(PleaseWait::DataTrans);
    EXPECT_FALSE(run.shell().WindowOpen(run.shell().createdWindows[0].id));
    EXPECT_EQ(run.index().selection.CurrentPicture, NO_PICTURE);
    // The camera sends the rest, which is dropped.
    run.session.loop.RunFor(20'000);
    EXPECT_TRUE(run.captures().Ids().empty());
    run.Click(2);
    const Micros start = run.session.loop.Now();
    run.preview().Command(CMD_DATA_IN);
    ASSERT_TRUE(run.RunUntilDownloadsDone());
    // Its first header is taken at once: no NAK, no repeated command.
    EXPECT_EQ(run.Count(NAK, start), 0u);
    EXPECT_EQ(run.captures().Ids().size(), 1u);
    EXPECT_TRUE(run.NewestWindowShows(2));
}

}  // namespace
}  // namespace fotolyx
