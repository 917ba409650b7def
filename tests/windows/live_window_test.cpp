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
using testing::PixelFromTop;

// A program linked to a simulated camera with two pictures on COM1, its index loaded.
struct LiveSession {
    explicit LiveSession(CameraConfig config = {})
        : camera(session.AddCamera(PORT_COM1, [&] {
              config.pictures = camsim::MakeSamplePictures(2);
              return config;
          }())) {
        session.Start();
        ready = session.RunUntilIndexLoaded();
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
    const std::size_t sent = s.session.line.Written().size();
    for (int i = 0; i < 5; ++i) {  // repaints while a frame is under way write nothing
        s.window().Paint();
    }
    EXPECT_EQ(s.session.line.Written().size(), sent);
    // The watchdog waits 500 ms first, then runs every 1000.
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER), 500);
    ASSERT_TRUE(s.session.RunUntil(
        [&] { return s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER) == 1000; },
        600));
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().framesCompleted >= 3; }, 5000));
    // The paint after the third frame asks for the next one, once; all but each last packet ACKed.
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().LiveFramePending == 1; }, 100));
    EXPECT_EQ(std::tuple(s.CountSince(start, LIVE_START), s.CountSince(start, ACK),
                         s.CountSince(start, NAK)),
              std::tuple(4, 3 * 59, 0));
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

// Silence mid-frame, or at the request for the next frame: one NAK, 400 ms later the live view
// stops, the Preview comes to the front and COM_DISCONNECT opens; a click meanwhile changes none.
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
    EXPECT_EQ(std::tuple(s.live().LivePacketNumber, s.program().link.RetryCount), std::tuple(0, 0));
    const Micros stopAt = s.session.line.Written().back().sent;
    ASSERT_TRUE(s.session.RunUntil([&] { return s.CountSince(stopAt + 1, LIVE_START) > 0; }, 1000));
    EXPECT_GE(s.FirstSent(stopAt + 1, LIVE_START) - stopAt, 200 * MS);
}

// The photo button's press stops the live view, its release starts a whole photo; the camera's
// own button does the same, and cancels a running photo; maximising the window stops live view.
TEST(LiveImagePhoto, ThePhotoButtonsStartAndCancelAPhotoAndMaximisingStopsLiveView) {
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
    ASSERT_TRUE(s.session.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
    s.Run(100);
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    s.window().LButtonDblClk(4, 200);  // beside the photo: nothing to take over
    EXPECT_TRUE(s.program().openfileWindows.empty());
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
    EXPECT_EQ(PixelFromTop(*s.program().buffers.LivePhotoImage, 0, 0), Grey(0x80));
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    at = s.Now();
    s.window().Size(true);  // maximised
    EXPECT_EQ(s.Buttons(), std::tuple(0, 0, OFF, BITMAP_CAPTURE));
    EXPECT_EQ(s.CountSince(at, LIVE_STOP), 1);
}

}  // namespace
}  // namespace fotolyx
