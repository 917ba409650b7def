// The real programs ended by a signal (log-out, kill, Ctrl-C, a closed terminal): the camera
// link is reset, the settings are written, no scratch, temporary or half file stays, and the
// exit status tells the signal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_processes.h"
#include "link/protocol.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::BinDir;
using testing::Camsim;
using testing::RunCli;
using testing::TempDir;

namespace fs = std::filesystem;

constexpr auto EXIT_LIMIT = std::chrono::seconds(30);

// A program started in a folder of its own, with its output in files there.
class RunningProgram {
  public:
    RunningProgram(const fs::path& program, const std::vector<std::string>& arguments,
                   const fs::path& folder, const fs::path& outputFolder) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(folder.c_str()) != 0) {
                ::_exit(126);
            }
            const int out =
                ::open((outputFolder / "output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("FOTOLYX_SETTINGS", (outputFolder / "snapcfg.ini").c_str(), 1);
            std::vector<char*> argv;
            std::string name = program.string();
            argv.push_back(name.data());
            std::vector<std::string> copies(arguments);
            for (auto& argument : copies) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(name.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    void Signal(int number) const { ::kill(pid_, number); }
    // The wait status once the program has ended, or none when it did not end in time (it is
    // then killed).
    std::optional<int> Wait() {
        const auto end = std::chrono::steady_clock::now() + EXIT_LIMIT;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }

  private:
    pid_t pid_ = -1;
};

// Waits until the folder holds count entries (the program's two scratch files at start-up).
bool WaitForEntries(const fs::path& folder, std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
            ++entries;
        }
        if (entries >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::vector<std::string> PortArguments(const Camsim& camera) {
    return {"--port", "COM1=" + camera.path(),          "--port", "COM2=/nonexistent/fotolyx-COM2",
            "--port", "COM3=/nonexistent/fotolyx-COM3", "--port", "COM4=/nonexistent/fotolyx-COM4"};
}

TEST(EndingSignals, TheWindowProgramEndsInOrderOnEachSignal) {
    const fs::path program = fs::path(BinDir()) / "fotolyx";
    if (!fs::exists(program)) {
        GTEST_SKIP() << "the window program is not built";
    }
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(number));
        Camsim camera({"--pictures", "2"});
        ASSERT_FALSE(camera.path().empty());
        TempDir root;
        const fs::path work = root / "work";
        const fs::path own = root / "own";
        fs::create_directory(work);
        fs::create_directory(own);
        // The program beside its own settings file, whichever way it finds it.
        fs::copy_file(program, own / "fotolyx");
        RunningProgram running(own / "fotolyx", PortArguments(camera), work, own);
        ASSERT_TRUE(WaitForEntries(work, 2));
        // Time for the link to come up at its high speed and the index to start.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        running.Signal(number);
        const std::optional<int> status = running.Wait();
        ASSERT_TRUE(status.has_value()) << "the program did not end";
        EXPECT_TRUE(WIFEXITED(*status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(*status), 128 + number);
        // No scratch file holding picture data stays in the start folder.
        EXPECT_TRUE(fs::is_empty(work));
        EXPECT_TRUE(fs::exists(own / "snapcfg.ini"));
        // The camera was told to reset its link: it answers at the starting speed again.
        const auto info = RunCli("info" + camera.PortOptions(), 60);
        EXPECT_EQ(info.status, 0) << info.output;
    }
}

TEST(EndingSignals, CtrlCEndsACommandLineTransferWithStatus130) {
    Camsim camera({"--pictures", "4"});
    ASSERT_FALSE(camera.path().empty());
    TempDir root;
    const fs::path work = root / "work";
    const fs::path pictures = root / "pictures";
    fs::create_directory(work);
    fs::create_directory(pictures);
    std::vector<std::string> arguments = {"get", "--all", "--dir", pictures.string()};
    for (const auto& argument : PortArguments(camera)) {
        arguments.push_back(argument);
    }
    RunningProgram running(fs::path(BinDir()) / "fotolyx-cli", arguments, work, root.path());
    ASSERT_TRUE(WaitForEntries(work, 2));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    running.Signal(SIGINT);
    const std::optional<int> status = running.Wait();
    ASSERT_TRUE(status.has_value()) << "the command did not end";
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 130);
    EXPECT_TRUE(fs::is_empty(work));
    // Pictures saved before the interruption are whole; nothing half written or temporary.
    for (const auto& entry : fs::directory_iterator(pictures)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.front(), '.') << name;
        const testing::Bytes bytes = testing::ReadBytes(entry.path());
        ASSERT_GE(bytes.size(), 4u) << name;
        EXPECT_EQ(bytes[bytes.size() - 2], 0xFF) << name;
        EXPECT_EQ(bytes[bytes.size() - 1], 0xD9) << name;
    }
    const auto info = RunCli("info" + camera.PortOptions(), 60);
    EXPECT_EQ(info.status, 0) << info.output;
}

}  // namespace
}  // namespace fotolyx
