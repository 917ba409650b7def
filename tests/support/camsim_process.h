#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/picture_files.h"

extern char** environ;

namespace fotolyx::testing {

inline std::string BinDir() {
    const char* dir = std::getenv("FOTOLYX_BIN_DIR");
    return dir != nullptr ? dir : FOTOLYX_BINARY_DIR "/bin";
}

// fotolyx-camsim serving a pseudo-terminal for the life of the object.
class CamsimProcess {
  public:
    explicit CamsimProcess(const std::vector<std::string>& options) {
        std::string program = BinDir() + "/fotolyx-camsim";
        std::vector<std::string> arguments = options;
        std::vector<char*> argv = {program.data()};
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        char c = 0;
        pollfd wait{out[0], POLLIN, 0};
        while (pid_ > 0 && ::poll(&wait, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
            path_.push_back(c);
        }
        ::close(out[0]);
    }
    ~CamsimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    const std::string& path() const { return path_; }
    // Every port but COM1 points nowhere, so no real serial port is touched.
    std::string PortOptions() const {
        return " --port COM1=" + path_ +
               " --port COM2=/nonexistent/fotolyx-COM2 --port COM3=/nonexistent/fotolyx-COM3"
               " --port COM4=/nonexistent/fotolyx-COM4";
    }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

// fotolyx-cli with arguments; standard output and error together.
inline CommandResult RunCli(const std::string& arguments, int limitSeconds = 120) {
    return RunCommand("timeout " + std::to_string(limitSeconds) + " " + BinDir() + "/fotolyx-cli " +
                      arguments + " 2>&1");
}

}  // namespace fotolyx::testing
