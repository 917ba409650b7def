#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "windows/live_image_window.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::Micros;
using testing::MS;

// A program with its link set up to a simulated camera on COM1, ready for the Live image window.
class LiveSession {
  public:
    explicit LiveSession(CameraConfig config = {})
        : camera(session.AddCamera(PORT_COM1, [&] {
              config.pictures = camsim::MakeSamplePictures(2);
              return config;
          }())) {
        session.Start();
        ready = RunUntil([&] { return program().indexTransfer.index.IndexLoaded; }, 60'000);
    }

    Program& program() { return session.program(); }
    LiveImageWindow& window() { return program().liveWindow; }
    LiveState& live() { return program().live; }
    Micros Now() const { return session.loop.Now(); }
    void Click(int button, int heldMs = 0) {
        window().ButtonNotify(button, true);
        Run(heldMs);
        window().ButtonNotify(button, false);
    }
    bool RunUntil(const std::function<bool()>& done, int limitMs) {
        return session.RunUntil(done, limitMs);
    }
    void Run(int ms) { session.loop.RunFor(ms); }
    // The bytes written since a time, with the times they left.
    std::vector<testing::LineByte> WrittenSince(Micros since) const {
        std::vector<testing::LineByte> bytes;
        std::copy_if(session.line.Written().begin(), session.line.Written().end(),
                     std::back_inserter(bytes), [since](const auto& b) { return b.sent >= since; });
        return bytes;
    }
    long CountSince(Micros since, std::uint8_t byte) const {
        const auto bytes = WrittenSince(since);
        return std::count_if(bytes.begin(), bytes.end(),
                             [byte](const auto& b) { return b.byte == byte; });
    }
    // When a byte first left since a time.
    Micros FirstSent(Micros since, std::uint8_t byte) const {
        const auto bytes = WrittenSince(since);
        const auto found = std::find_if(bytes.begin(), bytes.end(),
                                        [byte](const auto& b) { return b.byte == byte; });
        return found == bytes.end() ? -1 : found->sent;
    }
    bool Disconnected() const { return session.DialogShown(LinkDialog::ComDisconnect); }

    testing::LinkSession session;
    camsim::SimCamera& camera;
    bool ready = false;
};

// Messages the camera sends during the set-up, so a fault can name a later one.
std::uint32_t SetupMessages() {
    LiveSession probe;
    return probe.camera.MessagesSent();
}

// True when a row (counted from the top) of a 24-bit picture is the untouched grey 0x80.
bool GreyRow(const DibBlock& picture, int width, int height, int rowFromTop) {
    const std::uint8_t* start =
        picture.data() + INFO_HEADER_SIZE + (height - 1 - rowFromTop) * 3 * width;
    return std::all_of(start, start + 3 * width, [](std::uint8_t b) { return b == 0x80; });
}

TEST(LiveImageView, FramesArriveOneARoundTripAndArePaintedUnderTheWatchdog) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.live().PreviewButtonBitmap, BITMAP_PREVIEW_ON);
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_LIVE_VIEW);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_RECEIVE_LIVE);
    // The watchdog waits 500 ms first, then runs every 1000.
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER), 500);
    ASSERT_TRUE(s.RunUntil(
        [&] { return s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER) == 1000; },
        600));
    ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 3; }, 5000));
    s.Run(1);  // the paint after the third frame

    // Each frame: LIVE_START, its packets, then the paint asks for the next one.
    EXPECT_GE(s.CountSince(start, LIVE_START), 4);
    const auto& invalidations = s.session.shell.invalidations;
    EXPECT_EQ(std::count_if(invalidations.begin(), invalidations.end(),
                            [](const auto& inv) {
                                return inv.window == LIVE_IMAGE_WINDOW &&
                                       inv.area == LIVE_PREVIEW_RECT && !inv.erase;
                            }),
              3);

    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(200);  // the click waited for the frame request to be answered
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    EXPECT_EQ(s.live().PreviewButtonBitmap, BITMAP_PREVIEW_OFF);
    EXPECT_EQ(s.CountSince(start, LIVE_STOP), 1);
}

