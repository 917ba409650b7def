#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

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
        {{"--model", "318"}, "COM2", "info", 0, "Port: COM2 (PATH)\nModel: 318\n"},
        {{"--model", "999"}, "COM1", "info", 3, "WARNING: This Model type is wrong."},
        {{"--mode", "vcr"}, "COM1", "list", 3, "the camera answered: VISTACAM is in VCR MODE."},
        {{"--mode", "nocard"}, "COM1", "get --all --dir /tmp", 3, "NO CF CARD!"},
        {{"--speeds", "9600"}, "COM1", "info", 1, "connect error: Minimum required"},
        // The device goes away at once: the scan goes on without spinning on the dead line.
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
    for (const char* line :
         {"convert IN OUT [--type jpeg|bmp|bmp8]", "exif IN.jpg OUT.jpg", "  0  done",
          "  1  the command failed", "  2  bad command line", "  3  the camera answered"}) {
        EXPECT_TRUE(Contains(help.output, line)) << line;
    }
}

// Adapters are found by their stable names in a device folder of the test's own, scanned in name
// order; the one that answered is remembered in the settings file and tried first next time;
// --port still decides for its run.
TEST(InfoOverPty, AdaptersAreScannedInNameOrderAndTheAnsweringOneIsRemembered) {
    TempDir machine;
    const fs::path byId = machine / "dev" / "serial" / "by-id";
    fs::create_directories(byId);
    const std::string settings = std::getenv("FOTOLYX_SETTINGS");
    const std::string options = "--settings " + settings + " info";
    ::setenv("FOTOLYX_DEVICE_FOLDER", (machine / "dev").c_str(), 1);
    const std::shared_ptr<void> unset(nullptr, [](void*) { ::unsetenv("FOTOLYX_DEVICE_FOLDER"); });
    PseudoTerminal silent;  // an adapter without a camera
    Camsim camsim({});
    ASSERT_FALSE(silent.path.empty() || camsim.path().empty());
    const std::string first = (byId / "usb-Alpha_Cable-if00-port0").string();
    const std::string second = (byId / "usb-Beta_Cable-if00-port0").string();
    fs::create_symlink(silent.path, first);
    fs::create_symlink(camsim.path(), second);
    const CliRun found = ExpectCli(options, 0, "Port: COM2 (" + second + ")");
    EXPECT_TRUE(Contains(found.output, "COM1 (" + first + "): opened, no camera answered"));
    EXPECT_TRUE(Contains(ReadText(settings), "[Ports]\nCOM1=" + second + "\n"));
    const CliRun again = ExpectCli(options, 0, "Port: COM1 (" + second + ")");
    EXPECT_FALSE(Contains(again.output, first + "): opened")) << again.output;
    const std::string none = (machine / "dev" / "none").string();
    const CliRun given = ExpectCli(options + " --port COM1=" + none, 0, "Port: COM2 (" + second);
    EXPECT_TRUE(Contains(given.output, "COM1 (" + none + "): no such device")) << given.output;
}

}  // namespace
}  // namespace fotolyx::testing
