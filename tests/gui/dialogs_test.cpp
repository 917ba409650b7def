#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
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

TEST(LinkDialogsTest, ReconnectSetsTheLinkUpAgain) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return session.program().link.SetupPhase == 0; }));
    const int starts = session.program().linkHandOver.indexTransferStarts;
    session.program().linkSetup.OpenDisconnectDialog();
    LinkDialogWindow* dialog = session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "CONNECT ERROR");
    EXPECT_EQ(Texts(dialog), (QStringList{"The line is disconnected."}));
    EXPECT_EQ(Buttons(dialog), (QStringList{"Reconnect", "Cancel", "Help"}));

    dialog->Press(1);
    QTest::qWait(0);
    EXPECT_FALSE(Shown(session, LinkDialog::ComDisconnect));
    EXPECT_EQ(session.frame().StatusText(), "Ready");
    EXPECT_EQ(session.program().link.SetupPhase, 1);
    ASSERT_TRUE(session.WaitFor([&] { return session.program().link.SetupPhase == 0; }));
    EXPECT_EQ(session.program().linkHandOver.indexTransferStarts, starts + 1);
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
    session.frame().Command(gui::CMD_HELP);
    EXPECT_EQ(session.frame().Help()->verticalScrollBar()->value(), 0);
}

TEST(PleaseWaitTest, TheControlTextBlinksEveryHalfSecondUntilTheProgramEndsIt) {
    struct Case {
        gui::PleaseWaitKind kind;
        const char* title;
        const char* waitText;
    };
    const Case cases[] = {{gui::PleaseWaitKind::DataTransfer, "DATA TRANSFER", "Please wait."},
                          {gui::PleaseWaitKind::DataErase, "DATA ERASE", "Please wait"}};
    GuiSession session(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        session.gui().shell().ShowPleaseWait(c.kind);
        gui::PleaseWaitDialog* dialog = session.gui().shell().PleaseWait();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), c.title);
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        QTest::qWait(600);
        EXPECT_EQ(dialog->ControlText(), "             ");
        QTest::qWait(500);
        EXPECT_EQ(dialog->ControlText(), c.waitText);
        // The user cannot end it.
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible());
        session.gui().shell().EndPleaseWait();
        EXPECT_EQ(session.gui().shell().PleaseWait(), nullptr);
        QTest::qWait(0);
    }
}

}  // namespace
}  // namespace fotolyx::testing
