#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "camera_index/pictures_run.h"
#include "link/link_setup.h"
#include "link/watchdog.h"
#include "support/link_session.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::Micros;
using testing::LinkSession;

// The program's own picture download (PictureDownload::DownloadPacket) of position 1 from a
// camera of two pictures, with faults counted from the download's first message.
struct FaultRun {
    LinkSession session;
    camsim::SimCamera* camera = nullptr;
    std::uint32_t messagesAtStart = 0;
    explicit FaultRun(const std::function<void(camsim::CameraFaults&, std::uint32_t)>& faults) {
        CameraConfig config;
        config.pictures = camsim::MakeSamplePictures(2);
        camera = &session.AddCamera(PORT_COM1, config);
        session.Start();
        EXPECT_TRUE(session.RunUntilCameraReady());
        EXPECT_TRUE(WaitForIndex());
        messagesAtStart = camera->MessagesSent();
        faults(camera->Faults(), messagesAtStart);
        Start();
    }
    IndexTransfer& index() { return session.program().indexTransfer; }
    PictureDownload& download() { return session.program().pictureDownload; }
    CaptureWindows& captures() { return session.program().captureWindows; }
    void Start() { download().StartDownload(1, false); }
    bool WaitForIndex() {
        return session.RunUntil([&] { return index().index.IndexLoaded; }, 10'000);
    }
    // True when the download ended with the picture in its Capture window.
    bool RunToTheEnd() {
        return session.RunUntil([&] { return !download().download.CaptureWaiting; }, 60'000) &&
               !captures().Ids().empty();
    }
    // The bytes the program took in, as long as the camera's file.
    std::vector<std::uint8_t> Received() {
        const auto& buffer = *session.program().buffers.TransferBuffer;
        const std::size_t size = camera->Pictures()[1].jpeg.size();
        return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)};
    }
    // The picture the download's Capture window shows, and what decoding the camera's file
    // gives (our decoder on both sides: this proves the wiring only; Received() is the check).
    bool ShowsThePicture() {
        PictureWindow* window = captures().Find(captures().Ids().back());
        return window != nullptr &&
               window->picture().storage() ==
                   testing::ExpectedPicture(camera->Pictures()[1], session.root.path());
    }
    bool Delivered() { return Received() == camera->Pictures()[1].jpeg && ShowsThePicture(); }
    int Naks() const {
        const auto bytes = session.WrittenSince(0);
        return static_cast<int>(std::count(bytes.begin(), bytes.end(), NAK));
    }
    bool Downloading() { return download().download.CaptureWaiting; }
};

// The Preview's and a Capture window's watchdog periods: 1,500 ms for the first traffic,
// 400 ms afterwards. A new Capture window clears WaitingForData, so its first tick counts as
// traffic: a camera silent from the request gets its NAK after 1,500 + 400 ms and the
// disconnection dialog 400 ms later.
TEST(Faults, ThePreviewAndCaptureWatchdogsWait1500ThenRunEvery400) {
    LinkSession session;
    CameraConfig config;
    config.pictures = camsim::MakeSamplePictures(20);  // an index that takes seconds
    camsim::SimCamera& camera = session.AddCamera(PORT_COM1, config);
    session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.loop.TimerLeftMs(PREVIEW_WINDOW, WATCHDOG_TIMER), 1500);
    ASSERT_TRUE(session.RunUntil(
        [&] { return session.loop.TimerLeftMs(PREVIEW_WINDOW, WATCHDOG_TIMER) == 400; }, 1600));
    ASSERT_TRUE(session.RunUntil([&] { return session.program().indexTransfer.index.IndexLoaded; },
                                 10'000));
    session.loop.RunFor(2'000);
    Program& pictures = session.program();
    camera.Faults().silentAfterMessages = camera.MessagesSent();
    const Micros start = session.loop.Now();
    pictures.pictureDownload.StartDownload(1, false);
    const WindowId window = pictures.captureWindows.Ids().back();
    EXPECT_EQ(session.loop.TimerLeftMs(window, WATCHDOG_TIMER), 1500);
    auto naks = [&] {
        const auto bytes = session.WrittenSince(start);
        return std::count(bytes.begin(), bytes.end(), NAK);
    };
    ASSERT_TRUE(session.RunUntil([&] { return naks() == 1; }, 3'000));
    EXPECT_EQ(session.loop.Now() - start, (1500 + 400) * testing::MS);
    const Micros nakAt = session.loop.Now();
    ASSERT_TRUE(
        session.RunUntil([&] { return session.DialogShown(LinkDialog::ComDisconnect); }, 3'000));
    EXPECT_EQ(session.loop.Now() - nakAt, 400 * testing::MS);
    EXPECT_EQ(naks(), 1);
}

TEST(Faults, ACleanDownloadDeliversThePictureWithoutNak) {
    const std::size_t descriptors = testing::OpenDescriptors();
    FaultRun run([](camsim::CameraFaults&, std::uint32_t) {});
    ASSERT_TRUE(run.RunToTheEnd());
    EXPECT_TRUE(run.Delivered());
    EXPECT_EQ(run.Naks(), 0);
    // The scratch files the picture went through are closed again.
    EXPECT_EQ(testing::OpenDescriptors(), descriptors);
}

TEST(Faults, ABadPacketIsAnsweredWithNakAndSentAgain) {
    struct Case {
        const char* fault;
        std::function<void(camsim::CameraFaults&, std::uint32_t)> set;
    };
    const std::vector<Case> cases = {
        {"garbled byte", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 6; }},
        {"wrong sequence number",
         [](auto& f, std::uint32_t at) { f.wrongSequenceMessage = at + 6; }},
        {"garbled READY", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 1; }},
        // A lost byte leaves the packet short until the watchdog's NAK clears it.
        {"dropped byte", [](auto& f, std::uint32_t at) { f.dropByteMessage = at + 6; }},
    };
    for (const auto& c : cases) {
        FaultRun run(c.set);
        ASSERT_TRUE(run.RunToTheEnd()) << c.fault;
        EXPECT_TRUE(run.Delivered()) << c.fault;
        EXPECT_EQ(run.Naks(), 1) << c.fault;
        EXPECT_FALSE(run.session.DialogShown(LinkDialog::ComDisconnect)) << c.fault;
    }
}

TEST(Faults, ElevenBadPacketsInARowRestartTheTransfer) {
    // The picture header and its ten repetitions arrive garbled; the eleventh answer is the
    // restart byte (the last command, PICTURE_GET) and the picture then comes whole.
    FaultRun run([](auto& f, std::uint32_t at) {
        f.garbleMessage = at + 3;
        f.garbleCount = 11;
    });
    ASSERT_TRUE(run.RunToTheEnd());
    EXPECT_TRUE(run.Delivered());
    const auto bytes = run.session.WrittenSince(0);
    const auto firstGet = std::find(bytes.begin(), bytes.end(), PICTURE_GET);
    ASSERT_NE(firstGet, bytes.end());
    EXPECT_EQ(
        std::vector<std::uint8_t>(firstGet + 1, firstGet + 12),
        (std::vector<std::uint8_t>{NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, PICTURE_GET}));
    EXPECT_EQ(firstGet[12], ACK);
}

}  // namespace
}  // namespace fotolyx
