#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/camsim_process.h"
#include "support/fakes.h"

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

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What Python with Pillow prints running script with the arguments; empty when it fails.
inline std::string Pillow(const std::string& script, const std::string& arguments) {
    const CommandResult run = RunCommand("/usr/bin/python3 - " + arguments +
                                         " 2>/dev/null <<'END_OF_SCRIPT'\nimport sys\n"
                                         "from PIL import Image\n" +
                                         script + "\nEND_OF_SCRIPT\n");
    return run.status == 0 ? run.output : std::string();
}

inline bool HasPillow() {
    return RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null").status == 0;
}

// Pillow reads what these tests write; without it they fail when peers are required, else skip.
#define REQUIRE_PILLOW()                                                   \
    do {                                                                   \
        if (!::fotolyx::testing::HasPillow()) {                            \
            if (::fotolyx::testing::PeersRequired()) {                     \
                FAIL() << "Pillow (/usr/bin/python3 with PIL) is missing"; \
            }                                                              \
            GTEST_SKIP() << "Pillow is missing";                           \
        }                                                                  \
    } while (false)

// A pseudo-terminal nobody answers on: an adapter without a camera.
struct SilentPty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::string path =
        master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : "";
    SilentPty() = default;
    SilentPty(const SilentPty&) = delete;
    SilentPty& operator=(const SilentPty&) = delete;
    ~SilentPty() {
        if (master >= 0) {
            ::close(master);
        }
    }
};

}  // namespace fotolyx::testing
