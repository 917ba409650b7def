#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/dib_block.h"

namespace fotolyx {

// A block read or built by the file routines, or the code that says why there is none
// (FILE_ERROR_* in ports/file_error.h, for ReportFileError). Exactly one of the two is set.
struct DibFileResult {
    std::optional<DibBlock> block;
    int errorCode = 0;

    explicit operator bool() const { return block.has_value(); }
};

struct WholeFileResult {
    std::optional<std::vector<std::uint8_t>> bytes;
    int errorCode = 0;

    explicit operator bool() const { return bytes.has_value(); }
};

// Reads a BMP file as found: a 12-byte core header stays (3-byte colour entries), a 40-byte
// info header stays, and the longer info headers (52, 56, 108, 124 bytes) become a 40-byte
// header with their extra fields dropped. The block holds header, colour table and rows, with
// any gap before the pixel data and anything after the last row left out.
//
// Every number is checked before it sizes anything. Codes:
//   FILE_ERROR_OPEN     the file is missing or not a regular file
//   FILE_ERROR_READ     the file is empty, ends before the header, colour table or rows it
//                       describes, or a read fails
//   FILE_ERROR_NOT_BMP  not "BM"; an unknown header size; bit count other than 1, 4, 8, 24;
//                       compressed; width or height zero or negative (top-down); a picture
//                       whose 24-bit form would pass 2 GiB; more than 2^bit count colours
//                       (256 at most); pixel data that starts inside the colour table or
//                       past the end of the file
//   FILE_ERROR_NO_MEMORY  the block cannot be allocated
DibFileResult ReadDibFile(const std::filesystem::path& path);

// Reads a BMP file and always gives a block with a 40-byte header and 4-byte colour entries.
DibFileResult LoadDibFile(const std::filesystem::path& path);

// The 40-byte-header form of a core-header block: same bit count, size and rows, colour
// entries widened from 3 to 4 bytes. FILE_ERROR_NOT_BMP unless the block is a consistent
// core-header block; FILE_ERROR_NO_MEMORY when the new block cannot be allocated.
DibFileResult ConvertCoreDib(const DibBlock& core);

// Writes the whole block as a BMP file (14-byte file header, then the block). The file is
// written beside the destination and moved over it only when every byte is on disk, so a
// failure leaves any old file as it was. Returns 1 on success, 0 on failure with the code in
// *errorCode (when given): FILE_ERROR_LOCK for an empty or inconsistent block, FILE_ERROR_OPEN
// when the file cannot be created, FILE_ERROR_WRITE when writing or replacing fails.
int WriteDibFile(const std::filesystem::path& path, const DibBlock& dib, int* errorCode = nullptr);

// Every byte of a regular file. FILE_ERROR_OPEN when it cannot be opened, FILE_ERROR_NO_MEMORY
// when it does not fit in memory, FILE_ERROR_READ when not every byte arrives.
WholeFileResult ReadWholeFile(const std::filesystem::path& path);

// The 14-byte file header: "BM", the file size and where the pixel rows start.
std::array<std::uint8_t, FILE_HEADER_SIZE> BmpFileHeader(std::uint32_t fileSize,
                                                         std::uint32_t pixelOffset);

// A 24-bit picture block with a 40-byte header whose rows are all present.
bool IsRgbPicture(const DibBlock& picture);
// Its header and rows, in bytes.
std::size_t RgbPictureBytes(const DibBlock& picture);

// Writes the parts one after the other, beside the destination and then over it (atomic), or
// straight into a scratch file. error (when given) gets the reason a write beside the
// destination failed.
bool WriteBmpParts(const std::filesystem::path& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts, bool atomic,
                   std::string* error = nullptr);

// The 24-bit BMP file of a picture: 14-byte file header, then header and rows from memory.
// Atomic writes go beside the destination and replace it only when complete.
bool WritePictureBmp(const std::filesystem::path& path, const DibBlock& picture, bool atomic);

}  // namespace fotolyx
