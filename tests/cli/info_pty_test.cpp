#include <gtest/gtest.h>

#include "cli/cli_processes.h"

namespace {

using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::OnlyPort;
using fotolyx::testing::RunCli;

TEST(InfoOverPty, FindsTheCameraAt115200) {
    Camsim camsim({});
    ASSERT_FALSE(camsim.path().empty());
    const CliRun run = RunCli("info" + OnlyPort("COM1", camsim.path()));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "Port: COM1 (" + camsim.path() +
                              ")\nModel: 462\nSpeed: 115200\nMode: camera\nTried:\nCOM1 (" +
                              camsim.path() + "): the camera answered\n");
}

TEST(InfoOverPty, ACameraManagingOnly57600IsFoundAtThatSpeedOnCom2) {
    Camsim camsim({"--speeds", "57600", "--model", "318"});
    ASSERT_FALSE(camsim.path().empty());
    // Options may stand before the command name too.
    const CliRun run = RunCli(OnlyPort("COM2", camsim.path()) + " info");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Port: COM2"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Model: 318"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Speed: 57600"), std::string::npos) << run.output;
}

TEST(InfoOverPty, FailuresPrintTheMessageAndExitNonZero) {
    struct Case {
        std::vector<std::string> options;
        const char* expected;
    };
    for (const Case& c :
         {Case{{"--model", "999"}, "WARNING: This Model type is wrong."},
          Case{{"--mode", "nocard"}, "NO CF CARD!"},
          Case{{"--speeds", "9600"}, "connect error: Minimum required communication speed"},
          // The device goes away at once: the scan goes on without spinning on the dead line.
          Case{{"--hang-up-after", "0"}, "CONNECT Error: Please check PC/VISTACAM Connection."}}) {
        Camsim camsim(c.options);
        ASSERT_FALSE(camsim.path().empty());
        const CliRun run = RunCli("info" + OnlyPort("COM1", camsim.path()));
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << run.output;
    }
    const CliRun none = RunCli("info" + OnlyPort("", ""));
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.output.find("CONNECT Error: Please check PC/VISTACAM Connection."),
              std::string::npos)
        << none.output;
    EXPECT_NE(none.output.find("COM4 (/nonexistent/fotolyx-COM4): no such device"),
              std::string::npos)
        << none.output;
}

}  // namespace
