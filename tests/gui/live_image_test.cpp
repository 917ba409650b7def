#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QTest>

#include "bench/gui_bench_session.h"
#include "gui/gui_session.h"
#include "gui/live_image_view.h"
#include "gui/picture_buttons.h"
#include "windows/picture_window.h"

namespace fotolyx::testing {
namespace {

const QColor MID_GREY(128, 128, 128);
const QColor BACKGROUND(192, 192, 192);
const QColor DARK(64, 64, 64);
const QColor WHITE(255, 255, 255);
const QRect SMALL_PICTURE(15, 15, 160, 120);
const QRect PHOTO(5, 155, 320, 240);

gui::LiveImageView& LiveView(GuiSession& session) {
    return *static_cast<gui::LiveImageView*>(session.frame().LiveImageFrame()->Child());
}

// The benchmarks' loop answers each packet at once: the camera streams at its line speed.
bool RunUntil(const std::function<bool()>& condition, int milliseconds) {
    return bench::RunUntil(condition, std::chrono::milliseconds(milliseconds));
}

// Pixels of an area that are not the mid grey the pictures start with.
int Coloured(const QImage& shown, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += shown.pixelColor(x, y) != MID_GREY ? 1 : 0;
        }
    }
    return count;
}

QAction* MenuCommand(GuiSession& session, int id) {
    return session.frame().Menu(MenuBar::Liveimage).Command(id);
}

TEST(LiveImageTest, PanelsAPhotoAndLiveFramesArePaintedAlsoThroughAn8BitPaletteAndTheWindowStays) {
    GuiSession session;
    gui::LiveImageView& view = LiveView(session);
    const QImage empty = view.grab().toImage();
    // Each panel's dark and white edges, its corners and a pixel just inside.
    const struct {
        int x, y;
        QColor colour;
    } probes[] = {
        // clang-format off
        {5, 100, DARK}, {5, 145, WHITE}, {325, 100, WHITE}, {325, 5, BACKGROUND}, {6, 6, BACKGROUND},
        {178, 100, DARK}, {12, 138, WHITE}, {178, 12, BACKGROUND},
        {190, 100, DARK}, {190, 128, WHITE}, {310, 22, BACKGROUND},
        {329, 300, DARK}, {1, 300, WHITE}, {329, 151, BACKGROUND},
        {15, 15, MID_GREY}, {174, 134, MID_GREY}, {14, 14, BACKGROUND}, {175, 135, BACKGROUND},
        {5, 155, MID_GREY}, {324, 394, MID_GREY}, {4, 154, BACKGROUND}, {325, 395, BACKGROUND},
        // clang-format on
    };
    for (const auto& probe : probes) {
        EXPECT_EQ(empty.pixelColor(probe.x, probe.y), probe.colour) << probe.x << "," << probe.y;
    }
    EXPECT_FALSE(MenuCommand(session, CMD_LIVE_ZOOM)->isEnabled());  // they wait for a photo
    EXPECT_FALSE(MenuCommand(session, CMD_SAVE_AS)->isEnabled());
    ASSERT_TRUE(session.WaitForIndex());
    session.frame().MdiArea()->setActiveSubWindow(session.frame().LiveImageFrame());
    ASSERT_EQ(session.frame().CurrentMenuKind(), MenuBar::Liveimage);
    Program& program = session.program();
    const LiveState& live = program.live;

    QTest::mouseClick(view.Button(LIVE_BUTTON_PHOTO), Qt::LeftButton);
    EXPECT_EQ(live.PhotoButtonBitmap, 105u);
    // 2,160 packets at the line's speed: more than 20 s.
    ASSERT_TRUE(RunUntil([&] { return live.photosCompleted >= 1; }, 90'000));
    EXPECT_EQ(live.PhotoButtonBitmap, 109u);
    EXPECT_TRUE(MenuCommand(session, CMD_LIVE_ZOOM)->isEnabled());
    EXPECT_TRUE(MenuCommand(session, CMD_SAVE_AS)->isEnabled());
    EXPECT_GT(Coloured(view.Render(), PHOTO), 320 * 200);
    // A double click beside the photo opens nothing; on its corner it takes the photo over.
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(4, 200));
    EXPECT_EQ(program.openfileWindows.size(), 0u);
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(5, 155));
    ASSERT_EQ(program.openfileWindows.size(), 1u);
    EXPECT_EQ(program.openfileWindows[0]->title(), "Live Image Photo");

    session.gui().shell().ActivateChildWindow(LIVE_IMAGE_WINDOW);
    gui::PictureButtonWidget* preview = view.Button(LIVE_BUTTON_PREVIEW);
    QTest::mousePress(preview, Qt::LeftButton);
    EXPECT_EQ(live.LiveViewRunning, 1);
    EXPECT_EQ(preview->grab().toImage().pixelColor(5, 15), QColor(200, 0, 0));
    QTest::mouseRelease(preview, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return live.framesCompleted >= 3; }, 20'000));
    EXPECT_GT(Coloured(view.Render(), SMALL_PICTURE), 160 * 100);
    EXPECT_TRUE(session.StatusHistory().contains("Receive Live Image data"));

    DisplayState& display = program.display;
    display.TrueColourDisplay = false;
    display.DisplayPalette = MakeFixedScreenPalette();
    LogPalette other;  // a picture window left its own palette on the screen
    other.palNumEntries = 2;
    other.palPalEntry[1] = {255, 255, 255, 0};
    display.ScreenPalette = other;
    const std::uint32_t frames = live.framesCompleted;
    ASSERT_TRUE(RunUntil([&] { return live.framesCompleted >= frames + 2; }, 20'000));
    const QImage shown = view.grab().toImage();
    ASSERT_TRUE(display.ScreenPalette.has_value());
    EXPECT_EQ(display.ScreenPalette->palNumEntries, 256);
    const std::set<QRgb> seen = DrawnColours(shown, SMALL_PICTURE);
    EXPECT_GT(seen.size(), 2u);
    EXPECT_TRUE(AllIn(seen, PaletteColours(*display.DisplayPalette)));

    QMdiSubWindow* window = session.frame().LiveImageFrame();
    window->showMaximized();
    EXPECT_TRUE(RunUntil([&] { return live.LiveViewRunning == 0; }, 2'000));
    EXPECT_EQ(live.PreviewButtonBitmap, 107u);
    window->showNormal();
    window->close();
    QTest::qWait(50);
    EXPECT_EQ(session.frame().Window(LIVE_IMAGE_WINDOW), window);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace fotolyx::testing
