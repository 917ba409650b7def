#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/processes.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {

using Bytes = std::vector<std::uint8_t>;

// A BMP file, rows from the bottom, with a 12-byte core or a 40-byte or longer info header.
inline Bytes MakeBmpFile(
    std::int32_t width, std::int32_t height, int bitCount,
    const std::function<Bgr(std::int32_t, std::int32_t)>& colour,
    const std::function<std::uint8_t(std::int32_t, std::int32_t)>& index = nullptr,
    const std::vector<Bgr>& table = {}, std::uint32_t headerSize = 40, std::uint32_t gap = 0) {
    const bool core = headerSize == 12;
    const std::size_t entrySize = core ? 3 : 4;
    const std::size_t tableBytes = bitCount == 8 ? table.size() * entrySize : 0;
    const std::size_t stride =
        DibStride(static_cast<std::uint32_t>(bitCount), static_cast<std::uint32_t>(width));
    const std::size_t pixelOffset = 14 + headerSize + tableBytes + gap;
    Bytes bytes(pixelOffset + stride * static_cast<std::size_t>(height), 0);
    std::uint8_t* p = bytes.data();
    const auto put = [](std::uint8_t* at, Bgr c) { std::memcpy(at, &c, 3); };  // blue, green, red
    WriteLe16(p, 0x4D42);                                                      // "BM"
    WriteLe32(p + 2, static_cast<std::uint32_t>(bytes.size()));
    WriteLe32(p + 10, static_cast<std::uint32_t>(pixelOffset));
    WriteLe32(p + 14, headerSize);
    if (core) {
        WriteLe16(p + 18, static_cast<std::uint16_t>(width));
        WriteLe16(p + 20, static_cast<std::uint16_t>(height));
    } else {
        WriteLe32(p + 18, static_cast<std::uint32_t>(width));
        WriteLe32(p + 22, static_cast<std::uint32_t>(height));
        WriteLe32(p + 46, bitCount == 8 ? static_cast<std::uint32_t>(table.size()) : 0);
    }
    WriteLe16(p + (core ? 22 : 26), 1);
    WriteLe16(p + (core ? 24 : 28), static_cast<std::uint16_t>(bitCount));
    for (std::size_t i = 0; bitCount == 8 && i < table.size(); ++i) {
        put(p + 14 + headerSize + i * entrySize, table[i]);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = p + pixelOffset + stride * static_cast<std::size_t>(y);
        for (std::int32_t x = 0; x < width; ++x) {
            if (bitCount == 8) {
                row[x] = index(x, y);
            } else {
                put(row + 3 * static_cast<std::size_t>(x), colour(x, y));
            }
        }
    }
    return bytes;
}

// A smooth picture that compresses like a photograph.
inline Bgr SmoothColour(std::int32_t x, std::int32_t y) {
    return {static_cast<std::uint8_t>((x * 255) / 640), static_cast<std::uint8_t>((y * 255) / 480),
            static_cast<std::uint8_t>(((x + y) * 3) & 0xFF)};
}

inline DibBlock MakePicture(std::int32_t width, std::int32_t height,
                            const std::function<Bgr(int, int)>& colour = SmoothColour) {
    return MakeRgbPicture(width, height, colour);
}

// Peer tools are required when FOTOLYX_REQUIRE_PEERS is set, else a missing one skips.
inline bool PeersRequired() {
    return std::getenv("FOTOLYX_REQUIRE_PEERS") != nullptr;
}

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

}  // namespace fotolyx::testing
