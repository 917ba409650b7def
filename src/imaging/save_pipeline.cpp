#include "imaging/save_pipeline.h"

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <new>
#include <system_error>

#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/colour_reduction.h"
#include "imaging/exif_writer.h"
#include "imaging/jpeg_structure.h"
#include "imaging/rewrite_file.h"
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

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// A 24-bit picture block whose rows are all present.
bool IsPicture(const DibBlock& picture) {
    return DibHeaderSize(picture) == INFO_HEADER_SIZE && DibBitCount(picture) == 24 &&
           DibIsConsistent(picture);
}

std::size_t PictureBytes(const DibBlock& picture) {
    return INFO_HEADER_SIZE + DibStride(24, static_cast<std::uint32_t>(DibWidth(picture))) *
                                  static_cast<std::size_t>(DibHeight(picture));
}

std::array<std::uint8_t, FILE_HEADER_SIZE> FileHeader(std::uint32_t fileSize,
                                                      std::uint32_t pixelOffset) {
    std::array<std::uint8_t, FILE_HEADER_SIZE> header{};
    WriteLe16(header.data(), BMP_TYPE);
    WriteLe32(header.data() + 2, fileSize);
    WriteLe32(header.data() + 10, pixelOffset);
    return header;
}

// Writes the parts one after the other, beside the destination and then over it, or straight
// into a scratch file. error (when given) gets the reason a write beside the destination failed.
bool WriteParts(const std::filesystem::path& path,
                std::initializer_list<std::span<const std::uint8_t>> parts, bool atomic,
                std::string* error = nullptr) {
    if (atomic) {
        AtomicFile out(path);
        bool ok = true;
        for (const auto part : parts) {
            ok = ok && out.Write(part);
        }
        ok = ok && out.Commit();
        if (!ok && error != nullptr) {
            *error = out.Error();
        }
        return ok;
    }
    std::FILE* file = OpenForRewrite(path);
    if (file == nullptr) {
        return false;
    }
    bool ok = true;
    for (const auto part : parts) {
        ok = ok && (part.empty() || std::fwrite(part.data(), 1, part.size(), file) == part.size());
    }
    return CloseRewritten(file, ok);
}

