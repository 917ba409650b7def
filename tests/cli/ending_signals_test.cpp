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

// Runs the command line in work (output and settings in own), signals it three seconds after its
// two scratch files exist; the wait status (timeout kills it after a minute).
int RunAndSignal(const std::string& command, const fs::path& work, const fs::path& own,
                 int number) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("FOTOLYX_SETTINGS", (own / "snapcfg.ini").c_str(), 1);
        const std::string line = "cd " + Quote(work) + " && exec timeout -s KILL 60 " + command +
                                 " >" + Quote(own / "output.txt") + " 2>&1";
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int wait = 0;
         wait < 1000 && std::distance(fs::directory_iterator(work), fs::directory_iterator()) < 2;
         ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ::kill(child, number);
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

// Ended by a signal, both programs reset the link (the camera answers at the starting speed
// afterwards), write the settings, leave no scratch or temporary file, and tell the signal.
TEST(EndingSignals, BothProgramsEndInOrder) {
    const struct {
        const char* program;
        int signal;
        const char* arguments;  // a picture folder follows
    } rows[] = {
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
