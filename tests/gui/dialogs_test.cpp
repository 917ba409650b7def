#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/gui_session.h"
#include "gui/help_window.h"
#include "gui/print_job.h"

namespace fotolyx::testing {
namespace {

template <typename T = QLabel>
QStringList Texts(const QDialog* dialog) {
    QStringList texts;
    for (const T* widget : dialog->findChildren<T*>()) {
        texts << widget->text();
    }
    return texts;
}

gui::LinkDialogWindow* Shown(GuiSession& session, LinkDialog dialog) {
    gui::LinkDialogWindow* window = session.gui().shell().OpenLinkDialog(dialog);
    return window && window->isVisible() ? window : nullptr;
}

// A title bar's font is bold and about a fifth larger, beside a close button and margins.
void ExpectTitleFits(QDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    QFont font = dialog->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    EXPECT_GE(dialog->width(), QFontMetrics(font).horizontalAdvance(dialog->windowTitle()) + 40)
        << dialog->windowTitle().toStdString();
}

void Click(GuiSession& session, LinkDialog dialog, int button) {
    QTest::mouseClick(
        Shown(session, dialog)->findChild<QPushButton*>(QStringLiteral("button%1").arg(button)),
        Qt::LeftButton);
    QTest::qWait(0);
}

TEST(LinkDialogsTest, TheConnectionDialogsShowTheirTextsAndTheirButtonsReachTheProgram) {
    GuiSession session(false);
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    gui::LinkDialogWindow* reconnect = Shown(session, LinkDialog::ComReconnect);
    EXPECT_EQ(reconnect->windowTitle(), "CONNECT Error");
    EXPECT_EQ(Texts(reconnect), (QStringList{"Please check PC/VISTACAM Connection."}));
    EXPECT_EQ(Texts<QPushButton>(reconnect), (QStringList{"Retry", "Cancel", "Help"}));
    EXPECT_TRUE(reconnect->isModal());
    ExpectTitleFits(reconnect);

    QTest::keyClick(reconnect, Qt::Key_Escape);
    gui::LinkDialogWindow* cancelOk = Shown(session, LinkDialog::ComCancelOk);
    ASSERT_NE(cancelOk, nullptr);
    EXPECT_EQ(cancelOk->windowTitle(), "WARNING");
    ExpectTitleFits(cancelOk);
    EXPECT_EQ(Texts(cancelOk),
              (QStringList{"CAUTION: If you select OK, the following must be performed to "
                           "connect the Vistacam:",
                           "Turn the Vistacam POWER OFF, and then ON, Execute the Fotolyx "
                           "software again."}));
    Click(session, LinkDialog::ComCancelOk, 2);
    EXPECT_FALSE(Shown(session, LinkDialog::ComCancelOk));
    ASSERT_TRUE(Shown(session, LinkDialog::ComReconnect));

    // Retry scans again and names a port that may not be opened.
    session.gui().shell().reconnectNote = [] {
        return std::string("Permission denied on /dev/ttyUSB0: join the dialout group");
    };
    Click(session, LinkDialog::ComReconnect, 1);
    EXPECT_FALSE(Shown(session, LinkDialog::ComReconnect));
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    EXPECT_EQ(Texts(Shown(session, LinkDialog::ComReconnect)),
              (QStringList{"Please check PC/VISTACAM Connection.",
                           "Permission denied on /dev/ttyUSB0: join the dialout group"}));
    Click(session, LinkDialog::ComReconnect, 2);
    Click(session, LinkDialog::ComCancelOk, 1);
    EXPECT_FALSE(Shown(session, LinkDialog::ComCancelOk));
    EXPECT_FALSE(Shown(session, LinkDialog::ComReconnect));
    EXPECT_EQ(session.program().link.CancelConfirmed, 1u);
}

TEST(LinkDialogsTest, HelpOpenedFromAModalDialogIsInFrontAtItsTopicAndTakesInput) {
    const struct {
        const char* name;
        std::function<void(GuiSession&)> open;
        bool fromDialog;  // the help came up after the dialog, at the dialog's topic
    } cases[] = {
        {"Help of CONNECT Error",
         [](GuiSession& s) {
             s.gui().shell().ShowLinkDialog(LinkDialog::ComReconnect);
             Click(s, LinkDialog::ComReconnect, 3);
         },
         true},
        {"Help of the disconnection dialog",
         [](GuiSession& s) {
             s.program().linkSetup.OpenDisconnectDialog();
             ExpectTitleFits(Shown(s, LinkDialog::ComDisconnect));
             Click(s, LinkDialog::ComDisconnect, 3);
         },
         true},
        {"help opened before a transfer's wait dialog",
         [](GuiSession& s) {
             s.frame().Command(CMD_HELP);
             s.gui().shell().ShowPleaseWait(PleaseWait::DataTrans);
         },
         false},
    };
    GuiSession session(false);
    std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                               session.folder() / "Fotlx.hlp");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.open(session);
        ASSERT_NE(QApplication::activeModalWidget(), nullptr);
        gui::HelpWindow* help = session.frame().Help();
        ASSERT_NE(help, nullptr);
        QScrollBar* bar = help->verticalScrollBar();
        EXPECT_EQ(bar->value() > 0, c.fromDialog);
        bar->setValue(0);
        if (c.fromDialog) {
            EXPECT_TRUE(
                session.WaitFor([&] { return QApplication::activeWindow() == help; }, 2000));
        }
        // A click low on the scroll bar pages down unless the modal dialog blocks it.
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 20));
        EXPECT_GT(bar->value(), 0);
        EXPECT_NE(QApplication::activeModalWidget(), nullptr);  // the frame stays blocked
        session.frame().Command(CMD_HELP);
        EXPECT_EQ(bar->value(), 0);
        session.gui().shell().EndLinkDialog(LinkDialog::ComReconnect);
        session.gui().shell().EndLinkDialog(LinkDialog::ComDisconnect);
        session.gui().shell().EndPleaseWait(PleaseWait::DataTrans);
    }
}

