#include "imaging/bmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "imaging/atomic_file.h"
#include "imaging/rewrite_file.h"
#include "ports/file_error.h"

namespace fotolyx {

namespace {

// The info headers of later versions start with the 40-byte one and add fields we ignore.
constexpr std::array<std::uint32_t, 4> LONGER_INFO_HEADER_SIZES = {52, 56, 108, 124};
constexpr std::uint32_t LONGEST_HEADER_SIZE = 124;
constexpr std::uint32_t MOST_COLOURS = 256;
// Every picture ends up as a 24-bit picture; its block must stay addressable by int32.
constexpr std::uint64_t LARGEST_TRUE_COLOUR_BYTES = std::numeric_limits<std::int32_t>::max();

class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // The size of a regular file; none for a missing file, a folder or a device.
    std::optional<std::uint64_t> RegularFileSize() const {
        struct stat info {};
        if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    // Reads exactly count bytes at offset; false on an error or an early end of file.
    bool ReadAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) const {
        while (count > 0) {
            const ssize_t got = ::pread(fd_, destination, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            destination += got;
            offset += static_cast<std::uint64_t>(got);
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    int fd_;
};

DibFileResult Failure(int code) {
    return {std::nullopt, code};
}

bool IsInfoHeaderSize(std::uint32_t size) {
    return size == INFO_HEADER_SIZE ||
           std::find(LONGER_INFO_HEADER_SIZES.begin(), LONGER_INFO_HEADER_SIZES.end(), size) !=
               LONGER_INFO_HEADER_SIZES.end();
}

std::uint32_t FullColourCount(std::uint32_t bitCount) {
    return bitCount <= 8 ? (1u << bitCount) : 0u;
}

// What the header of a file says, before any of it is trusted.
struct BitmapLayout {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t colourCount = 0;
};

BitmapLayout ParseHeader(const std::uint8_t* header, std::uint32_t headerSize) {
    BitmapLayout layout;
    layout.headerSize = headerSize;
    if (headerSize == CORE_HEADER_SIZE) {
        layout.width = ReadLe16(header + 4);
        layout.height = ReadLe16(header + 6);
        layout.bitCount = ReadLe16(header + 10);
        layout.colourCount = FullColourCount(layout.bitCount);
        return layout;
    }
    layout.width = static_cast<std::int32_t>(ReadLe32(header + 4));
    layout.height = static_cast<std::int32_t>(ReadLe32(header + 8));
    layout.bitCount = ReadLe16(header + 14);
    layout.compression = ReadLe32(header + 16);
    const std::uint32_t coloursUsed = ReadLe32(header + 32);
    layout.colourCount = coloursUsed != 0 ? coloursUsed : FullColourCount(layout.bitCount);
    return layout;
}

bool IsReadableLayout(const BitmapLayout& layout) {
    const std::uint32_t bits = layout.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        return false;
    }
    if (layout.compression != BI_RGB || layout.width <= 0 || layout.height <= 0) {
        return false;
    }
    if (layout.colourCount > MOST_COLOURS || (bits <= 8 && layout.colourCount > (1u << bits))) {
        return false;
    }
    const std::uint64_t trueColourBytes = DibStride(24, static_cast<std::uint32_t>(layout.width)) *
                                          static_cast<std::uint64_t>(layout.height);
    return trueColourBytes <= LARGEST_TRUE_COLOUR_BYTES;
}

}  // namespace

DibFileResult ReadDibFile(const std::filesystem::path& path) {
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize) {
        return Failure(FILE_ERROR_OPEN);
    }
    if (*fileSize == 0) {
        return Failure(FILE_ERROR_READ);
    }

