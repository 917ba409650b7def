#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/activity_faults.h"
#include "support/link_session.h"
#include "support/rgb_pictures.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::Micros;
using testing::Grey;
using testing::MS;
using testing::PixelAt;
using testing::PixelFromTop;

// A program linked to a simulated camera with two pictures on COM1, its index loaded.
struct LiveSession {
    explicit LiveSession(CameraConfig config = {})
        : camera(session.AddCamera(PORT_COM1, [&] {
              config.pictures = camsim::MakeSamplePictures(2);
              return config;
          }())) {
        session.Start();
        ready = session.RunUntil([&] { return program().indexTransfer.index.IndexLoaded; }, 60'000);
    }
    Program& program() { return session.program(); }
    LiveImageWindow& window() { return program().liveWindow; }
    LiveState& live() { return program().live; }
    Micros Now() const { return session.loop.Now(); }
    void Run(int ms) { session.loop.RunFor(ms); }
    void Click(int button, int heldMs = 0) {
        window().ButtonNotify(button, true);
        Run(heldMs);
        window().ButtonNotify(button, false);
    }
    long CountSince(Micros since, std::uint8_t byte) const {
        const auto bytes = session.WrittenSince(since);
        return std::count(bytes.begin(), bytes.end(), byte);
    }
    // When a byte first left since a time; -1: it did not.
    Micros FirstSent(Micros since, std::uint8_t byte) const {
        for (const auto& written : session.line.Written()) {
            if (written.sent >= since && written.byte == byte) {
                return written.sent;
            }
        }
        return -1;
    }
    std::uint8_t LastByte() const { return session.line.Written().back().byte; }
    bool Disconnected() const { return session.DialogShown(LinkDialog::ComDisconnect); }
    // Live view and photo running, and the preview and photo buttons' bitmaps.
    std::tuple<int, int, std::uint32_t, std::uint32_t> Buttons() {
        return {live().LiveViewRunning, live().LivePhotoRunning, live().PreviewButtonBitmap,
                live().PhotoButtonBitmap};
    }
    bool PhotoGrey() { return PixelFromTop(*program().buffers.LivePhotoImage, 0, 0) == Grey(0x80); }
    testing::LinkSession session;
    camsim::SimCamera& camera;
    bool ready = false;
};

TEST(LiveImageView, FramesArePaintedUnderTheWatchdogAndAClickWhileOneIsAskedForWaitsForIt) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.Buttons(), std::tuple(1, 0, BITMAP_PREVIEW_ON, BITMAP_CAPTURE));
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_LIVE_VIEW);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_RECEIVE_LIVE);
    // The watchdog waits 500 ms first, then runs every 1000.
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER), 500);
    ASSERT_TRUE(s.session.RunUntil(
        [&] { return s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER) == 1000; },
        600));
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().framesCompleted >= 3; }, 5000));
    // The paint after the third frame asks for the next one.
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().LiveFramePending == 1; }, 100));
    const auto& invalidations = s.session.shell.invalidations;
    EXPECT_EQ(std::count_if(invalidations.begin(), invalidations.end(),
                            [](const auto& inv) {
                                return inv.window == LIVE_IMAGE_WINDOW &&
                                       inv.area == LIVE_PREVIEW_RECT && !inv.erase;
                            }),
              3);
    // A click while a frame request is pending toggles once, 200 ms later (and not again).
    const Micros clicked = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.live().LiveViewRunning, 1);
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, LIVE_TIMER_DEFERRED_PREVIEW), 200);
    s.Run(500);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, BITMAP_PREVIEW_OFF, BITMAP_CAPTURE));
    const Micros stop = s.FirstSent(clicked, LIVE_STOP);
    EXPECT_EQ(stop - clicked, 200 * MS);
    EXPECT_EQ(s.CountSince(start, LIVE_STOP), 1);
    EXPECT_EQ(s.CountSince(stop, LIVE_START), 0);
}

