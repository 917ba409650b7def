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

using host::LineWatcher;
using host::QtTimers;

TEST(QtTimersTest, OneShotTimersRestartAndDieWhenKilled) {
    QtTimers timers;
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
    struct Terminal {  // the program's end (slave) and the far end (master)
        int master = -1;
        int slave = -1;
        ~Terminal() {
            close(master);
            close(slave);
        }
    } terminal;
    ASSERT_EQ(openpty(&terminal.master, &terminal.slave, nullptr, nullptr, nullptr), 0);
    fcntl(terminal.slave, F_SETFL, O_NONBLOCK);
    termios settings{};
    tcgetattr(terminal.slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(terminal.slave, TCSANOW, &settings);
    LineWatcher watcher;
    bool watching = true;
    bool busy = false;
    std::vector<char> received;
    int hangUps = 0;
    watcher.watchedFd = [&] { return watching ? terminal.slave : -1; };
    watcher.busy = [&] { return busy; };
    watcher.onReadable = [&] {
        char buffer[16];
        const ssize_t count = read(terminal.slave, buffer, sizeof buffer);
        received.insert(received.end(), buffer, buffer + std::max<ssize_t>(count, 0));
    };
    watcher.onHangUp = [&] {
        ++hangUps;
        watching = false;
    };
    watcher.Update();
    EXPECT_EQ(watcher.WatchedDescriptor(), terminal.slave);
    ASSERT_EQ(write(terminal.master, "ab", 2), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 1000));

    busy = true;  // the bytes wait in the driver
    watcher.Update();
    ASSERT_EQ(write(terminal.master, "c", 1), 1);
    QTest::qWait(50);
    EXPECT_EQ(received.size(), 2u);
    busy = false;
    watcher.Update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 3; }, 1000));

    close(terminal.master);  // one hang-up, then the line is no longer watched
    terminal.master = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return hangUps == 1; }, 1000));
    QTest::qWait(50);
    EXPECT_EQ(hangUps, 1);
    EXPECT_EQ(watcher.WatchedDescriptor(), -1);
}

}  // namespace
}  // namespace fotolyx::testing