    std::array<std::uint8_t, FILE_HEADER_SIZE> fileHeader{};
    if (*fileSize < FILE_HEADER_SIZE) {
        return Failure(FILE_ERROR_NOT_BMP);
    }
    if (!file.ReadAt(0, fileHeader.data(), fileHeader.size())) {
        return Failure(FILE_ERROR_READ);
    }
    if (ReadLe16(fileHeader.data()) != BMP_TYPE) {
        return Failure(FILE_ERROR_NOT_BMP);
    }
    const std::uint64_t pixelOffset = ReadLe32(fileHeader.data() + 10);

    std::array<std::uint8_t, LONGEST_HEADER_SIZE> header{};
    if (*fileSize < FILE_HEADER_SIZE + 4 || !file.ReadAt(FILE_HEADER_SIZE, header.data(), 4)) {
        return Failure(FILE_ERROR_READ);
    }
    const std::uint32_t headerSize = ReadLe32(header.data());
    if (headerSize != CORE_HEADER_SIZE && !IsInfoHeaderSize(headerSize)) {
        return Failure(FILE_ERROR_NOT_BMP);
    }
    if (*fileSize < FILE_HEADER_SIZE + headerSize ||
        !file.ReadAt(FILE_HEADER_SIZE, header.data(), headerSize)) {
        return Failure(FILE_ERROR_READ);
    }
    const BitmapLayout layout = ParseHeader(header.data(), headerSize);
    if (!IsReadableLayout(layout)) {
        return Failure(FILE_ERROR_NOT_BMP);
    }

    const bool core = headerSize == CORE_HEADER_SIZE;
    const std::uint32_t tableBytes = layout.colourCount * (core ? 3u : 4u);
    const std::uint64_t tableEnd = std::uint64_t{FILE_HEADER_SIZE} + headerSize + tableBytes;
    if (*fileSize < tableEnd) {
        return Failure(FILE_ERROR_READ);
    }
    if (pixelOffset < tableEnd || pixelOffset > *fileSize) {
        return Failure(FILE_ERROR_NOT_BMP);
    }
    const std::uint64_t rowBytes =
        DibStride(layout.bitCount, static_cast<std::uint32_t>(layout.width)) *
        static_cast<std::uint64_t>(layout.height);
    if (*fileSize - pixelOffset < rowBytes) {
        return Failure(FILE_ERROR_READ);
    }

