#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "camsim/camsim_process.h"
#include "cli/cli.h"
#include "fotolyx_version.h"

namespace fotolyx::cli {
namespace {

constexpr Command COMMANDS[] = {
    {"settings", "settings", "start up and shut down once; print the settings in force",
     RunSettings},
    {"convert", "convert IN OUT [--type jpeg|bmp|bmp8]",
     "open IN as the Open command does (640 x 480) and save it as an opened picture is saved "
     "(type from OUT's extension unless given)",
     RunConvert},
    {"exif", "exif IN.jpg OUT.jpg",
     "rewrite a JPEG file with the Exif block and a 160 x 120 thumbnail (OUT may be IN)", RunExif},
    {"adjust", "adjust IN OUT [--auto | --brightness B --contrast C --saturation S --sharpness H]",
     "open IN as the Open command does, adjust it as the Image Adjustment dialog's OK does "
     "(by hand, or automatically) and save it as an opened picture is saved (type from OUT's "
     "extension)",
     RunAdjust},
    {"info", "info [--port COMn=PATH]...", "find the camera, set the link up, print what it is",
     RunInfo},
    {"list", "list [--port COMn=PATH]...",
     "read the camera's picture index; one line per picture (list text, size, default file "
     "name), then Total: N",
     RunList},
    {"get",
     "get [--port COMn=PATH]... [--dir DIR] [--type jpeg|bmp|bmp8 | --original] "
     "[--filename PATTERN] [--overwrite | --skip-existing] (N... | --all)",
     "download pictures N (as listed) or all, treat them and save them under their default "
     "names in DIR (default: here); an existing file stops the command unless told otherwise. "
     "Default names carry the picture's position, which a deletion changes: --skip-existing "
     "skips a file only when get saved it there from the same picture (same quality, size, "
     "date, time and thumbnail, as recorded in DIR/.fotolyx-get); any other existing file "
     "stops the command. "
     "--original keeps the camera's JPEG bytes as they came. --filename names the files from "
     "PATTERN: %Y %y %m %d %H %M the camera's date, %n the picture's number, %N it in three "
     "digits, %q F or N for Fine or Normal, %% a percent sign (e.g. %Y%m%d-%H%M-%n%q). Each file "
     "gets the camera's date as its modification time",
     RunGet},
    {"thumbs", "thumbs --dir DIR [--overwrite] [--port COMn=PATH]...",
     "read the picture index and save each thumbnail as the camera sent it, as NAME_thumb.jpg "
     "in DIR (NAME the picture's default name), dated like the picture",
     RunThumbs},
    {"rm", "rm [--port COMn=PATH]... (N... | --all)",
     "delete pictures N (the last one given first, then from the highest down) or all; then "
     "Total: N",
     RunRm},
    {"live", "live [--frames K] --out FILE.bmp [--port COMn=PATH]...",
     "watch the camera's live view for K frames (default 1), then write the small picture as a "
     "24-bit BMP file",
     RunLive},
    {"photo", "photo --out FILE [--type jpeg|bmp|bmp8] [--port COMn=PATH]...",
     "take a large live photo and save it as the Live image window saves it (type from FILE's "
     "extension unless given)",
     RunPhoto},
    {"put", "put FILE (--fine | --normal) [--port COMn=PATH]...",
     "open FILE as the Open command does and send it to the camera as Data out to camera does; "
     "print the new picture's list line",
     RunPut},
};

void PrintHelp(std::ostream& out) {
    out << "Usage: fotolyx-cli [--simulate[=FOLDER]] [--port COMn=PATH]... [--settings FILE] "
           "[--log FILE] COMMAND [ARGUMENTS]\n"
           "       fotolyx-cli --version\n"
           "  --simulate[=FOLDER]  COM1 is a simulated camera holding sample pictures (or the\n"
           "                       JPEG files of FOLDER) for as long as the command runs\n"
           "  --port COMn=PATH     the device of port COMn for this run (default: the port the\n"
           "                       camera answered on last time, USB serial adapters, then\n"
           "                       /dev/ttyS0../dev/ttyS3)\n"
           "  --settings FILE      read and write the settings in FILE (also $FOTOLYX_SETTINGS;\n"
           "                       default: snapcfg.ini beside the program, or in\n"
           "                       ~/.config/fotolyx when that folder may not be written)\n"
           "  --log FILE           write a trace of the serial line to FILE (every byte each way\n"
           "                       with its time, speed changes, packets decoded); fotolyx-camsim\n"
           "                       --replay FILE answers as the camera did\n"
           "\nCommands:\n";
    for (const auto& command : COMMANDS) {
        out << "  " << command.usage << "\n      " << command.summary << '\n';
    }
    out << "\nExit status:\n"
           "  0  done\n"
           "  1  the command failed; the reason is printed\n"
           "  2  bad command line\n"
           "  3  the camera answered but cannot be used as it is (VCR mode, no CompactFlash\n"
           "     card, or a model this program does not support); its warning is printed\n"
           "  130  ended by Ctrl-C (129 SIGHUP, 143 SIGTERM): the command stopped in order,\n"
           "     the camera link reset and no temporary or half-written file left\n";
}

}  // namespace

int RunCommandLine(Arguments arguments, host::SignalPipe* signals) {
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        PrintHelp(arguments.empty() ? std::cerr : std::cout);
        return arguments.empty() ? 2 : 0;
    }
    if (arguments[0] == "--version") {
        std::cout << "fotolyx-cli " << FOTOLYX_VERSION << '\n';
        return 0;
    }
    // Options may stand before the command name; the command gets them after its own.
    Arguments leading;
    std::optional<std::string> simulateFolder;
    std::string logPath;
    std::string settingsFile;
    while (arguments.size() >= 2) {
        if (arguments[0] == "--settings" && arguments.size() > 2) {
            settingsFile = arguments[1];
            arguments.erase(arguments.begin(), arguments.begin() + 2);
        } else if (arguments[0] == "--port" && arguments.size() > 2) {
            leading.insert(leading.end(), arguments.begin(), arguments.begin() + 2);
            arguments.erase(arguments.begin(), arguments.begin() + 2);
        } else if (arguments[0] == "--log" && arguments.size() > 2) {
            logPath = arguments[1];
            arguments.erase(arguments.begin(), arguments.begin() + 2);
        } else if (arguments[0] == "--simulate") {
            simulateFolder = "";
            arguments.erase(arguments.begin());
        } else if (arguments[0].starts_with("--simulate=") && arguments[0].size() > 11) {
            simulateFolder = arguments[0].substr(11);
            arguments.erase(arguments.begin());
        } else {
            break;
        }
    }
    // --simulate: COM1 is a simulated camera for as long as the command runs.
    std::optional<fotolyx::camsim::CamsimProcess> camera;
    if (simulateFolder) {
        const std::string program = fotolyx::camsim::CamsimBesideThisProgram();
        std::vector<std::string> options;
        if (!simulateFolder->empty()) {
            options = {"--picture-folder", *simulateFolder};
        }
        camera.emplace(program, options);
        if (camera->path().empty()) {
            std::cerr << "fotolyx-cli: the simulated camera " << program << " did not start\n";
            return 1;
        }
        leading.push_back("--port");
        leading.push_back("COM1=" + camera->path());
    }
    for (const auto& command : COMMANDS) {
        if (arguments[0] == command.name) {
            Context context;
            context.logPath = logPath;
            context.settingsFile = settingsFile;
            context.signals = signals;
            Arguments rest(arguments.begin() + 1, arguments.end());
            rest.insert(rest.end(), leading.begin(), leading.end());
            const int status = command.run(context, rest);
            // Ended by a signal: the command has stopped and cleaned up; say so as a shell would.
            return signals != nullptr && signals->Take() != 0 ? signals->ExitStatus() : status;
        }
    }
    std::cerr << "fotolyx-cli: unknown command '" << arguments[0] << "' (see --help)\n";
    return 2;
}

}  // namespace fotolyx::cli

// The fuzz build links the command line without this entry point.
#ifndef FOTOLYX_CLI_WITHOUT_MAIN
int main(int argc, char** argv) {
    // An ending signal (Ctrl-C, SIGTERM, SIGHUP) lets the command finish in order (camera link
    // reset, scratch and temporary files removed) instead of killing it.
    fotolyx::host::SignalPipe signals;
    return fotolyx::cli::RunCommandLine(fotolyx::cli::Arguments(argv + 1, argv + argc), &signals);
}
#endif
