#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QSet>
#include <QTest>

#include "bench/gui_bench_session.h"
#include "gui/gui_session.h"
#include "gui/live_image_view.h"
#include "gui/picture_buttons.h"
#include "windows/openfile_window.h"

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

// The benchmarks' loop answers each packet the moment it arrives, so the camera streams at its
// line speed.
bool RunUntil(const std::function<bool()>& condition, int milliseconds) {
    return bench::RunUntil(condition, std::chrono::milliseconds(milliseconds));
}

// The Live image window made active with the camera's index loaded, as a user would find it.
bool ReadyForLive(GuiSession& session) {
    if (!session.WaitForIndex()) {
        return false;
    }
    session.frame().MdiArea()->setActiveSubWindow(session.frame().LiveImageFrame());
    return session.frame().CurrentMenuKind() == MenuBar::Liveimage;
}

void Click(GuiSession& session, int button) {
    QTest::mouseClick(LiveView(session).Button(button), Qt::LeftButton);
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

TEST(LiveImageTest, PanelsAndPicturesLieWhereTheyBelong) {
    GuiSession session(false);
    const QImage shown = LiveView(session).grab().toImage();
    struct Probe {
        int x, y;
        QColor colour;
    };
    // Each panel: a dark and a white edge, the corner where the white line starts, the last
    // corner (never drawn), and a pixel just inside.
    const Probe probes[] = {
        {5, 100, DARK},        {100, 5, DARK},        {5, 145, WHITE},      {100, 145, WHITE},
        {325, 100, WHITE},     {325, 5, BACKGROUND},  {6, 6, BACKGROUND},   {100, 138, DARK},
        {178, 100, DARK},      {12, 138, WHITE},      {12, 100, WHITE},     {100, 12, WHITE},
        {178, 12, BACKGROUND}, {190, 100, DARK},      {250, 22, DARK},      {190, 128, WHITE},
        {310, 100, WHITE},     {310, 22, BACKGROUND}, {100, 399, DARK},     {329, 300, DARK},
        {1, 399, WHITE},       {1, 300, WHITE},       {100, 151, WHITE},    {329, 151, BACKGROUND},
        {15, 15, MID_GREY},    {174, 134, MID_GREY},  {14, 14, BACKGROUND}, {175, 135, BACKGROUND},
        {5, 155, MID_GREY},    {324, 394, MID_GREY},  {4, 154, BACKGROUND}, {325, 395, BACKGROUND},
    };
    for (const Probe& probe : probes) {
        EXPECT_EQ(shown.pixelColor(probe.x, probe.y), probe.colour)
            << "at " << probe.x << "," << probe.y;
    }
    // Zoom In and Save As wait for a photo.
    EXPECT_FALSE(MenuCommand(session, CMD_LIVE_ZOOM)->isEnabled());
    EXPECT_FALSE(MenuCommand(session, CMD_SAVE_AS)->isEnabled());
}

TEST(LiveImageTest, ButtonBitmapsShowTheirCaptionOnTheirFace) {
    struct Look {
        int number;
        int height;
        QColor face;
        bool pressed;
    };
    const Look looks[] = {
        {105, 30, BACKGROUND, false},        {106, 30, BACKGROUND, true},
        {107, 31, QColor(0, 0, 160), false}, {108, 31, QColor(200, 0, 0), true},
        {109, 30, BACKGROUND, false},        {110, 30, BACKGROUND, true},
    };
    for (const Look& look : looks) {
        SCOPED_TRACE(look.number);
        const QImage bitmap = gui::ButtonBitmap(look.number).toImage();
        ASSERT_EQ(bitmap.size(), QSize(100, look.height));
        EXPECT_EQ(bitmap.pixelColor(5, 15), look.face);
        // Raised: light top-left edge; pressed: dark.
        EXPECT_EQ(bitmap.pixelColor(0, 0), look.pressed ? DARK : WHITE);
        EXPECT_EQ(bitmap.pixelColor(99, look.height - 1), look.pressed ? WHITE : DARK);
        int caption = 0;
        for (int x = 20; x < 80; ++x) {
            caption += bitmap.pixelColor(x, 15) != look.face ? 1 : 0;
        }
        EXPECT_GT(caption, 3);
    }
}

TEST(LiveImageTest, LiveViewPaintsCameraFramesUntilStoppedOrMaximisedAndTheWindowStays) {
    GuiSession session;
    ASSERT_TRUE(ReadyForLive(session));
    gui::LiveImageView& view = LiveView(session);
    const LiveState& live = session.program().live;
    EXPECT_EQ(Coloured(view.Render(), SMALL_PICTURE), 0);

    gui::PictureButtonWidget* preview = view.Button(LIVE_BUTTON_PREVIEW);
    QTest::mousePress(preview, Qt::LeftButton);
    EXPECT_EQ(live.LiveViewRunning, 1);
    EXPECT_EQ(preview->grab().toImage().pixelColor(5, 15), QColor(200, 0, 0));
    EXPECT_EQ(preview->ShownBitmap(), 108);
    QTest::mouseRelease(preview, Qt::LeftButton);
    EXPECT_EQ(live.LiveViewRunning, 1);

    ASSERT_TRUE(RunUntil([&] { return live.framesCompleted >= 3; }, 20'000));
    EXPECT_GT(Coloured(view.Render(), SMALL_PICTURE), 160 * 100);
    EXPECT_EQ(Coloured(view.Render(), PHOTO), 0);
    EXPECT_TRUE(session.StatusHistory().contains("Receive Live Image data"));

    Click(session, LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(RunUntil([&] { return live.LiveViewRunning == 0; }, 5'000));
    EXPECT_EQ(live.PreviewButtonBitmap, 107u);
    EXPECT_EQ(session.frame().StatusText(), "Ready");

    Click(session, LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(RunUntil([&] { return live.LiveViewRunning == 1; }, 5'000));
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

TEST(LiveImageTest, APhotoIsTakenZoomedIntoItsOwnWindowAndAsksToBeSaved) {
    GuiSession session;
    ASSERT_TRUE(ReadyForLive(session));
    gui::LiveImageView& view = LiveView(session);
    Program& program = session.program();
    const LiveState& live = program.live;

    Click(session, LIVE_BUTTON_PHOTO);
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
    session.frame().Command(CMD_LIVE_ZOOM);
    ASSERT_EQ(program.openfileWindows.size(), 2u);

    BoxAnswerer answerer({QMessageBox::No});
    EXPECT_TRUE(program.openfileWindows[0]->Close());
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].text, "Save changes to Live Image Photo?");

    // The next photo greys the commands again and empties the photo area.
    session.gui().shell().ActivateChildWindow(LIVE_IMAGE_WINDOW);
    QTest::mousePress(view.Button(LIVE_BUTTON_PHOTO), Qt::LeftButton);
    EXPECT_FALSE(MenuCommand(session, CMD_LIVE_ZOOM)->isEnabled());
    EXPECT_FALSE(MenuCommand(session, CMD_SAVE_AS)->isEnabled());
    EXPECT_EQ(Coloured(view.Render(), PHOTO), 0);
    QTest::mouseRelease(view.Button(LIVE_BUTTON_PHOTO), Qt::LeftButton);
}

TEST(LiveImageTest, OnAn8BitDisplayFramesAreShownThroughTheFixedPalette) {
    GuiSession session;
    ASSERT_TRUE(ReadyForLive(session));
    DisplayState& display = session.program().display;
    display.TrueColourDisplay = false;
    display.DisplayPalette = MakeFixedScreenPalette();
    // A picture window left its own palette on the screen.
    LogPalette other;
    other.palNumEntries = 2;
    other.palPalEntry[1] = {255, 255, 255, 0};
    display.ScreenPalette = other;

    Click(session, LIVE_BUTTON_PREVIEW);
    ASSERT_TRUE(RunUntil([&] { return session.program().live.framesCompleted >= 2; }, 20'000));
    const QImage shown = LiveView(session).grab().toImage();
    ASSERT_TRUE(display.ScreenPalette.has_value());
    EXPECT_EQ(display.ScreenPalette->palNumEntries, 256);
    QSet<QRgb> allowed;
    for (const PaletteEntry& entry : display.DisplayPalette->palPalEntry) {
        allowed.insert(qRgb(entry.peRed, entry.peGreen, entry.peBlue));
    }
    QSet<QRgb> seen;
    for (int y = SMALL_PICTURE.top(); y <= SMALL_PICTURE.bottom(); ++y) {
        for (int x = SMALL_PICTURE.left(); x <= SMALL_PICTURE.right(); ++x) {
            seen.insert(shown.pixel(x, y) | 0xFF000000u);
        }
    }
    EXPECT_GT(seen.size(), 2);
    EXPECT_TRUE(seen.subtract(allowed).isEmpty());
}

}  // namespace
}  // namespace fotolyx::testing
