// The settings file: the INI reader and writer on arbitrary text, and a Program that reads it at
// start-up and writes it back at shutdown.
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "app/program.h"
#include "fuzz_input.h"
#include "support/fakes.h"

using namespace fotolyx;

namespace {

void FuzzIniFile(std::string_view text) {
    IniFile file = IniFile::Parse(text);
    for (const std::size_t maxChars : {std::size_t{0}, std::size_t{9}, std::size_t{259}}) {
        if (file.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEINITPATH, "", maxChars).size() >
            maxChars) {
            std::abort();
        }
    }
    // A key that was set reads back as set, also from the written text.
    file.SetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV, "1");
    file.SetString("New Section", "Key", "value");
    const IniFile again = IniFile::Parse(file.Text());
    if (file.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV, "", 9) != "1" ||
        again.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV, "", 9) != "1" ||
        again.GetString("new section", "KEY", "", 9) != "value") {
        std::abort();
    }
}

void FuzzProgram(std::span<const std::uint8_t> bytes) {
    const auto folder = fuzzing::FuzzFolder() / "program";
    std::filesystem::create_directories(folder);
    const auto settingsPath = fuzzing::WriteInputFile("program/snapcfg.ini", bytes);

    testing::RecordingShell shell;
    testing::RecordingTimers timers;
    testing::ScriptedLine line;
    testing::FixedClock clock;
    Memory memory;
    SystemFreeSpace freeSpace;
    HostEnvironment environment;
    environment.programDirectory = folder;
    environment.startDirectory = fuzzing::FuzzFolder();
    environment.configHome = fuzzing::FuzzFolder() / "config";
    environment.tempDirectory = fuzzing::FuzzFolder();
    Program program(Ports{shell, timers, line, clock, memory, freeSpace}, environment);
    program.Startup();
    if (program.settings.SettingsPath != settingsPath ||
        program.settings.OpenInitialDir.size() > 4095) {
        std::abort();
    }
    const bool preview = program.settings.FilePreviewEnabled;
    program.Shutdown();

    const IniFile written = IniFile::Load(settingsPath);
    if (written.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV, "", 9) !=
        (preview ? "1" : "0")) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzIniFile({reinterpret_cast<const char*>(data), size});
    FuzzProgram({data, size});
    return 0;
}
