#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>
#include <memory>

#include "app/ini_file.h"
#include "gui/child_window.h"
#include "gui/gui_session.h"
#include "gui/menu_table.h"
#include "link/protocol.h"
#include "support/camsim_process.h"

namespace fotolyx::testing {
namespace {

QStringList TopLevelTitles(const gui::FrameWindow& frame) {
    QStringList titles;
    for (QAction* action : frame.menuBar()->actions()) {
        titles << action->text();
    }
    return titles;
}

// A closable image window that answers the close question as told.
class TestImageWindow final : public gui::ChildWindow {
  public:
    TestImageWindow(WindowId id, bool agrees) : ChildWindow(id), agrees_(agrees) {}
    MenuBar Menu() const override { return MenuBar::Capture; }
    bool QueryClose() override {
        ++asked;
        return agrees_;
    }
    void Command(int id) override { commands.push_back(id); }
    int asked = 0;
    std::vector<int> commands;

  private:
    bool agrees_;
};

TEST(FrameTest, StartsWithBothPermanentWindowsAndFindsTheCamera) {
    GuiSession session;
    gui::FrameWindow& frame = session.frame();
    EXPECT_EQ(frame.windowTitle(), "Fotolyx");
    EXPECT_EQ(frame.size(), QSize(745, 605));
    ASSERT_NE(frame.PreviewFrame(), nullptr);
    ASSERT_NE(frame.LiveImageFrame(), nullptr);
    EXPECT_EQ(frame.PreviewFrame()->windowTitle(), "Preview Window");
    EXPECT_EQ(frame.PreviewFrame()->geometry(), QRect(30, 30, 590, 475));
    EXPECT_EQ(frame.LiveImageFrame()->windowTitle(), "Live image Window");
    EXPECT_EQ(frame.LiveImageFrame()->geometry(), QRect(5, 5, 340, 435));
    // The Preview window, created last, is active: its menu is shown.
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Preview);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Option", "&Help"}));
    EXPECT_EQ(frame.StatusText(), "Ready");
    EXPECT_FALSE(frame.MdiArea()->isEnabled());
    EXPECT_TRUE(frame.ProgressBar()->isHidden());
    EXPECT_EQ(frame.ProgressBar()->geometry(), QRect(150, 605 - 15, 200, 12));

    ASSERT_TRUE(session.WaitFor([&] { return session.program().link.SetupPhase == 0; }));
    EXPECT_EQ(session.StatusHistory().value(1), "Initial Setup with VISTACAM now proceeding");
    EXPECT_EQ(session.program().link.CurrentBaudRate, 115200u);
}

TEST(FrameTest, MenusFollowTheActiveChild) {
    GuiSession session(false);
    gui::FrameWindow& frame = session.frame();
    frame.MdiArea()->setEnabled(true);
    frame.MdiArea()->setActiveSubWindow(frame.LiveImageFrame());
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Liveimage);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Window", "&Help"}));
    EXPECT_FALSE(frame.CurrentMenu().Command(CMD_LIVE_ZOOM)->isEnabled());

    auto* image = new TestImageWindow(200, true);
    frame.AddChild(image, {"picture", 60, 60, 200, 200});
    frame.MdiArea()->setActiveSubWindow(frame.MdiArea()->subWindowList().back());
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Capture);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "&Image", "&Window", "&Help"}));

    // Commands the frame does not take go to the active child.
    frame.Command(CMD_COPY_TO_CLIPBOARD);
    frame.Command(CMD_HELP + 1000);
    EXPECT_EQ(image->commands, (std::vector<int>{CMD_COPY_TO_CLIPBOARD, CMD_HELP + 1000}));

    frame.MdiArea()->setActiveSubWindow(nullptr);
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Frame);
    EXPECT_EQ(TopLevelTitles(frame), (QStringList{"&File", "Special", "&Help"}));
}