TEST(LiveImageView, RepaintsWhileAFrameIsUnderWayWriteNothingAndTheNextFrameIsAskedForOnce) {
    // Moments of a frame: its request not yet answered, its first line in, half, all but its last.
    for (const int linesIn : {0, 1, 30, 59}) {
        SCOPED_TRACE(linesIn);
        LiveSession s;
        ASSERT_TRUE(s.ready);
        const Micros start = s.Now();
        s.Click(LIVE_BUTTON_PREVIEW);
        ASSERT_TRUE(s.session.RunUntil([&] { return s.live().LivePacketNumber >= linesIn; }, 2000));
        ASSERT_EQ(s.live().framesCompleted, 0u);
        const std::size_t before = s.session.line.Written().size();
        for (int i = 0; i < 5; ++i) {
            s.window().Paint();
        }
        EXPECT_EQ(s.session.line.Written().size(), before);
        ASSERT_TRUE(s.session.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
        const Micros done = s.Now();
        for (int i = 0; i < 5; ++i) {
            s.window().Paint();
        }
        ASSERT_TRUE(s.session.RunUntil([&] { return s.live().framesCompleted >= 3; }, 3000));
        const int inFlight = s.live().LiveFrameInFlight ? 1 : 0;
        EXPECT_EQ(s.CountSince(start, LIVE_START), 3 + inFlight);
        EXPECT_EQ(s.CountSince(done, LIVE_START), 2 + inFlight);
        EXPECT_EQ(s.CountSince(start, NAK), 0);
        EXPECT_EQ(s.CountSince(start, ACK), 3 * 59 + inFlight * s.live().LivePacketNumber);
    }
}

// A camera falling silent mid-frame, or after a whole frame at the request for the next one
// (the request counts as traffic for one tick only): one NAK, and 400 ms later the live view
// stops, the Preview comes to the front and COM_DISCONNECT opens. A click made meanwhile does not
// turn the live view on again.
TEST(LiveWindow, SilenceGivesOneNakThenStopsLiveViewAndOpensTheDisconnectDialog) {
    const std::uint32_t setup = testing::MessagesBeforeActivity();
    for (const auto& [silentAfter, clickAfterMs] :
         {std::pair{3, -1}, {LIVE_FRAME_PACKETS, -1}, {LIVE_FRAME_PACKETS, 300}}) {
        SCOPED_TRACE(::testing::Message() << silentAfter << " " << clickAfterMs);
        CameraConfig config;
        config.faults.silentAfterMessages = setup + silentAfter;
        LiveSession s(config);
        ASSERT_TRUE(s.ready);
        const Micros start = s.Now();
        s.Click(LIVE_BUTTON_PREVIEW);
        if (clickAfterMs >= 0) {
            ASSERT_TRUE(s.session.RunUntil(
                [&] {
                    return s.live().LiveFramePending == 1 && s.CountSince(start, LIVE_START) == 2;
                },
                3000));
            s.Run(clickAfterMs);
            s.Click(LIVE_BUTTON_PREVIEW);
        }
        ASSERT_TRUE(s.session.RunUntil([&] { return s.Disconnected(); }, 5000));
        EXPECT_EQ(s.Now() - s.FirstSent(start, NAK), 400 * MS);
        EXPECT_EQ(s.live().LiveViewRunning, 0);
        EXPECT_EQ(s.LastByte(), LIVE_STOP);
        EXPECT_EQ(s.session.shell.activatedWindows, std::vector<WindowId>{PREVIEW_WINDOW});
        EXPECT_EQ(s.session.shell.mdiClientStates.back(), false);
        const Micros dialogAt = s.Now();
        s.Run(2000);
        EXPECT_EQ(s.live().LiveViewRunning, 0);
        EXPECT_EQ(s.CountSince(dialogAt, LIVE_START), 0);
        EXPECT_EQ(s.CountSince(start, NAK), 1);
    }
}

TEST(LiveImageView, TenBadPacketsAreNakedTheEleventhStopsAndLiveViewRestarts200MsLater) {
    CameraConfig config;
    config.faults.garbleMessage = testing::MessagesBeforeActivity() + 5;  // and its ten repeats
    config.faults.garbleCount = 11;
    LiveSession s(config);
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(s.session.RunUntil([&] { return s.CountSince(start, LIVE_STOP) > 0; }, 2000));
    std::vector<std::uint8_t> expected{LIVE_START, ACK, ACK, ACK, ACK, ACK};
    expected.insert(expected.end(), 10, NAK);
    expected.push_back(LIVE_STOP);
    EXPECT_EQ(s.session.WrittenSince(start), expected);
    EXPECT_EQ(s.live().LivePacketNumber, 0);
    EXPECT_EQ(s.program().link.RetryCount, 0);
    const Micros stopAt = s.session.line.Written().back().sent;
    ASSERT_TRUE(s.session.RunUntil([&] { return s.CountSince(stopAt + 1, LIVE_START) > 0; }, 1000));
    EXPECT_GE(s.FirstSent(stopAt + 1, LIVE_START) - stopAt, 200 * MS);
    EXPECT_LT(s.FirstSent(stopAt + 1, LIVE_START) - stopAt, 210 * MS);
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
    EXPECT_EQ(s.CountSince(stopAt + 1, NAK), 0);
}

// A frame pending at the press, the release or both: the click still turns the live view on once.
TEST(LiveImageView, AClickWithAFramePendingAtThePressOrTheReleaseTurnsItOnOnce) {
    for (const auto& [atPress, atRelease] : {std::pair{1, 1}, {1, 0}, {0, 1}}) {
        LiveSession t;
        ASSERT_TRUE(t.ready);
        t.live().LiveFramePending = static_cast<std::uint8_t>(atPress);
        t.window().ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        t.live().LiveFramePending = static_cast<std::uint8_t>(atRelease);
        t.window().ButtonNotify(LIVE_BUTTON_PREVIEW, false);
        t.live().LiveFramePending = 0;  // the frame's first packet came
        t.Run(250);
        EXPECT_EQ(t.Buttons(), std::tuple(1, 0, BITMAP_PREVIEW_ON, BITMAP_CAPTURE))
            << atPress << atRelease;
    }
}

// The photo button's press stops the live view, its release starts a whole photo; the camera's
// own button does the same, and cancels a running photo; maximising the window stops both.
TEST(LiveImagePhoto, ThePhotoButtonsStartAndCancelAPhotoAndMaximisingStopsBoth) {
    constexpr std::uint32_t OFF = BITMAP_PREVIEW_OFF;
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    s.window().ButtonNotify(LIVE_BUTTON_PHOTO, true);
    EXPECT_EQ(s.LastByte(), LIVE_STOP);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE_PRESSED));
    s.Run(50);
    s.window().ButtonNotify(LIVE_BUTTON_PHOTO, false);
    EXPECT_EQ(s.LastByte(), PHOTO_START);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 1, OFF, BITMAP_CANCEL));
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_LIVE_PHOTO);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), false);
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
    s.Run(100);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), true);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_SAVE_AS), true);
    // The camera's button during live view: LIVE_STOP, and PHOTO_START 200 ms later.
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    Micros at = s.Now();
    s.camera.PressPhotoButton();
    s.session.line.CameraSpoke();
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().LivePhotoRunning == 1; }, 1000));
    EXPECT_EQ(s.Buttons(), std::tuple(0, 1, OFF, BITMAP_CANCEL));
    ASSERT_GE(s.FirstSent(at, LIVE_STOP), 0);
    EXPECT_EQ(s.FirstSent(at, PHOTO_START) - s.FirstSent(at, LIVE_STOP), 200 * MS);
    s.Run(500);
    at = s.Now();
    s.camera.PressPhotoButton();  // during the photo: cancels it
    ASSERT_TRUE(
        s.session.RunUntil([&] { return s.live().PhotoButtonBitmap == BITMAP_CAPTURE; }, 1000));
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    EXPECT_EQ(s.CountSince(at, PHOTO_STOP), 2);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), false);
    EXPECT_TRUE(s.PhotoGrey());
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    at = s.Now();
    s.window().Size(false);
    EXPECT_EQ(s.Buttons(), std::tuple(1, 0, BITMAP_PREVIEW_ON, BITMAP_CAPTURE));
    s.window().Size(true);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    EXPECT_EQ(s.CountSince(at, LIVE_STOP), 1);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    s.Click(LIVE_BUTTON_PHOTO, 50);
    s.Run(300);
    at = s.Now();
    s.window().Size(true);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    EXPECT_EQ(s.CountSince(at, PHOTO_STOP), 1);
    EXPECT_TRUE(s.PhotoGrey());
    s.Run(2000);
    EXPECT_FALSE(s.Disconnected());
}

