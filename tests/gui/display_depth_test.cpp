#include <gtest/gtest.h>

#include <QMdiArea>

#include "gui/gui_session.h"
#include "gui/picture_view.h"

namespace fotolyx::testing {
namespace {

TEST(DisplayDepthTest, OnA256ColourScreenThumbnailsAndPicturesAreDrawnThroughTheScreenPalette) {
    GuiSession session(true, {}, false);
    ASSERT_TRUE(session.WaitForIndex());
    const DisplayState& display = session.program().display;
    EXPECT_FALSE(display.TrueColourDisplay);
    ASSERT_TRUE(display.ScreenPalette.has_value());
    const std::set<QRgb> fixed = PaletteColours(MakeFixedScreenPalette());
    ASSERT_EQ(PaletteColours(*display.ScreenPalette), fixed);
    const std::set<QRgb> thumbnail = DrawnColours(
        session.frame().PreviewFrame()->widget()->grab().toImage(), QRect(10, 60, 120, 90));
    EXPECT_GT(thumbnail.size(), 8u);
    EXPECT_TRUE(AllIn(thumbnail, fixed));

    PictureWindow* capture = session.Download(2);
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->palette().has_value());
    const std::set<QRgb> own = PaletteColours(*capture->palette());
    ASSERT_GT(own.size(), 16u);
    auto* view = static_cast<gui::PictureView*>(session.frame().Window(capture->id())->Child());
    const QRect picture(
        QPoint(0, 0),
        QSize(capture->PictureWidth(), capture->PictureHeight()).boundedTo(view->ClientSize()));
    // As it arrived, and after the Preview was active and the window came back.
    for (const char* when : {"after the download", "after activating it again"}) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(display.ScreenPalette.has_value());
        EXPECT_EQ(PaletteColours(*display.ScreenPalette), own);
        const std::set<QRgb> drawn = DrawnColours(view->grab().toImage(), picture);
        EXPECT_GT(drawn.size(), 16u);
        EXPECT_TRUE(AllIn(drawn, own));
        session.frame().MdiArea()->setActiveSubWindow(session.frame().PreviewFrame());
        EXPECT_EQ(PaletteColours(*display.ScreenPalette), fixed);
        session.frame().MdiArea()->setActiveSubWindow(session.frame().Window(capture->id()));
    }
}

}  // namespace
}  // namespace fotolyx::testing
