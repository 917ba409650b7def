#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

// Polls done() every 20 ms for at most limit.
bool Within(std::chrono::seconds limit, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
    }
    return true;
}

// Runs the command line in work (output and settings in own) and sends the signal three seconds
// after its two scratch files exist (the link is up by then); the wait status, -1 after 30 s.
int RunAndSignal(const std::string& command, const fs::path& work, const fs::path& own,
                 int number) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("FOTOLYX_SETTINGS", (own / "snapcfg.ini").c_str(), 1);
        const std::string line = "cd " + Quote(work) + " && exec " + command + " >" +
                                 Quote(own / "output.txt") + " 2>&1";
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    Within(std::chrono::seconds(20), [&] {
        return std::distance(fs::directory_iterator(work), fs::directory_iterator()) >= 2;
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ::kill(child, number);
    int status = -1;
    if (!Within(std::chrono::seconds(30),
                [&] { return ::waitpid(child, &status, WNOHANG) == child; })) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return status;
}

// Ended by a signal (log-out, kill, Ctrl-C, a closed terminal), both programs reset the link (the
// camera answers at the starting speed afterwards), write the settings, leave no scratch or
// temporary file, and tell the signal in their exit status.
TEST(EndingSignals, BothProgramsEndInOrder) {
    const struct {
        const char* program;
        int signal;
        const char* arguments;  // a picture folder follows
    } rows[] = {
        {"fotolyx", SIGTERM, ""},
        {"fotolyx", SIGINT, ""},
        {"fotolyx", SIGHUP, ""},
        {"fotolyx-cli", SIGINT, "get --all --dir "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.program) + " " + ::strsignal(row.signal));
        Camsim camera({"--pictures", "4"});
        ASSERT_FALSE(camera.path().empty());
        TempDir root;
        for (const char* folder : {"pictures", "work", "own"}) {
            fs::create_directory(root / folder);
        }
        const std::string arguments =
            *row.arguments != 0 ? row.arguments + Quote(root / "pictures") : "";
        const int status =
            RunAndSignal(BinDir() + "/" + row.program + " " + arguments + camera.PortOptions(),
                         root / "work", root / "own", row.signal);
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 128 + row.signal);
        EXPECT_TRUE(fs::is_empty(root / "work"));  // no scratch file holding picture data
        EXPECT_TRUE(fs::exists(root / "own" / "snapcfg.ini"));
        for (const auto& entry : fs::directory_iterator(root / "pictures")) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
        ExpectCli("info" + camera.PortOptions(), 0);
    }
}

}  // namespace
}  // namespace fotolyx::testing
