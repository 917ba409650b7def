#pragma once

#include <string>

#include "support/camsim_process.h"

namespace fotolyx::testing {

using Camsim = CamsimProcess;
using CliRun = CommandResult;

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
