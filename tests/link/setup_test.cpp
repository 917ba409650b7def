#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
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

long Count(const Bytes& bytes, std::uint8_t byte) {
    return std::count(bytes.begin(), bytes.end(), byte);
}

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
// and nothing else happens; Retry scans again from COM1, with or without a pending re-set-up.
TEST(Setup, WithNoCameraEveryPortIsTriedThenRetryScansAgainFromCom1) {
    for (const std::uint8_t pending : {0, 1}) {
        LinkSession session;
        for (int port : {PORT_COM2, PORT_COM3, PORT_COM4}) {
            session.line.AddSilentDevice(port);
        }
        Program& program = session.Start();
        program.link.ResetupPending = pending;
        ASSERT_TRUE(session.RunUntil([&] { return session.DialogShown(LinkDialog::ComReconnect); },
                                     10'000));
        const auto& openings = session.line.Openings();
        ASSERT_EQ(openings.size(), 4u);
        const int ports[] = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(std::tuple(openings[i].port, openings[i].time),
                      std::tuple(ports[i], (300 + 1100 * static_cast<int>(i)) * MS));
        }
        EXPECT_EQ(openings[0].result, LineOpenResult::Missing);
        EXPECT_EQ(session.loop.Now(), 4400 * MS);
        EXPECT_EQ(session.line.WrittenBytes(), Bytes(3, IDENTIFY));
        EXPECT_FALSE(session.line.IsOpen());
        EXPECT_EQ(session.shell.statusTexts.front(), TEXT_SETUP_PROCEEDING);
        session.loop.RunFor(10'000);
        EXPECT_EQ(session.line.Openings().size(), 4u);
        session.AddCamera(PORT_COM1);  // the user plugs the camera in
        const auto pressed = session.loop.Now();
        program.linkSetup.ReconnectRetry();
        EXPECT_EQ(session.shell.linkDialogsEnded.back(), LinkDialog::ComReconnect);
        EXPECT_EQ(session.shell.statusTexts.back(), TEXT_SETUP_PROCEEDING);
        ASSERT_TRUE(session.RunUntilCameraReady()) << int{pending};
        EXPECT_EQ(std::tuple(openings[4].port, openings[4].time),
                  std::tuple(PORT_COM1, pressed + 300 * MS));
        EXPECT_EQ(program.link.SelectedPort, PORT_COM1);
    }
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
    const auto contentsDuringScan = ComSetupDialogContents(program.link);
    EXPECT_FALSE(contentsDuringScan.checkedPort.has_value());
    EXPECT_EQ(contentsDuringScan.baudRateText, "");
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.line.Openings().back().time, 3600 * MS);
    EXPECT_LT(session.loop.Now(), 3900 * MS);
    EXPECT_EQ(std::tuple(program.link.SelectedPort, program.link.SavedLineSpeed),
              std::tuple(PORT_COM4, 115'200u));
    EXPECT_EQ(ComSetupDialogContents(program.link).checkedPort, PORT_COM4);
    EXPECT_EQ(Count(session.WrittenSince(0), SPEED_57600), 0);
}

// One camera on COM1: the speed the set-up ends at (0: it does not end), how many speeds it asked
// for (from 115200 down) each time, how often it identified (at 9600) and the messages it showed (a
// warning's OK identifies again, its Cancel ends the set-up).
TEST(Setup, TheCameraAndTheLineDecideTheSpeedAndTheMessages) {
    using Arrange = std::function<void(CameraConfig&, LinkSession&)>;
    auto answerAfter = [](camsim::Micros delay) -> Arrange {
        return [delay](CameraConfig& c, LinkSession&) { c.speedAnswerDelay = delay; };
    };
    auto speeds = [](std::vector<std::uint32_t> list) -> Arrange {
        return [list](CameraConfig& c, LinkSession&) { c.speeds = list; };
    };
    auto model = [](const char* code) -> Arrange {
        return [code](CameraConfig& c, LinkSession&) { c.modelCode = code; };
    };
    auto mode = [](CameraMode cameraMode) -> Arrange {
        return [cameraMode](CameraConfig& c, LinkSession& s) {
            c.mode = cameraMode;
            s.shell.scriptedAnswers = {IDOK, IDCANCEL};
        };
    };
    auto fault = [](LineSettingsFault which) -> Arrange {
        return [which](CameraConfig&, LinkSession& s) { s.line.openFault = which; };
    };
    auto lose = [](std::optional<std::uint32_t> camsim::CameraFaults::*message) -> Arrange {
        return [message](CameraConfig& c, LinkSession&) { c.faults.*message = 2; };
    };
    const Arrange refused = [](CameraConfig&, LinkSession& s) { s.line.refuseSpeedChanges = true; };
    auto timing = [](camsim::LineOptions options) -> Arrange {
        return [options](CameraConfig&, LinkSession& s) { s.line.options = options; };
    };
    const std::string minimum = std::string("connect error: ") + TEXT_MINIMUM_SPEED;
    const std::string wrongModel = std::string("WARNING: ") + TEXT_WRONG_MODEL;
    const std::string vcr = std::string("WARNING: ") + TEXT_VCR_MODE;
    const std::string noCard = std::string("WARNING: ") + TEXT_NO_CARD;
    const std::string getFault = "COM Port ERROR: GetCommState FAULT.";
    const std::string setFault = "COM Port ERROR: SetCommState FAULT.";
    struct Case {
        const char* name;
        Arrange arrange;
        std::uint32_t speed;
        std::size_t requests;
        long identifies;
        std::vector<std::string> messages;
    };
    // The PC switches 50 ms after a request and waits 800 ms for READY.
    const Case cases[] = {
        {"57600 only", speeds({57'600}), 57'600, 2, 1, {}},
        {"19200 and 57600", speeds({19'200, 57'600}), 57'600, 2, 1, {}},
        {"19200 only", speeds({19'200}), 19'200, 3, 1, {}},
        {"READY after 400 ms", answerAfter(400 * MS), 115'200, 1, 1, {}},
        {"READY after 780 ms", answerAfter(780 * MS), 115'200, 1, 1, {}},
        {"16 ms adapter bursts", timing({0, 16 * MS, 1}), 115'200, 1, 1, {}},
        {"jitter", timing({300, 0, 5}), 115'200, 1, 1, {}},
        {"READY after 20 ms, before the PC switched", answerAfter(20 * MS), 0, 3, 1, {minimum}},
        {"READY after 900 ms, after the PC gave up", answerAfter(900 * MS), 0, 3, 1, {minimum}},
        {"model 318", model("318"), 115'200, 1, 1, {}},
        {"model 463", model("463"), 0, 0, 1, {wrongModel}},
        {"model 31", model("31"), 0, 0, 1, {wrongModel}},
        {"VCR mode", mode(CameraMode::Vcr), 0, 1, 2, {vcr, vcr}},
        {"no card", mode(CameraMode::NoCard), 0, 1, 2, {noCard, noCard}},
        {"settings unreadable", fault(LineSettingsFault::ReadFailed), 115'200, 1, 1, {getFault}},
        {"settings unwritable", fault(LineSettingsFault::WriteFailed), 115'200, 1, 1, {setFault}},
        {"speed refused", refused, 0, 3, 1, {setFault, minimum}},
        // The camera's third message, the mode answer, after it took the speed: the set-up starts
        // over from RESET_LINK at that speed rather than going down the speeds.
        {"mode answer lost", lose(&camsim::CameraFaults::silentAfterMessages), 115'200, 1, 2, {}},
        {"mode answer garbled", lose(&camsim::CameraFaults::garbleMessage), 115'200, 1, 2, {}},
        {"mode answer short", lose(&camsim::CameraFaults::dropByteMessage), 115'200, 1, 2, {}},
    };
    const Bytes ladder = {SPEED_115200, SPEED_57600, SPEED_19200};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkSession session;
        CameraConfig config;
        c.arrange(config, session);
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        bool ready = false;  // all along the speed shown is the line's
        for (int step = 0; step < 1'000 && !ready; ++step) {
            session.loop.RunFor(10);
            ready = program.link.SetupPhase == 0;
            if (std::string_view(c.name) == "speed refused") {
                continue;  // the program records the speed the line refused
            }
            ASSERT_EQ(program.link.CurrentBaudRate, session.line.Baud()) << step;
            const std::string shown = ComSetupDialogContents(program.link).baudRateText;
            ASSERT_TRUE(shown.empty() || shown == std::to_string(session.line.Baud())) << step;
        }
        EXPECT_EQ(ready, c.speed != 0);
        EXPECT_EQ(Shown(session), c.messages);
        for (const auto& message : session.shell.messages) {  // warnings of the mode ask
            const unsigned style = message.text == TEXT_NO_CARD ? MB_OKCANCEL | MB_ICONQUESTION
                                   : message.text == TEXT_VCR_MODE
                                       ? MB_OKCANCEL | MB_ICONEXCLAMATION
                                       : MB_ICONEXCLAMATION;
            EXPECT_EQ(message.style, style) << message.text;
        }
        Bytes requests;
        for (const auto& written : session.line.Written()) {
            if ((written.byte >= SPEED_19200 && written.byte <= SPEED_115200) ||
                written.byte == IDENTIFY) {
                requests.push_back(written.byte);
                EXPECT_EQ(written.baud, 9600u);
            }
        }
        EXPECT_EQ(Count(requests, IDENTIFY), c.identifies);
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
        EXPECT_EQ(program.link.ModelVariant, config.modelCode == "318" ? 1 : 0);
        EXPECT_EQ(SpeedOfFirst(session.line, SPEED_CONFIRM), c.speed);
        EXPECT_EQ(SpeedOfFirst(session.line, RESET_LINK), c.identifies == 2 ? c.speed : 0);
        EXPECT_EQ(ComSetupDialogContents(program.link).baudRateText, std::to_string(c.speed));
        EXPECT_TRUE(
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 10'000));
    }
}

// The store holds 10 + pictures + 4 slots; a re-set-up keeps it unless Reload left one pending.
TEST(Setup, ASecondModeCameraReusesTheStoreUnlessAResetupIsPending) {
    LinkSession session;
    CameraConfig config;
    config.identValue = 40'960 * 10;
    config.pictures = camsim::MakeSamplePictures(2);
    session.AddCamera(PORT_COM1, config);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    constexpr std::size_t storeBytes = (10 + 2 + 4) * THUMBNAIL_SLOT_SIZE;
    EXPECT_EQ(session.Allocations(storeBytes), 1);
    program.linkSetup.StartResetup();  // the link again, no Reload
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.Allocations(storeBytes), 1);
    program.link.ResetupPending = 1;  // as Reload leaves it
    program.linkSetup.StartResetup();
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.Allocations(storeBytes), 2);
    EXPECT_EQ(program.link.ResetupPending, 0);
    EXPECT_EQ(ThumbnailStoreSlots(0, 0), 4u);
    EXPECT_EQ(ThumbnailStoreSlots(40'959, 1), 5u);
    EXPECT_EQ(ThumbnailStoreSlots(40'960, 1), 6u);
    EXPECT_EQ(ThumbnailStoreSlots(0xFFFFFFFF, 0xFFFF), 800u);
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

// The camera's photo button during the wait before a re-set-up's IDENTIFY is no identification;
// a camera without a card frees the thumbnail store.
TEST(Setup, ANoticeDuringTheResetupWaitIsIgnoredAndNoCardFreesTheStore) {
    LinkSession session;
    auto& camera = session.AddCamera(PORT_COM1);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    session.loop.RunFor(2'000);
    const std::size_t messages = session.shell.messages.size();  // the empty camera's
    program.linkSetup.StartResetup();
    session.loop.RunFor(1'000);  // inside the 3 s wait
    camera.PressPhotoButton();
    session.line.CameraSpoke();
    session.loop.RunFor(100);
    EXPECT_EQ(session.shell.messages.size(), messages);
    EXPECT_EQ(program.link.SetupPhase, 1);
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(session.shell.messages.size(), messages);
    session.loop.RunFor(3'000);
    ASSERT_TRUE(program.indexTransfer.index.IndexLoaded);
    ASSERT_TRUE(program.linkHandOver.ThumbnailStoreExists());
    const std::size_t before = session.shell.messages.size();
    camera.SetMode(CameraMode::NoCard);
    session.shell.scriptedAnswers = {IDCANCEL};
    program.linkSetup.StartResetup();
    session.loop.RunFor(5'000);
    ASSERT_EQ(session.shell.messages.size(), before + 1);
    EXPECT_EQ(session.shell.messages.back().text, TEXT_NO_CARD);
    EXPECT_FALSE(program.linkHandOver.ThumbnailStoreExists());
}

TEST(Recovery, ReconnectResetsTheLinkAndSetsItUpAgainAfter200And3000Ms) {
    LinkSession session;
    session.AddCamera(PORT_COM2);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    program.link.TransferMode = TRANSFER_LIVE_VIEW;
    program.link.ExpectedLength = 1;
    program.link.RetryCount = 4;
    program.link.WaitingForData = 1;
    program.liveWindow.MdiActivate(true);  // the user looks at the Live image window
    session.shell.mdiClientStates.clear();
    program.linkSetup.OpenDisconnectDialog();
    EXPECT_EQ(session.shell.linkDialogsShown.back(), LinkDialog::ComDisconnect);
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
    EXPECT_EQ(session.shell.activatedWindows, std::vector<WindowId>{PREVIEW_WINDOW});
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
