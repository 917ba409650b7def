#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace fotolyx::camsim {

// fotolyx-camsim started as a child process, serving a camera on a pseudo-terminal for the life
// of the object (ended with SIGTERM). Used by fotolyx-cli --simulate, the tests and the
// benchmarks.
class CamsimProcess {
  public:
    // Starts program with the options and waits up to startTimeoutMs for the terminal's path,
    // the first line the camera prints.
    CamsimProcess(const std::string& program, const std::vector<std::string>& options,
                  int startTimeoutMs = 10'000);
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    // Empty when the camera did not start.
    const std::string& path() const { return path_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

// fotolyx-camsim in the folder of the running program.
std::string CamsimBesideThisProgram();

}  // namespace fotolyx::camsim
