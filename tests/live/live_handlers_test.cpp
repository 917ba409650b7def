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
    const std::uint8_t* start =
        picture.data() + INFO_HEADER_SIZE + (height - 1 - rowFromTop) * 3 * width;
    return std::all_of(start, start + 3 * width, [](std::uint8_t b) { return b == 0x80; });
}

// A frame is 60 packets, the first 59 acknowledged; a photo 2,160, all but the last; neither
// writes the bottom row. Packets numbered past either never write.
TEST(LiveHandlers, PacketsFillThePicturesAndAreAcknowledgedAllButTheLast) {
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
    const auto click = [&](int button) {
        program.liveWindow.ButtonNotify(button, true);
        program.liveWindow.ButtonNotify(button, false);
    };
    testing::Micros start = session.loop.Now();
    click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(session.RunUntil([&] { return program.live.framesCompleted >= 1; }, 5'000));
    EXPECT_EQ(count(start, ACK), 59);
    EXPECT_FALSE(RowGrey(*program.buffers.LivePreviewImage, 160, 120, 117));
    click(LIVE_BUTTON_PREVIEW);
    session.loop.RunFor(500);
    start = session.loop.Now();
    click(LIVE_BUTTON_PHOTO);
    ASSERT_TRUE(session.RunUntil([&] { return program.live.photosCompleted == 1; }, 60'000));
    session.loop.RunFor(100);
    EXPECT_EQ(count(start, ACK), 2159);
    EXPECT_EQ(count(start, NAK), 0);
    for (const auto& [row, grey] : {std::pair{0, false}, {240, false}, {478, false}, {479, true}}) {
        EXPECT_EQ(RowGrey(*program.buffers.LivePhotoImage, 640, 480, row), grey) << row;
    }
    const auto previewBefore = program.buffers.LivePreviewImage->storage();
    const auto photoBefore = program.buffers.LivePhotoImage->storage();
    for (const auto& [counter, photo] :
         {std::pair{60, false}, {2160, false}, {2160, true}, {65535, false}, {65535, true}}) {
        program.live.LivePacketNumber = static_cast<std::uint16_t>(counter);
        program.link.RetryCount = 0;
        // A packet that carries the counter's own number looks good to the packet test.
        program.link.ReceiveBuffer = MakeDataPacket(counter, {});
        photo ? program.liveHandlers.LivePhotoPacket() : program.liveHandlers.LiveViewPacket();
        EXPECT_EQ(program.link.RetryCount, 1) << counter;
    }
    EXPECT_EQ(program.buffers.LivePreviewImage->storage(), previewBefore);
    EXPECT_EQ(program.buffers.LivePhotoImage->storage(), photoBefore);
}

}  // namespace
}  // namespace fotolyx
