#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace fotolyx::testing {

inline std::string BinDir() {
    const char* dir = std::getenv("FOTOLYX_BIN_DIR");
    return dir != nullptr ? dir : FOTOLYX_BINARY_DIR "/bin";
}

// fotolyx-camsim running on a pseudo-terminal for the length of a test.
class Camsim {
  public:
    explicit Camsim(const std::vector<std::string>& options) {
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
        // The first line is the terminal's path; wait for it at most five seconds.
        char c = 0;
        pollfd wait{out[0], POLLIN, 0};
        while (pid_ > 0 && ::poll(&wait, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
            path_.push_back(c);
        }
        ::close(out[0]);
    }
    ~Camsim() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    const std::string& path() const { return path_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

struct CliRun {
    int status = -1;
    std::string output;
};

inline CliRun RunCli(const std::string& arguments) {
    CliRun run;
    const std::string command = "timeout 60 " + BinDir() + "/fotolyx-cli " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        run.output += buffer.data();
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Every port but the one given points nowhere, so no real serial port is touched.
inline std::string OnlyPort(const std::string& name, const std::string& path) {
    std::string arguments;
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
        arguments += std::string(" --port ") + port + "=" +
                     (name == port ? path : "/nonexistent/fotolyx-" + std::string(port));
    }
    return arguments;
}

}  // namespace fotolyx::testing
