// The pieces between the line and the handlers that the scenario tests only pass through.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "link/line_trace.h"
#include "link/poll_loop.h"
#include "link/receiver.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

// Due timers fire earliest first, once each; a timer its handler starts again fires again.
TEST(LinePlumbing, PollLoopFiresDueTimersEarliestFirstAndOnce) {
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

TEST(LinePlumbing, ATracedLineClosesTheLineUnderIt) {
    testing::ScriptedLine inner;
    std::ostringstream out;
    TracingLine line(inner, &out);
    ASSERT_EQ(line.Open(PORT_COM1), LineOpenResult::Opened);
    EXPECT_TRUE(inner.IsOpen());
    line.Close();
    EXPECT_FALSE(inner.IsOpen());
    EXPECT_FALSE(line.IsOpen());
}

// A port opened again starts a new message: the half message collected before is dropped.
TEST(LinePlumbing, OpeningTheLineAgainDropsAHalfCollectedMessage) {
    LinkState link;
    testing::ScriptedLine line;
    Receiver receiver(link, line);
    std::vector<std::uint8_t> firstBytes;
    receiver.transferHandlers[1] = [&] { firstBytes.push_back(link.ReceiveBuffer[0]); };
    line.Open(PORT_COM1);
    receiver.LineOpened();
    link.SetupPhase = 0;
    link.TransferMode = 1;
    link.ExpectedLength = PACKET_LENGTH;
    line.incoming.assign(50, 0xEE);
    receiver.OnReadable();
    EXPECT_TRUE(firstBytes.empty());

    receiver.LineOpened();
    for (std::size_t i = 0; i < PACKET_LENGTH; ++i) {
        line.incoming.push_back(static_cast<std::uint8_t>(i + 1));
    }
    receiver.OnReadable();
    EXPECT_EQ(firstBytes, (std::vector<std::uint8_t>{1}));
}

}  // namespace
}  // namespace fotolyx
