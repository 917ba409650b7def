#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "link/link_setup.h"
#include "support/link_session.h"

namespace fotolyx {
namespace {

using testing::LinkSession;
using testing::MS;

TEST(Recovery, ReconnectResetsTheLinkAndSetsItUpAgainAfter200And3000Ms) {
    LinkSession session;
    session.AddCamera(PORT_COM2);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_TRUE(program.linkHandOver.ThumbnailStoreExists());
    program.link.TransferMode = TRANSFER_LIVE_VIEW;
    program.link.ExpectedLength = 1;
    program.link.RetryCount = 4;
    program.link.WaitingForData = 1;
    program.liveWindow.MdiActivate(true);  // the user looks at the Live image window
    program.upload.SendOffset = 7;
    const PictureWindow* openfile = program.CreateOpenfileWindow("picture", false);
    ASSERT_NE(openfile, nullptr);
    const WindowId openfileId = openfile->id();
    session.shell.mdiClientStates.clear();  // opening the file enabled the MDI client

    program.linkSetup.OpenDisconnectDialog();
    EXPECT_EQ(session.shell.linkDialogsShown.back(), LinkDialog::ComDisconnect);
    session.loop.RunFor(1'000);  // the user reads the dialog
    const auto pressed = session.loop.Now();
    program.linkSetup.DisconnectReconnect();
    EXPECT_EQ(session.shell.linkDialogsEnded.back(), LinkDialog::ComDisconnect);
    EXPECT_EQ(session.shell.statusTexts.back(), "Ready");
    EXPECT_EQ(session.shell.destroyedWindows, std::vector<WindowId>{openfileId});
    EXPECT_EQ(program.upload.SendOffset, 0u);
    EXPECT_EQ(program.link.ResetupPending, 1);
    EXPECT_EQ(program.link.TransferMode, TRANSFER_INDEX);
    EXPECT_EQ(program.link.SetupPhase, 1);
    EXPECT_EQ(program.link.ExpectedLength, 116);
    EXPECT_EQ(program.link.RetryCount, 0);
    EXPECT_EQ(program.link.WaitingForData, 0);
    EXPECT_EQ(session.WrittenSince(pressed), std::vector<std::uint8_t>{RESET_LINK});
    session.loop.RunFor(199);
    EXPECT_TRUE(session.shell.mdiClientStates.empty());
    session.loop.RunFor(1);
    EXPECT_EQ(session.shell.mdiClientStates, std::vector<bool>{false});
    EXPECT_EQ(session.shell.activatedWindows, std::vector<WindowId>{PREVIEW_WINDOW});
    EXPECT_EQ(std::tuple(session.line.Baud(), program.link.CurrentBaudRate),
              std::tuple(9600u, 9600u));
    session.loop.RunFor(2'999);
    EXPECT_EQ(session.WrittenSince(pressed), std::vector<std::uint8_t>{RESET_LINK});
    session.loop.RunFor(1);
    EXPECT_EQ(session.WrittenSince(pressed), (std::vector<std::uint8_t>{RESET_LINK, IDENTIFY}));
    EXPECT_EQ(std::tuple(session.line.Written().back().sent, session.line.Written().back().port),
              std::tuple(pressed + 3200 * MS, PORT_COM2));
    // The camera is set up again and the thumbnail store made anew.
    ASSERT_TRUE(session.RunUntilCameraReady());
    // 10 + 0 + 4 slots, made twice.
    EXPECT_EQ(session.Allocations(14 * THUMBNAIL_SLOT_SIZE), 2);
    EXPECT_EQ(program.link.ResetupPending, 0);
    EXPECT_EQ(program.link.CurrentBaudRate, 115'200u);
}

TEST(Recovery, RetryScansAgainFromCom1WithOrWithoutAPendingResetup) {
    for (const std::uint8_t pending : {0, 1}) {
        LinkSession session;
        Program& program = session.Start();
        program.link.ResetupPending = pending;
        ASSERT_TRUE(session.RunUntil([&] { return session.DialogShown(LinkDialog::ComReconnect); },
                                     10'000));
        session.AddCamera(PORT_COM1);  // the user plugs the camera in
        const auto pressed = session.loop.Now();
        program.linkSetup.ReconnectRetry();
        EXPECT_EQ(session.shell.linkDialogsEnded.back(), LinkDialog::ComReconnect);
        EXPECT_EQ(session.shell.statusTexts.back(), TEXT_SETUP_PROCEEDING);
        ASSERT_TRUE(session.RunUntilCameraReady()) << int{pending};
        const auto& opening = session.line.Openings()[4];
        EXPECT_EQ(opening.port, PORT_COM1);
        EXPECT_EQ(opening.time, pressed + 300 * MS);
        EXPECT_EQ(program.link.SelectedPort, PORT_COM1);
    }
}

TEST(Recovery, CancelAsksForConfirmationAndOnlyOkLeavesTheDialog) {
    struct Case {
        LinkDialog parent;
        void (LinkSetup::*cancel)();
        void (LinkSetup::*help)();
        int helpContext;
    };
    for (const Case& c :
         {Case{LinkDialog::ComReconnect, &LinkSetup::ReconnectCancel, &LinkSetup::ReconnectHelp, 2},
          Case{LinkDialog::ComDisconnect, &LinkSetup::DisconnectCancel, &LinkSetup::DisconnectHelp,
               1}}) {
        LinkSession session;
        Program& program = session.Start();
        session.shell.ShowLinkDialog(c.parent);
        (program.linkSetup.*c.help)();
        EXPECT_EQ(session.shell.helpContexts, std::vector<int>{c.helpContext});
        (program.linkSetup.*c.cancel)();
        EXPECT_EQ(session.shell.linkDialogsShown.back(), LinkDialog::ComCancelOk);
        program.linkSetup.CancelOkCancel();
        EXPECT_EQ(program.link.CancelConfirmed, 0u);
        EXPECT_EQ(session.shell.linkDialogsEnded, std::vector<LinkDialog>{LinkDialog::ComCancelOk});
        (program.linkSetup.*c.cancel)();
        program.linkSetup.CancelOkOk();
        EXPECT_EQ(program.link.CancelConfirmed, 1u);
        EXPECT_EQ(
            session.shell.linkDialogsEnded,
            (std::vector<LinkDialog>{LinkDialog::ComCancelOk, LinkDialog::ComCancelOk, c.parent}));
    }
}

}  // namespace
}  // namespace fotolyx
