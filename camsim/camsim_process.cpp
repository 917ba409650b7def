#include "camsim/camsim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>

extern char** environ;

namespace fotolyx::camsim {

namespace {

constexpr std::size_t MAX_PATH_LINE = 4096;

}  // namespace

CamsimProcess::CamsimProcess(const std::string& program, const std::vector<std::string>& options,
                             int startTimeoutMs) {
    std::array<int, 2> out{};
    if (::pipe(out.data()) != 0) {
        return;
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    pollfd wait{out[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && line.size() < MAX_PATH_LINE && ::poll(&wait, 1, startTimeoutMs) > 0 &&
           ::read(out[0], &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    ::close(out[0]);
    // A camera that printed something other than a device path did not start.
    if (!line.empty() && line.front() == '/') {
        path_ = line;
    }
}

CamsimProcess::~CamsimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::string CamsimBesideThisProgram() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    return failed ? std::string("fotolyx-camsim")
                  : (self.parent_path() / "fotolyx-camsim").string();
}

}  // namespace fotolyx::camsim
