#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "camsim/camsim_process.h"
#include "support/picture_files.h"

namespace fotolyx::testing {

// fotolyx-camsim of this build serving a pseudo-terminal for the life of the object.
class CamsimProcess : public camsim::CamsimProcess {
  public:
    explicit CamsimProcess(const std::vector<std::string>& options)
        : camsim::CamsimProcess(BinDir() + "/fotolyx-camsim", options, 5000) {}

    // Every port but COM1 points nowhere, so no real serial port is touched.
    std::string PortOptions() const {
        return " --port COM1=" + path() +
               " --port COM2=/nonexistent/fotolyx-COM2 --port COM3=/nonexistent/fotolyx-COM3"
               " --port COM4=/nonexistent/fotolyx-COM4";
    }
};

// fotolyx-cli with arguments; standard output and error together.
inline CommandResult RunCli(const std::string& arguments, int limitSeconds = 120) {
    return RunCommand("timeout " + std::to_string(limitSeconds) + " " + BinDir() + "/fotolyx-cli " +
                      arguments + " 2>&1");
}

}  // namespace fotolyx::testing
