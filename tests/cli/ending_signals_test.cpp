// The real programs ended by a signal (log-out, kill, Ctrl-C, a closed terminal): the camera
// link is reset (the camera answers at the starting speed afterwards), the settings are
// written, no scratch or temporary file stays, and the exit status tells the signal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli_processes.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::BinDir;
using testing::Camsim;
using testing::TempDir;
namespace fs = std::filesystem;

// Runs program in work (offscreen, output and settings in own), sends the signal once its two
// scratch files exist and three more seconds have passed (the link is up by then), and returns
// the wait status; -1 when it did not end within 30 seconds.
int RunAndSignal(const fs::path& program, std::vector<std::string> arguments, const fs::path& work,
                 const fs::path& own, int number) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open((own / "output.txt").c_str(), O_WRONLY | O_CREAT, 0644);
        if (::chdir(work.c_str()) != 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
            ::_exit(126);
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("FOTOLYX_SETTINGS", (own / "snapcfg.ini").c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    const auto until = [](const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    };
    const auto entries = [&work] {
        return std::distance(fs::directory_iterator(work), fs::directory_iterator());
    };
    until([&] { return entries() >= 2; }, std::chrono::seconds(20));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ::kill(child, number);
    int status = -1;
    if (!until([&] { return ::waitpid(child, &status, WNOHANG) == child; },
               std::chrono::seconds(30))) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return status;
}

std::vector<std::string> PortArguments(const Camsim& camera) {
    return {"--port", "COM1=" + camera.path(),          "--port", "COM2=/nonexistent/fotolyx-COM2",
            "--port", "COM3=/nonexistent/fotolyx-COM3", "--port", "COM4=/nonexistent/fotolyx-COM4"};
}

TEST(EndingSignals, BothProgramsEndInOrder) {
    struct Row {
        const char* program;
        int signal;
        std::vector<std::string> arguments;  // before the ports; "DIR" is a picture folder
    };
    const Row rows[] = {
        {"fotolyx", SIGTERM, {}},
        {"fotolyx", SIGINT, {}},
        {"fotolyx", SIGHUP, {}},
        {"fotolyx-cli", SIGINT, {"get", "--all", "--dir", "DIR"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.program) + " " + ::strsignal(row.signal));
        Camsim camera({"--pictures", "4"});
        ASSERT_FALSE(camera.path().empty());
        TempDir root;
        const fs::path work = root / "work";
        const fs::path own = root / "own";
        fs::create_directories(root / "pictures");
        fs::create_directory(work);
        fs::create_directory(own);
        std::vector<std::string> arguments = row.arguments;
        for (auto& argument : arguments) {
            argument = argument == "DIR" ? (root / "pictures").string() : argument;
        }
        for (const auto& argument : PortArguments(camera)) {
            arguments.push_back(argument);
        }
        const int status =
            RunAndSignal(fs::path(BinDir()) / row.program, arguments, work, own, row.signal);
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 128 + row.signal);
        EXPECT_TRUE(fs::is_empty(work));  // no scratch file holding picture data
        EXPECT_TRUE(fs::exists(own / "snapcfg.ini"));
        for (const auto& entry : fs::directory_iterator(root / "pictures")) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
        const auto info = testing::RunCli("info" + camera.PortOptions(), 60);
        EXPECT_EQ(info.status, 0) << info.output;
    }
}

}  // namespace
}  // namespace fotolyx
