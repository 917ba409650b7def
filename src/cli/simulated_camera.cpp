#include "cli/simulated_camera.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <vector>

extern char** environ;

namespace fotolyx::cli {

namespace {

constexpr int START_TIMEOUT_MS = 10'000;
constexpr std::size_t MAX_PATH_LINE = 4096;

std::filesystem::path CamsimProgram() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    return failed ? std::filesystem::path("fotolyx-camsim") : self.parent_path() / "fotolyx-camsim";
}

}  // namespace

SimulatedCamera::~SimulatedCamera() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

bool SimulatedCamera::Start(const std::string& folder, std::string& error) {
    std::array<int, 2> pipeEnds{};
    if (pipe(pipeEnds.data()) != 0) {
        error = "cannot start the simulated camera (no pipe)";
        return false;
    }
    const std::string program = CamsimProgram().string();
    std::vector<std::string> words{program};
    if (!folder.empty()) {
        words.emplace_back("--picture-folder");
        words.push_back(folder);
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        pid_ = -1;
        close(pipeEnds[0]);
        error = "cannot start the simulated camera " + program;
        return false;
    }

    // The first line the camera prints is the path of its terminal.
    std::string line;
    pollfd watched{pipeEnds[0], POLLIN, 0};
    while (line.size() < MAX_PATH_LINE) {
        if (poll(&watched, 1, START_TIMEOUT_MS) <= 0) {
            break;
        }
        char c = 0;
        if (read(pipeEnds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    close(pipeEnds[0]);
    if (line.empty() || line.front() != '/') {
        error = "the simulated camera " + program + " did not start";
        return false;
    }
    devicePath_ = line;
    return true;
}

}  // namespace fotolyx::cli
