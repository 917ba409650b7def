#include "support/activity_faults.h"

#include <gtest/gtest.h>

#include <functional>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "support/picture_files.h"
#include "windows/live_image_window.h"

namespace fotolyx::testing {

std::uint32_t MessagesBeforeActivity() {
    IndexedSession session(2);
    session.RunUntilIndexLoaded();
    return session.camera->MessagesSent();
}

Outcome RunActivity(Activity activity, const camsim::CameraFaults& faults) {
    camsim::CameraConfig config;
    config.faults = faults;
    IndexedSession session(2, config);
    if (!session.RunUntilIndexLoaded()) {
        return Outcome::Hung;
    }
    Program& program = session.program();
    LiveImageWindow& live = program.liveWindow;
    std::function<bool()> completed = [&] { return program.upload.uploadsDone >= 1; };
    if (activity == Activity::LiveView) {
        live.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        completed = [&] { return program.live.framesCompleted >= 3; };
    } else if (activity == Activity::Photo) {
        live.ButtonNotify(LIVE_BUTTON_PHOTO, true);
        live.ButtonNotify(LIVE_BUTTON_PHOTO, false);
        completed = [&] { return program.live.photosCompleted >= 1; };
    } else {
        std::ranges::copy(MakePicture(640, 480).bytes(),
                          program.buffers.WorkImage->bytes().begin());
        program.CreateOpenfileWindow("in.bmp", false)->Command(CMD_DATA_OUT_FINE);
    }
    const bool ended = session.RunUntil(
        [&] { return completed() || session.DialogShown(LinkDialog::ComDisconnect); }, 120'000);
    // Whatever happened, the live pictures are still what they were made as.
    EXPECT_EQ(DibWidth(*program.buffers.LivePhotoImage), 640);
    EXPECT_EQ(DibHeight(*program.buffers.LivePreviewImage), 120);
    return !ended ? Outcome::Hung : completed() ? Outcome::Completed : Outcome::Disconnected;
}

std::vector<ActivityFault> ActivityFaults() {
    // Numbered from the first message after the set-up and the index.
    const std::uint32_t m = MessagesBeforeActivity();
    const auto faults = [](const std::function<void(camsim::CameraFaults&)>& set) {
        camsim::CameraFaults f;
        set(f);
        return f;
    };
    using enum Outcome;
    return {
        // A garbled one-byte answer is no answer: the upload's watchdog takes over.
        {"one garbled message", faults([&](auto& f) { f.garbleMessage = m + 4; }), Completed,
         Completed, Disconnected},
        {"thirty garbled messages", faults([&](auto& f) {
             f.garbleMessage = m + 4;
             f.garbleCount = 30;
         }),
         Completed, Completed, Disconnected},
        {"a dropped byte", faults([&](auto& f) { f.dropByteMessage = m + 4; }), Completed,
         Completed, Disconnected},
        {"a wrong sequence number", faults([&](auto& f) { f.wrongSequenceMessage = m + 4; }),
         Completed, Completed, Completed},
        {"NAK to the first packets", faults([](auto& f) { f.nakAnswers = 5; }), Completed,
         Completed, Completed},
        {"silence", faults([&](auto& f) { f.silentAfterMessages = m + 5; }), Disconnected,
         Disconnected, Disconnected},
        {"the cable pulled", faults([&](auto& f) { f.hangUpAfterMessages = m + 5; }), Disconnected,
         Disconnected, Disconnected},
    };
}

}  // namespace fotolyx::testing
