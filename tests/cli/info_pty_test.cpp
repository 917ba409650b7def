#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

TEST(InfoOverPty, TellsThePortModelSpeedAndModeAndExitsWithTheStatusOfItsOutcome) {
    const struct {
        std::vector<std::string> options;  // of the camera; none on any port when "port" is ""
        const char* port;
        const char* command;  // options may stand before the command name too
        int status;
        std::string expected;  // PATH stands for the device
    } rows[] = {
        {{},
         "COM1",
         "info",
         0,
         "Port: COM1 (PATH)\nModel: 462\nSpeed: 115200\nMode: camera\n"
         "Tried:\nCOM1 (PATH): the camera answered\n"},
        {{"--model", "318"}, "COM2", "info", 0, "Port: COM2 (PATH)\nModel: 318\n"},
        // A camera that answers with a warning ends the command at once with what it said.
        {{"--model", "999"}, "COM1", "info", 3, "WARNING: This Model type is wrong."},
        {{"--mode", "vcr"}, "COM1", "list", 3, "the camera answered: VISTACAM is in VCR MODE."},
        {{"--mode", "nocard"}, "COM1", "get --all --dir /tmp", 3, "NO CF CARD!"},
        {{"--speeds", "9600"},
         "COM1",
         "info",
         1,
         "connect error: Minimum required communication speed"},
        // The device goes away at once: the scan goes on without spinning on the dead line.
        {{"--hang-up-after", "0"},
         "COM1",
         "info",
         1,
         "CONNECT Error: Please check PC/VISTACAM Connection."},
        {{}, "", "info", 1, "COM4 (/nonexistent/fotolyx-COM4): no such device"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        Camsim camsim(row.options);
        ASSERT_FALSE(camsim.path().empty());
        const CliRun run = RunCli(OnlyPort(row.port, camsim.path()) + " " + row.command);
        EXPECT_FALSE(EndedBySignal(run)) << run.status;
        EXPECT_EQ(run.status, row.status) << run.output;
        std::string expected = row.expected;
        for (std::size_t at; (at = expected.find("PATH")) != std::string::npos;) {
            expected.replace(at, 4, camsim.path());
        }
        EXPECT_TRUE(Contains(run.output, expected)) << run.output;
        if (row.status == 3) {
            EXPECT_FALSE(Contains(run.output, "no camera answered")) << run.output;
        }
    }
    const CliRun help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* line :
         {"convert IN OUT [--type jpeg|bmp|bmp8]", "exif IN.jpg OUT.jpg", "  0  done",
          "  1  the command failed", "  2  bad command line", "  3  the camera answered"}) {
        EXPECT_TRUE(Contains(help.output, line)) << line;
    }
}

// A device folder of its own whose by-id names lead to pseudo-terminals; the settings file is the
// test's own ($FOTOLYX_SETTINGS).
TEST(InfoOverPty, AdaptersAreScannedInNameOrderAndTheAnsweringOneIsRemembered) {
    TempDir machine;
    const fs::path devices = machine / "dev";
    fs::create_directories(devices / "serial" / "by-id");
    const fs::path settings = std::getenv("FOTOLYX_SETTINGS");
    const auto run = [&](const std::string& arguments) {
        return RunCommand("FOTOLYX_DEVICE_FOLDER=" + devices.string() + " timeout 60 " + BinDir() +
                          "/fotolyx-cli --settings " + settings.string() + " " + arguments +
                          " 2>&1");
    };
    SilentPty silent;
    Camsim camsim({});
    ASSERT_FALSE(silent.path.empty() || camsim.path().empty());
    const fs::path first = devices / "serial" / "by-id" / "usb-Alpha_Cable-if00-port0";
    const fs::path second = devices / "serial" / "by-id" / "usb-Beta_Cable-if00-port0";
    fs::create_symlink(silent.path, first);
    fs::create_symlink(camsim.path(), second);

    const CliRun found = run("info");
    ASSERT_EQ(found.status, 0) << found.output;
    EXPECT_TRUE(Contains(found.output, "Port: COM2 (" + second.string() + ")")) << found.output;
    EXPECT_TRUE(Contains(found.output, "COM1 (" + first.string() + "): opened, no camera answered"))
        << found.output;
    EXPECT_TRUE(Contains(ReadText(settings), "[Ports]\nCOM1=" + second.string() + "\n"));

    // Next time the remembered adapter is COM1 and answers at once.
    const CliRun again = run("info");
    EXPECT_TRUE(Contains(again.output, "Port: COM1 (" + second.string() + ")")) << again.output;
    EXPECT_FALSE(Contains(again.output, first.string() + "): opened")) << again.output;

    // --port still decides for its run; the remembered adapter moves to the next port.
    const CliRun given = run("info --port COM1=" + (devices / "none").string());
    EXPECT_TRUE(Contains(given.output, "Port: COM2 (" + second.string() + ")")) << given.output;
    EXPECT_TRUE(
        Contains(given.output, "COM1 (" + (devices / "none").string() + "): no such device"))
        << given.output;
}

}  // namespace
}  // namespace fotolyx::testing
