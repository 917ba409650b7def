// What stands between the line and the handlers: the receiver and the poll loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "link/poll_loop.h"
#include "link/receiver.h"
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

TEST(Receiver, DispatchIsNotReentrant) {
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
}

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

}  // namespace
}  // namespace fotolyx
