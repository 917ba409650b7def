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
using testing::LinkSession;
using testing::MS;

// A program with its link set up to a simulated camera on COM1, ready for the Live image window.
class LiveSession {
  public:
    explicit LiveSession(CameraConfig config = {})
        : camera(session.AddCamera(PORT_COM1, WithPictures(config))) {
        session.Start();
        ready = session.RunUntil([&] { return program().indexTransfer.index.IndexLoaded; }, 60'000);
    }
    static CameraConfig WithPictures(CameraConfig config) {
        config.pictures = camsim::MakeSamplePictures(2);
        return config;
    }

    Program& program() { return session.program(); }
    LiveImageWindow& window() { return program().liveWindow; }
    const LiveState& live() { return program().live; }
    Micros Now() const { return session.loop.Now(); }
    void Click(int button) {
        window().ButtonNotify(button, true);
        window().ButtonNotify(button, false);
    }
    bool RunUntil(const std::function<bool()>& done, int limitMs) {
        return session.RunUntil(done, limitMs);
    }
    void Run(int ms) { session.loop.RunFor(ms); }
    // The bytes written since a time, with the times they left.
    std::vector<testing::LineByte> WrittenSince(Micros since) const {
        std::vector<testing::LineByte> bytes;
        for (const auto& written : session.line.Written()) {
            if (written.sent >= since) {
                bytes.push_back(written);
            }
        }
        return bytes;
    }
    long CountSince(Micros since, std::uint8_t byte) const {
        const auto bytes = WrittenSince(since);
        return std::count_if(bytes.begin(), bytes.end(),
                             [byte](const testing::LineByte& b) { return b.byte == byte; });
    }
    void StartPhoto() {
        window().ButtonNotify(LIVE_BUTTON_PHOTO, true);
        Run(50);
        window().ButtonNotify(LIVE_BUTTON_PHOTO, false);
    }

    LinkSession session;
    camsim::SimCamera& camera;
    bool ready = false;
};

std::vector<std::uint8_t> Row(const DibBlock& picture, int width, int rowFromTop, int height) {
    const std::size_t stride = 3 * static_cast<std::size_t>(width);
    const std::uint8_t* start =
        picture.data() + INFO_HEADER_SIZE + (height - 1 - rowFromTop) * stride;
    return {start, start + stride};
}

bool AllGrey(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0x80; });
}

TEST(LiveImageView, FramesArriveOneARoundTripAndArePainted) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    const Micros start = s.Now();
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.live().PreviewButtonBitmap, BITMAP_PREVIEW_ON);
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_LIVE_VIEW);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_RECEIVE_LIVE);
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
    // Moments of a frame: its request not yet answered, its first line in, half of it, all but
    // its last line.
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
        EXPECT_EQ(s.CountSince(start, LIVE_START), 3 + (s.live().LiveFrameInFlight ? 1 : 0));
        EXPECT_EQ(s.CountSince(done, LIVE_START), 2 + (s.live().LiveFrameInFlight ? 1 : 0));
        EXPECT_EQ(s.CountSince(start, NAK), 0);
        EXPECT_EQ(s.CountSince(start, ACK),
                  3 * 59 + (s.live().LiveFrameInFlight ? 1 : 0) * s.live().LivePacketNumber);
    }
}

std::uint32_t SetupMessages();

TEST(LiveImageView, AFrameRequestLeftUnansweredForAWholeWatchdogPeriodCountsAsSilence) {
    // The camera falls silent right after the first frame: the next request is never answered.
    CameraConfig config;
    config.faults.silentAfterMessages = SetupMessages() + 60;
    LiveSession s(config);
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(s.RunUntil([&] { return s.live().framesCompleted >= 1; }, 2000));
    s.Run(1);  // the paint after the frame asks for the next one
    const Micros silent = s.Now();
    ASSERT_EQ(s.live().LiveFramePending, 1);
    // Two ticks at most with the request pending, one NAK, then the dialog 400 ms later.
    s.Run(3500);
    EXPECT_EQ(s.CountSince(silent, NAK), 1);
    const auto& shown = s.session.shell.linkDialogsShown;
    EXPECT_NE(std::find(shown.begin(), shown.end(), LinkDialog::ComDisconnect), shown.end());
}