TEST(LiveImageView, RepaintsWhileAFrameIsUnderWayWriteNothingAndTheNextFrameIsAskedForOnce) {
    // Moments of a frame: its request not yet answered, its first line in, half, all but its last.
    for (const int linesIn : {0, 1, 30, 59}) {
        SCOPED_TRACE(linesIn);
        LiveSession s;
        ASSERT_TRUE(s.ready);
        const Micros start = s.Now();
        s.Click(LIVE_BUTTON_PREVIEW);
        ASSERT_TRUE(s.RunUntil([&] { return s.live().LivePacketNumber >= linesIn; }, 2000));
        ASSERT_EQ(s.live().framesCompleted, 0u);
        const std::size_t before = s.session.line.Written().size();
        for (int i = 0; i < 5; ++i) {
            s.window().Paint();
        }
        EXPECT_EQ(s.session.line.Written().size(), before);

        // Once the frame is in, a burst of paints asks for the next one exactly once.
        ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
        const Micros done = s.Now();
        for (int i = 0; i < 5; ++i) {
            s.window().Paint();
        }
        ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 3; }, 3000));
        const int inFlight = s.live().LiveFrameInFlight ? 1 : 0;
        EXPECT_EQ(s.CountSince(start, LIVE_START), 3 + inFlight);
        EXPECT_EQ(s.CountSince(done, LIVE_START), 2 + inFlight);
        EXPECT_EQ(s.CountSince(start, NAK), 0);
        EXPECT_EQ(s.CountSince(start, ACK), 3 * 59 + inFlight * s.live().LivePacketNumber);
    }
}

// The camera answers one whole frame and then never the request for the next one. The tick after
// that request counts as traffic once, not for ever: one NAK, then the live view stops and
// COM_DISCONNECT opens, and a click the user made meanwhile does not turn it on again.
TEST(LiveWindow, AFrameRequestTheCameraNeverAnswersEndsInTheDisconnectDialog) {
    for (const int clickAfterMs : {-1, 300}) {  // -1: nobody clicks
        SCOPED_TRACE(clickAfterMs);
        CameraConfig config;
        config.faults.silentAfterMessages = SetupMessages() + LIVE_FRAME_PACKETS;
        LiveSession s(config);
        ASSERT_TRUE(s.ready);
        const Micros start = s.Now();
        s.Click(LIVE_BUTTON_PREVIEW);
        ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(start, LIVE_START) == 2; }, 3000));
        EXPECT_EQ(s.live().LiveFramePending, 1);
        if (clickAfterMs >= 0) {
            s.Run(clickAfterMs);
            s.Click(LIVE_BUTTON_PREVIEW);
        }
        ASSERT_TRUE(s.RunUntil([&] { return s.Disconnected(); }, 5000));
        EXPECT_EQ(s.CountSince(start, NAK), 1);
        EXPECT_EQ(s.live().LiveViewRunning, 0);
        const Micros dialogAt = s.Now();
        s.Run(2000);
        EXPECT_EQ(s.live().LiveViewRunning, 0);
        EXPECT_EQ(s.CountSince(dialogAt, LIVE_START), 0);
    }
}

TEST(LiveWindow, SilenceGivesOneNakThenStopsLiveViewAndOpensTheDisconnectDialog) {
    CameraConfig config;
    config.faults.silentAfterMessages = SetupMessages() + 3;
    LiveSession s(config);
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(start, NAK) == 1; }, 3000));
    const Micros nakAt = s.WrittenSince(start).back().sent;
    EXPECT_FALSE(s.Disconnected());
    ASSERT_TRUE(s.RunUntil([&] { return s.Disconnected(); }, 1000));
    EXPECT_EQ(s.Now() - nakAt, 400 * MS);
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    EXPECT_EQ(s.WrittenSince(nakAt).back().byte, LIVE_STOP);
    EXPECT_EQ(s.session.shell.activatedWindows, std::vector<WindowId>{PREVIEW_WINDOW});
    EXPECT_EQ(s.session.shell.mdiClientStates.back(), false);
    EXPECT_EQ(s.CountSince(start, NAK), 1);
}

