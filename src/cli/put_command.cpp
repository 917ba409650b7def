#include <iostream>

#include "cli/camera_session.h"
#include "cli/picture_session.h"
#include "windows/open_picture.h"

namespace fotolyx::cli {

namespace {

constexpr auto UPLOAD_LIMIT = std::chrono::seconds(300);

}  // namespace

// Opens FILE as the Open command does and sends it to the camera as Data out to camera does;
// prints the new entry's list line.
int RunPut(Context& context, const Arguments& arguments) {
    constexpr const char* usage = "put FILE (--fine | --normal) [--port COMn=PATH]...";
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("put", arguments, map, rest)) {
        return 2;
    }
    std::filesystem::path file;
    int command = 0;
    for (const std::string& argument : rest) {
        if ((argument == "--fine" || argument == "--normal") && command == 0) {
            command = argument == "--fine" ? CMD_DATA_OUT_FINE : CMD_DATA_OUT_NORMAL;
        } else if (file.empty() && !argument.starts_with("--")) {
            file = argument;
        } else {
            command = -1;
        }
    }
    if (file.empty() || command <= 0) {
        std::cerr << "fotolyx-cli put: usage: fotolyx-cli " << usage << '\n';
        return 2;
    }

    CameraSession session(context, std::move(map));
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    Program& program = session.program();
    if (!program.buffers.WorkImage) {
        std::cerr << "fotolyx-cli put: no memory for the picture\n";
        return EXIT_FAILED;
    }
    OpenPictureContext open{session.shell, program.saveJpeg, program.scratch.ScratchFileA};
    if (!OpenPictureFile(open, file, OpenFilterFor(file), *program.buffers.WorkImage)) {
        return 1;
    }
    // "Part of the image will be cut off." tells, it does not stop the picture.
    session.shell.failed = false;
    PictureWindow* window = program.CreateOpenfileWindow(PictureFileTitle(file), false);
    if (window == nullptr) {
        return 1;
    }
    const UploadState& upload = program.upload;
    const std::uint32_t before = upload.uploadsDone + upload.uploadsFull;
    window->Command(command);
    // A refusal, a failed link or the camera's "memory is full" have printed their reasons.
    if (session.shell.failed ||
        !session.RunUntil([&] { return upload.uploadsDone + upload.uploadsFull > before; },
                          UPLOAD_LIMIT) ||
        upload.uploadsDone == 0) {
        return EXIT_FAILED;
    }
    if (upload.preparedPosition >= INDEX_POSITIONS) {
        std::cerr << "fotolyx-cli put: the picture was sent but cannot be listed\n";
        return EXIT_FAILED;
    }
    std::cout << program.indexTransfer.index.entries[upload.preparedPosition].listText << '\n';
    return 0;
}

}  // namespace fotolyx::cli
