#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

namespace fotolyx::testing {

// A command run through the shell: its exit status (-1 when it did not exit) and its output.
struct CommandResult {
    int status = -1;
    std::string output;
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // A crash is never the failure expected; the shell and timeout report signal s as 128 + s.
    const int signal = WIFSIGNALED(status)   ? WTERMSIG(status)
                       : result.status > 128 ? result.status - 128
                                             : 0;
    if (signal == SIGSEGV || signal == SIGABRT || signal == SIGBUS || signal == SIGFPE ||
        signal == SIGILL || signal == SIGKILL || signal == SIGTERM) {
        ADD_FAILURE() << command << "\nwas killed by signal " << signal << '\n' << result.output;
    }
    return result;
}

inline std::string BinDir() {
    const char* dir = std::getenv("FOTOLYX_BIN_DIR");
    return dir != nullptr ? dir : FOTOLYX_BINARY_DIR "/bin";
}

// How many file descriptors the process holds open: a leak shows as a difference.
inline std::size_t OpenDescriptors() {
    namespace fs = std::filesystem;
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

}  // namespace fotolyx::testing