TEST(LiveImageView, TenBadPacketsAreNakedTheEleventhStopsAndLiveViewRestarts200MsLater) {
    CameraConfig config;
    config.faults.garbleMessage = SetupMessages() + 5;  // line 5 and the camera's ten repeats
    config.faults.garbleCount = 11;
    LiveSession s(config);
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(start, LIVE_STOP) > 0; }, 2000));
    std::vector<std::uint8_t> answers;
    for (const auto& written : s.WrittenSince(start)) {
        answers.push_back(written.byte);
    }
    std::vector<std::uint8_t> expected{LIVE_START, ACK, ACK, ACK, ACK, ACK};
    expected.insert(expected.end(), 10, NAK);
    expected.push_back(LIVE_STOP);
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(s.live().LivePacketNumber, 0);
    EXPECT_EQ(s.program().link.RetryCount, 0);

    const Micros stopAt = s.WrittenSince(start).back().sent;
    ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(stopAt + 1, LIVE_START) > 0; }, 1000));
    EXPECT_GE(s.FirstSent(stopAt + 1, LIVE_START) - stopAt, 200 * MS);
    EXPECT_LT(s.FirstSent(stopAt + 1, LIVE_START) - stopAt, 210 * MS);
    ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
    EXPECT_EQ(s.CountSince(stopAt + 1, NAK), 0);
}

TEST(LiveImageView, AClickWhileAFrameRequestIsPendingTogglesOnce200MsLater) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
    ASSERT_TRUE(s.RunUntil([&] { return s.live().LiveFramePending == 1; }, 100));
    const Micros clicked = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.live().LiveViewRunning, 1);
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, LIVE_TIMER_DEFERRED_PREVIEW), 200);
    s.Run(250);
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    const Micros stop = s.FirstSent(clicked, LIVE_STOP);
    EXPECT_EQ(stop - clicked, 200 * MS);
    EXPECT_EQ(s.CountSince(clicked, LIVE_STOP), 1);
    EXPECT_EQ(s.CountSince(stop, LIVE_START), 0);

    // A frame pending at the press, the release or both: the click still turns it on once.
    for (const auto& [atPress, atRelease] : {std::pair{1, 1}, {1, 0}, {0, 1}}) {
        LiveSession t;
        ASSERT_TRUE(t.ready);
        t.live().LiveFramePending = static_cast<std::uint8_t>(atPress);
        t.window().ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        t.live().LiveFramePending = static_cast<std::uint8_t>(atRelease);
        t.window().ButtonNotify(LIVE_BUTTON_PREVIEW, false);
        t.live().LiveFramePending = 0;  // the frame's first packet came
        t.Run(250);
        EXPECT_EQ(t.live().LiveViewRunning, 1) << atPress << atRelease;
        EXPECT_EQ(t.live().PreviewButtonBitmap, BITMAP_PREVIEW_ON) << atPress << atRelease;
    }
}

TEST(LiveImagePhoto, APhotoClickDuringLiveViewStopsItOnPressAndTakesAWholePhotoOnRelease) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    const Micros pressed = s.Now();
    s.window().ButtonNotify(LIVE_BUTTON_PHOTO, true);
    EXPECT_EQ(s.WrittenSince(pressed).back().byte, LIVE_STOP);
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CAPTURE_PRESSED);
    s.Run(50);
    const Micros released = s.Now();
    s.window().ButtonNotify(LIVE_BUTTON_PHOTO, false);
    EXPECT_EQ(s.WrittenSince(released).back().byte, PHOTO_START);
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CANCEL);
    EXPECT_EQ(s.live().LivePhotoRunning, 1);
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_LIVE_PHOTO);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), false);

    ASSERT_TRUE(s.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
    s.Run(100);
    EXPECT_EQ(s.live().LivePhotoRunning, 0);
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CAPTURE);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), true);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_SAVE_AS), true);
}

TEST(LiveImagePhoto, TheCameraButtonStartsAPhotoDuringLiveViewAndCancelsItDuringAPhoto) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    const Micros noticed = s.Now();
    s.camera.PressPhotoButton();
    s.session.line.CameraSpoke();
    ASSERT_TRUE(s.RunUntil([&] { return s.live().LivePhotoRunning == 1; }, 1000));
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CANCEL);
    ASSERT_GE(s.FirstSent(noticed, LIVE_STOP), 0);
    EXPECT_EQ(s.FirstSent(noticed, PHOTO_START) - s.FirstSent(noticed, LIVE_STOP), 200 * MS);

    s.Run(500);
    const Micros second = s.Now();
    s.camera.PressPhotoButton();
    ASSERT_TRUE(s.RunUntil([&] { return s.live().PhotoButtonBitmap == BITMAP_CAPTURE; }, 1000));
    EXPECT_EQ(s.live().LivePhotoRunning, 0);
    EXPECT_EQ(s.CountSince(second, PHOTO_STOP), 2);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), false);
    EXPECT_TRUE(GreyRow(*s.program().buffers.LivePhotoImage, 640, 480, 0));
}