TEST(FrameTest, MenuTableHoldsTheItemsOfEachBar) {
    GuiSession session(false);
    const gui::FrameWindow& frame = session.frame();
    struct Expected {
        MenuBar kind;
        int command;
        bool enabled;
        const char* text;
    };
    const Expected cases[] = {
        {MenuBar::Frame, CMD_OPEN, true, "&Open..."},
        {MenuBar::Frame, CMD_SAVE_AS, false, "Save &As..."},
        {MenuBar::Frame, CMD_FLASH_ALL_ERASE, true, "&Flash All Erase"},
        {MenuBar::Preview, CMD_DATA_IN, false, "&Data in from camera"},
        {MenuBar::Preview, CMD_DELETE_ALL, false, "Delete A&ll"},
        {MenuBar::Preview, CMD_RELOAD, false, "&Reload"},
        {MenuBar::Capture, CMD_PRINT, true, "&Print..."},
        {MenuBar::Capture, CMD_COPY_TO_CLIPBOARD, true, "&Copy to Clipboard"},
        {MenuBar::Imagefile, CMD_SAVE_AS, true, "Save &As..."},
        {MenuBar::Imagefile, CMD_DATA_OUT_FINE, false, "&Fine mode"},
        {MenuBar::Imagefile, CMD_DATA_OUT_NORMAL, false, "&Normal mode"},
        {MenuBar::Liveimage, CMD_CLOSE_IMAGE, true, "C&lose Image"},
    };
    for (const Expected& expected : cases) {
        SCOPED_TRACE(expected.command);
        const QAction* action = frame.Menu(expected.kind).Command(expected.command);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), expected.text);
        EXPECT_EQ(action->isEnabled(), expected.enabled);
    }
    EXPECT_EQ(frame.Menu(MenuBar::Frame).Command(CMD_DATA_IN), nullptr);
    EXPECT_EQ(frame.Menu(MenuBar::Liveimage).Command(CMD_OPEN), nullptr);
    // The sub-menu of the picture file window.
    const QMenu* file = frame.Menu(MenuBar::Imagefile).popups.front();
    QStringList items;
    for (const QAction* action : file->actions()) {
        items << (action->isSeparator() ? "-" : action->text());
    }
    EXPECT_EQ(items, (QStringList{"&Open...", "Save &As...", "-", "Data out &to camera", "-",
                                  "&Communication...", "-", "&Print...", "-", "E&xit"}));
    // Where each bar lists the windows.
    EXPECT_EQ(frame.Menu(MenuBar::Frame).windowListPopup->title(), "&File");
    EXPECT_EQ(frame.Menu(MenuBar::Capture).windowListPopup->title(), "&Window");
}

