#include "imaging/exif_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "ports/shell.h"

namespace fotolyx {

namespace {

// One tag of the template. Text serves ASCII values and UNDEFINED values given as text.
struct ExifTagRecord {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;
    std::uint32_t value2;
    const char* text;
};

constexpr char INITIAL_TIME[] = "1999:01:01 00:00:00";

// IFD0, the Exif directory, the Interoperability directory and IFD1, in that order.
constexpr std::array<ExifTagRecord, 26> EXIF_TEMPLATE = {{
    {0x010F, EXIF_ASCII, 10, 0, 0, "Corvantis"},
    {0x0110, EXIF_ASCII, 10, 0, 0, "ZT-K7700 "},
    {0x011A, EXIF_RATIONAL, 1, 72, 1, ""},
    {0x011B, EXIF_RATIONAL, 1, 72, 1, ""},
    {0x0128, EXIF_SHORT, 1, 2, 0, ""},
    {0x0131, EXIF_ASCII, 8, 0, 0, "Ver.1.0"},
    {TAG_DATE_TIME, EXIF_ASCII, 20, 0, 0, INITIAL_TIME},
    {0x0213, EXIF_SHORT, 1, 2, 0, ""},
    {TAG_EXIF_POINTER, EXIF_LONG, 1, 0, 0, ""},

    {0x9000, EXIF_UNDEFINED, 4, 0, 0, "0210"},
    {TAG_DATE_TIME_ORIGINAL, EXIF_ASCII, 20, 0, 0, INITIAL_TIME},
    {TAG_DATE_TIME_DIGITIZED, EXIF_ASCII, 20, 0, 0, INITIAL_TIME},
    {0x9101, EXIF_UNDEFINED, 4, 0x01020300, 0, ""},
    {0xA000, EXIF_UNDEFINED, 4, 0, 0, "0100"},
    {0xA001, EXIF_SHORT, 1, 1, 0, ""},
    {TAG_PIXEL_X_DIMENSION, EXIF_LONG, 1, 0, 0, ""},
    {TAG_PIXEL_Y_DIMENSION, EXIF_LONG, 1, 0, 0, ""},
    {TAG_INTEROPERABILITY_POINTER, EXIF_LONG, 1, 0, 0, ""},

    {0x0001, EXIF_ASCII, 4, 0, 0, "R98"},
    {0x0002, EXIF_UNDEFINED, 4, 0, 0, "0100"},

    {0x0103, EXIF_SHORT, 1, 6, 0, ""},
    {0x011A, EXIF_RATIONAL, 1, 72, 1, ""},
    {0x011B, EXIF_RATIONAL, 1, 72, 1, ""},
    {0x0128, EXIF_SHORT, 1, 2, 0, ""},
    {TAG_JPEG_INTERCHANGE_FORMAT, EXIF_LONG, 1, 0, 0, ""},
    {TAG_JPEG_INTERCHANGE_FORMAT_LENGTH, EXIF_LONG, 1, 0, 0, ""},
}};
constexpr std::array<std::size_t, 4> DIRECTORY_SIZES = {9, 9, 2, 6};
constexpr std::size_t IFD0_INDEX = 0;
constexpr std::size_t INTEROPERABILITY_INDEX = 2;

constexpr std::size_t HEADER_BYTES = 18;  // marker, length, "Exif\0\0", TIFF header
constexpr std::size_t ENTRY_BYTES = 12;
constexpr std::size_t MAX_DIRECTORIES_VISITED = 16;

constexpr std::uint64_t ValueSize(std::uint16_t type, std::uint32_t count) {
    switch (type) {
        case EXIF_BYTE:
        case EXIF_ASCII:
        case EXIF_UNDEFINED:
            return count;
        case EXIF_SHORT:
            return 2ull * count;
        case EXIF_LONG:
        case EXIF_SLONG:
            return 4ull * count;
        case EXIF_RATIONAL:
        case EXIF_SRATIONAL:
            return 8ull * count;
        default:
            return 0;
    }
}

bool IsPointerTag(std::uint16_t tag) {
    return tag == TAG_EXIF_POINTER || tag == TAG_INTEROPERABILITY_POINTER ||
           tag == TAG_JPEG_INTERCHANGE_FORMAT;
}

void Put16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Copies count characters of text, zero-padded.
void PutText(std::uint8_t* p, const char* text, std::size_t count) {
    const std::size_t length = std::min(std::strlen(text), count);
    std::memcpy(p, text, length);
    std::memset(p + length, 0, count - length);
}

// Lays out one directory at TIFF offset `offset`; returns the offset behind its data area.
std::size_t WriteDirectory(std::uint8_t* tiff, std::size_t offset,
                           std::span<const ExifTagRecord> records) {
    Put16(tiff + offset, static_cast<std::uint16_t>(records.size()));
    std::uint8_t* entry = tiff + offset + 2;
    std::size_t data = offset + 2 + ENTRY_BYTES * records.size() + 4;
    for (const ExifTagRecord& record : records) {
        Put16(entry, record.tag);
        Put16(entry + 2, record.type);
        Put32(entry + 4, record.count);
        std::uint8_t* value = entry + 8;
        const std::uint64_t size = ValueSize(record.type, record.count);
        if (size > 4) {
            Put32(value, static_cast<std::uint32_t>(data));
            if (record.type == EXIF_RATIONAL) {
                Put32(tiff + data, record.value);
                Put32(tiff + data + 4, record.value2);
            } else {
                PutText(tiff + data, record.text, static_cast<std::size_t>(size));
            }
            data += static_cast<std::size_t>(size);
        } else if (record.type == EXIF_ASCII) {
            PutText(value, record.text, 4);
        } else if (IsPointerTag(record.tag)) {
            Put32(value, static_cast<std::uint32_t>(data));
        } else if (record.type == EXIF_UNDEFINED && record.text[0] == '\0') {
            for (int i = 0; i < 4; ++i) {
                value[i] = static_cast<std::uint8_t>(record.value >> (8 * (3 - i)));
            }
        } else if (record.type == EXIF_UNDEFINED) {
            PutText(value, record.text, 4);
        } else {
            Put32(value, record.value);
        }
        entry += ENTRY_BYTES;
    }
    Put32(entry, 0);
    return data;
}

constexpr std::size_t ComputeBlockSize() {
    std::size_t size = HEADER_BYTES;
    std::size_t first = 0;
    for (const std::size_t count : DIRECTORY_SIZES) {
        size += 6;
        for (std::size_t i = first; i < first + count; ++i) {
            const std::uint64_t valueSize =
                ValueSize(EXIF_TEMPLATE[i].type, EXIF_TEMPLATE[i].count);
            size += ENTRY_BYTES + (valueSize > 4 ? static_cast<std::size_t>(valueSize) : 0);
        }
        first += count;
    }
    return size;
}
constexpr std::size_t EXIF_BLOCK_SIZE = ComputeBlockSize();

class TiffReader {
  public:
    TiffReader(std::span<const std::uint8_t> tiff, ByteOrder order) : tiff_(tiff), order_(order) {}

