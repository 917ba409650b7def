#include <gtest/gtest.h>

#include "cli/cli_processes.h"

namespace {

using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::OnlyPort;
using fotolyx::testing::ReadText;
using fotolyx::testing::RunCli;
using fotolyx::testing::TempDir;

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
        fotolyx::testing::SilentPty silent;
        ASSERT_FALSE(silent.path.empty());
        Camsim camsim({"--pictures", "2"});
        ASSERT_FALSE(camsim.path().empty());
        const CliRun run = RunCli("--log " + trace.string() + " list --port COM1=" + silent.path +
                                  " --port COM2=" + camsim.path() +
                                  " --port COM3=/nonexistent/a --port COM4=/nonexistent/b");
        ASSERT_EQ(run.status, 0) << run.output;
        original = PictureLines(run.output);
    }
    ASSERT_NE(original.find("Total: 2"), std::string::npos) << original;

    const std::string text = ReadText(trace);
    for (const char* expected :
         {"# fotolyx line trace 1\n", " open COM1 ", " pc 2A ; IDENTIFY\n", " speed 115200\n",
          " pc 26 ; SPEED_115200\n", "# status seq 0 READY model 462\n",
          "# status seq 0 MODE_CAMERA\n", "# data seq 1", " pc E5 ; INDEX_NEXT\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    // A read holds whatever had arrived, so the first byte of a status packet may end its line.
    EXPECT_TRUE(text.find(" cam 10 ") != std::string::npos ||
                text.find(" cam 10\n") != std::string::npos)
        << text.substr(0, 2000);

    Camsim replay({"--replay", trace.string()});
    ASSERT_FALSE(replay.path().empty());
    const CliRun again = RunCli("list" + OnlyPort("COM1", replay.path()));
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(PictureLines(again.output), original);
}

TEST(TraceReplay, AProgramThatStraysFromTheTraceFindsASilentCamera) {
    TempDir folder;
    const auto trace = folder / "line.trace";
    std::ofstream(trace) << "# fotolyx line trace 1\n"
                         << "0.000 open COM1 /dev/ttyUSB0 opened\n"
                         << "0.100 pc 2B ; not what the program sends first\n"
                         << "5.000 cam 10 00 00\n";
    Camsim replay({"--replay", trace.string()});
    ASSERT_FALSE(replay.path().empty());
    const CliRun run = RunCli("info" + OnlyPort("COM1", replay.path()));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("CONNECT Error"), std::string::npos) << run.output;

    const auto damaged = folder / "damaged.trace";
    std::ofstream(damaged) << "# fotolyx line trace 1\n0.100 pc 2X\n";
    const CliRun refused =
        fotolyx::testing::RunCommand("timeout 10 " + fotolyx::testing::BinDir() +
                                     "/fotolyx-camsim --replay " + damaged.string() + " 2>&1");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("damaged.trace:2: damaged record"), std::string::npos)
        << refused.output;
}

}  // namespace