TEST(LiveImagePhoto, ZoomInGivesAModifiedLiveImagePhotoThatAsksToBeSavedAndSaveAsWritesAJpeg) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.window().LButtonDblClk(5, 155);  // no photo yet
    EXPECT_TRUE(s.program().openfileWindows.empty());
    s.Click(LIVE_BUTTON_PHOTO, 50);
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
    s.window().LButtonDblClk(4, 200);  // beside the photo
    s.window().LButtonDblClk(200, 396);
    EXPECT_TRUE(s.program().openfileWindows.empty());
    s.window().LButtonDblClk(5, 155);
    ASSERT_EQ(s.program().openfileWindows.size(), 1u);
    s.window().Command(CMD_LIVE_ZOOM);
    ASSERT_EQ(s.program().openfileWindows.size(), 2u);
    PictureWindow& zoomed = *s.program().openfileWindows.back();
    EXPECT_EQ(zoomed.title(), LIVE_PHOTO_TITLE);
    EXPECT_TRUE(zoomed.modified());
    EXPECT_EQ(s.session.shell.createdWindows.back().title, LIVE_PHOTO_TITLE);
    const DibBlock& photo = *s.program().buffers.LivePhotoImage;
    EXPECT_TRUE(std::equal(photo.bytes().begin(), photo.bytes().end(), zoomed.picture().data()));
    s.session.shell.scriptedAnswers.push_back(IDNO);
    EXPECT_TRUE(zoomed.Close());
    EXPECT_EQ(s.session.shell.messages.back().text, "Save changes to Live Image Photo?");
    const auto path = s.session.root / "photo.jpg";
    s.session.shell.scriptedSaveAnswers.push_back(SaveDialogResult{path.string(), 1});
    s.window().Command(CMD_SAVE_AS);
    EXPECT_TRUE(s.window().lastSave.written);
    const auto bytes = testing::ReadBytes(path);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
}

