#include "imaging/exif_save.h"

#include <cstdio>
#include <new>

#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/exif_writer.h"
#include "imaging/jpeg_structure.h"
#include "imaging/picture_reductions.h"
#include "ports/free_space.h"
#include "ports/shell.h"

namespace fotolyx {

namespace {

// The space test, then the new bytes beside the destination and over it. The new file is
// complete before it replaces the old one, so it needs its whole size free while the old one
// is still there; a failed write leaves the destination as it was.
int ReplaceFileWithBytes(SaveContext& context, const std::filesystem::path& destination,
                         std::span<const std::uint8_t> bytes) {
    const SaveTarget target = ExamineSaveTarget(destination);
    if (!target.error.empty()) {
        return 0;
    }
    if (context.freeSpace.AvailableBytes(FolderOfFile(target.file)) < bytes.size()) {
        return -1;
    }
    return WriteFileAtomically(destination, bytes) ? 1 : 0;
}

}  // namespace

std::string MakeTimeStamp(const LocalClock& clock) {
    const LocalTime now = clock.Now();
    char text[64];
    std::snprintf(text, sizeof text, "%d:%02d:%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
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
    if (!loaded || !IsThumbnailSource(*loaded.block)) {
        return fail(EXIF_FORMAT_TEXT);
    }
    ThumbnailJpeg thumbnail;
    thumbnail.width = DibWidth(*loaded.block);
    thumbnail.height = DibHeight(*loaded.block);
    const std::optional<DibBlock> frame = MakeThumbnailPicture(*loaded.block);
    if (!frame) {
        return fail(THUMBNAIL_TEXT);
    }
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
