#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "support/program_world.h"
#include "support/rgb_pictures.h"
#include "upload/picture_upload.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using testing::LinkSession;

// Reconnect closes every image window but the Preview and the Live image window, each Openfile
// window asked about its changes first, and starts live view and upload afresh.
TEST(Reconnect, ClosesEveryImageWindowAndResetsLiveViewAndUpload) {
    struct Case {
        const char* name;
        bool photo;  // a live photo runs (else live view)
        int answer;  // to "Save changes to changed.bmp?"
        std::size_t saves;
    };
    const Case cases[] = {
        {"live view, No", false, IDNO, 0},
        {"live photo, Yes", true, IDYES, 1},
    };
    for (const Case& c : cases) {
        LinkSession session;
        camsim::CameraConfig config;
        config.pictures = camsim::MakeSamplePictures(2);
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        ASSERT_TRUE(
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000));
        const DibBlock picture = testing::MakeRgbPicture(
            640, 480, [](int column, int row) { return testing::Grey(column ^ row); });
        std::copy_n(picture.data(), std::min(picture.size(), program.buffers.WorkImage->size()),
                    program.buffers.WorkImage->data());
        const WindowId changed = program.CreateOpenfileWindow("changed.bmp", true)->id();
        const WindowId unchanged = program.CreateOpenfileWindow("unchanged.bmp", false)->id();
        program.liveWindow.MdiActivate(true);
        const int button = c.photo ? LIVE_BUTTON_PHOTO : LIVE_BUTTON_PREVIEW;
        program.liveWindow.ButtonNotify(button, true);
        program.liveWindow.ButtonNotify(button, false);
        ASSERT_TRUE(session.RunUntil([&] { return program.live.LivePacketNumber > 3; }, 5'000))
            << c.name;
        // An upload that was under way between two files.
        program.upload.UploadPacketNumber = 7;
        program.upload.SendOffset = 672;
        program.upload.SendingThumb = 1;

        auto& shell = session.shell;
        shell.messages.clear();
        shell.scriptedAnswers.push_back(c.answer);
        shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{(session.root / "changed.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
        program.linkSetup.DisconnectReconnect();

        ASSERT_EQ(shell.messages.size(), 1u) << c.name;
        EXPECT_EQ(shell.messages[0].text, "Save changes to changed.bmp?") << c.name;
        EXPECT_EQ(shell.saveRequests.size(), c.saves) << c.name;
        EXPECT_EQ(std::filesystem::exists(session.root / "changed.bmp"), c.saves == 1) << c.name;
        EXPECT_FALSE(shell.WindowOpen(changed)) << c.name;
        EXPECT_FALSE(shell.WindowOpen(unchanged)) << c.name;
        EXPECT_TRUE(program.openfileWindows.empty()) << c.name;
        const auto& destroyed = shell.destroyedWindows;
        EXPECT_EQ(std::count(destroyed.begin(), destroyed.end(), PREVIEW_WINDOW), 0) << c.name;
        EXPECT_EQ(std::count(destroyed.begin(), destroyed.end(), LIVE_IMAGE_WINDOW), 0) << c.name;
        EXPECT_EQ(program.live.LiveViewRunning, 0) << c.name;
        EXPECT_EQ(program.live.LivePhotoRunning, 0) << c.name;
        EXPECT_EQ(program.live.LivePacketNumber, 0) << c.name;
        EXPECT_EQ(program.upload.UploadPacketNumber, 0) << c.name;
        EXPECT_EQ(program.upload.SendOffset, 0u) << c.name;
        EXPECT_EQ(program.upload.SendingThumb, 0) << c.name;

        // The link comes back with the index, and nothing of the live view goes on.
        ASSERT_TRUE(
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000))
            << c.name;
        EXPECT_EQ(program.live.LivePacketNumber, 0) << c.name;
        EXPECT_FALSE(session.DialogShown(LinkDialog::ComDisconnect)) << c.name;
    }
}

// The re-set-up puts the Preview in front only when the Live image window was in front.
TEST(Reconnect, TheResetupActivatesThePreviewInPlaceOfTheLiveImageWindowOnly) {
    for (const bool liveActive : {true, false}) {
        testing::StartedWorld world;
        Program& program = world.program;
        program.liveWindow.MdiActivate(true);
        program.liveWindow.MdiActivate(liveActive);  // or another window came to the front
        program.linkHandOver.ActivatePreviewIfLiveActive();
        EXPECT_EQ(world.shell.activatedWindows,
                  liveActive ? std::vector<WindowId>{PREVIEW_WINDOW} : std::vector<WindowId>{})
            << liveActive;
    }
}

}  // namespace
}  // namespace fotolyx
