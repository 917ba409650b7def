#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/save_pipeline.h"

namespace fotolyx {

// "2002:07:15 09:05:00" from the clock.
std::string MakeTimeStamp(const LocalClock& clock);

// Rewrites source into destination (they may be the same file) with the Exif block and a
// 160x120 thumbnail: 1 saved, 0 failed, -1 not enough free space for the result.
int SaveJpegWithExif(SaveContext& context, const std::filesystem::path& source,
                     const std::filesystem::path& destination);

struct ThumbnailJpeg {
    std::vector<std::uint8_t> jpeg;  // a complete 160x120 JPEG file
    std::int32_t width = 0;          // of the source picture
    std::int32_t height = 0;
};

// Decodes source into bitmapPath (left there for re-encoding), scales it into 160x120 on
// black and compresses that at quality 10.
std::optional<ThumbnailJpeg> MakeThumbnailJpeg(SaveContext& context,
                                               const std::filesystem::path& source,
                                               const std::filesystem::path& bitmapPath);

// Puts newFile in place of destination: 1 copied, 0 the copy failed (the destination is as it
// was), -1 not enough free space. The copy is written beside the destination and moved over
// it once complete, so it needs its whole size free while the old file still exists; a failed
// copy never touches the destination. newFile is removed in every case.
int ReplaceFileSafely(SaveContext& context, const std::filesystem::path& destination,
                      const std::filesystem::path& newFile);

}  // namespace fotolyx
