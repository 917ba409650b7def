#include "imaging/save_pipeline.h"
#include "imaging/exif_save.h"

#include <array>
#include <cstdio>

#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/colour_reduction.h"
#include "ports/free_space.h"
#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {

namespace {

constexpr std::uint64_t JPEG_SPACE_MARGIN = 40'960;
constexpr std::uint32_t BMP24_PIXEL_OFFSET = FILE_HEADER_SIZE + INFO_HEADER_SIZE;
constexpr std::uint32_t BMP8_PIXEL_OFFSET = FILE_HEADER_SIZE + INFO_HEADER_SIZE + 256 * 4;

// How the three windows differ when they save.
struct SaveWindowTraits {
    SaveWindowKind kind;
    const char* sampling;
    std::uint64_t jpegSpaceMargin;
    bool exifAfterJpeg;
    const char* diskFullCaptionJpeg;
    const char* diskFullCaptionBmp;
    bool bmp256NeedsFullColourSpace;
    bool setsWindowTitle;
};

constexpr std::array<SaveWindowTraits, 3> SAVE_WINDOW_TRAITS = {{
    {SaveWindowKind::Capture, SAMPLING_2X1, JPEG_SPACE_MARGIN, true, DISK_FULL_CAPTION,
     DISK_FULL_CAPTION, true, true},
    {SaveWindowKind::Openfile, SAMPLING_2X1, JPEG_SPACE_MARGIN, true, CAPTION_FOTOLYX,
     DISK_FULL_CAPTION, false, true},
    {SaveWindowKind::Liveimage, SAMPLING_4X1, 0, false, CAPTION_FOTOLYX, CAPTION_FOTOLYX, false,
     false},
}};

const SaveWindowTraits& TraitsOf(SaveWindowKind kind) {
    for (const auto& traits : SAVE_WINDOW_TRAITS) {
        if (traits.kind == kind) {
            return traits;
        }
    }
    return SAVE_WINDOW_TRAITS[0];
}

bool DiskHasRoom(SaveContext& context, const SaveWindowTraits& traits,
                 const std::filesystem::path& path, std::uint64_t needed, bool jpeg) {
    if (context.freeSpace.AvailableBytes(FolderOfFile(path)) >= needed) {
        return true;
    }
    context.shell.MessageBox(DISK_FULL_TEXT,
                             jpeg ? traits.diskFullCaptionJpeg : traits.diskFullCaptionBmp,
                             MB_OK | MB_ICONEXCLAMATION);
    return false;
}

bool SaveJpegBranch(SaveContext& context, const SaveWindowTraits& traits, const DibBlock& picture,
                    const std::filesystem::path& path, SaveAsResult& result, std::string& error) {
    if (!WritePictureBmp(context.scratchFileA, picture, false) ||
        CompressBmpToJpeg(context.jpeg, context.scratchFileA, context.scratchFileB, traits.sampling,
                          SAVE_AS_QUALITY) != 1) {
        return false;
    }
    const WholeFileResult jpeg = ReadWholeFile(context.scratchFileB);
    if (!jpeg ||
        !DiskHasRoom(context, traits, path, jpeg.bytes->size() + traits.jpegSpaceMargin, true)) {
        return false;
    }
    context.save.SaveQuality = SAVE_AS_QUALITY;
    // Compressing the same bitmap again at the same settings would give the same bytes, so the
    // Exif save starts from them. The chosen file is written once, beside and then over the old
    // one; when the Exif save fails it gets the plain JPEG, as it would have had before it.
    if (traits.exifAfterJpeg) {
        result.exifResult = SaveJpegWithExif(context, context.scratchFileB, path);
        if (result.exifResult == 1) {
            return true;
        }
    }
    return WriteFileAtomically(path, *jpeg.bytes, &error);
}

bool SaveFullColourBranch(SaveContext& context, const SaveWindowTraits& traits,
                          const DibBlock& picture, const std::filesystem::path& path,
                          std::string& error) {
    const std::uint64_t needed = FILE_HEADER_SIZE + RgbPictureBytes(picture);
    if (!DiskHasRoom(context, traits, path, needed, false)) {
        return false;
    }
    const auto header = BmpFileHeader(static_cast<std::uint32_t>(needed), BMP24_PIXEL_OFFSET);
    return WriteBmpParts(path, {header, picture.bytes().first(RgbPictureBytes(picture))}, true,
                         &error);
}

bool Save256ColourBranch(SaveContext& context, const SaveWindowTraits& traits,
                         const DibBlock& picture, const std::filesystem::path& path,
                         std::string& error) {
    const std::int32_t width = DibWidth(picture);
    const std::int32_t height = DibHeight(picture);
    const std::size_t reducedSize = ReducedDibSize(width, height);
    const std::uint64_t needed = traits.bmp256NeedsFullColourSpace
                                     ? FILE_HEADER_SIZE + RgbPictureBytes(picture)
                                     : FILE_HEADER_SIZE + reducedSize;
    if (!DiskHasRoom(context, traits, path, needed, false)) {
        return false;
    }
    auto reduced = context.memory.AllocateZeroed(reducedSize);
    if (!reduced) {
        context.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY,
                                 MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (ReduceTo256Colours(context.shell, context.memory, picture, *reduced) != 1) {
        return false;
    }
    const auto header = BmpFileHeader(
        static_cast<std::uint32_t>(FILE_HEADER_SIZE + reduced->size()), BMP8_PIXEL_OFFSET);
    return WriteBmpParts(path, {header, *reduced}, true, &error);
}

}  // namespace

SaveAsResult SaveAsFlow(SaveContext& context, SaveWindowKind kind, const DibBlock& picture,
                        std::string_view proposedName) {
    SaveAsResult result;
    const SaveWindowTraits& traits = TraitsOf(kind);
    SaveDialogRequest request;
    request.proposedName = std::string(proposedName);
    request.initialDirectory = context.initialDirectory;
    request.filters = {{"JPEG (*.JPG)", "*.jpg"},
                       {"Full Color BMP (*.BMP)", "*.bmp"},
                       {"256 Color BMP (*.BMP)", "*.bmp"}};
    request.filterIndex = context.save.filterIndex;
    request.defaultExtension = "bmp";
    request.flags = SAVE_DIALOG_FLAGS;
    const std::optional<SaveDialogResult> chosen = context.shell.GetSaveFileName(request);
    if (!chosen || chosen->path.empty()) {
        return result;
    }
    context.save.filterIndex = chosen->filterIndex;
    const std::filesystem::path path(chosen->path);
    context.initialDirectory = path.parent_path().string();
    result.path = chosen->path;
    result.filterIndex = chosen->filterIndex;
    if (!IsRgbPicture(picture)) {
        return result;
    }
    // What the chosen name may not become, and a folder that is missing or closed, are told as
    // they are before anything is written (the free-space query of a missing folder would
    // otherwise read as a full disk).
    const SaveTarget target = ExamineSaveTarget(path);
    if (!target.error.empty()) {
        context.shell.MessageBox(target.error, CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
        return result;
    }
    std::string error;
    switch (chosen->filterIndex) {
        case SAVE_FILTER_JPEG:
            result.written = SaveJpegBranch(context, traits, picture, target.file, result, error);
            break;
        case SAVE_FILTER_FULL_COLOUR_BMP:
            result.written = SaveFullColourBranch(context, traits, picture, target.file, error);
            break;
        case SAVE_FILTER_256_COLOUR_BMP:
            result.written = Save256ColourBranch(context, traits, picture, target.file, error);
            break;
        default:
            break;
    }
    if (!result.written && !error.empty()) {
        context.shell.MessageBox(error, CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
    }
    if (result.written && traits.setsWindowTitle) {
        result.windowTitle = chosen->path;
    }
    return result;
}

std::string ProposeTimeName(const LocalTime& time) {
    const int year = time.year >= 2000 ? time.year - 2000 : time.year - 1900;
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%d-%d(%d-%d)", year, time.month, time.day, time.hour,
                  time.minute);
    return text;
}

}  // namespace fotolyx
