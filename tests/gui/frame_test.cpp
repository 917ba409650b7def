#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>
#include <filesystem>

#include "bench/gui_bench_session.h"
#include "gui/gui_session.h"
#include "gui/live_image_view.h"
#include "gui/menu_table.h"
#include "gui/picture_buttons.h"
#include "windows/picture_window.h"

namespace fotolyx::testing {
namespace {

using namespace std::chrono_literals;

QStringList TopLevelTitles(const gui::FrameWindow& frame) {
    QStringList titles;
    for (QAction* action : frame.menuBar()->actions()) {
        titles << action->text();
    }
    return titles;
}

const QColor MID_GREY(128, 128, 128);
const QRect SMALL_PICTURE(15, 15, 160, 120);
const QRect PHOTO(5, 155, 320, 240);

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

TEST(FrameTest, ShowsItsWindowsMenusLiveImageDialogsAndHelpAndAsksBeforeTheExit) {
    GuiSession session;
    gui::FrameWindow& frame = session.frame();
    EXPECT_EQ(frame.windowTitle(), "Fotolyx");
    EXPECT_EQ(frame.PreviewFrame()->windowTitle(), "Preview Window");
    EXPECT_EQ(frame.LiveImageFrame()->windowTitle(), "Live image Window");
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Option", "&Help"}));
    EXPECT_FALSE(frame.MdiArea()->isEnabled());
    auto& view = *static_cast<gui::LiveImageView*>(frame.LiveImageFrame()->Child());
    const struct {
        MenuBar kind;
        int command;
        const char* text;
        bool enabled, enabledWithIndex;
    } items[] = {
        {MenuBar::Frame, CMD_FLASH_ALL_ERASE, "&Flash All Erase", true, true},
        {MenuBar::Preview, CMD_DATA_IN, "&Data in from camera", false, false},
        {MenuBar::Imagefile, CMD_DATA_OUT_FINE, "&Fine mode", false, true},
        {MenuBar::Liveimage, CMD_LIVE_ZOOM, "Live &photo Zoom In", false, false},  // until a photo
    };
    for (const bool withIndex : {false, true}) {
        ASSERT_TRUE(!withIndex || session.WaitForIndex());
        for (const auto& item : items) {
            const QAction* action = frame.Menu(item.kind).Command(item.command);
            ASSERT_NE(action, nullptr) << item.text;
            EXPECT_EQ(action->text(), item.text);
            EXPECT_EQ(action->isEnabled(), withIndex ? item.enabledWithIndex : item.enabled)
                << item.text << (withIndex ? " with the index in" : "");
        }
    }
    EXPECT_EQ(frame.Menu(MenuBar::Frame).Command(CMD_DATA_IN), nullptr);

    frame.MdiArea()->setActiveSubWindow(frame.LiveImageFrame());
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Help"}));
    Program& program = session.program();
    const LiveState& liveState = program.live;
    QTest::mouseClick(view.Button(LIVE_BUTTON_PHOTO), Qt::LeftButton);
    // 2,160 packets at the line's speed: more than 20 s. The benchmarks' loop answers each at once.
    ASSERT_TRUE(bench::RunUntil([&] { return liveState.photosCompleted >= 1; }, 90s));
    EXPECT_TRUE(frame.Menu(MenuBar::Liveimage).Command(CMD_LIVE_ZOOM)->isEnabled());
    EXPECT_TRUE(frame.Menu(MenuBar::Liveimage).Command(CMD_SAVE_AS)->isEnabled());
    EXPECT_GT(Coloured(view.Render(), PHOTO), 320 * 200);
    // A double click on the photo's corner takes the photo over.
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(5, 155));
    ASSERT_EQ(program.openfileWindows.size(), 1u);
    EXPECT_EQ(program.openfileWindows[0]->title(), "Live Image Photo");
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Image", "&Window", "&Help"}));
    {
        BoxAnswerer answers({QMessageBox::No});  // the photo is not kept
        frame.Command(CMD_CLOSE_IMAGE);
    }
    ASSERT_TRUE(session.WaitFor([&] { return program.openfileWindows.empty(); }));

    session.gui().shell().ActivateChildWindow(LIVE_IMAGE_WINDOW);
    gui::PictureButtonWidget* preview = view.Button(LIVE_BUTTON_PREVIEW);
    QTest::mousePress(preview, Qt::LeftButton);
    EXPECT_EQ(liveState.LiveViewRunning, 1);
    EXPECT_EQ(preview->grab().toImage().pixelColor(5, 15), QColor(200, 0, 0));
    QTest::mouseRelease(preview, Qt::LeftButton);
    ASSERT_TRUE(bench::RunUntil([&] { return liveState.framesCompleted >= 3; }, 20s));
    EXPECT_GT(Coloured(view.Render(), SMALL_PICTURE), 160 * 100);
    EXPECT_TRUE(session.StatusHistory().contains("Receive Live Image data"));

    QMdiSubWindow* window = frame.LiveImageFrame();
    window->close();
    QTest::qWait(50);
    frame.PreviewFrame()->close();  // the permanent windows have no way out but the exit
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
    frame.MdiArea()->setActiveSubWindow(nullptr);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "Special", "&Help"}));

    {
        BoxAnswerer answers({QMessageBox::Ok});
        frame.Command(CMD_HELP);
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_TRUE(answers.Seen()[0].text.contains("Fotlx.hlp"));
    }
    std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                               session.folder() / "Fotlx.hlp");
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, Qt::Key_F1);
    ASSERT_NE(frame.Help(), nullptr);
    EXPECT_TRUE(frame.Help()->isVisible());
    EXPECT_TRUE(frame.Help()->toPlainText().contains("The line is disconnected"));

    for (const auto answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
        BoxAnswerer answers({answer});
        EXPECT_EQ(frame.close(), answer == QMessageBox::Ok);
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_EQ(answers.Seen()[0].icon, QMessageBox::Warning);
        EXPECT_EQ(answers.Seen()[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(frame.MdiArea()->subWindowList().size(), answer == QMessageBox::Ok ? 0 : 2);
        EXPECT_EQ(frame.Help()->isVisible(), answer == QMessageBox::Cancel);
    }
}

}  // namespace
}  // namespace fotolyx::testing
