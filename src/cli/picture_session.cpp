#include "cli/picture_session.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "windows/open_picture.h"

namespace fotolyx::cli {

namespace {

std::string LowerExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

int OpenFilterFor(const std::filesystem::path& path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".jpg" || extension == ".jpeg") {
        return OPEN_FILTER_JPEG;
    }
    if (extension == ".bmp") {
        return OPEN_FILTER_BMP;
    }
    std::ifstream in(path, std::ios::binary);
    char start[2] = {};
    in.read(start, 2);
    return start[0] == 'B' && start[1] == 'M' ? OPEN_FILTER_BMP : OPEN_FILTER_JPEG;
}

PictureSession::PictureSession(Context& context)
    : context_(context),
      program_(Ports{context.shell, context.timers, context.line, context.clock, context.memory,
                     context.freeSpace},
               context.Environment()) {
    program_.Startup();
}

PictureSession::~PictureSession() {
    program_.Shutdown();
}

DibBlock* PictureSession::workImage() {
    auto& image = program_.buffers.WorkImage;
    return image ? &*image : nullptr;
}

bool PictureSession::Open(const std::filesystem::path& path) {
    DibBlock* image = workImage();
    if (image == nullptr) {
        return false;
    }
    OpenPictureContext open{context_.shell, jpeg_, program_.scratch.ScratchFileA};
    return OpenPictureFile(open, path, OpenFilterFor(path), *image);
}

SaveContext PictureSession::MakeSaveContext() {
    return SaveContext{context_.shell,
                       context_.clock,
                       freeSpace_,
                       context_.memory,
                       jpeg_,
                       save_,
                       program_.scratch.ScratchFileA,
                       program_.scratch.ScratchFileB,
                       program_.environment.tempDirectory,
                       program_.settings.OpenInitialDir};
}

bool PictureSession::SaveAs(const std::filesystem::path& path, int filterIndex) {
    DibBlock* image = workImage();
    if (image == nullptr) {
        return false;
    }
    context_.shell.nextSaveAnswer = SaveDialogResult{path.string(), filterIndex};
    SaveContext save = MakeSaveContext();
    const SaveAsResult result =
        SaveAsFlow(save, SaveWindowKind::Openfile, *image, ProposeTimeName(context_.clock.Now()));
    return result.written && (result.filterIndex != SAVE_FILTER_JPEG || result.exifResult == 1);
}

int PictureSession::SaveJpegWithExif(const std::filesystem::path& source,
                                     const std::filesystem::path& destination) {
    SaveContext save = MakeSaveContext();
    return fotolyx::SaveJpegWithExif(save, source, destination);
}

}  // namespace fotolyx::cli
