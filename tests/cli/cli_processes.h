#pragma once

#include <string>

#include "support/camsim_process.h"
#include "support/fakes.h"
#include "support/pseudo_terminal.h"

namespace fotolyx::testing {

using Camsim = CamsimProcess;
using CliRun = CommandResult;

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// fotolyx-cli in UTC (the camera's local dates have known times), its exit status and that its
// output (standard output and error) holds part checked.
inline CliRun ExpectCli(const std::string& arguments, int status, const std::string& part = "") {
    const CliRun run =
        RunCommand("TZ=UTC timeout 120 " + BinDir() + "/fotolyx-cli " + arguments + " 2>&1");
    EXPECT_EQ(run.status, status) << arguments << '\n' << run.output;
    EXPECT_TRUE(Contains(run.output, part)) << arguments << '\n' << run.output;
    return run;
}

// What Python with Pillow prints running script with the arguments; empty when it fails.
inline std::string Pillow(const std::string& script, const std::string& arguments) {
    const CommandResult run = RunCommand("/usr/bin/python3 - " + arguments +
                                         " 2>/dev/null <<'END_OF_SCRIPT'\nimport sys\n"
                                         "from PIL import Image\n" +
                                         script + "\nEND_OF_SCRIPT\n");
    return run.status == 0 ? run.output : std::string();
}

// Pillow reads what these tests write; without it they fail when peers are required, else skip.
#define REQUIRE_PILLOW()                                                                   \
    do {                                                                                   \
        if (::fotolyx::testing::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") \
                .status != 0) {                                                            \
            if (::fotolyx::testing::PeersRequired()) {                                     \
                FAIL() << "Pillow (/usr/bin/python3 with PIL) is missing";                 \
            }                                                                              \
            GTEST_SKIP() << "Pillow is missing";                                           \
        }                                                                                  \
    } while (false)

}  // namespace fotolyx::testing
