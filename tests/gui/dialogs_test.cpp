#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/gui_session.h"

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