TEST(FrameTest, ExitAsksFirstAndCancelLeavesEverything) {
    GuiSession session(false);
    gui::FrameWindow& frame = session.frame();
    {
        BoxAnswerer answers({QMessageBox::Cancel});
        EXPECT_FALSE(frame.close());
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_EQ(answers.Seen()[0].caption, "Fotolyx");
        EXPECT_EQ(answers.Seen()[0].text, "Exit Fotolyx?");
        EXPECT_EQ(answers.Seen()[0].icon, QMessageBox::Warning);
        EXPECT_EQ(answers.Seen()[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
    EXPECT_FALSE(frame.ExitConfirmed());

    const auto scratch = session.program().scratch.ScratchFileA;
    ASSERT_TRUE(std::filesystem::exists(scratch));
    BoxAnswerer answers({QMessageBox::Ok});
    EXPECT_TRUE(frame.close());
    EXPECT_EQ(answers.Seen().size(), 1u);
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
    // The program has shut down: settings written, scratch files gone.
    EXPECT_FALSE(std::filesystem::exists(scratch));
    EXPECT_TRUE(std::filesystem::exists(session.program().settings.SettingsPath));
}

TEST(FrameTest, ClosingStopsARunningLiveViewBeforeAskingEvenWhenCancelled) {
    GuiSession session(false);
    gui::FrameWindow& frame = session.frame();
    session.program().liveWindow.ButtonNotify(2, true);
    ASSERT_EQ(session.program().live.LiveViewRunning, 1);
    BoxAnswerer answers({QMessageBox::Cancel});
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(answers.Seen().size(), 1u);
    EXPECT_EQ(session.program().live.LiveViewRunning, 0);
    EXPECT_TRUE(frame.isVisible());
}

TEST(FrameTest, AnImageWindowThatRefusesKeepsTheProgramAndTheNextExitAsksAgain) {
    GuiSession session(false);
    gui::FrameWindow& frame = session.frame();
    auto* refusing = new TestImageWindow(200, false);
    auto* agreeing = new TestImageWindow(201, true);
    frame.AddChild(refusing, {"refusing", 60, 60, 200, 200});
    frame.AddChild(agreeing, {"agreeing", 80, 80, 200, 200});
    {
        BoxAnswerer answers({QMessageBox::Ok});
        EXPECT_FALSE(frame.close());
        EXPECT_EQ(answers.Seen().size(), 1u);
    }
    EXPECT_EQ(refusing->asked, 1);
    // The window that agreed is gone; the refusing one and the permanent ones stay, and the
    // program goes on.
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 3);
    EXPECT_FALSE(frame.ExitConfirmed());
    EXPECT_TRUE(std::filesystem::exists(session.program().scratch.ScratchFileA));

    BoxAnswerer again({QMessageBox::Ok});
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(again.Seen().size(), 1u);
    EXPECT_EQ(refusing->asked, 2);
}

TEST(FrameTest, ASessionEndAsksAsExitDoesWhenItMayAndEndsWithoutAskingWhenNot) {
    struct Row {
        const char* name;
        bool mayAsk;
        std::vector<QMessageBox::StandardButton> answers;
        bool ends;
        std::size_t boxes;  // exit question and save question as far as they come
    };
    const Row rows[] = {
        {"the user keeps the program", true, {QMessageBox::Cancel}, false, 1},
        {"the user lets it end", true, {QMessageBox::Ok, QMessageBox::No}, true, 2},
        {"nobody may be asked", false, {}, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GuiSession session(false);
        ASSERT_NE(session.program().CreateOpenfileWindow("Untitled", true), nullptr);
        const auto scratch = session.program().scratch.ScratchFileA;
        const auto settings = session.program().settings.SettingsPath;
        BoxAnswerer answers(row.answers);
        EXPECT_EQ(session.gui().SessionEnding(row.mayAsk), row.ends);
        EXPECT_EQ(answers.Seen().size(), row.boxes);
        EXPECT_EQ(std::filesystem::exists(scratch), !row.ends);
        EXPECT_EQ(std::filesystem::exists(settings), row.ends);
    }
}

TEST(FrameTest, CloseImageLeavesThePermanentWindows) {
    GuiSession session(false);
    gui::FrameWindow& frame = session.frame();
    frame.Command(CMD_CLOSE_IMAGE);
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
    frame.AddChild(new TestImageWindow(200, true), {"picture", 60, 60, 200, 200});
    frame.Command(CMD_CLOSE_IMAGE);
    QTest::qWait(0);
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
    // The user cannot close them either.
    frame.PreviewFrame()->close();
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 2);
}

TEST(FrameTest, FlashAllEraseWritesOneByteOnlyAfterOk) {
    // COM1 is a terminal of the test's own: it hears what the program writes.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    GuiSession session(false, {}, {{PORT_COM1, name}});
    ASSERT_TRUE(session.WaitFor([&] { return session.program().ports.line.IsOpen(); }));
    // No camera will answer: the scan stays on COM1.
    session.gui().timers().KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
    auto written = [&] {
        QTest::qWait(100);
        std::vector<std::uint8_t> bytes(64);
        const ssize_t count = ::read(master, bytes.data(), bytes.size());
        bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return bytes;
    };
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    written();  // whatever the set-up said so far
    {
        BoxAnswerer answers({QMessageBox::Cancel});
        session.frame().Command(CMD_FLASH_ALL_ERASE);
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_EQ(answers.Seen()[0].caption, "ALL ERASE");
        EXPECT_EQ(answers.Seen()[0].text, "Delete all Flash memory?");
        EXPECT_EQ(answers.Seen()[0].icon, QMessageBox::Question);
    }
    EXPECT_TRUE(written().empty());
    BoxAnswerer answers({QMessageBox::Ok});
    session.frame().Command(CMD_FLASH_ALL_ERASE);
    EXPECT_EQ(written(), (std::vector<std::uint8_t>{ERASE_ALL}));
    ::close(master);
}

TEST(FrameTest, ComSetupShowsThePortAndSpeedOnceTheLinkIsUp) {
    GuiSession session;
    auto contents = [&] {
        QStringList seen;
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                return;
            }
            seen << dialog->windowTitle()
                 << dialog->findChild<QLineEdit*>(QStringLiteral("control1036"))->text();
            for (const int id : {1001, 1002, 1042, 1043}) {
                auto* radio = dialog->findChild<QRadioButton*>(QStringLiteral("control%1").arg(id));
                if (radio->isChecked()) {
                    seen << radio->text()
                         << dialog->findChild<QLabel*>(QStringLiteral("devicePath%1").arg(id))
                                ->text();
                }
            }
            // Esc does not end it; OK does.
            QTest::keyClick(dialog, Qt::Key_Escape);
            seen << (dialog->isVisible() ? "open" : "closed");
            dialog->findChild<QPushButton*>()->click();
        });
        session.frame().Command(CMD_COMMUNICATION);
        return seen;
    };
    EXPECT_EQ(contents(), (QStringList{"COM SETUP", "", "open"}));
    ASSERT_TRUE(session.WaitFor([&] { return session.program().link.SetupPhase == 0; }));
    EXPECT_EQ(contents(),
              (QStringList{"COM SETUP", "115200", "COM1", session.camera().DevicePath(), "open"}));
}

