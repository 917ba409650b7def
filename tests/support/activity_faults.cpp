#include "support/activity_faults.h"

#include <gtest/gtest.h>

#include <functional>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "support/rgb_pictures.h"
#include "windows/live_image_window.h"

namespace fotolyx::testing {

using camsim::CameraConfig;
using camsim::CameraFaults;

std::uint32_t MessagesBeforeActivity() {
    LinkSession session;
    CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    camsim::SimCamera& camera = session.AddCamera(PORT_COM1, config);
    session.Start();
    session.RunUntil([&] { return session.program().indexTransfer.index.IndexLoaded; }, 60'000);
    return camera.MessagesSent();
}

Outcome RunActivity(Activity activity, const CameraFaults& faults) {
    LinkSession session;
    CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(2);
    config.faults = faults;
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    if (!session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 60'000)) {
        return Outcome::Hung;
    }
    LiveImageWindow& live = program.liveWindow;
    std::function<bool()> completed;
    switch (activity) {
        case Activity::LiveView:
            live.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
            completed = [&] { return program.live.framesCompleted >= 3; };
            break;
        case Activity::Photo:
            live.ButtonNotify(LIVE_BUTTON_PHOTO, true);
            live.ButtonNotify(LIVE_BUTTON_PHOTO, false);
            completed = [&] { return program.live.photosCompleted >= 1; };
            break;
        case Activity::Upload: {
            const DibBlock picture = MakeRgbPicture(640, 480, [](int x, int y) {
                return Bgr{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 90};
            });
            std::copy(picture.bytes().begin(), picture.bytes().end(),
                      program.buffers.WorkImage->bytes().begin());
            program.CreateOpenfileWindow("in.bmp", false)->Command(CMD_DATA_OUT_FINE);
            completed = [&] { return program.upload.uploadsDone >= 1; };
            break;
        }
    }
    const bool ended = session.RunUntil(
        [&] { return completed() || session.DialogShown(LinkDialog::ComDisconnect); }, 120'000);
    // Whatever happened, the live pictures are still what they were made as.
    EXPECT_EQ(DibWidth(*program.buffers.LivePhotoImage), 640);
    EXPECT_EQ(DibHeight(*program.buffers.LivePreviewImage), 120);
    if (!ended) {
        return Outcome::Hung;
    }
    return completed() ? Outcome::Completed : Outcome::Disconnected;
}

std::vector<ActivityFault> ActivityFaults() {
    const std::uint32_t m = MessagesBeforeActivity();
    const auto faults = [](auto set) {
        CameraFaults f;
        set(f);
        return f;
    };
    return {
        // A garbled one-byte answer is no answer: the upload's watchdog takes over.
        {"one garbled message", faults([&](CameraFaults& f) { f.garbleMessage = m + 4; }),
         Outcome::Completed, Outcome::Completed, Outcome::Disconnected},
        {"thirty garbled messages", faults([&](CameraFaults& f) {
             f.garbleMessage = m + 4;
             f.garbleCount = 30;
         }),
         Outcome::Completed, Outcome::Completed, Outcome::Disconnected},
        {"a dropped byte", faults([&](CameraFaults& f) { f.dropByteMessage = m + 4; }),
         Outcome::Completed, Outcome::Completed, Outcome::Disconnected},
        {"a wrong sequence number",
         faults([&](CameraFaults& f) { f.wrongSequenceMessage = m + 4; }), Outcome::Completed,
         Outcome::Completed, Outcome::Completed},
        {"NAK to the first packets", faults([](CameraFaults& f) { f.nakAnswers = 5; }),
         Outcome::Completed, Outcome::Completed, Outcome::Completed},
        {"silence", faults([&](CameraFaults& f) { f.silentAfterMessages = m + 5; }),
         Outcome::Disconnected, Outcome::Disconnected, Outcome::Disconnected},
        {"the cable pulled", faults([&](CameraFaults& f) { f.hangUpAfterMessages = m + 5; }),
         Outcome::Disconnected, Outcome::Disconnected, Outcome::Disconnected},
    };
}

}  // namespace fotolyx::testing
