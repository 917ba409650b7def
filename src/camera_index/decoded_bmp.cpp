#include "camera_index/decoded_bmp.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

#include "camera_index/picture_index.h"
#include "imaging/dib_block.h"

namespace fotolyx {

std::size_t Rgb24DibBytes(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || width > 65'535 || height > 65'535) {
        return 0;
    }
    return INFO_HEADER_SIZE +
           DibStride(24, static_cast<std::uint32_t>(width)) * static_cast<std::size_t>(height);
}

DecodedBmpResult ReadDecodedBmp(const std::filesystem::path& path, std::int32_t width,
                                std::int32_t height, std::span<std::uint8_t> dest) {
    std::ifstream in(path, std::ios::binary);
    std::array<std::uint8_t, FILE_HEADER_SIZE + INFO_HEADER_SIZE> head{};
    in.read(reinterpret_cast<char*>(head.data()), FILE_HEADER_SIZE);
    if (!in || ReadLe16(head.data()) != BMP_TYPE) {
        return DecodedBmpResult::WrongType;
    }
    in.read(reinterpret_cast<char*>(head.data() + FILE_HEADER_SIZE), INFO_HEADER_SIZE);
    if (!in) {
        return DecodedBmpResult::WrongType;
    }
    const std::uint8_t* info = head.data() + FILE_HEADER_SIZE;
    const auto fileWidth = static_cast<std::int32_t>(ReadLe32(info + 4));
    const auto fileHeight = static_cast<std::int32_t>(ReadLe32(info + 8));
    if (fileWidth != width || fileHeight != height) {
        return DecodedBmpResult::WrongSize;
    }
    const std::uint16_t bitCount = ReadLe16(info + 14);
    const std::uint32_t headerSize = ReadLe32(info);
    if ((bitCount != 24 && bitCount != 8) || headerSize < INFO_HEADER_SIZE ||
        ReadLe32(info + 16) != BI_RGB) {
        return DecodedBmpResult::WrongType;
    }
    const std::size_t needed = Rgb24DibBytes(width, height);
    if (needed == 0 || needed > dest.size()) {
        return DecodedBmpResult::DoesNotFit;
    }
    // An 8-bit file's colour table follows its header.
    std::array<std::uint8_t, 1024> table{};
    if (bitCount == 8) {
        std::uint32_t colours = ReadLe32(info + 32);
        if (colours == 0 || colours > 256) {
            colours = 256;
        }
        in.seekg(FILE_HEADER_SIZE + headerSize);
        in.read(reinterpret_cast<char*>(table.data()), colours * 4);
        if (!in) {
            return DecodedBmpResult::WrongType;
        }
    }
    const std::uint32_t pixelOffset = ReadLe32(head.data() + 10);
    in.seekg(pixelOffset);
    const std::size_t fileStride = DibStride(bitCount, static_cast<std::uint32_t>(width));
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
    std::vector<std::uint8_t> row(fileStride);
    WriteLe32(dest.data(), INFO_HEADER_SIZE);
    std::fill_n(dest.data() + 4, INFO_HEADER_SIZE - 4, 0);
    WriteLe32(dest.data() + 4, static_cast<std::uint32_t>(width));
    WriteLe32(dest.data() + 8, static_cast<std::uint32_t>(height));
    WriteLe16(dest.data() + 12, 1);
    WriteLe16(dest.data() + 14, 24);
    std::uint8_t* out = dest.data() + INFO_HEADER_SIZE;
    for (std::int32_t y = 0; y < height; ++y, out += stride) {
        in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(fileStride));
        if (!in) {
            return DecodedBmpResult::WrongType;
        }
        if (bitCount == 24) {
            std::copy_n(row.data(), 3 * static_cast<std::size_t>(width), out);
        } else {
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint8_t* colour = table.data() + 4 * row[x];
                out[3 * x] = colour[0];
                out[3 * x + 1] = colour[1];
                out[3 * x + 2] = colour[2];
            }
        }
        std::fill(out + 3 * static_cast<std::size_t>(width), out + stride, 0);
    }
    return DecodedBmpResult::Ok;
}

}  // namespace fotolyx
