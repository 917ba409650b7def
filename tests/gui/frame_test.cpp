#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "gui/gui_session.h"
#include "gui/menu_table.h"

namespace fotolyx::testing {
namespace {

QStringList TopLevelTitles(const gui::FrameWindow& frame) {
    QStringList titles;
    for (QAction* action : frame.menuBar()->actions()) {
        titles << action->text();
    }
    return titles;
}

// The COM SETUP dialog's title, speed, checked port and its device; whether Esc leaves it up.
QStringList ComSetupContents(GuiSession& session) {
    QStringList seen;
    OnShown<QDialog> driver([&](QDialog& dialog) {
        seen << dialog.windowTitle()
             << dialog.findChild<QLineEdit*>(QStringLiteral("control1036"))->text();
        for (const int id : {1001, 1002, 1042, 1043}) {
            auto* radio = dialog.findChild<QRadioButton*>(QStringLiteral("control%1").arg(id));
            if (radio->isChecked()) {
                seen << radio->text()
                     << dialog.findChild<QLabel*>(QStringLiteral("devicePath%1").arg(id))->text();
            }
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
        seen << (dialog.isVisible() ? "open" : "closed");
        dialog.findChild<QPushButton*>()->click();
    });
    session.frame().Command(CMD_COMMUNICATION);
    return seen;
}

TEST(FrameTest, ShowsItsWindowsMenusDialogsAndHelpAndAsksBeforeTheExit) {
    GuiSession session;
    gui::FrameWindow& frame = session.frame();
    EXPECT_EQ(frame.windowTitle(), "Fotolyx");
    EXPECT_EQ(frame.size(), QSize(745, 605));
    EXPECT_EQ(frame.PreviewFrame()->windowTitle(), "Preview Window");
    EXPECT_EQ(frame.PreviewFrame()->geometry(), QRect(30, 30, 590, 475));
    EXPECT_EQ(frame.LiveImageFrame()->windowTitle(), "Live image Window");
    EXPECT_EQ(frame.LiveImageFrame()->geometry(), QRect(5, 5, 340, 435));
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Option", "&Help"}));
    EXPECT_FALSE(frame.MdiArea()->isEnabled());
    EXPECT_TRUE(frame.ProgressBar()->isHidden());
    EXPECT_EQ(frame.ProgressBar()->geometry(), QRect(150, 605 - 15, 200, 12));
    const struct {
        MenuBar kind;
        int command;
        const char* text;
        bool enabled, enabledWithIndex;
    } items[] = {
        {MenuBar::Frame, CMD_FLASH_ALL_ERASE, "&Flash All Erase", true, true},
        {MenuBar::Preview, CMD_DATA_IN, "&Data in from camera", false, false},
        {MenuBar::Capture, CMD_PRINT, "&Print...", true, true},
        {MenuBar::Imagefile, CMD_DATA_OUT_FINE, "&Fine mode", false, true},
        {MenuBar::Liveimage, CMD_CLOSE_IMAGE, "C&lose Image", true, true},
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
    EXPECT_EQ(ComSetupContents(session),
              (QStringList{"COM SETUP", "115200", "COM1", session.camera().DevicePath(), "open"}));

    frame.MdiArea()->setActiveSubWindow(frame.LiveImageFrame());
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Help"}));
    ASSERT_NE(session.OpenPicture(QuadrantPicture(), "picture"), nullptr);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Image", "&Window", "&Help"}));
    frame.Command(CMD_CLOSE_IMAGE);
    QTest::qWait(0);
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
    frame.PreviewFrame()->close();  // the permanent windows have no way out but the exit
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

TEST(FrameTest, ASessionEndAsksAsExitDoesWhenItMayAndEndsWithoutAskingWhenNot) {
    const struct {
        bool mayAsk;
        std::vector<QMessageBox::StandardButton> answers;
        bool ends;
        std::size_t boxes;  // the exit question, then the save question
    } rows[] = {{true, {QMessageBox::Cancel}, false, 1},
                {true, {QMessageBox::Ok, QMessageBox::No}, true, 2},
                {false, {}, true, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.boxes);
        GuiSession session(false);
        ASSERT_NE(session.program().CreateOpenfileWindow("Untitled", true), nullptr);
        const auto scratch = session.program().scratch.ScratchFileA;
        BoxAnswerer answers(row.answers);
        EXPECT_EQ(session.gui().SessionEnding(row.mayAsk), row.ends);
        EXPECT_EQ(answers.Seen().size(), row.boxes);
        EXPECT_EQ(std::filesystem::exists(scratch), !row.ends);
    }
}

TEST(FrameTest, TheFrameKeepsItsPlaceSizeAndMaximisedStateForTheNextStart) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        QRect placed;  // relative to the work area, as the next start puts it
        bool maximised;
        QRect expected;
    } cases[] = {
        {{10, 20, 450, 350}, true, {10, 20, 450, 350}},  // the place it had before
        {{screen.width() - 100, 10, 400, 300}, false, {screen.width() - 400, 10, 400, 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maximised);
        if (const char* settings = std::getenv("FOTOLYX_SETTINGS")) {
            std::filesystem::remove(settings);  // each case is a first start
        }
        GuiSession session(false);
        EXPECT_EQ(session.frame().size(), QSize(745, 605));
        session.frame().setGeometry(c.placed.translated(screen.topLeft()));
        if (c.maximised) {
            session.frame().showMaximized();
        }
        {
            BoxAnswerer answers({QMessageBox::Ok});
            session.frame().close();
        }
        const auto again = session.StartAgain();
        EXPECT_EQ(again->frame().isMaximized(), c.maximised);
        EXPECT_EQ(c.maximised ? again->frame().normalGeometry() : again->frame().geometry(),
                  c.expected.translated(screen.topLeft()));
    }
}

}  // namespace
}  // namespace fotolyx::testing
