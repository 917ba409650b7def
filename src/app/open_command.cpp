#include "app/open_command.h"

#include <algorithm>
#include <cctype>

#include "app/program.h"
#include "link/link_setup.h"

namespace fotolyx {

std::string ChosenFolder(const std::string& chosenPath) {
    const std::size_t slash = chosenPath.rfind('/');
    return slash == std::string::npos ? std::string() : chosenPath.substr(0, slash + 1);
}

namespace {

bool OpenIntoWindow(Program& program, const std::filesystem::path& file, int filterIndex) {
    if (!program.buffers.WorkImage) {
        program.ports.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY,
                                       MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    OpenPictureContext context{program.ports.shell, program.saveJpeg, program.scratch.ScratchFileA};
    if (!OpenPictureFile(context, file, filterIndex, *program.buffers.WorkImage)) {
        return false;
    }
    return program.CreateOpenfileWindow(PictureFileTitle(file), false) != nullptr;
}

}  // namespace

bool OpenChosenPicture(Program& program, const std::string& chosenPath, int filterIndex) {
    program.settings.OpenInitialDir = ChosenFolder(chosenPath);
    return OpenIntoWindow(program, chosenPath, filterIndex);
}

int OpenFilterForName(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg" ? OPEN_FILTER_JPEG : OPEN_FILTER_BMP;
}

bool OpenPictureArgument(Program& program, const std::filesystem::path& file) {
    return OpenIntoWindow(program, file, OpenFilterForName(file));
}

OpenPreviewPorts MakeOpenPreviewPorts(Program& program) {
    return OpenPreviewPorts{program.ports.shell,
                            program.ports.memory,
                            program.saveJpeg,
                            program.scratch.ScratchFileA,
                            program.settings.FilePreviewEnabled,
                            program.display.TrueColourDisplay,
                            program.display.ScreenPalette,
                            program.display.DisplayPalette};
}

}  // namespace fotolyx
