#pragma once

#include <cstdint>
#include <filesystem>

#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "ports/messages.h"

namespace fotolyx {

class Shell;

inline constexpr int OPEN_FILTER_JPEG = 1;
inline constexpr int OPEN_FILTER_BMP = 2;

inline constexpr std::int32_t WORK_IMAGE_WIDTH = 640;
inline constexpr std::int32_t WORK_IMAGE_HEIGHT = 480;
inline constexpr std::size_t WORK_IMAGE_PIXEL_BYTES = 921'600;

// What opening a picture file needs of the program.
struct OpenPictureContext {
    Shell& shell;
    JpegState& jpeg;
    std::filesystem::path scratchFileA;  // receives the decoded bitmap of a JPEG file
};

// Reads the chosen file into workImage as a 640x480 24-bit picture, as the Open command does
// once the file is chosen: a JPEG (filter 1) is decoded into the scratch file first, a BMP
// (filter 2) is read directly. Smaller pictures are centred on black, larger ones cut (after
// "Part of the image will be cut off."). Only 24-bit and 8-bit uncompressed bottom-up bitmaps
// are taken; every size is checked before it is used, and the pixels are read from the
// file's pixel-data offset. False after the message that tells why.
bool OpenPictureFile(OpenPictureContext& context, const std::filesystem::path& chosen,
                     int filterIndex, DibBlock& workImage);

// The name shown as the window title: the chosen path without its folder.
std::string PictureFileTitle(const std::filesystem::path& chosen);

}  // namespace fotolyx
