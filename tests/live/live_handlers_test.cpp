#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/picture_maker.h"

#include "support/activity_faults.h"
#include "support/link_session.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using testing::Activity;

TEST(LiveFaults, EveryFaultEndsALiveViewOrPhotoInItsRecoveryNeverInAHang) {
    for (const testing::ActivityFault& c : testing::ActivityFaults()) {
        EXPECT_EQ(RunActivity(Activity::LiveView, c.faults), c.live) << "live view, " << c.name;
        EXPECT_EQ(RunActivity(Activity::Photo, c.faults), c.photo) << "photo, " << c.name;
    }
}

// Whether a row (counted from the top) of a 24-bit picture is still the grey it was made with.
bool RowGrey(const DibBlock& picture, int width, int height, int rowFromTop) {
    const std::size_t stride = 3 * static_cast<std::size_t>(width);
    const std::uint8_t* start =
        picture.data() + INFO_HEADER_SIZE + (height - 1 - rowFromTop) * stride;
    return std::all_of(start, start + stride, [](std::uint8_t b) { return b == 0x80; });
}

// A live frame is 60 packets of two 160-pixel lines, the first 59 acknowledged; a photo 2,160
// packets, all but the last acknowledged. Neither writes the picture's bottom row.
TEST(LiveHandlers, FramesAndPhotosFillTheirPicturesAndAreAcknowledgedPacketByPacket) {
    testing::LinkSession session;
    camsim::CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000));
    const auto count = [&](testing::Micros since, std::uint8_t byte) {
        const auto bytes = session.WrittenSince(since);
        return std::count(bytes.begin(), bytes.end(), byte);
    };
    testing::Micros start = session.loop.Now();
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, false);
    ASSERT_TRUE(session.RunUntil([&] { return program.live.framesCompleted >= 1; }, 5'000));
    EXPECT_EQ(count(start, ACK), 59);
    const DibBlock& preview = *program.buffers.LivePreviewImage;
    EXPECT_FALSE(RowGrey(preview, 160, 120, 0));
    EXPECT_FALSE(RowGrey(preview, 160, 120, 117));
    EXPECT_TRUE(RowGrey(preview, 160, 120, 119));
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, false);
    session.loop.RunFor(500);
    start = session.loop.Now();
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, false);
    ASSERT_TRUE(session.RunUntil([&] { return program.live.photosCompleted == 1; }, 60'000));
    session.loop.RunFor(100);
    EXPECT_EQ(count(start, ACK), 2159);
    EXPECT_EQ(count(start, NAK), 0);
    const DibBlock& photo = *program.buffers.LivePhotoImage;
    EXPECT_TRUE(RowGrey(photo, 640, 480, 479));
    for (int row : {0, 1, 240, 478}) {
        EXPECT_FALSE(RowGrey(photo, 640, 480, row)) << row;
    }
}

TEST(LiveHandlers, NoSequenceNumberMakesThemWriteOutsideTheLivePictures) {
    testing::LinkSession session;
    session.AddCamera(PORT_COM1);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000));
    const auto previewBefore = program.buffers.LivePreviewImage->storage();
    const auto photoBefore = program.buffers.LivePhotoImage->storage();
    LiveState& live = program.live;
    for (const std::uint16_t counter :
         {std::uint16_t{60}, std::uint16_t{2160}, std::uint16_t{65535}}) {
        for (const bool photo : {false, true}) {
            if (photo && counter < PHOTO_PACKETS) {
                continue;  // a photo packet number
            }
            live.LivePacketNumber = counter;
            program.link.RetryCount = 0;
            // A packet that carries the counter's own number looks good to the packet test.
            program.link.ReceiveBuffer = MakeDataPacket(counter, {});
            if (photo) {
                program.liveHandlers.LivePhotoPacket();
            } else {
                program.liveHandlers.LiveViewPacket();
            }
            EXPECT_EQ(program.link.RetryCount, 1) << counter;
        }
    }
    EXPECT_EQ(program.buffers.LivePreviewImage->storage(), previewBefore);
    EXPECT_EQ(program.buffers.LivePhotoImage->storage(), photoBefore);
}

}  // namespace
}  // namespace fotolyx
