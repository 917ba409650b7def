#include <cstring>
#include <iostream>

#include "cli/cli.h"

namespace fotolyx::cli {
namespace {

constexpr Command COMMANDS[] = {
    {"settings", "settings", "start up and shut down once; print the settings in force",
     RunSettings},
    {"info", "info [--port COMn=PATH]...", "find the camera, set the link up, print what it is",
     RunInfo},
};

void PrintHelp(std::ostream& out) {
    out << "Usage: fotolyx-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const auto& command : COMMANDS) {
        out << "  " << command.usage << "\n      " << command.summary << '\n';
    }
}

}  // namespace
}  // namespace fotolyx::cli

int main(int argc, char** argv) {
    using namespace fotolyx::cli;
    Arguments arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        PrintHelp(arguments.empty() ? std::cerr : std::cout);
        return arguments.empty() ? 2 : 0;
    }
    // Options may stand before the command name; the command gets them after its own.
    Arguments leading;
    while (arguments.size() > 2 && arguments[0] == "--port") {
        leading.insert(leading.end(), arguments.begin(), arguments.begin() + 2);
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    for (const auto& command : COMMANDS) {
        if (arguments[0] == command.name) {
            Context context;
            Arguments rest(arguments.begin() + 1, arguments.end());
            rest.insert(rest.end(), leading.begin(), leading.end());
            return command.run(context, rest);
        }
    }
    std::cerr << "fotolyx-cli: unknown command '" << arguments[0] << "' (see --help)\n";
    return 2;
}