// Messages the camera sends during the set-up, so a fault can name a later one.
std::uint32_t SetupMessages() {
    LiveSession probe;
    return probe.camera.MessagesSent();
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
    Micros stopAt = 0;
    for (const auto& written : s.WrittenSince(start)) {
        answers.push_back(written.byte);
        stopAt = written.sent;
    }
    std::vector<std::uint8_t> expected{LIVE_START, ACK, ACK, ACK, ACK, ACK};
    expected.insert(expected.end(), 10, NAK);
    expected.push_back(LIVE_STOP);
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(s.live().LivePacketNumber, 0);
    EXPECT_EQ(s.program().link.RetryCount, 0);

    ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(stopAt + 1, LIVE_START) > 0; }, 1000));
    const auto after = s.WrittenSince(stopAt + 1);
    EXPECT_EQ(after.front().byte, LIVE_START);
    EXPECT_GE(after.front().sent - stopAt, 200 * MS);
    EXPECT_LT(after.front().sent - stopAt, 210 * MS);
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
    const auto written = s.WrittenSince(clicked);
    const auto stop = std::find_if(written.begin(), written.end(),
                                   [](const auto& b) { return b.byte == LIVE_STOP; });
    ASSERT_NE(stop, written.end());
    EXPECT_EQ(stop->sent - clicked, 200 * MS);
    EXPECT_EQ(s.CountSince(clicked, LIVE_STOP), 1);
    EXPECT_EQ(s.CountSince(stop->sent, LIVE_START), 0);
}

