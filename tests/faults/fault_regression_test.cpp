// Faults the randomized sessions found, each replayed on its own.
#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/picture_maker.h"
#include "faults/fault_session.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "upload/picture_upload.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using testing::FaultSession;
using testing::LinkSession;

// Replays one randomized session by its seed; it must settle as every session must.
void Replay(std::uint64_t seed) {
    SCOPED_TRACE("fault session " + std::to_string(seed));
    FaultSession session(seed);
    session.Run();
}

// A camera reset under a running live view: the program's frame requests reach a camera at
// another speed and are never answered; the watchdog took every tick after a request as traffic,
// so the live view ran on for ever and the user's click to stop it was put off for ever.
TEST(FaultRegressions, Seed473LiveViewWhoseFrameRequestsGoUnansweredEndsInTheDisconnectDialog) {
    Replay(473);
}

// The upload's DATA_TRANS dialog is the program's please-wait dialog like the others: the
// Reconnect of a camera that fell silent during an upload closes it, instead of leaving "Please
// wait" on the screen of an idle program.
TEST(FaultRegressions, ReconnectDuringAnUploadClosesItsWaitDialog) {
    LinkSession session;
    camsim::CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(1);
    camsim::SimCamera& camera = session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000));
    camera.Faults().silentAfterMessages = camera.MessagesSent() + 5;

    std::optional<DibBlock> picture = CreateDib(640, 480, 24);
    ASSERT_TRUE(picture);
    std::copy_n(picture->bytes().begin(), picture->size(),
                program.buffers.WorkImage->bytes().begin());
    program.CreateOpenfileWindow("opened.bmp", false)->Command(CMD_DATA_OUT_FINE);
    EXPECT_EQ(program.pleaseWait.Current(), PleaseWait::DataTrans);
    ASSERT_TRUE(
        session.RunUntil([&] { return session.DialogShown(LinkDialog::ComDisconnect); }, 60'000));

    program.linkSetup.DisconnectReconnect();
    EXPECT_FALSE(program.pleaseWait.Current().has_value());
    const auto& ended = session.shell.pleaseWaitEnded;
    EXPECT_EQ(std::count(ended.begin(), ended.end(), PleaseWait::DataTrans), 1);
    EXPECT_EQ(program.upload.uploadsDone, 0u);
}

// Session 524: a camera that answers its speed requests before the PC has switched ends the set-up
// with the minimum-speed message, at 115200 and still waiting for its confirmation. The user opens
// a file and clicks the live view: no byte goes out during a set-up, but the live watchdog's NAK
// gets the camera's READY again, the set-up confirms it and the camera answers MODE_CAMERA. The
// index request then went out with TransferMode still 2, so its answers went to the live handler
// and the index never came.
TEST(FaultRegressions, Seed524AnIndexStartedAfterALiveClickDuringTheSetUpArrives) {
    LinkSession session;
    camsim::CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    config.speedAnswerDelay = 20'000;
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntil([&] { return !session.shell.messages.empty(); }, 10'000));
    ASSERT_EQ(session.shell.messages[0].text, TEXT_MINIMUM_SPEED);
    session.line.SetBaudRate(BAUD_115200);  // the line's speed changed under the program

    ASSERT_NE(program.CreateOpenfileWindow("opened.bmp", false), nullptr);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, false);
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 10'000));
    EXPECT_EQ(program.indexTransfer.index.receivedCount, 2u);
}

// Session 866: a few bytes too many on the line (a NAK storm there) in the middle of the index.
// From then on every 116 bytes held the end of one packet and the start of the next: ten NAKs,
// INDEX_RESEND, the camera's answer cut the same way, for ever, and never a silence for the
// watchdog. The restart now waits for a quiet moment and drops what arrived meanwhile.
TEST(FaultRegressions, Seed866ExtraBytesInTheIndexDoNotShiftEveryPacketForEver) {
    for (const std::uint32_t noise : {1u, 5u, 115u}) {
        LinkSession session;
        camsim::CameraConfig config;
        config.pictures = camsim::MakeSamplePictures(2);
        camsim::SimCamera& camera = session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        ASSERT_TRUE(session.RunUntilCameraReady());
        camera.Faults().noiseBeforeMessage = camera.MessagesSent() + 6;
        camera.Faults().noiseBytes = noise;
        EXPECT_TRUE(
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 20'000))
            << noise << " bytes";
        EXPECT_EQ(program.indexTransfer.index.receivedCount, 2u) << noise << " bytes";
        EXPECT_TRUE(session.shell.linkDialogsShown.empty()) << noise << " bytes";
    }
}

}  // namespace
}  // namespace fotolyx
