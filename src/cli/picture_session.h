#pragma once

#include <filesystem>
#include <string>

#include "app/program.h"
#include "cli/cli.h"
#include "imaging/jpeg_codec.h"
#include "imaging/save_pipeline.h"
#include "ports/free_space.h"

namespace fotolyx::cli {

// One program run for the file commands: start-up on creation, shutdown on destruction, and
// the open and save steps of an Openfile window in between, on the program's WorkImage.
class PictureSession {
public:
    explicit PictureSession(Context& context);
    ~PictureSession();
    PictureSession(const PictureSession&) = delete;
    PictureSession& operator=(const PictureSession&) = delete;

    // Opens a file as the Open command does, with the JPEG filter for .jpg/.jpeg names, the
    // bitmap filter for .bmp names and, for other names, the filter its first bytes suggest.
    bool Open(const std::filesystem::path& path);

    // Saves the WorkImage through the Openfile Save As flow, answering the save dialog with
    // path and filter; true when the file holds the picture in its final form.
    bool SaveAs(const std::filesystem::path& path, int filterIndex);

    // The Exif save alone.
    int SaveJpegWithExif(const std::filesystem::path& source,
                         const std::filesystem::path& destination);

    Program& program() { return program_; }
    DibBlock* workImage();

private:
    SaveContext MakeSaveContext();

    Context& context_;
    Program program_;
    JpegState jpeg_;
    SaveState save_;
    SystemFreeSpace freeSpace_;
};

// 1 (JPEG) or 2 (bitmap) for an input file, as chosen in the Open dialog.
int OpenFilterFor(const std::filesystem::path& path);

}  // namespace fotolyx::cli
