#include "support/program_world.h"

namespace fotolyx::testing {

HostEnvironment FolderEnvironment(const TempDir& root, bool trueColour) {
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

}  // namespace fotolyx::testing