// The narrow camera (model 318): from a fresh start, whichever comes first, Save As writes the
// save-widened photo (columns 0, 5, 10 from 0, 4, 8) and Zoom In opens the zoom-widened one
// (column 127 from 104).
TEST(LiveImagePhoto, TheNarrowCamerasPhotoIsSavedAndZoomedFromAFreshStart) {
    for (const bool saveFirst : {true, false}) {
        SCOPED_TRACE(saveFirst);
        CameraConfig config;
        config.modelCode = "318";
        LiveSession s(config);
        ASSERT_TRUE(s.ready);
        s.Click(LIVE_BUTTON_PHOTO, 50);
        ASSERT_TRUE(s.session.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
        const DibBlock& photo = *s.program().buffers.LivePhotoImage;
        const auto path = s.session.root / "photo.bmp";
        for (const bool save : {saveFirst, !saveFirst}) {
            if (save) {
                s.session.shell.scriptedSaveAnswers.push_back(
                    SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
                s.window().Command(CMD_SAVE_AS);
                ASSERT_TRUE(s.window().lastSave.written);
                const auto bytes = testing::ReadBytes(path);
                ASSERT_EQ(bytes.size(), 54u + 921'600u);
                const DibBlock saved(std::vector<std::uint8_t>(bytes.begin() + 14, bytes.end()));
                for (const auto& [out, in] : {std::pair{0, 0}, {5, 4}, {10, 8}}) {
                    EXPECT_EQ(PixelAt(saved, out, 100), PixelAt(photo, in, 100)) << out;
                }
            } else {
                s.window().Command(CMD_LIVE_ZOOM);
                ASSERT_EQ(s.program().openfileWindows.size(), 1u);
                const DibBlock& zoomed = s.program().openfileWindows.back()->picture();
                EXPECT_EQ(PixelAt(zoomed, 127, 100), PixelAt(photo, 104, 100));
                EXPECT_EQ(DibWidth(zoomed), 640);
                EXPECT_EQ(DibHeight(zoomed), 480);
            }
        }
        EXPECT_TRUE(s.session.shell.messages.empty());
    }
}

}  // namespace
}  // namespace fotolyx