    std::optional<std::uint32_t> Get16(std::size_t offset) const {
        if (offset > tiff_.size() || tiff_.size() - offset < 2) {
            return std::nullopt;
        }
        const std::uint8_t* p = tiff_.data() + offset;
        return order_ == ByteOrder::Little ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1];
    }
    std::optional<std::uint32_t> Get32(std::size_t offset) const {
        const auto low = Get16(order_ == ByteOrder::Little ? offset : offset + 2);
        const auto high = Get16(order_ == ByteOrder::Little ? offset + 2 : offset);
        if (!low || !high) {
            return std::nullopt;
        }
        return *low | (*high << 16);
    }

    // Searches one directory and the directories its next-directory field leads to.
    std::optional<ExifTagPlace> SearchChain(std::uint32_t directory, std::uint16_t tag) const {
        for (std::size_t visited = 0; visited < MAX_DIRECTORIES_VISITED && directory != 0;
             ++visited) {
            const auto count = Get16(directory);
            if (!count) {
                return std::nullopt;
            }
            for (std::uint32_t index = 0; index < *count; ++index) {
                const std::size_t entry = directory + 2 + ENTRY_BYTES * index;
                const auto entryTag = Get16(entry);
                const auto type = Get16(entry + 2);
                const auto valueCount = Get32(entry + 4);
                const auto value = Get32(entry + 8);
                if (!entryTag || !type || !valueCount || !value) {
                    return std::nullopt;
                }
                if (*entryTag != tag) {
                    continue;
                }
                const std::uint64_t size =
                    ValueSize(static_cast<std::uint16_t>(*type), *valueCount);
                const std::size_t place = size > 4 ? *value : entry + 8;
                const std::uint64_t room = std::max<std::uint64_t>(size, 4);
                if (place > tiff_.size() || tiff_.size() - place < room) {
                    return std::nullopt;
                }
                return ExifTagPlace{place, *valueCount, static_cast<std::size_t>(room)};
            }
            const auto next = Get32(directory + 2 + ENTRY_BYTES * *count);
            if (!next) {
                return std::nullopt;
            }
            directory = *next;
        }
        return std::nullopt;
    }

