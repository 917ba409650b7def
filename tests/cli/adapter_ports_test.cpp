#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_processes.h"

namespace {

namespace fs = std::filesystem;
using fotolyx::testing::BinDir;
using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::RunCommand;

// A machine of its own: a device folder whose by-id names lead to pseudo-terminals. The
// settings file is the test's own ($FOTOLYX_SETTINGS).
struct Machine {
    fs::path root = fs::temp_directory_path() / ("fotolyx-adapters-" + std::to_string(::getpid()));
    fs::path devices = root / "dev";
    fs::path settings = std::getenv("FOTOLYX_SETTINGS") != nullptr
                            ? fs::path(std::getenv("FOTOLYX_SETTINGS"))
                            : root / "snapcfg.ini";
    Machine() {
        fs::remove_all(root);
        fs::create_directories(devices / "serial" / "by-id");
    }
    ~Machine() { fs::remove_all(root); }
    fs::path Adapter(const std::string& name, const std::string& target) const {
        const fs::path link = devices / "serial" / "by-id" / name;
        fs::create_symlink(target, link);
        return link;
    }
    CliRun Run(const std::string& arguments) const {
        return RunCommand("FOTOLYX_DEVICE_FOLDER=" + devices.string() + " timeout 60 " + BinDir() +
                          "/fotolyx-cli --settings " + settings.string() + " " + arguments +
                          " 2>&1");
    }
    std::string Settings() const { return fotolyx::testing::ReadText(settings); }
};

TEST(AdapterPorts, TwoAdaptersAreScannedInNameOrderAndTheAnsweringOneIsRemembered) {
    Machine machine;
    fotolyx::testing::SilentPty silent;
    Camsim camsim({});
    ASSERT_FALSE(silent.path.empty());
    ASSERT_FALSE(camsim.path().empty());
    const fs::path first = machine.Adapter("usb-Alpha_Cable-if00-port0", silent.path);
    const fs::path second = machine.Adapter("usb-Beta_Cable-if00-port0", camsim.path());

    const CliRun found = machine.Run("info");
    ASSERT_EQ(found.status, 0) << found.output;
    EXPECT_NE(found.output.find("Port: COM2 (" + second.string() + ")"), std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("COM1 (" + first.string() + "): opened, no camera answered"),
              std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("COM2 (" + second.string() + "): the camera answered"),
              std::string::npos)
        << found.output;
    EXPECT_NE(machine.Settings().find("[Ports]\nCOM1=" + second.string() + "\n"), std::string::npos)
        << machine.Settings();

    // Next time the remembered adapter is COM1 and answers at once.
    const CliRun again = machine.Run("info");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("Port: COM1 (" + second.string() + ")"), std::string::npos)
        << again.output;
    EXPECT_EQ(again.output.find(first.string() + "): opened"), std::string::npos) << again.output;

    // --port still decides for its run; the remembered adapter moves to the next port.
    const CliRun given = machine.Run("info --port COM1=" + (machine.devices / "none").string());
    ASSERT_EQ(given.status, 0) << given.output;
    EXPECT_NE(given.output.find("Port: COM2 (" + second.string() + ")"), std::string::npos)
        << given.output;
    EXPECT_NE(
        given.output.find("COM1 (" + (machine.devices / "none").string() + "): no such device"),
        std::string::npos)
        << given.output;
}

TEST(AdapterPorts, ACameraOnTheRememberedPathIsFoundWithoutAnyAdapterListed) {
    Machine machine;
    Camsim camsim({});
    ASSERT_FALSE(camsim.path().empty());
    // Remembered under a name outside the device folder (the by-id folder is empty).
    const fs::path remembered = machine.root / "camera-line";
    fs::create_symlink(camsim.path(), remembered);
    std::ofstream(machine.settings)
        << "[Mode]\nFILEPREV=0\n[Ports]\nCOM1=" << remembered.string() << "\n";
    const CliRun run = machine.Run("info");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Port: COM1 (" + remembered.string() + ")\nModel: 462\n"),
              std::string::npos)
        << run.output;
}

}  // namespace
