#include <gtest/gtest.h>

#include "camera_index/fixtures.h"
#include "link/link_setup.h"
#include "support/processes.h"

namespace fotolyx {
namespace {

using testing::Listed;
using testing::PicturesRun;

TEST(PositionDigits, DownloadAndDeleteSendThePositionAsThreeDigitsUnitsFirst) {
    using Bytes = std::vector<std::uint8_t>;
    const std::tuple<unsigned, int, Bytes> cases[] = {
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
            testing::ClickPosition(run.preview(), run.selection(), position);
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
    WriteBe32(header, 4, 1'000'000);
    run.Feed(header);
    const std::vector<std::uint8_t> payload(PACKET_PAYLOAD, 0xEE);
    for (std::uint32_t i = 1; i <= 1'000'000 / 112 + 1; ++i) {
        run.Feed(MakeDataPacket(i, payload));
    }
    ASSERT_FALSE(run.shell.messages.empty());
    EXPECT_EQ(std::tuple(run.shell.messages.back().text, run.download().download.CaptureWaiting),
              std::tuple(TEXT_FILE_SIZE_WRONG, false));
    // Whole packets stored while they fitted (7,980 of 116 bytes), the last 16 bytes untouched.
    const auto stored = buffer.begin() + 7'980 * 116;
    EXPECT_EQ(std::count(buffer.begin(), stored, std::uint8_t{0xEE}), 7'980 * 116);
    EXPECT_EQ(std::count(stored, buffer.end(), std::uint8_t{0x5A}), 16);
}

// One NAK a bad packet, the last command again at the 11th; the very file arrives.
TEST(Faults, BadPacketsAreAnsweredWithNakOrTheLastCommandAndThePictureArrivesWhole) {
    using camsim::CameraFaults;
    using Field = std::optional<std::uint32_t> CameraFaults::*;
    const std::tuple<const char*, Field, std::uint32_t, std::uint32_t, std::size_t, std::size_t>
        cases[] = {
            {"no fault", nullptr, 0, 1, 0, 1},
            // A lost byte leaves the packet short until the Capture window's watchdog NAK.
            {"dropped byte", &CameraFaults::dropByteMessage, 6, 1, 1, 1},
            {"header garbled 11 times", &CameraFaults::garbleMessage, 3, 11, 10, 2},
        };
    const std::size_t descriptors = testing::OpenDescriptors();
    for (const auto& [fault, field, message, count, naks, gets] : cases) {
        PicturesRun run(camsim::MakeSamplePictures(2));
        if (field != nullptr) {
            run.camera->Faults().*field = run.camera->MessagesSent() + message;
            run.camera->Faults().garbleCount = count;
        }
        run.download().StartDownload(1, false);
        EXPECT_EQ(run.session.loop.TimerLeftMs(run.captures().Ids().back(), WATCHDOG_TIMER), 1500);
        ASSERT_TRUE(run.RunUntilDownloadsDone()) << fault;
        const auto& jpeg = run.camera->Pictures()[1].jpeg;
        EXPECT_TRUE(
            std::equal(jpeg.begin(), jpeg.end(), run.program().buffers.TransferBuffer->begin()));
        EXPECT_EQ(run.captures().Ids().size(), 1u) << fault;
        // No dialog, and the scratch files the picture went through are closed again.
        EXPECT_EQ(std::tuple(run.Count(NAK), run.Count(PICTURE_GET),
                             run.session.DialogShown(LinkDialog::ComDisconnect),
                             testing::OpenDescriptors()),
                  std::tuple(naks, gets, false, descriptors))
            << fault;
    }
}

}  // namespace
}  // namespace fotolyx
