#include "imaging/jpeg_structure.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "imaging/bmp_file.h"
#include "imaging/exif_writer.h"
#include "ports/shell.h"

namespace fotolyx {

namespace {

using Counts = std::array<std::uint8_t, 16>;

// Code-length counts of the example tables of the JPEG standard (Annex K): DC luminance,
// DC chrominance, AC luminance, AC chrominance.
constexpr std::array<Counts, 4> STANDARD_HUFFMAN_COUNTS = {{
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
    {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D},
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
}};
constexpr std::array<std::uint8_t, 4> HUFFMAN_SLOT_IDS = {0x00, 0x01, 0x10, 0x11};

std::size_t Big16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (static_cast<std::size_t>(bytes[at]) << 8) | bytes[at + 1];
}

bool IsMarker(std::span<const std::uint8_t> bytes, std::size_t at, std::uint8_t marker) {
    return at + 1 < bytes.size() && bytes[at] == JPEG_MARKER && bytes[at + 1] == marker;
}

// End of the segment at `at` (marker, 16-bit length, contents); none when its length field
// or contents run past the data.
std::optional<std::size_t> SegmentEnd(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        return std::nullopt;
    }
    // The length counts its own two bytes: anything shorter is no segment.
    const std::size_t length = Big16(bytes, at + 2);
    const std::size_t end = at + 2 + length;
    if (length < 2 || end > bytes.size()) {
        return std::nullopt;
    }
    return end;
}

// Position of the next FF D9 pair at or after `from`.
std::optional<std::size_t> FindEndOfImage(std::span<const std::uint8_t> bytes, std::size_t from) {
    for (std::size_t i = from; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == JPEG_MARKER && bytes[i + 1] == JPEG_EOI) {
            return i;
        }
    }
    return std::nullopt;
}

// Walks a head the way the frame and Huffman readers do and calls visit(marker, position) for
// each segment with a length; stops when visit returns false, at a non-marker byte, at SOS or
// at the end of the head.
template <typename Visit>
void WalkHead(std::span<const std::uint8_t> head, Visit visit) {
    std::size_t position = 0;
    while (position + 1 < head.size() && head[position] == JPEG_MARKER) {
        const std::uint8_t marker = head[position + 1];
        if (marker == JPEG_SOI) {
            position += 2;
            continue;
        }
        if (marker == JPEG_SOS || marker == JPEG_JPG9) {
            return;
        }
        const auto end = SegmentEnd(head, position);
        if (!end || !visit(marker, position, *end)) {
            return;
        }
        position = *end;
    }
}

void ParseFrame(std::span<const std::uint8_t> head, std::size_t at, std::size_t end,
                JpegFrameInfo& info) {
    if (at + 10 > end) {
        return;
    }
    info.height = static_cast<std::uint32_t>(Big16(head, at + 5));
    info.width = static_cast<std::uint32_t>(Big16(head, at + 7));
    info.componentCount = head[at + 9];
    for (std::size_t c = 0; c < info.sampling.size() && c < info.componentCount; ++c) {
        const std::size_t component = at + 10 + 3 * c;
        if (component + 3 > end) {
            break;
        }
        info.sampling[c] = {static_cast<std::uint32_t>(head[component + 1] >> 4),
                            static_cast<std::uint32_t>(head[component + 1] & 0x0F)};
    }
}

// Contents (behind marker and length) of every `marker` segment from `from` up to the scan.
std::optional<std::vector<std::uint8_t>> CollectSegments(std::span<const std::uint8_t> jpeg,
                                                         std::size_t from, std::uint8_t marker) {
    std::vector<std::uint8_t> contents;
    std::size_t position = from;
    while (position < jpeg.size()) {
        if (IsMarker(jpeg, position, JPEG_SOS) || IsMarker(jpeg, position, JPEG_EOI)) {
            break;
        }
        if (IsMarker(jpeg, position, JPEG_SOI)) {
            position += 2;
            continue;
        }
        const auto end = SegmentEnd(jpeg, position);
        if (!end) {
            return std::nullopt;
        }
        if (IsMarker(jpeg, position, marker)) {
            contents.insert(contents.end(),
                            jpeg.begin() + static_cast<std::ptrdiff_t>(position + 4),
                            jpeg.begin() + static_cast<std::ptrdiff_t>(*end));
        }
        position = *end;
    }
    return contents;
}

void Append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadJpegHead(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> head;
    std::uint8_t bytes[4] = {};
    if (std::fread(bytes, 1, 2, file) == 2 && !(bytes[0] == 'B' && bytes[1] == 'M') &&
        (bytes[0] == JPEG_MARKER || bytes[1] == JPEG_SOI)) {
        long offset = 2;
        bool found = false;
        while (std::fseek(file, offset, SEEK_SET) == 0 && std::fread(bytes, 1, 4, file) == 4) {
            if (bytes[0] == JPEG_MARKER && bytes[1] == JPEG_SOS) {
                offset += 4;
                found = true;
                break;
            }
            offset += 2 + ((bytes[2] << 8) | bytes[3]);
        }
        if (found) {
            try {
                std::vector<std::uint8_t> block(static_cast<std::size_t>(offset));
                if (std::fseek(file, 0, SEEK_SET) == 0 &&
                    std::fread(block.data(), 1, block.size(), file) == block.size()) {
                    head = std::move(block);
                }
            } catch (const std::bad_alloc&) {
                head.reset();
            }
        }
    }
    std::fclose(file);
    return head;
}

