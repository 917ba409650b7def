#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "gui/dialogs.h"
#include "gui/gui_session.h"
#include "gui/print_job.h"
#include "gui/save_dialog.h"

namespace fotolyx::testing {
namespace {

using gui::LinkDialogWindow;

QStringList Texts(const QDialog* dialog) {
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

QStringList Buttons(const QDialog* dialog) {
    QStringList buttons;
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
        buttons << button->text();
    }
    return buttons;
}

bool Shown(GuiSession& session, LinkDialog dialog) {
    const LinkDialogWindow* window = session.gui().shell().OpenLinkDialog(dialog);
    return window && window->isVisible();
}

TEST(LinkDialogsTest, NoCameraOnAnyPortAsksToCheckTheConnectionAndRetryScansAgain) {
    GuiSession session(false);
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    LinkDialogWindow* reconnect = session.gui().shell().OpenLinkDialog(LinkDialog::ComReconnect);
    EXPECT_EQ(reconnect->windowTitle(), "CONNECT Error");
    EXPECT_EQ(Texts(reconnect), (QStringList{"Please check PC/VISTACAM Connection."}));
    EXPECT_EQ(Buttons(reconnect), (QStringList{"Retry", "Cancel", "Help"}));
    EXPECT_TRUE(reconnect->isModal());

    // Cancel asks to confirm; Cancel there keeps the dialog, OK ends both.
    QTest::keyClick(reconnect, Qt::Key_Escape);
    ASSERT_TRUE(Shown(session, LinkDialog::ComCancelOk));
    LinkDialogWindow* cancelOk = session.gui().shell().OpenLinkDialog(LinkDialog::ComCancelOk);
    EXPECT_EQ(cancelOk->windowTitle(), "WARNING");
    EXPECT_EQ(Texts(cancelOk),
              (QStringList{"CAUTION: If you select OK, the following must be performed to "
                           "connect the Vistacam:",
                           "Turn the Vistacam POWER OFF, and then ON, Execute the Fotolyx "
                           "software again."}));
    cancelOk->Press(2);
    QTest::qWait(0);
    EXPECT_FALSE(Shown(session, LinkDialog::ComCancelOk));
    EXPECT_TRUE(Shown(session, LinkDialog::ComReconnect));
    EXPECT_EQ(session.program().link.CancelConfirmed, 0u);

    reconnect->Press(1);  // Retry
    QTest::qWait(0);
    EXPECT_FALSE(Shown(session, LinkDialog::ComReconnect));
    EXPECT_EQ(session.frame().StatusText(), "Initial Setup with VISTACAM now proceeding");
    EXPECT_EQ(session.program().link.SelectedPort, PORT_COM1);
    // The scan runs again and ends in the same dialog; this time Cancel and OK end it.
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    session.gui().shell().OpenLinkDialog(LinkDialog::ComReconnect)->Press(2);
    session.gui().shell().OpenLinkDialog(LinkDialog::ComCancelOk)->Press(1);
    QTest::qWait(0);
    EXPECT_FALSE(Shown(session, LinkDialog::ComCancelOk));
    EXPECT_FALSE(Shown(session, LinkDialog::ComReconnect));
    EXPECT_EQ(session.program().link.CancelConfirmed, 1u);
}

TEST(LinkDialogsTest, HelpOfTheLinkDialogsOpensTheirTopics) {
    GuiSession session(false);
    std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                               session.folder() / "Fotlx.hlp");
    session.program().linkSetup.OpenDisconnectDialog();
    session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect)->Press(3);
    ASSERT_NE(session.frame().Help(), nullptr);
    EXPECT_TRUE(session.frame().Help()->isVisible());
    // Scrolled away from the contents towards the topic of context 1.
    EXPECT_GT(session.frame().Help()->verticalScrollBar()->value(), 0);
    session.frame().Command(CMD_HELP);
    EXPECT_EQ(session.frame().Help()->verticalScrollBar()->value(), 0);
}

// A click on the lower end of the help's scroll bar pages down, unless a modal dialog blocks it.
bool HelpTakesAClick(gui::HelpWindow& help) {
    QScrollBar* bar = help.verticalScrollBar();
    const int before = bar->value();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 20));
    return bar->value() > before;
}

