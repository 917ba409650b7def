// What stands between the line and the handlers: the receiver, the poll loop and the watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "link/poll_loop.h"
#include "link/receiver.h"
#include "link/watchdog.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A receiver on an open line whose handlers collect the messages by set-up and transfer mode.
struct Rig {
    LinkState link;
    testing::ScriptedLine line;
    Receiver receiver{link, line};
    std::vector<Bytes> setup;
    std::vector<Bytes> byMode[TRANSFER_MODE_COUNT];
    Rig() {
        line.Open(PORT_COM1);
        receiver.LineOpened();
        receiver.setupHandler = [this] { setup.push_back(Message()); };
        for (std::size_t mode = 0; mode < TRANSFER_MODE_COUNT; ++mode) {
            receiver.transferHandlers[mode] = [this, mode] { byMode[mode].push_back(Message()); };
        }
    }
    explicit Rig(TransferMode mode) : Rig() {
        link.SetupPhase = 0;
        link.TransferMode = mode;
    }
    Bytes Message() const {
        const std::size_t length = std::min<std::size_t>(link.ExpectedLength, PACKET_LENGTH);
        return {link.ReceiveBuffer.begin(), link.ReceiveBuffer.begin() + length};
    }
    // Queues count bytes counting up from first.
    void Queue(std::size_t count, std::uint8_t first) {
        for (std::size_t i = 0; i < count; ++i) {
            line.incoming.push_back(static_cast<std::uint8_t>(first + i));
        }
    }
    void Feed(std::size_t count, std::uint8_t first) {
        Queue(count, first);
        receiver.OnReadable();
    }
};

TEST(Receiver, PacketsBackToBackAreMessagesTheRestWaitsAndAnOpeningDropsIt) {
    Rig rig(TRANSFER_DOWNLOAD);
    rig.Queue(116, 0);
    rig.Queue(116, 100);
    rig.Feed(5, 200);
    ASSERT_EQ(rig.byMode[1].size(), 2u);
    EXPECT_EQ(rig.byMode[1][0].front(), 0);
    EXPECT_EQ(rig.byMode[1][1].front(), 100);
    EXPECT_EQ(rig.byMode[1][1].back(), 215);
    EXPECT_EQ(rig.link.ReceiveCount, 5);  // the next message has begun
    rig.Feed(111, 0);
    ASSERT_EQ(rig.byMode[1].size(), 3u);
    EXPECT_EQ(rig.byMode[1][2].front(), 200);
    rig.Feed(50, 0x80);
    rig.receiver.LineOpened();  // opened again: the half message is dropped
    rig.Feed(116, 1);
    ASSERT_EQ(rig.byMode[1].size(), 4u);
    EXPECT_EQ(rig.byMode[1][3].front(), 1);
}

TEST(Receiver, DispatchFollowsSetupPhaseThenTransferMode) {
    Rig rig;
    rig.link.TransferMode = TRANSFER_LIVE_PHOTO;
    rig.Feed(116, 0);
    EXPECT_EQ(rig.setup.size(), 1u);
    rig.link.SetupPhase = 0;
    rig.Feed(116, 0);
    EXPECT_EQ(rig.byMode[3].size(), 1u);
    rig.link.TransferMode = static_cast<TransferMode>(9);  // no handler: the message is dropped
    rig.Feed(116, 0);
    EXPECT_EQ(rig.setup.size(), 1u);
    EXPECT_EQ(rig.link.ReceiveCount, 0);
}

TEST(Receiver, AHandlerThatShortensTheMessageGetsTheRestByteByByte) {
    Rig rig(TRANSFER_UPLOAD);
    rig.receiver.transferHandlers[4] = [&] {
        rig.byMode[4].push_back(rig.Message());
        rig.link.ExpectedLength = 1;
    };
    rig.Queue(116, 0);
    rig.Feed(3, 0xE4);
    ASSERT_EQ(rig.byMode[4].size(), 4u);
    EXPECT_EQ(rig.byMode[4][1], Bytes{0xE4});
    EXPECT_EQ(rig.byMode[4][3], Bytes{0xE6});
}

TEST(Receiver, DispatchIsNotReentrantNorOverrunsTheBuffer) {
    Rig rig(TRANSFER_DOWNLOAD);
    int depth = 0;
    int maxDepth = 0;
    int calls = 0;
    rig.receiver.transferHandlers[1] = [&] {
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        rig.receiver.OnReadable();  // a nested event loop asking for more
        --depth;
    };
    rig.Feed(232, 0);
    EXPECT_EQ(std::tuple(calls, maxDepth), std::tuple(2, 1));
    Rig oversized(TRANSFER_INDEX);
    oversized.link.ExpectedLength = 5000;
    oversized.Feed(300, 0);
    EXPECT_EQ(oversized.byMode[0].size(), 2u);
}

// A hang-up gives one all-zero packet (none during an upload) and stops watching until the
// line is opened again.
TEST(Receiver, HangUpGivesOneAllZeroPacketAndStopsWatching) {
    Rig rig(TRANSFER_INDEX);
    rig.Feed(40, 1);  // a partial packet is in the buffer
    rig.receiver.OnHangUp();
    rig.receiver.OnHangUp();
    ASSERT_EQ(rig.byMode[0].size(), 1u);
    EXPECT_EQ(rig.byMode[0][0], Bytes(116, 0));
    EXPECT_FALSE(rig.receiver.Watching());
    rig.Feed(116, 1);
    EXPECT_EQ(rig.byMode[0].size(), 1u);
    rig.receiver.LineOpened();
    EXPECT_TRUE(rig.receiver.Watching());
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.byMode[0].size(), 2u);
    Rig upload(TRANSFER_UPLOAD);
    upload.link.ExpectedLength = 1;
    upload.receiver.OnHangUp();
    EXPECT_TRUE(upload.byMode[4].empty());
    EXPECT_FALSE(upload.receiver.Watching());
}