TEST(FrameTest, TheAdapterTheCameraAnsweredOnIsRememberedForNextTime) {
    // The camera behind a stable adapter name, as under /dev/serial/by-id.
    CamsimProcess camsim({});
    ASSERT_FALSE(camsim.path().empty());
    TempDir links;
    const auto adapter = links / "usb-Maker_Cable-if00-port0";
    std::filesystem::create_symlink(camsim.path(), adapter);
    GuiSession session(false, {}, {{PORT_COM2, adapter.string()}});
    ASSERT_TRUE(session.WaitFor([&] { return session.program().link.SetupPhase == 0; }));
    EXPECT_EQ(session.program().link.SelectedPort, PORT_COM2);
    session.program().Shutdown();
    const std::vector<std::uint8_t> bytes = ReadBytes(session.program().settings.SettingsPath);
    const std::string settings(bytes.begin(), bytes.end());
    EXPECT_NE(settings.find("[Ports]\nCOM1=" + adapter.string() + "\n"), std::string::npos)
        << settings;
}

// The window program started in the folders of an earlier session, without a camera.
std::unique_ptr<gui::GuiProgram> StartAgain(const GuiSession& earlier) {
    PortMap ports;
    for (const int id : {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4}) {
        ports.Set(id, MissingDevice(earlier.folder(), "again" + std::to_string(id)));
    }
    HostEnvironment environment = HostEnvironment::FromProcess(true);
    environment.programDirectory = environment.startDirectory = earlier.folder().path();
    environment.configHome = earlier.folder().path() / "config";
    environment.tempDirectory = earlier.folder().path();
    auto program = std::make_unique<gui::GuiProgram>(std::move(ports), std::move(environment));
    program->Start();
    return program;
}