bool DiskHasRoom(SaveContext& context, const SaveWindowTraits& traits,
                 const std::filesystem::path& path, std::uint64_t needed, bool jpeg) {
    if (context.freeSpace.AvailableBytes(FolderOf(path)) >= needed) {
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
    const std::uint64_t needed = FILE_HEADER_SIZE + PictureBytes(picture);
    if (!DiskHasRoom(context, traits, path, needed, false)) {
        return false;
    }
    const auto header = FileHeader(static_cast<std::uint32_t>(needed), BMP24_PIXEL_OFFSET);
    return WriteParts(path, {header, picture.bytes().first(PictureBytes(picture))}, true, &error);
}

bool Save256ColourBranch(SaveContext& context, const SaveWindowTraits& traits,
                         const DibBlock& picture, const std::filesystem::path& path,
                         std::string& error) {
    const std::int32_t width = DibWidth(picture);
    const std::int32_t height = DibHeight(picture);
    const std::size_t reducedSize = ReducedDibSize(width, height);
    const std::uint64_t needed = traits.bmp256NeedsFullColourSpace
                                     ? FILE_HEADER_SIZE + PictureBytes(picture)
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
    const auto header = FileHeader(static_cast<std::uint32_t>(FILE_HEADER_SIZE + reduced->size()),
                                   BMP8_PIXEL_OFFSET);
    return WriteParts(path, {header, *reduced}, true, &error);
}

// One source pixel (blue, green, red) of a 24-bit or 8-bit block with a 40-byte header.
struct PixelReader {
    const DibBlock& dib;
    std::size_t bits;
    std::size_t stride;
    int bitCount;
    std::uint32_t colours;

    explicit PixelReader(const DibBlock& block)
        : dib(block),
          bits(DibBitsOffset(block)),
          stride(DibStride(DibBitCount(block), static_cast<std::uint32_t>(DibWidth(block)))),
          bitCount(DibBitCount(block)),
          colours(DibNumColors(block)) {}

    std::array<double, 3> At(std::int32_t x, std::int32_t y) const {
        const std::uint8_t* row = dib.data() + bits + stride * static_cast<std::size_t>(y);
        if (bitCount == 24) {
            const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            return {double(p[0]), double(p[1]), double(p[2])};
        }
        const std::uint32_t index = row[x];
        if (index >= colours) {
            return {0, 0, 0};
        }
        const std::uint8_t* entry = dib.data() + INFO_HEADER_SIZE + 4 * index;
        return {double(entry[0]), double(entry[1]), double(entry[2])};
    }
};

struct FitSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

FitSize FitThumbnail(std::int32_t w, std::int32_t h) {
    if (w <= h) {
        return {static_cast<std::int32_t>(std::int64_t{w} * THUMBNAIL_HEIGHT / h),
                THUMBNAIL_HEIGHT};
    }
    FitSize fit{THUMBNAIL_WIDTH, static_cast<std::int32_t>(std::int64_t{h} * THUMBNAIL_WIDTH / w)};
    if (fit.height > THUMBNAIL_HEIGHT) {
        fit = {static_cast<std::int32_t>(std::int64_t{w} * THUMBNAIL_HEIGHT / h), THUMBNAIL_HEIGHT};
    }
    return fit;
}

// Scales the source bilinearly to the fit size and places it on a black 160x120 picture.
void ScaleIntoFrame(const DibBlock& source, FitSize fit, DibBlock& frame) {
    const PixelReader reader(source);
    const std::int32_t w = DibWidth(source);
    const std::int32_t h = DibHeight(source);
    const double fx = static_cast<double>(fit.width) / w;
    const double fy = static_cast<double>(fit.height) / h;
    const std::int32_t left = fit.width < THUMBNAIL_WIDTH ? (THUMBNAIL_WIDTH - fit.width) / 2 : 0;
    const std::int32_t bottom =
        fit.height < THUMBNAIL_HEIGHT ? (THUMBNAIL_HEIGHT - fit.height) / 2 : 0;
    const std::int32_t firstColumn = left != 0 ? left + 1 : 0;
    const std::int32_t firstRow = bottom != 0 ? bottom + 1 : 0;
    const std::size_t frameStride = DibStride(24, THUMBNAIL_WIDTH);
    for (std::int32_t r = 0; r < fit.height && firstRow + r < THUMBNAIL_HEIGHT; ++r) {
        const double y = r / fy;
        const std::int32_t iy = std::min(static_cast<std::int32_t>(y), h - 1);
        const double wy = y - iy;
        const std::int32_t iy1 = iy + 1 < h ? iy + 1 : iy;
        std::uint8_t* out = DibBits(frame) + frameStride * static_cast<std::size_t>(firstRow + r);
        for (std::int32_t c = 0; c < fit.width && firstColumn + c < THUMBNAIL_WIDTH; ++c) {
            const double x = c / fx;
            const std::int32_t ix = std::min(static_cast<std::int32_t>(x), w - 1);
            const double wx = x - ix;
            const std::int32_t ix1 = ix + 1 < w ? ix + 1 : ix;
            const auto p00 = reader.At(ix, iy);
            const auto p10 = reader.At(ix1, iy);
            const auto p01 = reader.At(ix, iy1);
            const auto p11 = reader.At(ix1, iy1);
            std::uint8_t* pixel = out + 3 * static_cast<std::size_t>(firstColumn + c);
            for (int k = 0; k < 3; ++k) {
                const double value = (p01[k] * (1 - wx) + p11[k] * wx) * wy +
                                     (p10[k] * wx + p00[k] * (1 - wx)) * (1 - wy);
                pixel[k] = static_cast<std::uint8_t>(value);
            }
        }
    }
}

// The space test, then the new bytes beside the destination and over it. The new file is
// complete before it replaces the old one, so it needs its whole size free while the old one
// is still there; a failed write leaves the destination as it was.
int ReplaceFileWithBytes(SaveContext& context, const std::filesystem::path& destination,
                         std::span<const std::uint8_t> bytes) {
    const SaveTarget target = ExamineSaveTarget(destination);
    if (!target.error.empty()) {
        return 0;
    }
    if (context.freeSpace.AvailableBytes(FolderOf(target.file)) < bytes.size()) {
        return -1;
    }
    return WriteFileAtomically(destination, bytes) ? 1 : 0;
}

bool ReadableImage(const DibBlock& dib) {
    const auto bitCount = DibBitCount(dib);
    return DibHeaderSize(dib) == INFO_HEADER_SIZE && (bitCount == 24 || bitCount == 8) &&
           DibIsConsistent(dib);
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
    if (!IsPicture(picture)) {
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

std::string MakeTimeStamp(const LocalClock& clock) {
    const LocalTime now = clock.Now();
    char text[64];
    std::snprintf(text, sizeof text, "%d:%02d:%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

std::filesystem::path MakeTempName(const std::filesystem::path& folder) {
    std::string pattern = (folder / "QZVXXXXXX.tmp").string();
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return pattern;
}

void DropTempFile(std::filesystem::path& name) {
    if (!name.empty()) {
        std::error_code error;
        std::filesystem::remove(name, error);
        name.clear();
    }
}

bool WritePictureBmp(const std::filesystem::path& path, const DibBlock& picture, bool atomic) {
    if (!IsPicture(picture)) {
        return false;
    }
    const std::size_t bytes = PictureBytes(picture);
    const auto header =
        FileHeader(static_cast<std::uint32_t>(FILE_HEADER_SIZE + bytes), BMP24_PIXEL_OFFSET);
    return WriteParts(path, {header, picture.bytes().first(bytes)}, atomic);
}

std::optional<DibBlock> MakeThumbnailPicture(const DibBlock& source) {
    if (!ReadableImage(source)) {
        return std::nullopt;
    }
    const FitSize fit = FitThumbnail(DibWidth(source), DibHeight(source));
    std::optional<DibBlock> frame = CreateDib(THUMBNAIL_WIDTH, THUMBNAIL_HEIGHT, 24);
    if (frame) {
        ScaleIntoFrame(source, fit, *frame);
    }
    return frame;
}

std::optional<ThumbnailJpeg> MakeThumbnailJpeg(SaveContext& context,
                                               const std::filesystem::path& source,
                                               const std::filesystem::path& bitmapPath) {
    const auto fail = [&](const char* text) {
        context.shell.MessageBox(text, SYSTEM_ERROR_CAPTION, MB_OK);
        return std::nullopt;
    };
    if (DecompressJpegToBmp(context.jpeg, source, bitmapPath, 0) != 1) {
        return fail(EXIF_FORMAT_TEXT);
    }
    const DibFileResult loaded = LoadDibFile(bitmapPath);
    if (!loaded || !ReadableImage(*loaded.block)) {
        return fail(EXIF_FORMAT_TEXT);
    }
    ThumbnailJpeg thumbnail;
    thumbnail.width = DibWidth(*loaded.block);
    thumbnail.height = DibHeight(*loaded.block);
    const FitSize fit = FitThumbnail(thumbnail.width, thumbnail.height);
    if (fit.width == 0 && fit.height == 0) {
        return fail(EXIF_FORMAT_TEXT);
    }
    std::optional<DibBlock> frame = CreateDib(THUMBNAIL_WIDTH, THUMBNAIL_HEIGHT, 24);
    if (!frame) {
        return fail(THUMBNAIL_TEXT);
    }
    ScaleIntoFrame(*loaded.block, fit, *frame);
    std::filesystem::path framed = MakeTempName(context.tempDirectory);
    std::filesystem::path compressed = MakeTempName(context.tempDirectory);
    const bool ok =
        !framed.empty() && !compressed.empty() && WritePictureBmp(framed, *frame, false) &&
        CompressBmpToJpeg(context.jpeg, framed, compressed, SAMPLING_2X1, THUMBNAIL_QUALITY) == 1;
    WholeFileResult jpeg;
    if (ok) {
        jpeg = ReadWholeFile(compressed);
    }
    DropTempFile(framed);
    DropTempFile(compressed);
    if (!jpeg) {
        return std::nullopt;
    }
    thumbnail.jpeg = std::move(*jpeg.bytes);
    return thumbnail;
}

int SaveJpegWithExif(SaveContext& context, const std::filesystem::path& source,
                     const std::filesystem::path& destination) {
    std::optional<std::vector<std::uint8_t>> exif = BuildExifBlock();
    if (!exif) {
        return 0;
    }
    JpegFrameInfo frame;
    if (ReadJpegFrameInfo(context.shell, source, frame) != 1) {
        return 0;
    }
    std::filesystem::path bitmap = MakeTempName(context.tempDirectory);
    std::filesystem::path reencoded;
    const auto finish = [&](int code) {
        DropTempFile(bitmap);
        DropTempFile(reencoded);
        return code;
    };
    if (bitmap.empty()) {
        return finish(0);
    }
    const std::optional<ThumbnailJpeg> thumbnail = MakeThumbnailJpeg(context, source, bitmap);
    if (!thumbnail) {
        return finish(0);
    }
    const auto& luminance = frame.sampling[0];
    const auto& chrominance = frame.sampling[1];
    const bool reuse = luminance.horizontal == 2 &&
                       (luminance.vertical == 1 || luminance.vertical == 2) &&
                       chrominance.horizontal == 1 && chrominance.vertical == 1 &&
                       HasStandardHuffmanTables(context.shell, source) == 1;
    if (reuse) {
        DropTempFile(bitmap);
    }
    const auto compactThumbnail = CompactJpeg(thumbnail->jpeg);
    if (!compactThumbnail) {
        return finish(0);
    }
    const std::string stamp = MakeTimeStamp(context.clock);
    const std::size_t thumbnailLength = JpegDataLength(*compactThumbnail);
    // The APP1 length field is 16 bits; a thumbnail that would overflow it fails the save.
    if (!SetExifSegmentLength(*exif, exif->size() + thumbnailLength - 2)) {
        return finish(0);
    }
    SetExifTag(context.shell, *exif, TAG_PIXEL_X_DIMENSION, std::nullopt,
               static_cast<std::uint32_t>(thumbnail->width));
    SetExifTag(context.shell, *exif, TAG_PIXEL_Y_DIMENSION, std::nullopt,
               static_cast<std::uint32_t>(thumbnail->height));
    SetExifTag(context.shell, *exif, TAG_JPEG_INTERCHANGE_FORMAT_LENGTH, std::nullopt,
               static_cast<std::uint32_t>(thumbnailLength));
    for (const std::uint16_t tag :
         {TAG_DATE_TIME_ORIGINAL, TAG_DATE_TIME_DIGITIZED, TAG_DATE_TIME}) {
        SetExifTag(context.shell, *exif, tag, stamp, 0);
    }
    std::filesystem::path pictureSource = source;
    if (!reuse) {
        reencoded = MakeTempName(context.tempDirectory);
        if (reencoded.empty() || CompressBmpToJpeg(context.jpeg, bitmap, reencoded, SAMPLING_2X1,
                                                   context.save.SaveQuality) != 1) {
            return finish(0);
        }
        pictureSource = reencoded;
    }
    const auto picture = ReadAndCompactJpeg(pictureSource);
    DropTempFile(bitmap);
    DropTempFile(reencoded);
    if (!picture) {
        return finish(0);
    }
    const std::size_t pictureLength = JpegDataLength(*picture);
    if (pictureLength < 2) {
        return finish(0);
    }
    const std::span<const std::uint8_t> pictureBytes(*picture);
    const std::span<const std::uint8_t> thumbnailBytes =
        std::span<const std::uint8_t>(*compactThumbnail).first(thumbnailLength);
    std::vector<std::uint8_t> file;
    try {
        file.reserve(exif->size() + thumbnailBytes.size() + pictureLength);
    } catch (const std::bad_alloc&) {
        return finish(0);
    }
    // Start of image, the Exif block, its thumbnail, then the rest of the picture.
    file.insert(file.end(), pictureBytes.begin(), pictureBytes.begin() + 2);
    file.insert(file.end(), exif->begin(), exif->end());
    file.insert(file.end(), thumbnailBytes.begin(), thumbnailBytes.end());
    file.insert(file.end(), pictureBytes.begin() + 2,
                pictureBytes.begin() + static_cast<std::ptrdiff_t>(pictureLength));
    return finish(ReplaceFileWithBytes(context, destination, file));
}

int ReplaceFileSafely(SaveContext& context, const std::filesystem::path& destination,
                      const std::filesystem::path& newFile) {
    std::filesystem::path incoming = newFile;
    const WholeFileResult bytes = ReadWholeFile(newFile);
    const int result = bytes ? ReplaceFileWithBytes(context, destination, *bytes.bytes) : 0;
    DropTempFile(incoming);
    return result;
}

}  // namespace fotolyx
