#include <gtest/gtest.h>

#include <chrono>

#include "cli/cli_processes.h"

namespace {

using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::OnlyPort;
using fotolyx::testing::RunCli;

// Options may stand before the command name too.
TEST(InfoOverPty, FindsTheCameraAtTheFastestSpeedItManages) {
    const struct {
        std::vector<std::string> options;
        const char* port;
        std::string expected;  // how the output starts; PATH stands for the device
    } rows[] = {
        {{},
         "COM1",
         "Port: COM1 (PATH)\nModel: 462\nSpeed: 115200\nMode: camera\nTried:\n"
         "COM1 (PATH): the camera answered\n"},
        {{"--speeds", "57600", "--model", "318"},
         "COM2",
         "Port: COM2 (PATH)\nModel: 318\nSpeed: 57600\n"},
    };
    for (const auto& row : rows) {
        Camsim camsim(row.options);
        ASSERT_FALSE(camsim.path().empty());
        const CliRun run = RunCli(OnlyPort(row.port, camsim.path()) + " info");
        EXPECT_EQ(run.status, 0) << run.output;
        std::string expected = row.expected;
        for (std::size_t at; (at = expected.find("PATH")) != std::string::npos;) {
            expected.replace(at, 4, camsim.path());
        }
        EXPECT_TRUE(run.output.starts_with(expected)) << run.output;
    }
}

// Each failure prints its reason and exits with its own status; a camera that answered with a
// warning ends the command at once (status 3), saying what the camera said and not that nobody
// answered.
TEST(InfoOverPty, FailuresPrintTheMessageAndExitNonZero) {
    struct Case {
        std::vector<std::string> options;
        const char* command;
        int status;
        const char* expected;
    };
    for (const Case& c :
         {Case{{"--model", "999"}, "info", 3, "WARNING: This Model type is wrong."},
          Case{{"--mode", "nocard"}, "info", 3, "NO CF CARD!"},
          Case{{"--mode", "vcr"}, "info", 3, "VISTACAM is in VCR MODE."},
          Case{{"--mode", "vcr"}, "list", 3, "the camera answered: VISTACAM is in VCR MODE."},
          Case{{"--mode", "nocard"}, "get --all --dir /tmp", 3, "NO CF CARD!"},
          Case{{"--speeds", "9600"},
               "info",
               1,
               "connect error: Minimum required communication speed"},
          // The device goes away at once: the scan goes on without spinning on the dead line.
          Case{{"--hang-up-after", "0"},
               "info",
               1,
               "CONNECT Error: Please check PC/VISTACAM Connection."}}) {
        Camsim camsim(c.options);
        ASSERT_FALSE(camsim.path().empty());
        const auto started = std::chrono::steady_clock::now();
        const CliRun run = RunCli(std::string(c.command) + OnlyPort("COM1", camsim.path()));
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - started)
                                 .count();
        EXPECT_FALSE(fotolyx::testing::EndedBySignal(run)) << run.status << run.output;
        EXPECT_EQ(run.status, c.status) << c.command << ": " << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << run.output;
        if (c.status == 3) {
            EXPECT_LT(seconds, 20) << c.command;
            EXPECT_EQ(run.output.find("No answer from the camera in time."), std::string::npos)
                << run.output;
            EXPECT_EQ(run.output.find("no camera answered"), std::string::npos) << run.output;
        }
    }
    const CliRun none = RunCli("info" + OnlyPort("", ""));
    EXPECT_FALSE(fotolyx::testing::EndedBySignal(none));
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.output.find("CONNECT Error: Please check PC/VISTACAM Connection."),
              std::string::npos)
        << none.output;
    EXPECT_NE(none.output.find("COM4 (/nonexistent/fotolyx-COM4): no such device"),
              std::string::npos)
        << none.output;
}

// The help lists the commands and the exit statuses.
TEST(InfoOverPty, TheHelpListsTheCommandsAndExitStatuses) {
    const CliRun help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* line : {"convert IN OUT [--type jpeg|bmp|bmp8]", "exif IN.jpg OUT.jpg",
                             "Exit status:", "  0  done", "  1  the command failed",
                             "  2  bad command line", "  3  the camera answered"}) {
        EXPECT_NE(help.output.find(line), std::string::npos) << line;
    }
}

}  // namespace
