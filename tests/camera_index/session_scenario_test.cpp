#include <gtest/gtest.h>

#include <cstring>

#include "camera_index/fixtures.h"
#include "imaging/colour_reduction.h"
#include "link/link_setup.h"

namespace fotolyx {
namespace {

using testing::Micros;
using testing::PicturesRun;

// A double click downloads the picture treated as 0x51 says, with its own palette on 8 bits.
TEST(PicturesSession, ADoubleClickDownloadsThePictureWithItsTreatmentAndPalette) {
    std::vector<std::uint8_t> shown[2];
    for (const bool treated : {false, true}) {
        auto samples = camsim::MakeSamplePictures(3);
        samples[1].attribute = treated ? 0x51 : 0x01;
        PicturesRun run(samples, !treated);
        run.session.loop.RunFor(2'000);  // the index's watchdog stops by itself
        EXPECT_FALSE(run.session.loop.TimerRunning(PREVIEW_WINDOW, WATCHDOG_TIMER));
        run.Click(1);
        run.preview().LButtonDblClk(10 + 140 + 5, 65, 0);
        ASSERT_EQ(run.session.shell.createdWindows.size(), 1u);
        ASSERT_TRUE(run.RunUntilDownloadsDone());
        PictureWindow* window = run.captures().Find(run.session.shell.createdWindows[0].id);
        shown[treated] = window->picture().storage();
        ASSERT_EQ(shown[treated].size(), 40u + 320 * 240 * 3 + 60);  // header, pixels, slack
        ASSERT_EQ(window->palette().has_value(), treated);
        LogPalette own;
        if (treated && BuildPopularityPalette(run.session.shell, window->picture(), own) == 1) {
            EXPECT_EQ(std::memcmp(window->palette()->palPalEntry.data(), own.palPalEntry.data(),
                                  sizeof own.palPalEntry),
                      0);
        }
    }
    EXPECT_NE(shown[0], shown[1]);
}

// Marked pictures come in position order under one dialog; a failure ends the whole sequence.
TEST(PicturesSession, MarkedPicturesComeInOrderAndAFailureEndsTheSequence) {
    enum Spoil { None, Undecodable, Refused };
    struct Case {
        int count;
        std::vector<unsigned> marked;  // clicked, the first plainly and the others with Ctrl
        int command;
        Spoil spoil;  // the first picture not decoded, or the third's size refused
        std::vector<unsigned> fetched;
        std::vector<std::string> saved;  // the names proposed in the save dialogs
        std::string message;
    };
    const Case cases[] = {
        {12, {9, 2, 5}, CMD_DATA_IN, None, {2, 5, 9}, {}, ""},
        {4, {0, 3}, CMD_SAVE_AS, None, {0, 3}, {"1F02-5-17(14-5)", "4N02-5-17(14-8)"}, ""},
        {4, {0, 2}, CMD_SAVE_AS, Undecodable, {0}, {}, TEXT_FILE_TYPE_WRONG},
        {4, {0, 2}, CMD_SAVE_AS, Refused, {0}, {"1F02-5-17(14-5)"}, TEXT_FILE_SIZE_WRONG},
    };
    for (const Case& c : cases) {
        auto samples = camsim::MakeSamplePictures(c.count);
        if (c.spoil == Undecodable) {
            samples[0].jpeg.assign(700, 0x11);
        } else if (c.spoil == Refused) {
            samples[2].width = 2;
        }
        PicturesRun run(samples);
        // The store holds the identification's pictures plus 14; each entry but the end answered.
        EXPECT_EQ(run.index().store->SlotCount(), 409'600u / 40'960 + c.count + 4);
        EXPECT_EQ(std::tuple(run.Count(INDEX_NEXT), run.Count(NAK)),
                  std::tuple(static_cast<std::size_t>(c.count), 0u));
        auto& shell = run.session.shell;
        for (std::size_t i = 0; i < c.saved.size(); ++i) {
            shell.scriptedSaveAnswers.push_back(SaveDialogResult{
                (run.session.root / std::to_string(i)).string(), SAVE_FILTER_FULL_COLOUR_BMP});
        }
        for (const unsigned position : c.marked) {
            run.Click(position, position == c.marked[0] ? 0 : MK_CONTROL);
        }
        const Micros start = run.session.loop.Now();
        run.preview().Command(c.command);
        ASSERT_TRUE(run.RunUntilDownloadsDone());
        run.session.loop.RunFor(3'000);
        std::vector<std::uint8_t> commands;
        for (const unsigned p : c.fetched) {
            commands.insert(commands.end(),
                            {static_cast<std::uint8_t>(0xA0 + p), 0xB0, 0xC0, PICTURE_GET});
        }
        EXPECT_EQ(run.CommandsSince(start), commands);
        std::vector<std::string> proposed;
        for (const auto& request : shell.saveRequests) {
            proposed.push_back(request.proposedName);
        }
        EXPECT_EQ(proposed, c.saved);
        EXPECT_EQ(shell.messages.empty() ? "" : shell.messages.back().text, c.message);
        const DownloadState& download = run.download().download;
        EXPECT_EQ(std::tuple(shell.createdWindows.size(), download.RemainingCount,
                             download.SaveAfterDownload, shell.progressShown,
                             shell.pleaseWaitShown.size(), shell.pleaseWaitEnded.size(),
                             shell.statusTexts.back()),
                  std::tuple(c.fetched.size(), 0, false, false, 1u, 1u, TEXT_READY));
        if (c.spoil != None) {
            continue;
        }
        EXPECT_EQ(run.captures().Ids().size(), c.command == CMD_DATA_IN ? c.fetched.size() : 0);
        // Data in: the next picture's first digit 500 ms after the last data packet's ACK.
        Micros lastAck = 0;
        for (const auto& byte : run.session.line.Written()) {
            if (byte.sent >= start && byte.byte == ACK) {
                lastAck = byte.sent;
            } else if (byte.sent >= start && lastAck > 0 && byte.byte >= DIGIT_UNITS &&
                       byte.byte < DIGIT_TENS && c.command == CMD_DATA_IN) {
                EXPECT_TRUE(byte.sent - lastAck >= 500 * testing::MS &&
                            byte.sent - lastAck < 520 * testing::MS);
            }
        }
    }
}

}  // namespace
}  // namespace fotolyx