TEST(LinkDialogsTest, HelpOpenedFromAModalDialogIsInFrontAndTakesInputWhileTheDialogWaits) {
    // How the help comes up while each kind of modal dialog waits for an answer.
    struct Case {
        const char* name;
        std::function<void(GuiSession&)> open;
        bool helpLast;  // the help came up after the dialog, so it is the active window
    };
    const Case cases[] = {
        {"Help of CONNECT Error",
         [](GuiSession& s) {
             s.gui().shell().ShowLinkDialog(LinkDialog::ComReconnect);
             s.gui().shell().OpenLinkDialog(LinkDialog::ComReconnect)->Press(3);
         },
         true},
        {"Help of the disconnection dialog",
         [](GuiSession& s) {
             s.program().linkSetup.OpenDisconnectDialog();
             s.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect)->Press(3);
         },
         true},
        {"help opened before a transfer's wait dialog",
         [](GuiSession& s) {
             s.frame().Command(CMD_HELP);
             s.gui().shell().ShowPleaseWait(PleaseWait::DataTrans);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuiSession session(false);
        std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                                   session.folder() / "Fotlx.hlp");
        c.open(session);
        ASSERT_NE(QApplication::activeModalWidget(), nullptr);
        gui::HelpWindow* help = session.frame().Help();
        ASSERT_NE(help, nullptr);
        help->verticalScrollBar()->setValue(0);
        if (c.helpLast) {
            EXPECT_TRUE(
                session.WaitFor([&] { return QApplication::activeWindow() == help; }, 2000));
        }
        EXPECT_TRUE(HelpTakesAClick(*help));
        // The frame behind the dialog stays blocked.
        EXPECT_NE(QApplication::activeModalWidget(), nullptr);
        session.gui().shell().EndLinkDialog(LinkDialog::ComReconnect);
        session.gui().shell().EndLinkDialog(LinkDialog::ComDisconnect);
        session.gui().shell().EndPleaseWait(PleaseWait::DataTrans);
    }
}

// A title bar shows its title in a bold font, mostly larger than the dialog's, beside a close
// button and margins of at least 40 pixels.
int TitleBarNeeds(const QWidget& dialog) {
    QFont font = dialog.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + 40;
}

TEST(DialogSizeTest, SmallDialogsAreWideEnoughForTheirTitles) {
    GuiSession session(false);
    gui::QtShell& shell = session.gui().shell();
    std::vector<QDialog*> dialogs;
    for (const LinkDialog dialog :
         {LinkDialog::ComReconnect, LinkDialog::ComDisconnect, LinkDialog::ComCancelOk}) {
        shell.ShowLinkDialog(dialog);
        dialogs.push_back(shell.OpenLinkDialog(dialog));
    }
    gui::PleaseWaitDialog transfer(&session.frame(), PleaseWait::DataTrans);
    gui::PleaseWaitDialog erase(&session.frame(), PleaseWait::PeraseProc);
    gui::CancelPrintDialog cancel(&session.frame(), [] {});
    dialogs.insert(dialogs.end(), {&transfer, &erase, &cancel});
    for (QDialog* dialog : dialogs) {
        ASSERT_NE(dialog, nullptr);
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        EXPECT_GE(dialog->width(), TitleBarNeeds(*dialog));
        dialog->hide();
    }
}

TEST(DialogSizeTest, TheSaveDialogShowsFileSizesAndTypesWhole) {
    GuiSession session(false);
    const std::filesystem::path folder = session.folder() / "pictures";
    std::filesystem::create_directory(folder);
    for (const auto& [name, bytes] :
         {std::pair{"IMG_0001.JPG", 30'200}, std::pair{"IMG_0002.JPG", 921'654}}) {
        std::ofstream(folder / name, std::ios::binary) << std::string(bytes, 'x');
    }
    SaveDialogRequest request;
    request.initialDirectory = folder.string() + "/";
    request.proposedName = "new";
    request.filters = {{"JPEG (*.JPG)", "*.JPG"}, {"Bitmap (*.BMP)", "*.BMP"}};
    request.defaultExtension = "jpg";

    // Each column's text must fit its section beside the item's margins (3 pixels a side).
    std::vector<std::string> clipped;
    int rowsSeen = 0;
    QTimer driver;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        const bool late = std::chrono::steady_clock::now() > deadline;
        if (!tree || (!late && (!tree->isVisible() || !tree->model() ||
                                tree->model()->rowCount(tree->rootIndex()) < 2))) {
            if (late) {
                dialog->reject();
            }
            return;
        }
        QTest::qWait(100);  // the columns follow the rows once they are laid out
        const QFontMetrics metrics(tree->font());
        const QModelIndex root = tree->rootIndex();
        rowsSeen = tree->model()->rowCount(root);
        for (int row = 0; row < rowsSeen; ++row) {
            for (int column = 1; column < tree->header()->count(); ++column) {
                const QString text = tree->model()->index(row, column, root).data().toString();
                if (!tree->header()->isSectionHidden(column) &&
                    tree->header()->sectionSize(column) < metrics.horizontalAdvance(text) + 6) {
                    clipped.push_back(text.toStdString());
                }
            }
        }
        dialog->reject();
    });
    driver.start(20);
    EXPECT_FALSE(gui::RunSaveDialog(&session.frame(), request).has_value());
    EXPECT_EQ(rowsSeen, 2);
    EXPECT_TRUE(clipped.empty()) << clipped.front();
}

