#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "link/link_setup.h"
#include "support/link_session.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::CameraMode;
using testing::LinkSession;
using testing::MS;
using Bytes = std::vector<std::uint8_t>;

// The speed at which the program wrote the first copy of a byte, 0 when it never did.
std::uint32_t SpeedOfFirst(const testing::SimulatedLine& line, std::uint8_t byte) {
    for (const auto& written : line.Written()) {
        if (written.byte == byte) {
            return written.baud;
        }
    }
    return 0;
}

std::vector<std::string> Shown(const LinkSession& session) {
    std::vector<std::string> shown;
    for (const auto& message : session.shell.messages) {
        shown.push_back(message.caption + ": " + message.text);
    }
    return shown;
}

// With no camera every port is tried 1100 ms apart, a missing one too, then Reconnect is offered
// and nothing else happens; Retry scans again from COM1.
TEST(Setup, WithNoCameraEveryPortIsTriedThenRetryScansAgainFromCom1) {
    LinkSession session;
    for (int port : {PORT_COM2, PORT_COM3, PORT_COM4}) {
        session.line.AddSilentDevice(port);
    }
    Program& program = session.Start();
    ASSERT_TRUE(
        session.RunUntil([&] { return session.DialogShown(LinkDialog::ComReconnect); }, 10'000));
    const auto& openings = session.line.Openings();
    ASSERT_EQ(openings.size(), 4u);
    const int ports[] = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::tuple(openings[i].port, openings[i].time),
                  std::tuple(ports[i], (300 + 1100 * i) * MS));
    }
    EXPECT_EQ(openings[0].result, LineOpenResult::Missing);
    EXPECT_EQ(session.line.WrittenBytes(), Bytes(3, IDENTIFY));
    EXPECT_FALSE(session.line.IsOpen());
    session.loop.RunFor(10'000);
    EXPECT_EQ(session.line.Openings().size(), 4u);
    session.AddCamera(PORT_COM1);  // the user plugs the camera in
    const auto pressed = session.loop.Now();
    program.linkSetup.ReconnectRetry();
    EXPECT_EQ(session.shell.linkDialogsEnded.back(), LinkDialog::ComReconnect);
    EXPECT_EQ(session.shell.statusTexts.back(), TEXT_SETUP_PROCEEDING);
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(std::tuple(openings[4].port, openings[4].time),
              std::tuple(PORT_COM1, pressed + 300 * MS));
}

// A silent port, a port that may not be opened and a camera whose identification lacks its
// trailer are passed over, 1100 ms apart.
TEST(Setup, TheScanPassesOverPortsWithoutAProperAnswer) {
    LinkSession session;
    session.line.AddSilentDevice(PORT_COM1);
    session.line.DenyPermission(PORT_COM2);
    CameraConfig config;
    config.faults.badTrailerStatus = 1;
    session.AddCamera(PORT_COM3, config);
    session.AddCamera(PORT_COM4);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.line.Openings().back().time, 3600 * MS);
    EXPECT_EQ(std::tuple(program.link.SelectedPort, program.link.SavedLineSpeed),
              std::tuple(PORT_COM4, 115'200u));
    EXPECT_EQ(ComSetupDialogContents(program.link).checkedPort, PORT_COM4);
}

// One camera on COM1: the speed the set-up ends at (0: it does not end), how many speeds it asked
// for (from 115200 down) each time, how often it identified (at 9600) and the messages it showed (a
// warning's OK identifies again, its Cancel ends the set-up).
TEST(Setup, TheCameraAndTheLineDecideTheSpeedAndTheMessages) {
    const std::string minimum = std::string("connect error: ") + TEXT_MINIMUM_SPEED;
    const std::string wrongModel = std::string("WARNING: ") + TEXT_WRONG_MODEL;
    const std::string vcr = std::string("WARNING: ") + TEXT_VCR_MODE;
    const std::string noCard = std::string("WARNING: ") + TEXT_NO_CARD;
    const std::string getFault = "COM Port ERROR: GetCommState FAULT.";
    const std::string setFault = "COM Port ERROR: SetCommState FAULT.";
    struct Line {
        camsim::LineOptions options;
        LineSettingsFault fault = LineSettingsFault::None;
        bool refusesSpeeds = false;
    };
    struct Case {
        const char* name;
        CameraConfig camera;
        Line line;
        std::uint32_t speed;
        std::size_t requests;
        long identifies;
        std::vector<std::string> messages = {};
    };
    // The PC switches 50 ms after a request and waits 800 ms for READY. Rows name only the members
    // they change.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    const Case cases[] = {
        {"57600 only", {.speeds = {57'600}}, {}, 57'600, 2, 1},
        {"19200 only", {.speeds = {19'200}}, {}, 19'200, 3, 1},
        {"READY after 780 ms", {.speedAnswerDelay = 780 * MS}, {}, 115'200, 1, 1},
        {"16 ms adapter bursts", {}, {.options = {0, 16 * MS, 1}}, 115'200, 1, 1},
        {"READY before the PC switched", {.speedAnswerDelay = 20 * MS}, {}, 0, 3, 1, {minimum}},
        {"READY after the PC gave up", {.speedAnswerDelay = 900 * MS}, {}, 0, 3, 1, {minimum}},
        {"model 318", {.modelCode = "318"}, {}, 115'200, 1, 1},
        {"model 463", {.modelCode = "463"}, {}, 0, 0, 1, {wrongModel}},
        {"VCR mode", {.mode = CameraMode::Vcr}, {}, 0, 1, 2, {vcr, vcr}},
        {"no card", {.mode = CameraMode::NoCard}, {}, 0, 1, 2, {noCard, noCard}},
        {"settings unreadable",
         {},
         {.fault = LineSettingsFault::ReadFailed},
         115'200,
         1,
         1,
         {getFault}},
        {"speed refused", {}, {.refusesSpeeds = true}, 0, 3, 1, {setFault, minimum}},
        // A lost mode answer after the speed was taken: over again from RESET_LINK at that speed.
        {"mode answer lost", {.faults = {.silentAfterMessages = 2}}, {}, 115'200, 1, 2},
    };
#pragma GCC diagnostic pop
    const Bytes ladder = {SPEED_115200, SPEED_57600, SPEED_19200};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkSession session;
        session.line.options = c.line.options;
        session.line.openFault = c.line.fault;
        session.line.refuseSpeedChanges = c.line.refusesSpeeds;
        session.shell.scriptedAnswers = {IDOK, IDCANCEL};  // a warning's OK, then its Cancel
        session.AddCamera(PORT_COM1, c.camera);
        Program& program = session.Start();
        bool ready = false;  // all along the speed shown is the line's
        for (int step = 0; step < 1'000 && !ready; ++step) {
            session.loop.RunFor(10);
            ready = program.link.SetupPhase == 0;
            if (c.line.refusesSpeeds) {
                continue;  // the program records the speed the line refused
            }
            ASSERT_EQ(program.link.CurrentBaudRate, session.line.Baud()) << step;
            const std::string shown = ComSetupDialogContents(program.link).baudRateText;
            ASSERT_TRUE(shown.empty() || shown == std::to_string(session.line.Baud())) << step;
        }
        EXPECT_EQ(ready, c.speed != 0);
        EXPECT_EQ(Shown(session), c.messages);
        Bytes requests;
        for (const auto& written : session.line.Written()) {
            if ((written.byte >= SPEED_19200 && written.byte <= SPEED_115200) ||
                written.byte == IDENTIFY) {
                requests.push_back(written.byte);
                EXPECT_EQ(written.baud, 9600u);
            }
        }
        EXPECT_EQ(std::count(requests.begin(), requests.end(), IDENTIFY), c.identifies);
        std::erase(requests, IDENTIFY);
        Bytes expected;  // each identification goes down the speeds afresh
        for (long i = 0; i < c.identifies; ++i) {
            expected.insert(expected.end(), ladder.begin(), ladder.begin() + c.requests);
        }
        EXPECT_EQ(requests, expected);
        EXPECT_EQ(session.line.Openings().size(), 1u);
        EXPECT_FALSE(session.loop.TimerRunning(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP));
        const std::uint32_t speed = c.speed == 0 ? 9600 : c.speed;
        EXPECT_EQ(std::tuple(program.link.CurrentBaudRate, session.line.Baud()),
                  std::tuple(speed, speed));
        if (c.speed == 0) {
            continue;
        }
        EXPECT_EQ(program.link.ModelVariant, c.camera.modelCode == "318" ? 1 : 0);
        EXPECT_EQ(SpeedOfFirst(session.line, SPEED_CONFIRM), c.speed);
        EXPECT_EQ(SpeedOfFirst(session.line, RESET_LINK), c.identifies == 2 ? c.speed : 0);
        EXPECT_EQ(ComSetupDialogContents(program.link).baudRateText, std::to_string(c.speed));
        EXPECT_TRUE(session.RunUntilIndexLoaded(10'000));
    }
}

TEST(Setup, AStoreThatCannotBeHadIsReportedAndTheSetupCompletes) {
    LinkSession session;
    session.AddCamera(PORT_COM1);
    Program& program = session.Start();
    session.memory.failingCalls = {session.memory.calls};  // the store's block
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_FALSE(program.linkHandOver.ThumbnailStoreExists());
    EXPECT_EQ(Shown(session), std::vector<std::string>{"Global Memory: Not enough memory."});
}

// A re-set-up keeps the thumbnail store (10 + pictures + 4 slots), and the camera's photo button
// during its wait before IDENTIFY is no identification; Reconnect makes the store anew.
TEST(Recovery, ReconnectResetsTheLinkAndSetsItUpAgainAfter200And3000Ms) {
    LinkSession session;
    auto& camera = session.AddCamera(PORT_COM2);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    session.loop.RunFor(2'000);
    const std::size_t messages = session.shell.messages.size();  // the empty camera's
    program.linkSetup.StartResetup();
    session.loop.RunFor(1'000);  // inside the 3 s wait
    camera.PressPhotoButton();
    session.line.CameraSpoke();
    session.loop.RunFor(100);
    EXPECT_EQ(program.link.SetupPhase, 1);
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.shell.messages.size(), messages);
    EXPECT_EQ(session.Allocations(14 * THUMBNAIL_SLOT_SIZE), 1);
    EXPECT_EQ(std::tuple(ThumbnailStoreSlots(40'959, 1), ThumbnailStoreSlots(40'960, 1),
                         ThumbnailStoreSlots(0xFFFFFFFF, 0xFFFF)),
              std::tuple(5u, 6u, 800u));
    program.link.TransferMode = TRANSFER_LIVE_VIEW;
    program.link.ExpectedLength = 1;
    program.link.RetryCount = 4;
    program.link.WaitingForData = 1;
    session.shell.mdiClientStates.clear();
    program.linkSetup.OpenDisconnectDialog();
    session.loop.RunFor(1'000);  // the user reads the dialog
    const auto pressed = session.loop.Now();
    program.linkSetup.DisconnectReconnect();
    EXPECT_EQ(session.shell.linkDialogsEnded.back(), LinkDialog::ComDisconnect);
    EXPECT_EQ(session.shell.statusTexts.back(), "Ready");
    const LinkState& link = program.link;
    EXPECT_EQ(std::tuple(link.ResetupPending, link.TransferMode, link.SetupPhase,
                         link.ExpectedLength, link.RetryCount, link.WaitingForData),
              std::tuple(1, TRANSFER_INDEX, 1, 116, 0, 0));
    EXPECT_EQ(session.WrittenSince(pressed), Bytes{RESET_LINK});
    session.loop.RunFor(199);
    EXPECT_TRUE(session.shell.mdiClientStates.empty());
    session.loop.RunFor(1);
    EXPECT_EQ(session.shell.mdiClientStates, std::vector<bool>{false});
    EXPECT_EQ(std::tuple(session.line.Baud(), link.CurrentBaudRate), std::tuple(9600u, 9600u));
    session.loop.RunFor(2'999);
    EXPECT_EQ(session.WrittenSince(pressed), Bytes{RESET_LINK});
    session.loop.RunFor(1);
    EXPECT_EQ(session.WrittenSince(pressed), (Bytes{RESET_LINK, IDENTIFY}));
    EXPECT_EQ(std::tuple(session.line.Written().back().sent, session.line.Written().back().port),
              std::tuple(pressed + 3200 * MS, PORT_COM2));
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.Allocations(14 * THUMBNAIL_SLOT_SIZE), 2);  // the store made anew
    EXPECT_EQ(std::tuple(link.ResetupPending, link.CurrentBaudRate), std::tuple(0, 115'200u));
}

}  // namespace
}  // namespace fotolyx