TEST(FrameTest, TheFrameKeepsItsPlaceSizeAndMaximisedStateForTheNextStart) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* name;
        QRect placed;  // relative to the screen's work area
        bool maximised;
        QRect expected;  // where the next start puts it, relative to the work area
    };
    const Case cases[] = {
        {"moved and made smaller", {40, 30, 500, 400}, false, {40, 30, 500, 400}},
        {"maximised keeps the size it had before", {10, 20, 450, 350}, true, {10, 20, 450, 350}},
        {"partly off the work area is moved back onto it",
         {screen.width() - 100, 10, 400, 300},
         false,
         {screen.width() - 400, 10, 400, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case is a first start: the test's settings file begins empty.
        if (const char* settings = std::getenv("FOTOLYX_SETTINGS")) {
            std::filesystem::remove(settings);
        }
        GuiSession session(false);
        gui::FrameWindow& frame = session.frame();
        EXPECT_EQ(frame.size(), QSize(745, 605));  // a first start is as it always was
        frame.setGeometry(c.placed.translated(screen.topLeft()));
        if (c.maximised) {
            frame.showMaximized();
        }
        {
            BoxAnswerer answers({QMessageBox::Ok});
            frame.close();
        }
        const IniFile settings = IniFile::Load(session.program().settings.SettingsPath);
        EXPECT_EQ(settings.GetString("Frame", "WIDTH", "", 10), std::to_string(c.placed.width()));
        EXPECT_EQ(settings.GetString("Frame", "MAXIMIZED", "", 10), c.maximised ? "1" : "0");
        EXPECT_EQ(settings.GetString("Mode", "FILEPREV", "", 10), "0");

        const auto again = StartAgain(session);
        gui::FrameWindow& next = again->frame();
        EXPECT_EQ(next.isMaximized(), c.maximised);
        const QRect normal = c.maximised ? next.normalGeometry() : next.geometry();
        EXPECT_EQ(normal, c.expected.translated(screen.topLeft()));
    }
}

// The stacking order of the MDI client, the window in front last.
gui::ChildFrame* InFront(GuiSession& session) {
    const auto order = session.frame().MdiArea()->subWindowList(QMdiArea::StackingOrder);
    return order.isEmpty() ? nullptr : dynamic_cast<gui::ChildFrame*>(order.last());
}

TEST(FrameTest, ThePreviewIsInFrontAndActiveAfterACaptureWindowGoes) {
    struct Case {
        const char* name;
        bool cancelDownload;  // false: the window is closed once its picture is in
    };
    for (const Case c : {Case{"cancelled download", true}, Case{"closed after it", false}}) {
        SCOPED_TRACE(c.name);
        GuiSession session;
        Program& program = session.program();
        ASSERT_TRUE(session.WaitFor([&] {
            return program.indexTransfer.index.IndexLoaded &&
                   session.frame().StatusText() == "Ready";
        }));
        gui::ChildFrame* preview = session.frame().PreviewFrame();
        // The user had looked at the live image before.
        session.frame().MdiArea()->setActiveSubWindow(session.frame().LiveImageFrame());
        session.frame().MdiArea()->setActiveSubWindow(preview);
        QTest::mouseClick(preview->widget(), Qt::LeftButton, {}, QPoint(70, 105));
        QTest::mouseDClick(preview->widget(), Qt::LeftButton, {}, QPoint(70, 105));
        ASSERT_EQ(program.captureWindows.Ids().size(), 1u);
        const WindowId id = program.captureWindows.Ids().front();
        if (c.cancelDownload) {
            auto* wait = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(wait, nullptr);
            wait->reject();
        } else {
            ASSERT_TRUE(session.WaitFor([&] {
                return !program.pictureDownload.download.CaptureWaiting &&
                       session.frame().StatusText() == "Ready";
            }));
            session.frame().Window(id)->close();
        }
        ASSERT_TRUE(session.WaitFor([&] { return session.frame().Window(id) == nullptr; }, 3000));
        QTest::qWait(50);
        // (The frame itself may not be the active window yet after the wait dialog.)
        EXPECT_EQ(session.frame().MdiArea()->currentSubWindow(), preview);
        EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Preview);
        EXPECT_EQ(InFront(session), preview);
    }
}

TEST(FrameTest, HelpOpensTheShippedFileOrSaysItIsMissing) {
    GuiSession session(false);
    {
        BoxAnswerer answers({QMessageBox::Ok});
        session.frame().Command(CMD_HELP);
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_TRUE(answers.Seen()[0].text.contains("Fotlx.hlp"));
        EXPECT_EQ(session.frame().Help(), nullptr);
    }
    std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                               session.folder() / "Fotlx.hlp");
    session.frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&session.frame()));
    QTest::keyClick(&session.frame(), Qt::Key_F1);
    ASSERT_NE(session.frame().Help(), nullptr);
    EXPECT_TRUE(session.frame().Help()->isVisible());
    EXPECT_TRUE(session.frame().Help()->toPlainText().contains("The line is disconnected"));
    // Exit closes it.
    BoxAnswerer answers({QMessageBox::Ok});
    session.frame().close();
    EXPECT_FALSE(session.frame().Help()->isVisible());
}

}  // namespace
}  // namespace fotolyx::testing