    std::optional<std::uint32_t> PointerIn(std::uint32_t directory, std::uint16_t tag) const {
        const auto place = SearchChain(directory, tag);
        return place ? Get32(place->valueOffset) : std::nullopt;
    }

  private:
    std::span<const std::uint8_t> tiff_;
    ByteOrder order_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildExifBlock() {
    std::array<std::uint8_t, EXIF_BLOCK_SIZE> block{};
    constexpr std::size_t size = EXIF_BLOCK_SIZE;
    std::size_t first = 0;
    std::uint8_t* p = block.data();
    p[0] = 0xFF;
    p[1] = 0xE1;
    p[2] = static_cast<std::uint8_t>(size >> 8);
    p[3] = static_cast<std::uint8_t>(size);
    std::memcpy(p + 4, "Exif\0\0", 6);
    std::uint8_t* tiff = p + EXIF_TIFF_OFFSET;
    tiff[0] = 'I';
    tiff[1] = 'I';
    Put16(tiff + 2, 42);
    Put32(tiff + 4, 8);
    std::size_t offset = 8;
    std::size_t ifd0NextField = 0;
    for (std::size_t directory = 0; directory < DIRECTORY_SIZES.size(); ++directory) {
        const std::size_t count = DIRECTORY_SIZES[directory];
        if (directory == IFD0_INDEX) {
            ifd0NextField = offset + 2 + ENTRY_BYTES * count;
        }
        offset = WriteDirectory(
            tiff, offset, std::span<const ExifTagRecord>(EXIF_TEMPLATE).subspan(first, count));
        if (directory == INTEROPERABILITY_INDEX) {
            Put32(tiff + ifd0NextField, static_cast<std::uint32_t>(offset));
        }
        first += count;
    }
    try {
        return std::vector<std::uint8_t>(block.begin(), block.end());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool SetExifSegmentLength(std::span<std::uint8_t> block, std::size_t length) {
    if (block.size() < 4 || length > EXIF_MAX_SEGMENT_LENGTH) {
        return false;
    }
    block[2] = static_cast<std::uint8_t>(length >> 8);
    block[3] = static_cast<std::uint8_t>(length);
    return true;
}

std::optional<ExifTagPlace> FindExifTag(std::span<const std::uint8_t> tiff, std::uint16_t tag,
                                        ByteOrder order) {
    const TiffReader reader(tiff, order);
    const auto ifd0 = reader.Get32(4);
    if (!ifd0) {
        return std::nullopt;
    }
    if (auto place = reader.SearchChain(*ifd0, tag)) {
        return place;
    }
    const auto exifDirectory = reader.PointerIn(*ifd0, TAG_EXIF_POINTER);
    if (!exifDirectory) {
        return std::nullopt;
    }
    if (auto place = reader.SearchChain(*exifDirectory, tag)) {
        return place;
    }
    const auto interoperability = reader.PointerIn(*exifDirectory, TAG_INTEROPERABILITY_POINTER);
    return interoperability ? reader.SearchChain(*interoperability, tag) : std::nullopt;
}

bool SetExifTag(Shell& shell, std::span<std::uint8_t> block, std::uint16_t tag,
                std::optional<std::string_view> text, std::uint32_t number) {
    std::optional<ExifTagPlace> place;
    ByteOrder order = ByteOrder::Little;
    if (block.size() > EXIF_TIFF_OFFSET + 8) {
        order = block[EXIF_TIFF_OFFSET] == 'M' ? ByteOrder::Big : ByteOrder::Little;
        place = FindExifTag(block.subspan(EXIF_TIFF_OFFSET), tag, order);
    }
    if (!place) {
        shell.MessageBox(TAG_NOT_FOUND_TEXT, SYSTEM_ERROR_CAPTION, MB_OK);
        return false;
    }
    std::uint8_t* value = block.data() + EXIF_TIFF_OFFSET + place->valueOffset;
    if (text) {
        // Text fills at most the tag's count and never more than its place holds (a tag of an
        // unknown type has a count but only its 4-byte field).
        const std::size_t room =
            std::max<std::size_t>(std::min<std::size_t>(place->count, place->room), 1);
        const std::size_t length = std::min(text->size(), room - 1);
        std::memcpy(value, text->data(), length);
        value[length] = 0;
    } else {
        for (int i = 0; i < 4; ++i) {
            const int shift = order == ByteOrder::Little ? 8 * i : 8 * (3 - i);
            value[i] = static_cast<std::uint8_t>(number >> shift);
        }
    }
    return true;
}

}  // namespace fotolyx
