#include "windows/open_picture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "ports/shell.h"

namespace fotolyx {

namespace {

constexpr std::array<std::uint32_t, 7> READABLE_HEADER_SIZES = {12, 40, 52, 56, 64, 108, 124};
constexpr std::size_t MAX_HEADER_SIZE = 124;
// Fields of the 40-byte info header that describe what follows it.
constexpr std::size_t HEADER_IMAGE_SIZE = 20;
constexpr std::size_t HEADER_COLOURS_USED = 32;
constexpr std::size_t HEADER_COLOURS_IMPORTANT = 36;
constexpr std::size_t WORK_ROW_BYTES = 3 * WORK_IMAGE_WIDTH;

class InputFile {
  public:
    explicit InputFile(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (file_ != nullptr && ::fseeko(file_, 0, SEEK_END) == 0) {
            const off_t end = ::ftello(file_);
            size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
    }
    ~InputFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    std::uint64_t Size() const { return size_; }

    // Bytes read at offset: fewer than asked where the file ends.
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
        if (offset >= size_ || ::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
            return 0;
        }
        return std::fread(buffer, 1, count, file_);
    }

  private:
    std::FILE* file_;
    std::uint64_t size_ = 0;
};

struct BitmapLayout {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitCount = 0;
    std::uint32_t headerSize = 0;
    std::uint64_t pixelOffset = 0;
    std::uint64_t stride = 0;
    std::uint32_t colourEntries = 0;
    std::array<std::array<std::uint8_t, 3>, 256> colours{};  // blue, green, red
    std::array<std::uint8_t, MAX_HEADER_SIZE> header{};
};

// Reads and checks the headers and the colour table; false for anything but an uncompressed
// bottom-up 24-bit or 8-bit bitmap whose numbers fit the file.
bool ReadLayout(InputFile& file, BitmapLayout& layout) {
    std::array<std::uint8_t, FILE_HEADER_SIZE + 4> start{};
    if (file.ReadAt(0, start.data(), start.size()) != start.size() ||
        ReadLe16(start.data()) != BMP_TYPE) {
        return false;
    }
    layout.pixelOffset = ReadLe32(start.data() + 10);
    layout.headerSize = ReadLe32(start.data() + FILE_HEADER_SIZE);
    if (std::find(READABLE_HEADER_SIZES.begin(), READABLE_HEADER_SIZES.end(), layout.headerSize) ==
            READABLE_HEADER_SIZES.end() ||
        file.ReadAt(FILE_HEADER_SIZE, layout.header.data(), layout.headerSize) !=
            layout.headerSize) {
        return false;
    }
    const std::uint8_t* h = layout.header.data();
    std::uint32_t compression = BI_RGB;
    std::uint32_t coloursUsed = 0;
    std::size_t entrySize = 4;
    if (layout.headerSize == CORE_HEADER_SIZE) {
        layout.width = ReadLe16(h + 4);
        layout.height = ReadLe16(h + 6);
        layout.bitCount = ReadLe16(h + 10);
        entrySize = 3;
    } else {
        layout.width = static_cast<std::int32_t>(ReadLe32(h + 4));
        layout.height = static_cast<std::int32_t>(ReadLe32(h + 8));
        layout.bitCount = ReadLe16(h + 14);
        compression = ReadLe32(h + 16);
        coloursUsed = ReadLe32(h + 32);
    }
    if ((layout.bitCount != 24 && layout.bitCount != 8) || compression != BI_RGB ||
        layout.width <= 0 || layout.height <= 0) {
        return false;
    }
    std::uint64_t tableEnd = FILE_HEADER_SIZE + layout.headerSize;
    if (layout.bitCount == 8) {
        if (coloursUsed > 256) {
            return false;
        }
        layout.colourEntries = coloursUsed == 0 ? 256 : coloursUsed;
        std::array<std::uint8_t, 256 * 4> table{};
        const std::size_t tableBytes = layout.colourEntries * entrySize;
        if (file.ReadAt(tableEnd, table.data(), tableBytes) != tableBytes) {
            return false;
        }
        for (std::uint32_t i = 0; i < layout.colourEntries; ++i) {
            std::memcpy(layout.colours[i].data(), table.data() + i * entrySize, 3);
        }
        tableEnd += tableBytes;
    }
    if (layout.pixelOffset < tableEnd || layout.pixelOffset > file.Size()) {
        return false;
    }
    layout.stride = DibStride(static_cast<std::uint32_t>(layout.bitCount),
                              static_cast<std::uint32_t>(layout.width));
    return true;
}

void WriteNormalisedHeader(std::uint8_t* header) {
    std::memset(header, 0, INFO_HEADER_SIZE);
    WriteLe32(header, INFO_HEADER_SIZE);
    WriteLe32(header + 4, WORK_IMAGE_WIDTH);
    WriteLe32(header + 8, WORK_IMAGE_HEIGHT);
    WriteLe16(header + 12, 1);
    WriteLe16(header + 14, 24);
}

// Offset of byte `skip` of file row `row`; none when it lies past the end of the file.
std::optional<std::uint64_t> RowOffset(const BitmapLayout& layout, std::uint64_t row,
                                       std::uint64_t skip, std::uint64_t fileSize) {
    if (row != 0 && layout.stride > fileSize / row) {
        return std::nullopt;
    }
    const std::uint64_t offset = layout.pixelOffset + row * layout.stride + skip;
    if (offset < layout.pixelOffset || offset >= fileSize) {
        return std::nullopt;
    }
    return offset;
}

// Places the file's rows into the picture by the centring and cutting rules.
void PlacePixels(InputFile& file, const BitmapLayout& layout, std::uint8_t* pixels) {
    const std::int64_t w = layout.width;
    const std::int64_t h = layout.height;
    const std::int64_t firstPictureRow = h <= WORK_IMAGE_HEIGHT ? (WORK_IMAGE_HEIGHT - h) / 2 : 0;
    const std::int64_t firstFileRow = h <= WORK_IMAGE_HEIGHT ? 0 : (h - WORK_IMAGE_HEIGHT) / 2;
    const std::int64_t rows = std::min<std::int64_t>(h, WORK_IMAGE_HEIGHT);
    const std::int64_t skipPixels = w > WORK_IMAGE_WIDTH ? ((w - WORK_IMAGE_WIDTH) / 8) * 4 : 0;
    const bool fullColour = layout.bitCount == 24;
    std::int64_t firstColumn = 0;
    std::size_t readBytes = 0;
    if (w <= WORK_IMAGE_WIDTH) {
        // 24-bit rows go whole, padding included, to a column on a 4-pixel grid.
        firstColumn = fullColour ? ((WORK_IMAGE_WIDTH - w) / 8) * 4 : (WORK_IMAGE_WIDTH - w) / 2;
        readBytes =
            fullColour ? static_cast<std::size_t>(layout.stride) : static_cast<std::size_t>(w);
    } else {
        readBytes = fullColour ? WORK_ROW_BYTES : WORK_IMAGE_WIDTH;
    }
    const std::uint64_t skipBytes = static_cast<std::uint64_t>(skipPixels) * (fullColour ? 3 : 1);
    std::array<std::uint8_t, WORK_ROW_BYTES> row{};
    std::array<std::uint8_t, 3> lastColour{};
    for (std::int64_t i = 0; i < rows; ++i) {
        const auto offset =
            RowOffset(layout, static_cast<std::uint64_t>(firstFileRow + i), skipBytes, file.Size());
        const std::size_t got = offset ? file.ReadAt(*offset, row.data(), readBytes) : 0;
        std::uint8_t* out = pixels +
                            static_cast<std::size_t>(firstPictureRow + i) * WORK_ROW_BYTES +
                            static_cast<std::size_t>(firstColumn) * 3;
        if (fullColour) {
            std::memcpy(out, row.data(), got);
            continue;
        }
        const std::size_t count = std::min<std::size_t>(readBytes, WORK_IMAGE_WIDTH);
        for (std::size_t x = 0; x < count; ++x) {
            if (x < got) {
                const std::uint8_t index = row[x];
                lastColour = index < layout.colourEntries ? layout.colours[index]
                                                          : std::array<std::uint8_t, 3>{};
            }
            std::memcpy(out + 3 * x, lastColour.data(), 3);
        }
    }
}

}  // namespace

bool OpenPictureFile(OpenPictureContext& context, const std::filesystem::path& chosen,
                     int filterIndex, DibBlock& workImage) {
    const auto show = [&](const char* text) {
        context.shell.MessageBox(text, CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
    };
    if (workImage.size() < INFO_HEADER_SIZE + WORK_IMAGE_PIXEL_BYTES) {
        context.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY,
                                 MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    std::filesystem::path bitmapPath = chosen;
    if (filterIndex == OPEN_FILTER_JPEG) {
        if (!InputFile(chosen).IsOpen()) {
            show(FILE_NOT_FOUND_TEXT);
            return false;
        }
        // A failed decode leaves the scratch file empty, which is refused below.
        DecompressJpegToBmp(context.jpeg, chosen, context.scratchFileA, 0);
        bitmapPath = context.scratchFileA;
    }
    InputFile file(bitmapPath);
    if (!file.IsOpen()) {
        show(FILE_NOT_FOUND_TEXT);
        return false;
    }
    BitmapLayout layout;
    if (!ReadLayout(file, layout)) {
        show(TEXT_FILE_TYPE_WRONG);
        return false;
    }
    std::uint8_t* header = workImage.data();
    if (layout.bitCount == 24 && layout.width == WORK_IMAGE_WIDTH &&
        layout.height == WORK_IMAGE_HEIGHT && layout.headerSize == INFO_HEADER_SIZE) {
        // The file's own header is kept where it agrees with the picture memory that follows
        // it: no colour table (a 24-bit file may carry one, which is not copied) and the rows
        // right after the header, so every later reader finds the pixels where they are.
        std::memcpy(header, layout.header.data(), INFO_HEADER_SIZE);
        if (ReadLe32(header + HEADER_IMAGE_SIZE) != WORK_IMAGE_PIXEL_BYTES) {
            WriteLe32(header + HEADER_IMAGE_SIZE, 0);
        }
        WriteLe32(header + HEADER_COLOURS_USED, 0);
        WriteLe32(header + HEADER_COLOURS_IMPORTANT, 0);
    } else {
        WriteNormalisedHeader(header);
    }
    if (layout.width > WORK_IMAGE_WIDTH || layout.height > WORK_IMAGE_HEIGHT) {
        show(IMAGE_CUT_OFF_TEXT);
    }
    std::uint8_t* pixels = header + INFO_HEADER_SIZE;
    std::memset(pixels, 0, WORK_IMAGE_PIXEL_BYTES);
    PlacePixels(file, layout, pixels);
    return true;
}

std::string PictureFileTitle(const std::filesystem::path& chosen) {
    return chosen.filename().string();
}

}  // namespace fotolyx