TEST(LiveImageView, AClickTogglesTheLiveViewOnceWhenAFrameIsPendingAtPressOrRelease) {
    struct Case {
        bool pendingAtPress;
        bool pendingAtRelease;
    };
    for (const Case c : {Case{true, true}, Case{true, false}, Case{false, true}}) {
        SCOPED_TRACE(::testing::Message() << c.pendingAtPress << c.pendingAtRelease);
        LiveSession s;
        ASSERT_TRUE(s.ready);
        LiveState& live = s.program().live;
        live.LiveFramePending = c.pendingAtPress ? 1 : 0;
        s.window().ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        live.LiveFramePending = c.pendingAtRelease ? 1 : 0;
        s.window().ButtonNotify(LIVE_BUTTON_PREVIEW, false);
        live.LiveFramePending = 0;  // the frame's first packet came
        s.Run(250);
        EXPECT_EQ(live.LiveViewRunning, 1);
        EXPECT_EQ(live.PreviewButtonBitmap, BITMAP_PREVIEW_ON);
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
    auto written = s.WrittenSince(noticed);
    const auto stop = std::find_if(written.begin(), written.end(),
                                   [](const auto& b) { return b.byte == LIVE_STOP; });
    const auto start = std::find_if(written.begin(), written.end(),
                                    [](const auto& b) { return b.byte == PHOTO_START; });
    ASSERT_NE(stop, written.end());
    ASSERT_NE(start, written.end());
    EXPECT_EQ(start->sent - stop->sent, 200 * MS);

    s.Run(500);
    const Micros second = s.Now();
    s.camera.PressPhotoButton();
    ASSERT_TRUE(s.RunUntil([&] { return s.live().PhotoButtonBitmap == BITMAP_CAPTURE; }, 1000));
    EXPECT_EQ(s.live().LivePhotoRunning, 0);
    EXPECT_EQ(s.CountSince(second, PHOTO_STOP), 2);
    EXPECT_EQ(s.session.shell.statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.session.shell.MenuItem(MenuBar::Current, CMD_LIVE_ZOOM), false);
    EXPECT_TRUE(AllGrey(Row(*s.program().buffers.LivePhotoImage, 640, 0, 480)));
}

TEST(LiveImagePhoto, ZoomInGivesAModifiedLiveImagePhotoThatAsksToBeSavedAndSaveAsWritesAJpeg) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.window().LButtonDblClk(5, 155);  // no photo yet
    EXPECT_TRUE(s.program().openfileWindows.empty());
    s.StartPhoto();
    ASSERT_TRUE(s.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));

    for (const auto& [x, y] : {std::pair{4, 200}, std::pair{200, 396}}) {
        s.window().LButtonDblClk(x, y);
    }
    EXPECT_TRUE(s.program().openfileWindows.empty());
    s.window().LButtonDblClk(5, 155);
    ASSERT_EQ(s.program().openfileWindows.size(), 1u);
    s.window().Command(CMD_LIVE_ZOOM);
    ASSERT_EQ(s.program().openfileWindows.size(), 2u);
    OpenfileWindow& zoomed = *s.program().openfileWindows.back();
    EXPECT_EQ(zoomed.title(), LIVE_PHOTO_TITLE);
    EXPECT_TRUE(zoomed.modified());
    EXPECT_EQ(s.session.shell.createdWindows.back().title, LIVE_PHOTO_TITLE);
    const DibBlock& photo = *s.program().buffers.LivePhotoImage;
    EXPECT_TRUE(
        std::equal(photo.bytes().begin(), photo.bytes().end(), zoomed.picture().bytes().begin()));

    s.session.shell.scriptedAnswers.push_back(IDNO);
    EXPECT_TRUE(zoomed.Close());
    ASSERT_FALSE(s.session.shell.messages.empty());
    EXPECT_EQ(s.session.shell.messages.back().text, "Save changes to Live Image Photo?");
    EXPECT_EQ(s.session.shell.messages.back().caption, "Fotolyx");

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
// save-widened photo and Zoom In opens the zoom-widened one.
TEST(LiveImagePhoto, TheNarrowCamerasPhotoIsSavedAndZoomedFromAFreshStart) {
    for (const bool saveFirst : {true, false}) {
        CameraConfig config;
        config.modelCode = "318";
        LiveSession s(config);
        ASSERT_TRUE(s.ready);
        ASSERT_EQ(s.program().link.ModelVariant, 1);
        s.StartPhoto();
        ASSERT_TRUE(s.RunUntil([&] { return s.live().photosCompleted == 1; }, 60'000));
        const DibBlock& photo = *s.program().buffers.LivePhotoImage;
        // Pixel x of row 100 (bottom-up) of the photo, channel ch.
        const auto source = [&](int x, int ch) {
            return int{photo.data()[INFO_HEADER_SIZE + 100 * 1920 + 3 * x + ch]};
        };
        const auto path = s.session.root / "photo.bmp";
        const auto save = [&] {
            s.session.shell.scriptedSaveAnswers.push_back(
                SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
            s.window().Command(CMD_SAVE_AS);
            ASSERT_TRUE(s.window().lastSave.written) << saveFirst;
            const auto bytes = testing::ReadBytes(path);
            ASSERT_EQ(bytes.size(), 54u + 921'600u) << saveFirst;
            for (const auto& [out, in] : {std::pair{0, 0}, std::pair{5, 4}, std::pair{10, 8}}) {
                for (int ch = 0; ch < 3; ++ch) {
                    EXPECT_EQ(bytes[54 + 100 * 1920 + 3 * out + ch], source(in, ch))
                        << saveFirst << " column " << out;
                }
            }
        };
        const auto zoom = [&] {
            s.window().Command(CMD_LIVE_ZOOM);
            ASSERT_EQ(s.program().openfileWindows.size(), 1u) << saveFirst;
            const DibBlock& zoomed = s.program().openfileWindows.back()->picture();
            for (int ch = 0; ch < 3; ++ch) {
                const std::uint8_t* row = zoomed.data() + INFO_HEADER_SIZE + 100 * 1920;
                EXPECT_EQ(row[ch], (54 * source(3, ch) + 202 * source(4, ch)) / 256) << saveFirst;
                EXPECT_EQ(row[3 * 127 + ch], source(104, ch)) << saveFirst;
            }
            EXPECT_EQ(ReadLe32(zoomed.data() + 4), 640u);
            EXPECT_EQ(ReadLe32(zoomed.data() + 8), 480u);
        };
        if (saveFirst) {
            save();
            zoom();
        } else {
            zoom();
            save();
        }
        EXPECT_TRUE(s.session.shell.messages.empty()) << saveFirst;
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

    s.StartPhoto();
    s.Run(300);
    at = s.Now();
    s.window().Size(true);
    EXPECT_EQ(s.live().LivePhotoRunning, 0);
    EXPECT_EQ(s.live().PhotoButtonBitmap, BITMAP_CAPTURE);
    EXPECT_EQ(s.CountSince(at, PHOTO_STOP), 1);
    EXPECT_TRUE(AllGrey(Row(*s.program().buffers.LivePhotoImage, 640, 0, 480)));
    s.Run(2000);
    EXPECT_FALSE(s.session.DialogShown(LinkDialog::ComDisconnect));
}

TEST(LiveWindow, TheWatchdogWaits500ThenRunsEvery1000) {
    LiveSession s;
    ASSERT_TRUE(s.ready);
    s.Click(LIVE_BUTTON_PREVIEW);
    EXPECT_EQ(s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER), 500);
    ASSERT_TRUE(s.RunUntil(
        [&] { return s.session.loop.TimerLeftMs(LIVE_IMAGE_WINDOW, WATCHDOG_TIMER) == 1000; },
        600));
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
    EXPECT_FALSE(s.session.DialogShown(LinkDialog::ComDisconnect));
    ASSERT_TRUE(s.RunUntil([&] { return s.session.DialogShown(LinkDialog::ComDisconnect); }, 1000));
    EXPECT_EQ(s.Now() - nakAt, 400 * MS);
    EXPECT_EQ(s.live().LiveViewRunning, 0);
    EXPECT_EQ(s.WrittenSince(nakAt).back().byte, LIVE_STOP);
    EXPECT_EQ(s.session.shell.activatedWindows, std::vector<WindowId>{PREVIEW_WINDOW});
    EXPECT_EQ(s.session.shell.mdiClientStates.back(), false);
    EXPECT_EQ(s.CountSince(start, NAK), 1);
}

// The camera answers one whole frame and then never the request for the next one. The tick after
// that request counts as traffic once, not for ever: one NAK, then the live view stops and
// COM_DISCONNECT opens, and a click the user made meanwhile does not turn it on again.
TEST(LiveWindow, AFrameRequestTheCameraNeverAnswersEndsInTheDisconnectDialog) {
    struct Case {
        const char* name;
        int clickAfterMs;  // a click on the preview button once the camera is silent; -1: none
    };
    const Case cases[] = {{"nobody clicks", -1}, {"the user clicks to stop", 300}};
    for (const Case& c : cases) {
        CameraConfig config;
        config.faults.silentAfterMessages = SetupMessages() + LIVE_FRAME_PACKETS;
        LiveSession s(config);
        ASSERT_TRUE(s.ready) << c.name;
        const Micros start = s.Now();
        s.Click(LIVE_BUTTON_PREVIEW);
        ASSERT_TRUE(s.RunUntil([&] { return s.CountSince(start, LIVE_START) == 2; }, 3000))
            << c.name;
        if (c.clickAfterMs >= 0) {
            s.Run(c.clickAfterMs);
            s.Click(LIVE_BUTTON_PREVIEW);
        }
        ASSERT_TRUE(
            s.RunUntil([&] { return s.session.DialogShown(LinkDialog::ComDisconnect); }, 5000))
            << c.name;
        EXPECT_EQ(s.CountSince(start, NAK), 1) << c.name;
        EXPECT_EQ(s.live().LiveViewRunning, 0) << c.name;
        const Micros dialogAt = s.Now();
        s.Run(2000);
        EXPECT_EQ(s.live().LiveViewRunning, 0) << c.name;
        EXPECT_EQ(s.CountSince(dialogAt, LIVE_START), 0) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