int ReadJpegFrameInfo(Shell& shell, const std::filesystem::path& path, JpegFrameInfo& info) {
    info = JpegFrameInfo{};
    const auto head = ReadJpegHead(path);
    if (!head) {
        shell.MessageBox(NOT_A_JPEG_TEXT, SYSTEM_ERROR_CAPTION, MB_OK);
        return 0;
    }
    WalkHead(*head, [&](std::uint8_t marker, std::size_t at, std::size_t end) {
        if (marker == JPEG_SOF0) {
            ParseFrame(*head, at, end, info);
        }
        return true;
    });
    return 1;
}

int HasStandardHuffmanTables(Shell& shell, const std::filesystem::path& path) {
    const auto head = ReadJpegHead(path);
    if (!head) {
        shell.MessageBox(NOT_A_JPEG_TEXT, SYSTEM_ERROR_CAPTION, MB_OK);
        return 0;
    }
    std::array<std::optional<Counts>, 4> slots{};
    bool valid = true;
    WalkHead(*head, [&](std::uint8_t marker, std::size_t at, std::size_t end) {
        if (marker != JPEG_DHT) {
            return true;
        }
        std::size_t table = at + 4;
        while (valid && table < end) {
            const auto slot =
                std::find(HUFFMAN_SLOT_IDS.begin(), HUFFMAN_SLOT_IDS.end(), (*head)[table]);
            if (slot == HUFFMAN_SLOT_IDS.end() || table + 17 > end) {
                valid = false;
                break;
            }
            Counts counts{};
            std::size_t symbols = 0;
            for (std::size_t i = 0; i < counts.size(); ++i) {
                counts[i] = (*head)[table + 1 + i];
                symbols += counts[i];
            }
            slots[static_cast<std::size_t>(slot - HUFFMAN_SLOT_IDS.begin())] = counts;
            table += 17 + symbols;
        }
        return false;
    });
    if (!valid) {
        return 0;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i] || *slots[i] != STANDARD_HUFFMAN_COUNTS[i]) {
            return 0;
        }
    }
    return 1;
}

std::optional<std::vector<std::uint8_t>> CompactJpeg(std::span<const std::uint8_t> jpeg) {
    std::vector<std::uint8_t> out;
    try {
        out.reserve(jpeg.size());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    bool quantisationWritten = false;
    bool huffmanWritten = false;
    std::size_t position = 0;
    while (position < jpeg.size()) {
        const bool atMarker = position + 1 < jpeg.size() && jpeg[position] == JPEG_MARKER;
        const std::uint8_t marker = atMarker ? jpeg[position + 1] : 0;
        if (atMarker && marker == JPEG_SOI) {
            Append(out, jpeg.subspan(position, 2));
            position += 2;
            continue;
        }
        if (atMarker && marker == JPEG_EOI) {
            Append(out, jpeg.subspan(position, 2));
            return out;
        }
        if (atMarker && marker == JPEG_SOS) {
            const auto end = FindEndOfImage(jpeg, position + 2);
            if (!end) {
                return std::nullopt;
            }
            Append(out, jpeg.subspan(position, *end + 2 - position));
            return out;
        }
        const auto end = SegmentEnd(jpeg, position);
        if (!end) {
            return std::nullopt;
        }
        const bool tables = atMarker && (marker == JPEG_DQT || marker == JPEG_DHT);
        const bool dropped =
            atMarker && ((marker >= JPEG_APP0 && marker <= JPEG_APP15) || marker == JPEG_COM);
        if (tables) {
            bool& written = marker == JPEG_DQT ? quantisationWritten : huffmanWritten;
            if (!written) {
                const auto contents = CollectSegments(jpeg, position, marker);
                if (!contents || contents->size() + 2 > 0xFFFF) {
                    return std::nullopt;
                }
                const std::size_t length = contents->size() + 2;
                out.insert(out.end(), {JPEG_MARKER, marker, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length)});
                Append(out, *contents);
                written = true;
            }
        } else if (!dropped) {
            Append(out, jpeg.subspan(position, *end - position));
        }
        position = *end;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> ReadAndCompactJpeg(const std::filesystem::path& path) {
    const WholeFileResult file = ReadWholeFile(path);
    if (!file) {
        return std::nullopt;
    }
    return CompactJpeg(*file.bytes);
}

std::size_t JpegDataLength(std::span<const std::uint8_t> jpeg) {
    std::size_t position = 0;
    while (position + 1 < jpeg.size() && jpeg[position] == JPEG_MARKER) {
        const std::uint8_t marker = jpeg[position + 1];
        if (marker == JPEG_SOI) {
            position += 2;
            continue;
        }
        if (marker == JPEG_EOI) {
            return position + 2;
        }
        if (marker == JPEG_SOS) {
            break;
        }
        const auto end = SegmentEnd(jpeg, position);
        if (!end) {
            break;
        }
        position = *end;
    }
    const auto end = FindEndOfImage(jpeg, position);
    return end ? *end + 2 : jpeg.size();
}

bool IsWholeJpeg(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != JPEG_MARKER || jpeg[1] != JPEG_SOI) {
        return false;
    }
    const std::size_t length = JpegDataLength(jpeg);
    return length >= 4 && jpeg[length - 2] == JPEG_MARKER && jpeg[length - 1] == JPEG_EOI;
}

}  // namespace fotolyx
