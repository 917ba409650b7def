#pragma once

#include <array>
#include <cstdint>

namespace fotolyx {

struct PaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
};

// A logical palette of 256 entries (1,032 bytes in its file form: version, count, entries).
struct LogPalette {
    std::uint16_t palVersion = 0x300;
    std::uint16_t palNumEntries = 256;
    std::array<PaletteEntry, 256> palPalEntry{};
};

}  // namespace fotolyx
