#pragma once

#include <filesystem>

#include "app/program.h"
#include "support/fakes.h"

namespace fotolyx::testing {

// Program, start, config and temporary folders under root, as a host would find them.
HostEnvironment FolderEnvironment(const TempDir& root, bool trueColour = true);

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

}  // namespace fotolyx::testing
