#include <gtest/gtest.h>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

// A warning from the camera ends a command at once with exit status 3; no camera, 1.
TEST(InfoOverPty, TellsThePortModelSpeedAndModeAndExitsWithTheStatusOfItsOutcome) {
    const struct {
        std::vector<std::string> options;  // of the camera
        const char* port;                  // where it is ("": nowhere)
        const char* command;
        int status;
        std::string expected;  // PATH stands for the device
    } rows[] = {
        {{},
         "COM1",
         "info",
         0,
         "Port: COM1 (PATH)\nModel: 462\nSpeed: 115200\nMode: camera\n"
         "Tried:\nCOM1 (PATH): the camera answered\n"},
        {{"--model", "999"}, "COM1", "info", 3, "WARNING: This Model type is wrong."},
        {{"--mode", "vcr"}, "COM1", "list", 3, "the camera answered: VISTACAM is in VCR MODE."},
        {{"--mode", "nocard"}, "COM1", "get --all --dir /tmp", 3, "NO CF CARD!"},
        {{"--speeds", "9600"}, "COM1", "info", 1, "connect error: Minimum required"},
        {{"--hang-up-after", "0"}, "COM1", "info", 1, "CONNECT Error: Please check PC/VISTACAM"},
        {{}, "", "info", 1, "COM4 (/nonexistent/fotolyx-COM4): no such device"},
    };
    for (const auto& row : rows) {
        Camsim camsim(row.options);
        ASSERT_FALSE(camsim.path().empty());
        std::string expected = row.expected;
        for (std::size_t at; (at = expected.find("PATH")) != std::string::npos;) {
            expected.replace(at, 4, camsim.path());
        }
        const CliRun run =
            ExpectCli(OnlyPort(row.port, camsim.path()) + " " + row.command, row.status, expected);
        EXPECT_FALSE(row.status == 3 && Contains(run.output, "no camera answered")) << run.output;
    }
    const CliRun help = ExpectCli("--help", 0);
    for (const char* line : {"convert IN OUT [--type jpeg|bmp|bmp8]", "  2  bad command line"}) {
        EXPECT_TRUE(Contains(help.output, line)) << line;
    }
}

}  // namespace
}  // namespace fotolyx::testing
