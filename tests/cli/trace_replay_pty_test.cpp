#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

// Only the lines a command prints on standard output for the pictures (no progress, no ports).
std::string PictureLines(const std::string& output) {
    std::istringstream in(output);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.find('\t') != std::string::npos || line.starts_with("Total:")) {
            kept += line + '\n';
        }
    }
    return kept;
}

TEST(TraceReplay, ALoggedSessionReplaysAsTheCamera) {
    TempDir folder;
    const auto trace = folder / "line.trace";
    // A silent port first, as on a machine where the camera hangs on the second adapter.
    std::string original;
    {
        PseudoTerminal silent;  // an adapter without a camera
        ASSERT_FALSE(silent.path.empty());
        Camsim camsim({"--pictures", "2"});
        ASSERT_FALSE(camsim.path().empty());
        original =
            PictureLines(ExpectCli("--log " + trace.string() + " list --port COM1=" + silent.path +
                                       " --port COM2=" + camsim.path() +
                                       " --port COM3=/nonexistent/a --port COM4=/nonexistent/b",
                                   0)
                             .output);
    }
    ASSERT_NE(original.find("Total: 2"), std::string::npos) << original;

    const std::string text = ReadText(trace);
    for (const char* expected : {"# fotolyx line trace 1\n", " open COM1 ", " open COM2 ",
                                 " speed 115200\n", " pc E5 ; INDEX_NEXT\n"}) {
        EXPECT_TRUE(Contains(text, expected)) << expected;
    }

    Camsim replay({"--replay", trace.string()});
    ASSERT_FALSE(replay.path().empty());
    EXPECT_EQ(PictureLines(ExpectCli("list" + replay.PortOptions(), 0).output), original);
}

}  // namespace
}  // namespace fotolyx::testing
