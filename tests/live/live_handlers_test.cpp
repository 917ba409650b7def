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

// A photo's 2,160 packets are acknowledged all but the last; none numbered past the end writes.
TEST(LiveHandlers, PhotoPacketsAreAcknowledgedAllButTheLastAndNoneNumberedPastTheEndWrites) {
    testing::LinkSession session;
    camsim::CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilIndexLoaded());
    const testing::Micros start = session.loop.Now();
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, false);
    ASSERT_TRUE(session.RunUntil([&] { return program.live.photosCompleted == 1; }, 60'000));
    session.loop.RunFor(100);
    const auto bytes = session.WrittenSince(start);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), ACK), 2159);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), NAK), 0);
    const auto previewBefore = program.buffers.LivePreviewImage->storage();
    const auto photoBefore = program.buffers.LivePhotoImage->storage();
    for (const auto& [counter, photo] : {std::pair{60, false}, {2160, true}, {65535, false}}) {
        program.live.LivePacketNumber = static_cast<std::uint16_t>(counter);
        program.link.RetryCount = 0;
        program.link.ReceiveBuffer = MakeDataPacket(counter, {});  // numbered as expected
        photo ? program.liveHandlers.LivePhotoPacket() : program.liveHandlers.LiveViewPacket();
        EXPECT_EQ(program.link.RetryCount, 1) << counter;
    }
    EXPECT_EQ(program.buffers.LivePreviewImage->storage(), previewBefore);
    EXPECT_EQ(program.buffers.LivePhotoImage->storage(), photoBefore);
}

}  // namespace
}  // namespace fotolyx