TEST(PleaseWaitTest, TheControlTextBlinksEveryHalfSecondUntilTheProgramEndsIt) {
    struct Case {
        PleaseWait kind;
        const char* title;
        const char* waitText;
    };
    const Case cases[] = {{PleaseWait::DataTrans, "DATA TRANSFER", "Please wait."},
                          {PleaseWait::PeraseProc, "DATA ERASE", "Please wait"}};
    GuiSession session(false);
    gui::QtShell& shell = session.gui().shell();
    std::vector<PleaseWait> closedByUser;
    shell.pleaseWaitClosed = [&](PleaseWait kind) { closedByUser.push_back(kind); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        shell.ShowPleaseWait(c.kind);
        gui::PleaseWaitDialog* dialog = shell.OpenPleaseWait();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), c.title);
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        QTest::qWait(600);
        EXPECT_EQ(dialog->ControlText(), "             ");
        QTest::qWait(500);
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        // Ending the other dialog does not end this one; the program's end does.
        shell.EndPleaseWait(c.kind == PleaseWait::DataTrans ? PleaseWait::PeraseProc
                                                            : PleaseWait::DataTrans);
        EXPECT_TRUE(dialog->isVisible());
        shell.EndPleaseWait(c.kind);
        EXPECT_EQ(shell.OpenPleaseWait(), nullptr);
        QTest::qWait(0);
    }
    EXPECT_TRUE(closedByUser.empty());
    // Esc ends it too, and the program hears of it.
    shell.ShowPleaseWait(PleaseWait::DataTrans);
    QTest::keyClick(shell.OpenPleaseWait(), Qt::Key_Escape);
    EXPECT_EQ(shell.OpenPleaseWait(), nullptr);
    EXPECT_EQ(closedByUser, (std::vector<PleaseWait>{PleaseWait::DataTrans}));
}

TEST(LinkDialogsTest, APortThatMayNotBeOpenedIsNamedUnderTheConnectionMessage) {
    GuiSession session(false);
    session.gui().shell().reconnectNote = [] {
        return std::string("Permission denied on /dev/ttyUSB0: join the dialout group");
    };
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    LinkDialogWindow* reconnect = session.gui().shell().OpenLinkDialog(LinkDialog::ComReconnect);
    EXPECT_EQ(Texts(reconnect),
              (QStringList{"Please check PC/VISTACAM Connection.",
                           "Permission denied on /dev/ttyUSB0: join the dialout group"}));
}

TEST(AboutTest, TheAboutBoxShowsTheVersion) {
    gui::AboutDialog about(nullptr);
    const auto* version = about.findChild<QLabel*>(QStringLiteral("aboutVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Fotolyx \\d+\\.\\d+\\.\\d+$"))
                    .match(version->text())
                    .hasMatch())
        << version->text().toStdString();
}

// A message box nobody answers: the watchdog fails the test, naming the box and what the test
// waited for, and rejects the box so that exec() returns.
void ShowABoxNobodyAnswers() {
    ModalWatchdog watchdog(300);
    ExpectDialog(QStringLiteral("an answer that never comes"));
    QMessageBox box(QMessageBox::Information, QStringLiteral("Lost"),
                    QStringLiteral("Nobody answers this"), QMessageBox::Ok);
    EXPECT_EQ(box.exec(), QMessageBox::Rejected);
}

TEST(ModalWatchdogTest, ADialogNobodyEndsFailsTheTestAndIsRejected) {
    EXPECT_NONFATAL_FAILURE(ShowABoxNobodyAnswers(),
                            "\"Nobody answers this\" that nobody ended; the test was waiting for "
                            "an answer that never comes");
}

}  // namespace
}  // namespace fotolyx::testing
