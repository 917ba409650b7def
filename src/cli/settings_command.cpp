#include <iostream>

#include "app/program.h"
#include "cli/cli.h"

namespace fotolyx::cli {

// Runs the program's start-up and shutdown without a window and tells what they found:
// where the settings live and what they say.
int RunSettings(Context& context, const Arguments&) {
    Program program(Ports{context.shell, context.timers, context.line, context.clock,
                          context.memory, context.freeSpace},
                    context.Environment());
    program.Startup();
    std::cout << "Settings file: " << program.settings.SettingsPath.string() << '\n'
              << "FILEPREV: " << (program.settings.FilePreviewEnabled ? 1 : 0) << '\n'
              << "FILEINITPATH: " << program.settings.OpenInitialDir << '\n';
    program.Shutdown();
    return 0;
}

}  // namespace fotolyx::cli
