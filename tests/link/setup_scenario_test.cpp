#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "link/link_setup.h"
#include "support/link_session.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::CameraMode;
using testing::LinkSession;
using testing::MS;

bool Contains(const std::vector<std::uint8_t>& bytes, std::uint8_t byte) {
    return std::find(bytes.begin(), bytes.end(), byte) != bytes.end();
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

TEST(Setup, WithNoCameraEveryPortIsTried1100MsApartThenReconnectIsOffered) {
    LinkSession session;
    for (int port : {PORT_COM1, PORT_COM2, PORT_COM3}) {
        session.line.AddSilentDevice(port);
    }
    // COM4 does not exist: it costs the same 800 ms.
    session.Start();
    ASSERT_TRUE(
        session.RunUntil([&] { return session.DialogShown(LinkDialog::ComReconnect); }, 10'000));
    const auto& openings = session.line.Openings();
    ASSERT_EQ(openings.size(), 4u);
    const int ports[] = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(openings[i].port, ports[i]);
        EXPECT_EQ(openings[i].time, (300 + 1100 * static_cast<int>(i)) * MS);
    }
    EXPECT_EQ(openings[3].result, LineOpenResult::Missing);
    EXPECT_EQ(session.loop.Now(), 4400 * MS);
    EXPECT_EQ(session.line.WrittenBytes(), std::vector<std::uint8_t>(3, IDENTIFY));
    EXPECT_FALSE(session.line.IsOpen());
    EXPECT_EQ(session.shell.statusTexts.front(), TEXT_SETUP_PROCEEDING);
    // Nothing else happens while the dialog waits.
    session.loop.RunFor(10'000);
    EXPECT_EQ(session.line.Openings().size(), 4u);
}

TEST(Setup, ACameraOnCom3IsFoundAfterTwoSilentPorts) {
    LinkSession session;
    session.line.AddSilentDevice(PORT_COM1);
    session.line.DenyPermission(PORT_COM2);
    session.AddCamera(PORT_COM3);
    Program& program = session.Start();
    const auto contentsDuringScan = ComSetupDialogContents(program.link);
    EXPECT_FALSE(contentsDuringScan.checkedPort.has_value());
    EXPECT_EQ(contentsDuringScan.baudRateText, "");
    ASSERT_TRUE(session.RunUntilCameraReady());
    // 2.2 s after the first opening, plus the camera's own answers.
    EXPECT_EQ(session.line.Openings().back().time, 2500 * MS);
    EXPECT_LT(session.loop.Now(), 2800 * MS);
    EXPECT_EQ(
        std::tuple(program.link.SelectedPort, program.link.SetupPhase, program.link.CurrentBaudRate,
                   program.link.SavedLineSpeed, session.line.Baud()),
        std::tuple(PORT_COM3, 0, 115'200u, 115'200u, 115'200u));
    EXPECT_EQ(SpeedOfFirst(session.line, SPEED_115200), 9600u);
    EXPECT_EQ(SpeedOfFirst(session.line, SPEED_CONFIRM), 115'200u);
    EXPECT_FALSE(session.loop.TimerRunning(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP));
    const auto contents = ComSetupDialogContents(program.link);
    EXPECT_EQ(contents.checkedPort, PORT_COM3);
    EXPECT_EQ(contents.baudRateText, "115200");
}

TEST(Setup, TheFastestSpeedTheCameraConfirmsWins) {
    struct Case {
        std::vector<std::uint32_t> speeds;
        std::uint32_t expected;
        std::vector<std::uint8_t> requests;
    };
    const std::vector<Case> cases = {
        {{57'600}, 57'600, {SPEED_115200, SPEED_57600}},
        {{19'200, 57'600}, 57'600, {SPEED_115200, SPEED_57600}},
        {{19'200}, 19'200, {SPEED_115200, SPEED_57600, SPEED_19200}},
    };
    for (const auto& c : cases) {
        LinkSession session;
        CameraConfig config;
        config.speeds = c.speeds;
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        ASSERT_TRUE(session.RunUntilCameraReady()) << c.expected;
        std::vector<std::uint8_t> requests;
        for (const auto& written : session.line.Written()) {
            if (written.byte >= SPEED_19200 && written.byte <= SPEED_115200) {
                requests.push_back(written.byte);
                EXPECT_EQ(written.baud, 9600u);  // requests always go out at 9600
            }
        }
        EXPECT_EQ(requests, c.requests);
        EXPECT_EQ(SpeedOfFirst(session.line, SPEED_CONFIRM), c.expected);
        EXPECT_EQ(program.link.CurrentBaudRate, c.expected);
        EXPECT_EQ(ComSetupDialogContents(program.link).baudRateText, std::to_string(c.expected));
    }
}

// The PC switches its own speed 50 ms after a request and then waits 800 ms for READY: a camera
// whose READY (10 ms on the line at 115200) arrives within that window is met at 115200 whatever
// the line does to the bytes' timing; one that answers before the PC has switched is read as noise
// at 9600, one that answers after it gave up is never met, at every speed, and the ladder ends
// with the minimum-speed message.
TEST(Setup, TheSpeedTheLinkReachesDependsOnWhenTheCameraAnswersNotOnTheLinesTiming) {
    struct Case {
        const char* name;
        camsim::Micros readyDelay;
        camsim::LineOptions line;
        std::uint32_t speed;  // 0: the minimum-speed message
    };
    const Case cases[] = {
        {"READY after 100 ms", 100 * MS, {}, 115'200},
        {"READY after 400 ms", 400 * MS, {}, 115'200},
        {"READY after 780 ms, just in time", 780 * MS, {}, 115'200},
        {"16 ms adapter bursts", 100 * MS, {0, 16 * MS, 1}, 115'200},
        {"jitter", 100 * MS, {300, 0, 5}, 115'200},
        {"READY after 20 ms, before the PC switched", 20 * MS, {}, 0},
        {"READY after 900 ms, after the PC gave up", 900 * MS, {}, 0},
    };
    for (const Case& c : cases) {
        LinkSession session;
        session.line.options = c.line;
        CameraConfig config;
        config.speedAnswerDelay = c.readyDelay;
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        const bool ready = session.RunUntilCameraReady(10'000);
        if (c.speed == 0) {
            EXPECT_FALSE(ready) << c.name;
            ASSERT_EQ(session.shell.messages.size(), 1u) << c.name;
            EXPECT_EQ(session.shell.messages[0].text, TEXT_MINIMUM_SPEED) << c.name;
            EXPECT_EQ(session.shell.messages[0].caption, "connect error") << c.name;
            EXPECT_EQ(session.shell.messages[0].style, MB_ICONEXCLAMATION) << c.name;
            EXPECT_EQ(std::tuple(program.link.SetupPhase, session.line.Baud()),
                      std::tuple(7, 9600u))
                << c.name;
            EXPECT_FALSE(session.loop.TimerRunning(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP));
            continue;
        }
        ASSERT_TRUE(ready) << c.name;
        EXPECT_EQ(program.link.CurrentBaudRate, c.speed) << c.name;
        EXPECT_TRUE(
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 10'000))
            << c.name;
    }
}

TEST(Setup, OnlyModels462And318AreAccepted) {
    struct Case {
        const char* model;
        bool accepted;
        std::uint8_t variant;
    };
    for (const Case& c : {Case{"462", true, 0}, Case{"318", true, 1}, Case{"463", false, 0},
                          Case{"31", false, 0}}) {
        LinkSession session;
        CameraConfig config;
        config.modelCode = c.model;
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        const bool ready = session.RunUntilCameraReady(5'000);
        EXPECT_EQ(ready, c.accepted) << c.model;
        if (c.accepted) {
            EXPECT_EQ(program.link.ModelVariant, c.variant) << c.model;
            EXPECT_TRUE(session.shell.messages.empty());
            continue;
        }
        ASSERT_EQ(session.shell.messages.size(), 1u) << c.model;
        EXPECT_EQ(session.shell.messages[0].text, TEXT_WRONG_MODEL);
        EXPECT_EQ(session.shell.messages[0].caption, "WARNING");
        EXPECT_EQ(session.shell.statusTexts.back(), "Ready");
        EXPECT_EQ(session.line.WrittenBytes(), std::vector<std::uint8_t>{IDENTIFY});
        EXPECT_EQ(session.line.Openings().size(), 1u);  // a dead end: nothing further
    }
}

TEST(Setup, AnIdentificationWithoutItsTrailerIsIgnoredAndTheScanGoesOn) {
    LinkSession session;
    CameraConfig config;
    config.faults.badTrailerStatus = 1;
    session.AddCamera(PORT_COM1, config);
    session.AddCamera(PORT_COM2);
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_EQ(program.link.SelectedPort, PORT_COM2);
    EXPECT_EQ(session.line.Openings().back().time, 1400 * MS);
    EXPECT_FALSE(Contains(session.WrittenSince(0), SPEED_57600));
}

TEST(Setup, VcrAndNoCardWarnAndRepeatTheIdentificationOnOk) {
    struct Case {
        CameraMode mode;
        const char* text;
        unsigned style;
    };
    for (const Case& c : {Case{CameraMode::Vcr, TEXT_VCR_MODE, MB_OKCANCEL | MB_ICONEXCLAMATION},
                          Case{CameraMode::NoCard, TEXT_NO_CARD, MB_OKCANCEL | MB_ICONQUESTION}}) {
        LinkSession session;
        CameraConfig config;
        config.mode = c.mode;
        session.AddCamera(PORT_COM2, config);
        session.shell.scriptedAnswers = {IDOK, IDCANCEL};
        Program& program = session.Start();
        session.loop.RunFor(20'000);
        ASSERT_EQ(session.shell.messages.size(), 2u);
        EXPECT_EQ(session.shell.messages[0].text, c.text);
        EXPECT_EQ(session.shell.messages[0].caption, "WARNING");
        EXPECT_EQ(session.shell.messages[0].style, c.style);
        // OK: identified again on the same port at 9600; Cancel: nothing more.
        int identifies = 0;
        for (const auto& written : session.line.Written()) {
            if (written.byte == IDENTIFY) {
                ++identifies;
                EXPECT_EQ(written.baud, 9600u);
                EXPECT_EQ(written.port, PORT_COM2);
            }
        }
        EXPECT_EQ(identifies, 2);  // COM2's opening, then the OK
        EXPECT_EQ(
            std::tuple(program.link.SetupPhase, program.link.CurrentBaudRate, session.line.Baud()),
            std::tuple(1, 9600u, 9600u));
        EXPECT_FALSE(session.loop.TimerRunning(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP));
    }
}

TEST(Setup, NoCardFreesTheThumbnailStore) {
    LinkSession session;
    auto& camera = session.AddCamera(PORT_COM1);
    // The empty card's message first, then the no-card warning.
    session.shell.scriptedAnswers = {IDOK, IDCANCEL};
    Program& program = session.Start();
    ASSERT_TRUE(session.RunUntilCameraReady());
    ASSERT_TRUE(program.linkHandOver.ThumbnailStoreExists());
    ASSERT_TRUE(session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 5'000));
    camera.SetMode(CameraMode::NoCard);
    program.linkSetup.StartResetup();
    session.loop.RunFor(5'000);
    ASSERT_EQ(session.shell.messages.size(), 2u);
    EXPECT_FALSE(program.linkHandOver.ThumbnailStoreExists());
}

TEST(Setup, ASecondModeCameraReusesTheStoreUnlessAResetupIsPending) {
    LinkSession session;
    camsim::CameraConfig config;
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
}

TEST(Setup, AStoreThatCannotBeHadIsReportedAndTheSetupCompletes) {
    LinkSession session;
    session.AddCamera(PORT_COM1);
    Program& program = session.Start();
    session.memory.failingCalls = {session.memory.calls};  // the store's block
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_FALSE(program.linkHandOver.ThumbnailStoreExists());
    ASSERT_EQ(session.shell.messages.size(), 1u);
    EXPECT_EQ(session.shell.messages[0].text, "Not enough memory.");
    EXPECT_EQ(session.shell.messages[0].caption, "Global Memory");
    EXPECT_EQ(program.link.SetupPhase, 0);
}

TEST(Setup, LineSettingFaultsAreReportedAndTheSetupGoesOn) {
    struct Case {
        const char* name;
        LineSettingsFault openFault;
        bool refuseSpeeds;
        const char* text;
    };
    for (const Case& c :
         {Case{"settings unreadable", LineSettingsFault::ReadFailed, false, "GetCommState FAULT."},
          Case{"settings unwritable", LineSettingsFault::WriteFailed, false, "SetCommState FAULT."},
          Case{"speed refused", LineSettingsFault::None, true, "SetCommState FAULT."}}) {
        LinkSession session;
        session.line.openFault = c.openFault;
        session.line.refuseSpeedChanges = c.refuseSpeeds;
        session.AddCamera(PORT_COM1);
        Program& program = session.Start();
        const bool ready = session.RunUntilCameraReady();
        ASSERT_FALSE(session.shell.messages.empty()) << c.name;
        EXPECT_EQ(session.shell.messages[0].text, c.text) << c.name;
        EXPECT_EQ(session.shell.messages[0].caption, "COM Port ERROR") << c.name;
        EXPECT_EQ(session.shell.messages[0].style, MB_ICONEXCLAMATION) << c.name;
        if (c.refuseSpeeds) {
            // Stuck at 9600 against a faster camera: every speed fails, reported once each.
            EXPECT_FALSE(ready);
            EXPECT_EQ(session.shell.messages.size(), 2u);
            EXPECT_EQ(session.shell.messages.back().text, TEXT_MINIMUM_SPEED);
        } else {
            EXPECT_TRUE(ready) << c.name;
            EXPECT_EQ(program.link.SetupPhase, 0) << c.name;
        }
    }
}

TEST(Setup, ThumbnailStoreSlotsAreBoundedBy800) {
    EXPECT_EQ(ThumbnailStoreSlots(0, 0), 4u);
    EXPECT_EQ(ThumbnailStoreSlots(40'959, 1), 5u);
    EXPECT_EQ(ThumbnailStoreSlots(40'960, 1), 6u);
    EXPECT_EQ(ThumbnailStoreSlots(0xFFFFFFFF, 0xFFFF), 800u);
}

// A mode answer lost or garbled after SPEED_CONFIRM: the camera already runs at the confirmed
// speed, so the lower speeds cannot reach it; the set-up starts over as a re-set-up does
// (RESET_LINK, back to 9600, IDENTIFY) and ends at the camera's fastest speed. All along COM SETUP
// and CurrentBaudRate tell the speed the line runs at.
TEST(Setup, ALostModeAnswerLeadsToAFreshSetupNotDownTheSpeedLadder) {
    struct Case {
        const char* name;
        std::function<void(camsim::CameraFaults&)> fault;
    };
    // The camera's messages: 0 the identification, 1 READY at 115200, 2 the mode answer.
    const Case cases[] = {
        {"lost", [](camsim::CameraFaults& f) { f.silentAfterMessages = 2; }},
        {"garbled", [](camsim::CameraFaults& f) { f.garbleMessage = 2; }},
        {"short", [](camsim::CameraFaults& f) { f.dropByteMessage = 2; }},
    };
    for (const Case& c : cases) {
        LinkSession session;
        CameraConfig config;
        c.fault(config.faults);
        session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        bool ready = false;
        for (int step = 0; step < 2'000 && !ready; ++step) {
            session.loop.RunFor(10);
            ready = program.link.SetupPhase == 0;
            ASSERT_EQ(program.link.CurrentBaudRate, session.line.Baud())
                << c.name << " at " << session.loop.Now() / MS << " ms";
            const std::string shown = ComSetupDialogContents(program.link).baudRateText;
            ASSERT_TRUE(shown.empty() || shown == std::to_string(session.line.Baud())) << c.name;
        }
        ASSERT_TRUE(ready) << c.name;
        EXPECT_TRUE(session.shell.messages.empty()) << c.name;
        EXPECT_EQ(program.link.CurrentBaudRate, 115'200u) << c.name;
        const auto written = session.WrittenSince(0);
        EXPECT_EQ(std::count(written.begin(), written.end(), RESET_LINK), 1) << c.name;
        EXPECT_FALSE(Contains(written, SPEED_57600)) << c.name;
        EXPECT_EQ(std::count(written.begin(), written.end(), IDENTIFY), 2) << c.name;
        EXPECT_EQ(SpeedOfFirst(session.line, RESET_LINK), 115'200u) << c.name;
    }
}

// The camera's own photo button during the wait before the re-set-up's IDENTIFY is no
// identification: no "This Model type is wrong.", and the set-up completes.
TEST(Setup, ACameraNoticeDuringTheResetupWaitIsIgnored) {
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
    for (const auto& message : session.shell.messages) {
        EXPECT_NE(message.text, TEXT_WRONG_MODEL);
    }
}

}  // namespace
}  // namespace fotolyx
