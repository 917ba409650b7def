#include <gtest/gtest.h>

#include <algorithm>

#include "link/link_setup.h"
#include "support/program_world.h"
#include "support/rgb_pictures.h"
#include "upload/picture_upload.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

// Reconnect closes each Openfile window (asked about its changes) and resets live view and upload.
TEST(Reconnect, ClosesEveryOpenfileWindowAndResetsLiveViewAndUpload) {
    testing::StartedWorld world;
    Program& program = world.program;
    const DibBlock picture = testing::MakeRgbPicture(
        640, 480, [](int column, int row) { return testing::Grey(column ^ row); });
    std::copy(picture.bytes().begin(), picture.bytes().end(), program.buffers.WorkImage->data());
    const WindowId changed = program.CreateOpenfileWindow("changed.bmp", true)->id();
    const WindowId unchanged = program.CreateOpenfileWindow("unchanged.bmp", false)->id();
    program.live.LivePacketNumber = 4;
    program.live.LiveViewRunning = program.live.LivePhotoRunning = 1;
    program.live.LiveFramePending = 1;
    program.live.PreviewButtonBitmap = BITMAP_PREVIEW_ON;
    program.live.PhotoButtonBitmap = BITMAP_CANCEL;
    program.upload.UploadPacketNumber = 7;  // an upload under way between two files
    program.upload.SendOffset = 672;
    program.upload.SendingThumb = 1;
    program.upload.TotalPackets = 9;
    for (const WindowId window : {changed, unchanged}) {
        world.timers.StartTimer(window, UPLOAD_TIMER_WATCHDOG, 1000);
        world.timers.StartTimer(window, UPLOAD_TIMER_SECOND, 1000);
    }
    auto& shell = world.shell;
    shell.scriptedAnswers.push_back(IDYES);
    shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(world.root / "changed.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
    program.linkSetup.DisconnectReconnect();
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text, "Save changes to changed.bmp?");
    EXPECT_EQ(shell.saveRequests.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(world.root / "changed.bmp"));
    EXPECT_TRUE(program.openfileWindows.empty());
    EXPECT_EQ(shell.destroyedWindows, (std::vector<WindowId>{changed, unchanged}));
    for (const WindowId window : {changed, unchanged}) {  // their upload timers went too
        EXPECT_FALSE(shell.WindowOpen(window));
        EXPECT_FALSE(world.timers.running.contains({window, UPLOAD_TIMER_WATCHDOG}));
        EXPECT_FALSE(world.timers.running.contains({window, UPLOAD_TIMER_SECOND}));
    }
    const LiveState& live = program.live;
    EXPECT_EQ(std::tuple(live.LiveViewRunning, live.LivePhotoRunning, live.LivePacketNumber,
                         live.LiveFramePending, live.PreviewButtonBitmap, live.PhotoButtonBitmap),
              std::tuple(0, 0, 0, 0, BITMAP_PREVIEW_OFF, BITMAP_CAPTURE));
    const auto& upload = program.upload;
    EXPECT_EQ(std::tuple(upload.UploadPacketNumber, upload.SendOffset, upload.SendingThumb,
                         upload.TotalPackets),
              std::tuple(0, 0u, 0, 0));
}

TEST(Reconnect, TheResetupActivatesThePreviewOnlyInPlaceOfTheLiveImageWindow) {
    for (const bool liveActive : {true, false}) {
        testing::StartedWorld world;
        world.program.liveWindow.MdiActivate(true);
        world.program.liveWindow.MdiActivate(liveActive);  // or another window came to the front
        world.program.linkHandOver.ActivatePreviewIfLiveActive();
        EXPECT_EQ(world.shell.activatedWindows, std::vector<WindowId>(liveActive, PREVIEW_WINDOW));
    }
}

}  // namespace
}  // namespace fotolyx
