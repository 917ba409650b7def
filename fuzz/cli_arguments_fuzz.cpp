// fotolyx-cli's command line and its settings file: the input is NUL-separated, the first part
// the settings file's text, the rest the arguments. The file commands run whole (settings,
// convert, exif, adjust, help); the camera commands are left out because they wait for a camera
// in real time, and --simulate because it starts a process. Every path stays inside the fuzzing
// folder: an argument with a slash names a file there, "@bmp" and "@jpg" name two real pictures,
// and relative names are taken there too, since the target makes it its working folder (so give
// libFuzzer absolute corpus and artifact paths, as scripts/fuzz.sh does).
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <string>

#include "cli/cli.h"
#include "fuzz_input.h"
#include "imaging/jpeg_codec.h"
#include "support/fakes.h"
#include "support/picture_files.h"

using namespace fotolyx;

namespace {

const std::set<std::string> CAMERA_COMMANDS = {"info", "list", "get",   "thumbs",
                                               "rm",   "live", "photo", "put"};

struct Folder {
    std::filesystem::path settings;
    std::filesystem::path bmp;
    std::filesystem::path jpeg;
};

const Folder& PreparedFolder() {
    static const Folder folder = [] {
        Folder made;
        const auto& root = fuzzing::FuzzFolder();
        made.settings = root / "snapcfg.ini";
        made.bmp = root / "picture.bmp";
        made.jpeg = root / "picture.jpg";
        fotolyx::testing::WriteBytes(
            made.bmp, fotolyx::testing::MakeBmpFile(64, 48, 24, [](int x, int y) {
                return fotolyx::testing::Bgr{static_cast<std::uint8_t>(4 * x),
                                             static_cast<std::uint8_t>(5 * y), 90};
            }));
        JpegState codec;
        CompressBmpToJpeg(codec, made.bmp, made.jpeg, "2x1,1x1,1x1", 90);
        // Relative names land here too, never beside the fuzzer.
        if (::chdir(root.c_str()) != 0) {
            std::abort();
        }
        ::setenv("FOTOLYX_SETTINGS", made.settings.c_str(), 1);
        return made;
    }();
    return folder;
}

std::string Confined(const std::string& argument, const Folder& folder) {
    if (argument == "@bmp") {
        return folder.bmp.string();
    }
    if (argument == "@jpg") {
        return folder.jpeg.string();
    }
    const std::size_t slash = argument.rfind('/');
    if (slash == std::string::npos) {
        return argument;
    }
    const std::string name = argument.substr(slash + 1);
    return (fuzzing::FuzzFolder() / (name.empty() || name == ".." ? "out" : name)).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Folder& folder = PreparedFolder();
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t end = input.find('\0');
    fotolyx::testing::WriteBytes(
        folder.settings,
        std::vector<std::uint8_t>(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(
                                                                     std::min(end, input.size()))));

    cli::Arguments arguments;
    while (end != std::string::npos && end < input.size()) {
        const std::size_t next = input.find('\0', end + 1);
        std::string argument =
            input.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
        end = next;
        if (argument.starts_with("--simulate")) {
            continue;
        }
        if (CAMERA_COMMANDS.count(argument) != 0) {
            return 0;
        }
        arguments.push_back(Confined(argument, folder));
    }
    // --settings names the folder's file whatever the input says.
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--settings" && i + 1 < arguments.size()) {
            arguments[i + 1] = folder.settings.string();
        }
    }
    const int status = cli::RunCommandLine(arguments);
    if (status < 0 || status > 125) {
        std::abort();  // an exit status the shell could take for a signal or a missing program
    }
    return 0;
}