// Due timers fire earliest first, once each; a timer its handler starts again fires again.
TEST(PollLoop, FiresDueTimersEarliestFirstAndOnce) {
    PollLoop loop;
    std::vector<int> fired;
    loop.watchedFd = [] { return -1; };
    loop.onTimer = [&](WindowId, int id) {
        fired.push_back(id);
        if (id == 3 && fired.size() == 2) {
            loop.StartTimer(WindowId{1}, 3, 1);
        }
    };
    loop.StartTimer(WindowId{1}, 1, 30);
    loop.StartTimer(WindowId{1}, 2, 1);
    loop.StartTimer(WindowId{1}, 3, 10);
    loop.StartTimer(WindowId{1}, 4, 5000);
    loop.KillTimer(WindowId{1}, 4);
    EXPECT_TRUE(loop.RunUntil([&] { return fired.size() == 4; }, std::chrono::seconds(5)));
    EXPECT_EQ(fired, (std::vector<int>{2, 3, 3, 1}));
    EXPECT_FALSE(loop.RunUntil([&] { return fired.size() > 4; }, std::chrono::milliseconds(50)));
    EXPECT_FALSE(loop.TimerRunning(WindowId{1}, 4));
}

constexpr WindowId WAITING_WINDOW = 7;

struct WatchRig {
    LinkState link;
    testing::ScriptedLine line;
    testing::RecordingTimers timers;
    bool running = true;
    std::vector<std::string> order;
    Watchdog Make(WatchdogConfig config) {
        config.window = WAITING_WINDOW;
        config.runsWhile = [this] { return running; };
        line.open = true;
        link.WaitingForData = 1;
        return Watchdog(config, link, line, timers, [this] { order.push_back("dialog"); });
    }
    int Period() const {
        const auto it = timers.running.find({WAITING_WINDOW, WATCHDOG_TIMER});
        return it == timers.running.end() ? -1 : it->second;
    }
    int Naks() const {
        return static_cast<int>(std::count(line.written.begin(), line.written.end(), NAK));
    }
    int Dialogs() const {
        return static_cast<int>(std::count(order.begin(), order.end(), "dialog"));
    }
};

// Traffic since the last tick rearms it; the first silence writes one NAK and drops the half
// message, the next opens the dialog after the window's own step; without NAKs the first does.
TEST(Watchdog, OneNakPerSilenceThenTheDialogInEachWaitingWindow) {
    struct Case {
        const char* window;
        WatchdogConfig config;
    };
    WatchdogConfig live;
    live.firstPeriodMs = 500;
    live.runningPeriodMs = 1000;
    WatchdogConfig upload;
    upload.runningPeriodMs = 1500;
    upload.nakOnSilence = false;
    for (const Case& c :
         {Case{"preview", WatchdogConfig{}}, Case{"live", live}, Case{"upload", upload}}) {
        SCOPED_TRACE(c.window);
        WatchRig rig;
        WatchdogConfig config = c.config;
        config.extraOnSilence = [&rig] { rig.order.push_back("extra"); };
        Watchdog watchdog = rig.Make(config);
        watchdog.Arm();
        EXPECT_EQ(rig.Period(), c.config.firstPeriodMs);
        const int naks = c.config.nakOnSilence ? 2 : 0;
        for (int silence = 0; silence < naks; ++silence) {
            rig.link.WaitingForData = 0;  // a packet arrived: rearmed
            watchdog.Tick();
            EXPECT_EQ(std::tuple(rig.link.WatchdogArmed, rig.link.WaitingForData, rig.Period(),
                                 rig.Naks()),
                      std::tuple(1, 1, c.config.runningPeriodMs, silence));
            rig.link.ReceiveCount = 40;  // half a packet arrived, then nothing
            watchdog.Tick();
            EXPECT_EQ(std::tuple(rig.Naks(), rig.link.ReceiveCount, rig.link.WatchdogArmed,
                                 rig.Period(), rig.Dialogs()),
                      std::tuple(silence + 1, 0, 0, 400, 0));  // 400 ms for the answer to a NAK
        }
        if (naks == 0) {
            rig.link.WaitingForData = 0;
            watchdog.Tick();
            EXPECT_EQ(rig.Period(), c.config.runningPeriodMs);
        }
        watchdog.Tick();  // still silent
        EXPECT_EQ(std::tuple(rig.Naks(), rig.Dialogs(), rig.Period(), rig.link.WatchdogArmed),
                  std::tuple(naks, 1, -1, 1));
        EXPECT_EQ(rig.order, (std::vector<std::string>{"extra", "dialog"}));
    }
}

// It stops when its transfer has ended; a tick the window counts as traffic rearms it.
TEST(Watchdog, StopsWithItsTransferAndRearmsOnWhatCountsAsTraffic) {
    WatchRig ended;
    Watchdog stopping = ended.Make({});
    stopping.Arm();
    ended.running = false;
    stopping.Tick();
    EXPECT_EQ(std::tuple(ended.Period(), ended.Naks(), ended.Dialogs()), std::tuple(-1, 0, 0));
    WatchRig rig;
    bool resent = true;
    WatchdogConfig config;
    config.countsAsTraffic = [&resent] { return resent; };
    Watchdog watchdog = rig.Make(config);
    watchdog.Arm();
    watchdog.Tick();
    EXPECT_EQ(std::tuple(rig.Naks(), rig.link.WaitingForData), std::tuple(0, 1));
    resent = false;
    watchdog.Tick();
    EXPECT_EQ(rig.Naks(), 1);
}

}  // namespace
}  // namespace fotolyx
