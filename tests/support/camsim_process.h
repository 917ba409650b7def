#pragma once

#include <string>
#include <vector>

#include "camsim/camsim_process.h"
#include "support/picture_files.h"

namespace fotolyx::testing {

// Every port but the one named leads nowhere, so no real serial port is touched.
inline std::string OnlyPort(const std::string& name, const std::string& path) {
    std::string arguments;
    for (const std::string port : {"COM1", "COM2", "COM3", "COM4"}) {
        arguments +=
            " --port " + port + "=" + (name == port ? path : "/nonexistent/fotolyx-" + port);
    }
    return arguments;
}

// fotolyx-camsim of this build serving a pseudo-terminal for the life of the object.
class CamsimProcess : public camsim::CamsimProcess {
  public:
    explicit CamsimProcess(const std::vector<std::string>& options)
        : camsim::CamsimProcess(BinDir() + "/fotolyx-camsim", options, 5000) {}

    std::string PortOptions() const { return OnlyPort("COM1", path()); }
};

}  // namespace fotolyx::testing
