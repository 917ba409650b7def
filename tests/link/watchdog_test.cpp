#include "link/watchdog.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::RecordingTimers;
using testing::ScriptedLine;

constexpr WindowId WAITING_WINDOW = 7;

struct Rig {
    LinkState link;
    ScriptedLine line;
    RecordingTimers timers;
    bool running = true;
    int dialogs = 0;
    std::vector<std::string> order;
    Watchdog Make(WatchdogConfig config) {
        config.window = WAITING_WINDOW;
        config.runsWhile = [this] { return running; };
        return Watchdog(config, link, line, timers, [this] {
            ++dialogs;
            order.push_back("dialog");
        });
    }
    int Period() const {
        const auto it = timers.running.find({WAITING_WINDOW, WATCHDOG_TIMER});
        return it == timers.running.end() ? -1 : it->second;
    }
    int Naks() const {
        return static_cast<int>(std::count(line.written.begin(), line.written.end(), NAK));
    }
};

TEST(Watchdog, OneNakPerSilenceAndTheDialogAtTheSecondSilence) {
    Rig rig;
    rig.line.open = true;
    Watchdog watchdog = rig.Make({});
    rig.link.WaitingForData = 1;
    watchdog.Arm();
    EXPECT_EQ(rig.Period(), 1500);
    rig.link.ReceiveCount = 40;  // half a packet arrived, then nothing
    watchdog.Tick();
    EXPECT_EQ(std::tuple(rig.Naks(), rig.link.ReceiveCount, rig.link.WatchdogArmed, rig.Period()),
              std::tuple(1, 0, 0, 400));
    rig.link.WaitingForData = 0;  // a packet arrived: rearmed
    watchdog.Tick();
    EXPECT_EQ(std::tuple(rig.link.WatchdogArmed, rig.link.WaitingForData, rig.Period(), rig.Naks()),
              std::tuple(1, 1, 400, 1));
    watchdog.Tick();  // silence again: one more NAK
    EXPECT_EQ(rig.Naks(), 2);
    watchdog.Tick();  // and still silent
    EXPECT_EQ(std::tuple(rig.Naks(), rig.dialogs, rig.Period(), rig.link.WatchdogArmed),
              std::tuple(2, 1, -1, 1));
}

TEST(Watchdog, ConfigurationsOfTheWaitingWindows) {
    struct Case {
        const char* window;
        WatchdogConfig config;
        int naksBeforeDialog;
    };
    WatchdogConfig live;
    live.firstPeriodMs = 500;
    live.runningPeriodMs = 1000;
    WatchdogConfig upload;
    upload.runningPeriodMs = 1500;
    upload.nakOnSilence = false;
    for (const Case& c :
         {Case{"preview", WatchdogConfig{}, 1}, Case{"live", live, 1}, Case{"upload", upload, 0}}) {
        Rig rig;
        rig.line.open = true;
        WatchdogConfig config = c.config;
        config.extraOnSilence = [&rig] { rig.order.push_back("extra"); };
        Watchdog watchdog = rig.Make(config);
        rig.link.WaitingForData = 1;
        watchdog.Arm();
        EXPECT_EQ(rig.Period(), c.config.firstPeriodMs) << c.window;
        rig.link.WaitingForData = 0;
        watchdog.Tick();
        EXPECT_EQ(rig.Period(), c.config.runningPeriodMs) << c.window;
        for (int i = 0; i < 5 && rig.dialogs == 0; ++i) {
            watchdog.Tick();
        }
        EXPECT_EQ(rig.Naks(), c.naksBeforeDialog) << c.window;
        EXPECT_EQ(rig.order, (std::vector<std::string>{"extra", "dialog"})) << c.window;
    }
}

TEST(Watchdog, StopsWhenItsTransferHasEnded) {
    Rig rig;
    Watchdog watchdog = rig.Make({});
    rig.link.WaitingForData = 1;
    watchdog.Arm();
    rig.running = false;
    watchdog.Tick();
    EXPECT_EQ(std::tuple(rig.Period(), rig.Naks(), rig.dialogs), std::tuple(-1, 0, 0));
}

TEST(Watchdog, ATickThatCountsAsTrafficRearms) {
    Rig rig;
    bool resent = true;
    WatchdogConfig config;
    config.countsAsTraffic = [&resent] { return resent; };
    Watchdog watchdog = rig.Make(config);
    rig.link.WaitingForData = 1;
    watchdog.Arm();
    watchdog.Tick();
    EXPECT_EQ(rig.Naks(), 0);
    EXPECT_EQ(rig.link.WaitingForData, 1);
    resent = false;
    watchdog.Tick();
    EXPECT_EQ(rig.Naks(), 1);
}

}  // namespace
}  // namespace fotolyx
