#include <iostream>
#include <string>
#include <vector>

#include "camsim/options.h"
#include "camsim/pty_server.h"
#include "camsim/replay.h"
#include "fotolyx_version.h"

int main(int argc, char** argv) {
    using namespace fotolyx::camsim;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << USAGE;
        return 0;
    }
    if (!arguments.empty() && arguments[0] == "--version") {
        std::cout << "fotolyx-camsim " << FOTOLYX_VERSION << '\n';
        return 0;
    }
    ServerOptions options;
    std::string error;
    if (!ParseOptions(arguments, options, error)) {
        std::cerr << "fotolyx-camsim: " << error << '\n' << USAGE;
        return 2;
    }
    if (!options.replayFile.empty()) {
        std::vector<fotolyx::TraceRecord> records;
        if (!LoadTrace(options.replayFile, records, error)) {
            std::cerr << "fotolyx-camsim: " << error << '\n';
            return 2;
        }
        return RunReplay(records);
    }
    PtyServer server(std::move(options.camera), options.line);
    if (!server.Open(error)) {
        std::cerr << "fotolyx-camsim: " << error << '\n';
        return 1;
    }
    std::cout << server.SlavePath() << std::endl;
    server.Run();
    if (options.stats) {
        std::cerr << server.Stats().Summary() << '\n';
    }
    return 0;
}
