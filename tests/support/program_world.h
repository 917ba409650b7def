#pragma once

#include "app/program.h"
#include "support/fakes.h"

namespace fotolyx::testing {

// Program, start, config and temporary folders under root, as a host would find them.
inline HostEnvironment FolderEnvironment(const TempDir& root, bool trueColour = true) {
    for (const char* name : {"program", "start", "config", "tmp"}) {
        std::filesystem::create_directory(root / name);
    }
    HostEnvironment environment;
    environment.programDirectory = root / "program";
    environment.startDirectory = root / "start";
    environment.configHome = root / "config";
    environment.tempDirectory = root / "tmp";
    environment.trueColourDisplay = trueColour;
    return environment;
}

// One program run in a throw-away world: the folders above and a fake of every port.
struct ProgramWorld {
    explicit ProgramWorld(bool trueColour = true)
        : environment(FolderEnvironment(root, trueColour)) {}

    Ports ports() { return Ports{shell, timers, line, clock, memory, freeSpace}; }
    Program Make() { return Program(ports(), environment); }
    std::filesystem::path SettingsFile() const { return root / "program" / SETTINGS_FILE_NAME; }

    TempDir root;
    RecordingShell shell;
    RecordingTimers timers;
    ScriptedLine line;
    FixedClock clock;
    FailingMemory memory;
    FixedFreeSpace freeSpace;
    HostEnvironment environment;
};

// A world whose program has started, its settings file holding settingsText (none: no file).
struct StartedWorld : ProgramWorld {
    explicit StartedWorld(const char* settingsText = nullptr, bool trueColour = true)
        : ProgramWorld(trueColour) {
        if (settingsText != nullptr) {
            std::ofstream(SettingsFile()) << settingsText;
        }
        program.Startup();
    }
    Program program{Make()};
};

}  // namespace fotolyx::testing