TEST(PleaseWaitTest, TheControlTextBlinksEveryHalfSecondUntilTheProgramEndsIt) {
    const struct {
        PleaseWait kind, other;
        const char* title;
        const char* waitText;
    } cases[] = {{PleaseWait::DataTrans, PleaseWait::PeraseProc, "DATA TRANSFER", "Please wait."},
                 {PleaseWait::PeraseProc, PleaseWait::DataTrans, "DATA ERASE", "Please wait"}};
    GuiSession session(false);
    gui::QtShell& shell = session.gui().shell();
    std::vector<PleaseWait> closedByUser;
    shell.pleaseWaitClosed = [&](PleaseWait kind) { closedByUser.push_back(kind); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        shell.ShowPleaseWait(c.kind);
        gui::PleaseWaitDialog* dialog = shell.OpenPleaseWait();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), c.title);
        EXPECT_TRUE(dialog->isModal());
        ExpectTitleFits(dialog);
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        QTest::qWait(600);
        EXPECT_EQ(dialog->ControlText(), "             ");
        QTest::qWait(500);
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        shell.EndPleaseWait(c.other);
        EXPECT_TRUE(dialog->isVisible());  // ending the other kind does not end it
        shell.EndPleaseWait(c.kind);
        EXPECT_EQ(shell.OpenPleaseWait(), nullptr);
        QTest::qWait(0);
    }
    EXPECT_TRUE(closedByUser.empty());
    shell.ShowPleaseWait(PleaseWait::DataTrans);
    QTest::keyClick(shell.OpenPleaseWait(), Qt::Key_Escape);  // ends it and tells the program
    EXPECT_EQ(shell.OpenPleaseWait(), nullptr);
    EXPECT_EQ(closedByUser, (std::vector<PleaseWait>{PleaseWait::DataTrans}));
    gui::CancelPrintDialog cancel(&session.frame(), [] {});
    cancel.show();
    ExpectTitleFits(&cancel);
}

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
