#include "support/activity_faults.h"

#include <gtest/gtest.h>

#include <functional>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "support/picture_files.h"
#include "windows/live_image_window.h"

namespace fotolyx::testing {
namespace {

// A camera with two pictures and the faults, run until the program has loaded its index.
struct IndexedSession : LinkSession {
    explicit IndexedSession(const camsim::CameraFaults& faults = {}) {
        camsim::CameraConfig config;
        config.pictures = camsim::MakeSamplePictures(2);
        config.faults = faults;
        camera = &AddCamera(PORT_COM1, config);
        Start();
        indexed = RunUntil([this] { return program().indexTransfer.index.IndexLoaded; }, 60'000);
    }

    camsim::SimCamera* camera = nullptr;
    bool indexed = false;
};

}  // namespace

std::uint32_t MessagesBeforeActivity() {
    return IndexedSession().camera->MessagesSent();
}

Outcome RunActivity(Activity activity, const camsim::CameraFaults& faults) {
    IndexedSession session(faults);
    if (!session.indexed) {
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
