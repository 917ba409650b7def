#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera_index/fixtures.h"
#include "link/link_setup.h"
#include "support/processes.h"

namespace fotolyx {
namespace {

using camsim::Micros;
using testing::Handlers;
using testing::Listed;
using testing::PicturesRun;

TEST(PositionDigits, DownloadAndDeleteSendThePositionAsThreeDigitsUnitsFirst) {
    using Bytes = std::vector<std::uint8_t>;
    const std::tuple<unsigned, int, Bytes> cases[] = {
        {7, CMD_DATA_IN, {0xA7, 0xB0, 0xC0, PICTURE_GET}},
        {123, CMD_DATA_IN, {0xA3, 0xB2, 0xC1, PICTURE_GET}},
        {12, CMD_DELETE_PAGE, {DELETE_BEGIN, 0xA2, 0xB1, 0xC0, DELETE_PICTURE, DELETE_END}},
        {123, CMD_DELETE_PAGE, {DELETE_BEGIN, 0xA3, 0xB2, 0xC1, DELETE_PICTURE, DELETE_END}},
    };
    for (const auto& [position, command, digits] : cases) {
        Listed run(static_cast<int>(position) + 1);
        if (command == CMD_DATA_IN) {
            run.download().StartDownload(position, true);
            run.Ready(3);
        } else {
            run.Click(position);
            run.preview().Command(command);
            run.Ready(5);
        }
        EXPECT_EQ(run.TakeWritten(), digits) << position << ' ' << command;
    }
}

TEST(DownloadEdges, APictureLargerThanTheTransferBufferIsRefusedWithoutOverrun) {
    Listed run(1);
    run.download().StartDownload(0, true);
    run.Ready(3);
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

using Faults = std::function<void(camsim::CameraFaults&, std::uint32_t)>;

// A download of position 1 of two pictures, faults counted from the download's first message.
struct FaultRun : PicturesRun {
    explicit FaultRun(const Faults& faults) : PicturesRun(2) {
        faults(camera->Faults(), camera->MessagesSent());
        download().StartDownload(1, false);
    }
    // True when the program took in the camera's very file and its window shows the picture.
    bool Delivered() {
        const auto& jpeg = camera->Pictures()[1].jpeg;
        return session.RunUntil([&] { return !download().download.CaptureWaiting; }, 60'000) &&
               std::equal(jpeg.begin(), jpeg.end(), program().buffers.TransferBuffer->begin()) &&
               NewestWindowShows(1);
    }
};

// A bad packet gets one NAK and comes again; the eleventh bad one in a row gets the last command
// again instead. Either way the picture then arrives whole.
TEST(Faults, BadPacketsAreAnsweredWithNakOrTheLastCommandAndThePictureArrivesWhole) {
    const std::tuple<const char*, Faults, std::size_t, std::size_t> cases[] = {
        {"no fault", [](auto&, std::uint32_t) {}, 0, 1},
        {"garbled byte", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 6; }, 1, 1},
        {"wrong sequence", [](auto& f, std::uint32_t at) { f.wrongSequenceMessage = at + 6; }, 1,
         1},
        {"garbled READY", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 1; }, 1, 1},
        // A lost byte leaves the packet short until the Capture window's watchdog NAK clears it.
        {"dropped byte", [](auto& f, std::uint32_t at) { f.dropByteMessage = at + 6; }, 1, 1},
        {"header garbled 11 times",
         [](auto& f, std::uint32_t at) {
             f.garbleMessage = at + 3;
             f.garbleCount = 11;
         },
         10, 2},
    };
    const std::size_t descriptors = testing::OpenDescriptors();
    for (const auto& [fault, set, naks, gets] : cases) {
        FaultRun run(set);
        EXPECT_TRUE(run.Delivered()) << fault;
        EXPECT_EQ(std::tuple(run.Count(NAK), run.Count(PICTURE_GET)), std::tuple(naks, gets))
            << fault;
        EXPECT_FALSE(run.session.DialogShown(LinkDialog::ComDisconnect)) << fault;
        // The scratch files the picture went through are closed again.
        EXPECT_EQ(testing::OpenDescriptors(), descriptors) << fault;
    }
}

// Any failure ends the whole multi-picture download: no next picture, no save dialog, DATA_TRANS
// closed and "Ready"; a later double-click downloads its one picture once.
TEST(DownloadFailures, AFailedPictureEndsTheWholeSequence) {
    struct Case {
        unsigned bad;  // position of the failing picture
        int command;
        const char* message;
        std::size_t saves;  // save dialogs asked for
    };
    const Case cases[] = {
        {0, CMD_DATA_IN, TEXT_FILE_TYPE_WRONG, 0},  // no JPEG
        {0, CMD_SAVE_AS, TEXT_FILE_TYPE_WRONG, 0},  // no JPEG
        {2, CMD_DATA_IN, TEXT_FILE_SIZE_WRONG, 0},  // a width no window takes
        {2, CMD_SAVE_AS, TEXT_FILE_SIZE_WRONG, 1},  // a width no window takes
    };
    for (const Case& c : cases) {
        auto samples = camsim::MakeSamplePictures(4);
        if (c.message == TEXT_FILE_TYPE_WRONG) {
            samples[c.bad].jpeg.assign(700, 0x11);
        } else {
            samples[c.bad].width = 2;
        }
        PicturesRun run(samples);
        auto& shell = run.shell();
        shell.scriptedSaveAnswers.push_back(SaveDialogResult{
            (run.session.root / "first.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
        run.Click(0);
        run.Click(2, MK_CONTROL);
        run.preview().Command(c.command);
        ASSERT_TRUE(run.RunUntilDownloadsDone()) << c.bad;
        run.session.loop.RunFor(3'000);
        ASSERT_FALSE(shell.messages.empty()) << c.bad;
        const DownloadState& download = run.download().download;
        EXPECT_EQ(std::tuple(shell.messages.back().text, shell.createdWindows.size(),
                             shell.saveRequests.size(), download.RemainingCount,
                             download.SaveAfterDownload, shell.progressShown),
                  std::tuple(c.message, 1u, c.saves, 0, false, false));
        EXPECT_FALSE(run.program().pleaseWait.Current().has_value()) << c.bad;
        EXPECT_EQ(shell.pleaseWaitShown.size(), shell.pleaseWaitEnded.size()) << c.bad;
        EXPECT_EQ(shell.statusTexts.back(), TEXT_READY) << c.bad;
        // A later double-click on picture 3 downloads it once, into one window.
        run.preview().LButtonDblClk(10 + 140 * 3 + 5, 65, 0);
        ASSERT_TRUE(run.RunUntilDownloadsDone()) << c.bad;
        run.session.loop.RunFor(3'000);
        EXPECT_EQ(std::tuple(shell.createdWindows.size(), shell.saveRequests.size(),
                             run.program().pleaseWait.Current().has_value()),
                  std::tuple(2u, c.saves, false));
    }
}

TEST(DownloadFailures, WithoutATransferBufferNothingStarts) {
    for (const int command : {CMD_DATA_IN, CMD_SAVE_AS}) {
        Listed run(4);
        run.program->buffers.TransferBuffer.reset();
        run.ClickCell(0, 0);
        run.preview().Command(command);
        ASSERT_FALSE(run.shell.messages.empty());
        EXPECT_EQ(std::tuple(run.shell.messages.back().text, run.shell.messages.back().caption),
                  std::tuple(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY));
        EXPECT_EQ(
            std::tuple(run.shell.createdWindows.size(), run.TakeWritten().size(),
                       run.shell.pleaseWaitShown.size(), run.download().download.SaveAfterDownload),
            std::tuple(0u, 0u, 0u, false));
    }
}

}  // namespace
}  // namespace fotolyx
