#include <gtest/gtest.h>

#include "support/activity_faults.h"
#include "support/link_session.h"

namespace fotolyx {
namespace {

using testing::Activity;

TEST(LiveFaults, EveryFaultEndsALiveViewOrPhotoInItsRecoveryNeverInAHang) {
    for (const testing::ActivityFault& c : testing::ActivityFaults()) {
        EXPECT_EQ(RunActivity(Activity::LiveView, c.faults), c.live) << "live view, " << c.name;
        EXPECT_EQ(RunActivity(Activity::Photo, c.faults), c.photo) << "photo, " << c.name;
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