    const std::uint32_t blockHeaderSize = core ? CORE_HEADER_SIZE : INFO_HEADER_SIZE;
    auto block = DibBlock::Allocate(blockHeaderSize + tableBytes + rowBytes);
    if (!block) {
        return Failure(FILE_ERROR_NO_MEMORY);
    }
    std::uint8_t* out = block->data();
    std::memcpy(out, header.data(), blockHeaderSize);
    WriteLe32(out, blockHeaderSize);
    if (!file.ReadAt(FILE_HEADER_SIZE + headerSize, out + blockHeaderSize, tableBytes) ||
        !file.ReadAt(pixelOffset, out + blockHeaderSize + tableBytes, rowBytes)) {
        return Failure(FILE_ERROR_READ);
    }
    return {std::move(block), 0};
}

DibFileResult LoadDibFile(const std::filesystem::path& path) {
    DibFileResult read = ReadDibFile(path);
    if (!read || DibCompressionTag(*read.block) != BI_BITFIELDS) {
        return read;
    }
    return ConvertCoreDib(*read.block);
}

DibFileResult ConvertCoreDib(const DibBlock& core) {
    if (DibHeaderSize(core) != CORE_HEADER_SIZE || !DibIsConsistent(core)) {
        return Failure(FILE_ERROR_NOT_BMP);
    }
    const std::int32_t width = DibWidth(core);
    const std::int32_t height = DibHeight(core);
    const std::uint16_t bitCount = DibBitCount(core);
    const std::uint32_t colourCount = DibNumColors(core);
    auto converted = CreateDib(width, height, bitCount, colourCount);
    if (!converted) {
        return Failure(FILE_ERROR_NO_MEMORY);
    }
    const std::uint8_t* source = core.data() + CORE_HEADER_SIZE;
    std::uint8_t* entry = converted->data() + INFO_HEADER_SIZE;
    for (std::uint32_t i = 0; i < colourCount; ++i, source += 3, entry += 4) {
        std::memcpy(entry, source, 3);
        entry[3] = 0;
    }
    const std::size_t rowBytes =
        DibStride(bitCount, static_cast<std::uint32_t>(width)) * static_cast<std::size_t>(height);
    std::memcpy(DibBits(*converted), DibBits(core), rowBytes);
    return {std::move(converted), 0};
}

int WriteDibFile(const std::filesystem::path& path, const DibBlock& dib, int* errorCode) {
    auto fail = [errorCode](int code) {
        if (errorCode != nullptr) {
            *errorCode = code;
        }
        return 0;
    };
    if (dib.empty() || !DibIsConsistent(dib) ||
        dib.size() > std::numeric_limits<std::uint32_t>::max() - FILE_HEADER_SIZE) {
        return fail(FILE_ERROR_LOCK);
    }
    const auto fileHeader =
        BmpFileHeader(static_cast<std::uint32_t>(dib.size() + FILE_HEADER_SIZE),
                      static_cast<std::uint32_t>(FILE_HEADER_SIZE + DibBitsOffset(dib)));

    AtomicFile out(path);
    if (!out.IsOpen()) {
        return fail(FILE_ERROR_OPEN);
    }
    if (!out.Write(fileHeader) || !out.Write(dib.bytes()) || !out.Commit()) {
        return fail(FILE_ERROR_WRITE);
    }
    if (errorCode != nullptr) {
        *errorCode = 0;
    }
    return 1;
}

WholeFileResult ReadWholeFile(const std::filesystem::path& path) {
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize) {
        return {std::nullopt, FILE_ERROR_OPEN};
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(*fileSize));
    } catch (const std::bad_alloc&) {
        return {std::nullopt, FILE_ERROR_NO_MEMORY};
    } catch (const std::length_error&) {
        return {std::nullopt, FILE_ERROR_NO_MEMORY};
    }
    if (!file.ReadAt(0, bytes.data(), bytes.size())) {
        return {std::nullopt, FILE_ERROR_READ};
    }
    return {std::move(bytes), 0};
}

std::array<std::uint8_t, FILE_HEADER_SIZE> BmpFileHeader(std::uint32_t fileSize,
                                                         std::uint32_t pixelOffset) {
    std::array<std::uint8_t, FILE_HEADER_SIZE> header{};
    WriteLe16(header.data(), BMP_TYPE);
    WriteLe32(header.data() + 2, fileSize);
    WriteLe32(header.data() + 10, pixelOffset);
    return header;
}

// A 24-bit picture block whose rows are all present.
bool IsRgbPicture(const DibBlock& picture) {
    return DibHeaderSize(picture) == INFO_HEADER_SIZE && DibBitCount(picture) == 24 &&
           DibIsConsistent(picture);
}

std::size_t RgbPictureBytes(const DibBlock& picture) {
    return INFO_HEADER_SIZE + DibStride(24, static_cast<std::uint32_t>(DibWidth(picture))) *
                                  static_cast<std::size_t>(DibHeight(picture));
}

// Writes the parts one after the other, beside the destination and then over it, or straight
// into a scratch file. error (when given) gets the reason a write beside the destination failed.
bool WriteBmpParts(const std::filesystem::path& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts, bool atomic,
                   std::string* error) {
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

bool WritePictureBmp(const std::filesystem::path& path, const DibBlock& picture, bool atomic) {
    if (!IsRgbPicture(picture)) {
        return false;
    }
    const std::size_t bytes = RgbPictureBytes(picture);
    const auto header = BmpFileHeader(static_cast<std::uint32_t>(FILE_HEADER_SIZE + bytes),
                                      FILE_HEADER_SIZE + INFO_HEADER_SIZE);
    return WriteBmpParts(path, {header, picture.bytes().first(bytes)}, atomic);
}

}  // namespace fotolyx
