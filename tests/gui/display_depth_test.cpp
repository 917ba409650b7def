#include <gtest/gtest.h>

#include <QMdiArea>
#include <QTest>
#include <set>

#include "gui/capture_view.h"
#include "gui/gui_session.h"

namespace fotolyx::testing {
namespace {

QPoint Thumbnail(int column, int row) {
    return {10 + 140 * column + 60, 60 + 130 * row + 45};
}

QRgb ColourOf(const PaletteEntry& entry) {
    return qRgb(entry.peRed, entry.peGreen, entry.peBlue);
}

std::set<QRgb> PaletteColours(const LogPalette& palette) {
    std::set<QRgb> colours;
    for (int i = 0; i < palette.palNumEntries && i < 256; ++i) {
        colours.insert(ColourOf(palette.palPalEntry[static_cast<std::size_t>(i)]));
    }
    return colours;
}

// The distinct colours of the picture area of a Capture window as it is drawn now.
std::set<QRgb> DrawnColours(gui::CaptureView* view, QSize picture) {
    const QImage grab = view->grab().toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < std::min(picture.height(), view->ClientSize().height()); ++y) {
        for (int x = 0; x < std::min(picture.width(), view->ClientSize().width()); ++x) {
            colours.insert(grab.pixel(x, y) | 0xFF000000u);
        }
    }
    return colours;
}

TEST(DisplayDepthTest, ADownloadedPictureIsDrawnThroughItsOwnPaletteOnA256ColourScreen) {
    GuiSession session(true, {}, {}, false);
    Program& program = session.program();
    ASSERT_TRUE(session.WaitFor([&] {
        return program.indexTransfer.index.IndexLoaded && session.frame().StatusText() == "Ready";
    }));
    EXPECT_FALSE(program.display.TrueColourDisplay);
    QWidget* preview = session.frame().PreviewFrame()->widget();
    QTest::mouseClick(preview, Qt::LeftButton, {}, Thumbnail(2, 0));
    QTest::mouseDClick(preview, Qt::LeftButton, {}, Thumbnail(2, 0));
    ASSERT_TRUE(session.WaitFor([&] {
        return program.captureWindows.Ids().size() == 1 &&
               !program.pictureDownload.download.CaptureWaiting &&
               session.frame().StatusText() == "Ready";
    }));
    const WindowId id = program.captureWindows.Ids().front();
    CaptureWindow* capture = program.captureWindows.Find(id);
    ASSERT_TRUE(capture->palette().has_value());
    const std::set<QRgb> own = PaletteColours(*capture->palette());
    ASSERT_GT(own.size(), 16u);
    auto* view = static_cast<gui::CaptureView*>(session.frame().Window(id)->Child());
    const QSize size(capture->PictureWidth(), capture->PictureHeight());

    // Drawn as it arrived, and again after the Preview was active and the window came back: each
    // time through the window's own palette, which is the screen's.
    const auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(program.display.ScreenPalette.has_value());
        EXPECT_EQ(PaletteColours(*program.display.ScreenPalette), own);
        const std::set<QRgb> drawn = DrawnColours(view, size);
        EXPECT_LE(drawn.size(), 256u);
        EXPECT_GT(drawn.size(), 16u);
        EXPECT_TRUE(std::includes(own.begin(), own.end(), drawn.begin(), drawn.end()));
    };
    check("after the download");
    session.frame().MdiArea()->setActiveSubWindow(session.frame().PreviewFrame());
    ASSERT_TRUE(program.display.ScreenPalette.has_value());
    EXPECT_EQ(PaletteColours(*program.display.ScreenPalette),
              PaletteColours(*program.display.DisplayPalette));
    session.frame().MdiArea()->setActiveSubWindow(session.frame().Window(id));
    check("after activating it again");
}

TEST(DisplayDepthTest, PreviewThumbnailsAreDrawnThroughTheScreenPaletteOnA256ColourScreen) {
    GuiSession session(true, {}, {}, false);
    ASSERT_TRUE(session.WaitForIndex());
    const DisplayState& display = session.program().display;
    ASSERT_TRUE(display.ScreenPalette.has_value());
    const std::set<QRgb> screen = PaletteColours(*display.ScreenPalette);
    ASSERT_EQ(screen, PaletteColours(MakeFixedScreenPalette()));
    const QImage grab = session.frame().PreviewFrame()->widget()->grab().toImage();
    std::set<QRgb> drawn;
    for (int y = 60; y < 150; ++y) {
        for (int x = 10; x < 130 + 140 * 3; x += (x - 10) % 140 == 119 ? 21 : 1) {
            drawn.insert(grab.pixel(x, y) | 0xFF000000u);  // the first row of thumbnails
        }
    }
    EXPECT_GT(drawn.size(), 8u);
    EXPECT_TRUE(std::includes(screen.begin(), screen.end(), drawn.begin(), drawn.end()));
}

}  // namespace
}  // namespace fotolyx::testing