TEST(LiveImagePhoto, ZoomInGivesAModifiedLiveImagePhotoThatAsksToBeSavedAndSaveAsWritesAJpeg) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.window().LButtonDblClk(5, 155);  // no photo yet
    EXPECT_TRUE(s.program().openfileWindows.empty());
    s.Click(LIVE_BUTTON_PHOTO, 50);
    ASSERT_TRUE(s.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));

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
    EXPECT_EQ((std::pair{bytes[0], bytes[1]}), (std::pair<std::uint8_t, std::uint8_t>{0xFF, 0xD8}));
}

// The narrow camera (model 318): from a fresh start, whichever comes first, Save As writes the
// save-widened photo and Zoom In opens the zoom-widened one.
TEST(LiveImagePhoto, TheNarrowCamerasPhotoIsSavedAndZoomedFromAFreshStart) {
    for (const bool saveFirst : {true, false}) {
        SCOPED_TRACE(saveFirst);
        CameraConfig config;
        config.modelCode = "318";
        LiveSession s(config);
        ASSERT_TRUE(s.ready);
        ASSERT_EQ(s.program().link.ModelVariant, 1);
        s.Click(LIVE_BUTTON_PHOTO, 50);
        ASSERT_TRUE(s.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
        // Channel ch of pixel x of row 100 (bottom-up) of a 640 x 480 block.
        const auto at = [](const std::uint8_t* pixels, int x, int ch) {
            return int{pixels[100 * 1920 + 3 * x + ch]};
        };
        const std::uint8_t* photo = s.program().buffers.LivePhotoImage->data() + INFO_HEADER_SIZE;
        const auto path = s.session.root / "photo.bmp";
        for (int step = 0; step < 2; ++step) {
            if ((step == 0) == saveFirst) {
                s.session.shell.scriptedSaveAnswers.push_back(
                    SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
                s.window().Command(CMD_SAVE_AS);
                ASSERT_TRUE(s.window().lastSave.written);
                const auto bytes = testing::ReadBytes(path);
                ASSERT_EQ(bytes.size(), 54u + 921'600u);
                for (const auto& [out, in] : {std::pair{0, 0}, {5, 4}, {10, 8}}) {
                    for (int ch = 0; ch < 3; ++ch) {
                        EXPECT_EQ(at(bytes.data() + 54, out, ch), at(photo, in, ch)) << out;
                    }
                }
            } else {
                s.window().Command(CMD_LIVE_ZOOM);
                ASSERT_EQ(s.program().openfileWindows.size(), 1u);
                const DibBlock& zoomed = s.program().openfileWindows.back()->picture();
                for (int ch = 0; ch < 3; ++ch) {
                    EXPECT_EQ(at(zoomed.data() + INFO_HEADER_SIZE, 0, ch),
                              (54 * at(photo, 3, ch) + 202 * at(photo, 4, ch)) / 256);
                    EXPECT_EQ(at(zoomed.data() + INFO_HEADER_SIZE, 127, ch), at(photo, 104, ch));
                }
                EXPECT_EQ(ReadLe32(zoomed.data() + 4), 640u);
                EXPECT_EQ(ReadLe32(zoomed.data() + 8), 480u);
            }
        }
        EXPECT_TRUE(s.session.shell.messages.empty());
    }
}

TEST(LiveWindow, MaximisingStopsLiveViewAndPhoto) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    s.Run(100);
    Micros at = s.Now();
    s.window().Size(false);
    EXPECT_EQ(s.live().LiveViewRunning, 1);
    s.window().Size(true);
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    EXPECT_EQ(s.live().PreviewButtonBitmap, BITMAP_PREVIEW_OFF);
    EXPECT_EQ(s.CountSince(at, LIVE_STOP), 1);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);

    s.Click(LIVE_BUTTON_PHOTO, 50);
    s.Run(300);
    at = s.Now();
    s.window().Size(true);
    EXPECT_EQ(s.live().LivePhotoRunning, 0);
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CAPTURE);
    EXPECT_EQ(s.CountSince(at, PHOTO_STOP), 1);
    EXPECT_TRUE(GreyRow(*s.program().buffers.LivePhotoImage, 640, 480, 0));
    s.Run(2000);
    EXPECT_FALSE(s.Disconnected());
}

}  // namespace
}  // namespace fotolyx
