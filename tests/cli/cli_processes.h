#pragma once

#include <string>

#include "support/camsim_process.h"

namespace fotolyx::testing {

using Camsim = CamsimProcess;
using CliRun = CommandResult;

// A run that ended through a signal (or the time limit's kill) rather than by exiting: the shell
// reports 128 + the signal, the limit 124.
inline bool EndedBySignal(const CliRun& run) {
    return run.status < 0 || run.status >= 124;
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
