#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <vector>

#include "host/line_watcher.h"
#include "host/qt_timers.h"

namespace fotolyx::testing {
namespace {

TEST(QtTimersTest, OneShotTimersRestartAndDieWhenKilled) {
    host::QtTimers timers;
    std::vector<std::pair<WindowId, int>> fired;
    timers.onTimer = [&](WindowId window, int id) { fired.emplace_back(window, id); };
    QElapsedTimer clock;
    clock.start();
    timers.StartTimer(FRAME_WINDOW, 1, 80);
    timers.StartTimer(7, 1, 20);
    timers.StartTimer(FRAME_WINDOW, 2, 30);
    QTest::qWait(50);
    timers.StartTimer(FRAME_WINDOW, 1, 80);  // restarted
    timers.KillTimer(7, 1);                  // already fired
    EXPECT_TRUE(timers.TimerRunning(FRAME_WINDOW, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired.size() == 3; }, 1000));
    EXPECT_GE(clock.elapsed(), 125);
    EXPECT_EQ(fired, (std::vector<std::pair<WindowId, int>>{
                         {7, 1}, {FRAME_WINDOW, 2}, {FRAME_WINDOW, 1}}));
    EXPECT_FALSE(timers.TimerRunning(FRAME_WINDOW, 1));

    timers.StartTimer(FRAME_WINDOW, 3, 10);
    timers.StartTimer(9, 3, 10);
    timers.KillTimer(FRAME_WINDOW, 3);
    timers.KillWindowTimers(9);
    QTest::qWait(50);
    EXPECT_EQ(fired.size(), 3u);
}

TEST(LineWatcherTest, DeliversBytesTellsAHangUpApartAndWaitsWhileBusy) {
    int far = -1;  // the camera's end; the program reads the other
    int near = -1;
    ASSERT_EQ(openpty(&far, &near, nullptr, nullptr, nullptr), 0);
    fcntl(near, F_SETFL, O_NONBLOCK);
    termios settings{};
    tcgetattr(near, &settings);
    cfmakeraw(&settings);
    tcsetattr(near, TCSANOW, &settings);
    host::LineWatcher watcher;
    bool busy = false;
    std::size_t received = 0;
    int hangUps = 0;
    watcher.watchedFd = [&] { return hangUps == 0 ? near : -1; };
    watcher.busy = [&] { return busy; };
    watcher.onReadable = [&] {
        char buffer[16];
        received += static_cast<std::size_t>(std::max<ssize_t>(read(near, buffer, 16), 0));
    };
    watcher.onHangUp = [&] { ++hangUps; };
    watcher.Update();
    EXPECT_EQ(watcher.WatchedDescriptor(), near);
    ASSERT_EQ(write(far, "ab", 2), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == 2; }, 1000));

    busy = true;  // the bytes wait in the driver
    watcher.Update();
    ASSERT_EQ(write(far, "c", 1), 1);
    QTest::qWait(50);
    EXPECT_EQ(received, 2u);
    busy = false;
    watcher.Update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == 3; }, 1000));

    close(far);  // one hang-up, then the line is no longer watched
    EXPECT_TRUE(QTest::qWaitFor([&] { return hangUps == 1; }, 1000));
    QTest::qWait(50);
    EXPECT_EQ(hangUps, 1);
    EXPECT_EQ(watcher.WatchedDescriptor(), -1);
    close(near);
}

}  // namespace
}  // namespace fotolyx::testing
