#include "imaging/colour_reduction.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "ports/messages.h"

namespace fotolyx {

namespace {

constexpr std::size_t KEY_COUNT = 8192;
constexpr std::size_t CELL_COUNT = 64;
constexpr std::size_t PALETTE_SIZE = 256;
constexpr std::uint16_t SATURATED = 0xFFFF;
constexpr std::uint16_t NO_ENTRY = 0xFFFF;
constexpr std::size_t REDUCED_HEADER_BYTES = INFO_HEADER_SIZE + 4 * PALETTE_SIZE;

// 16-bit entries kept in a block of bytes from the Memory port.
class Table16 {
  public:
    explicit Table16(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint16_t operator[](std::size_t i) const {
        std::uint16_t value;
        std::memcpy(&value, bytes_.data() + 2 * i, 2);
        return value;
    }
    void Set(std::size_t i, std::uint16_t value) { std::memcpy(bytes_.data() + 2 * i, &value, 2); }

  private:
    std::vector<std::uint8_t> bytes_;
};

std::uint32_t KeyOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return ((blue >> 4u) << 9u) | ((green >> 3u) << 4u) | (red >> 4u);
}
std::uint32_t BlueBits(std::uint32_t key) {
    return key >> 9u;
}
std::uint32_t GreenBits(std::uint32_t key) {
    return (key >> 4u) & 31u;
}
std::uint32_t RedBits(std::uint32_t key) {
    return key & 15u;
}
std::uint32_t CellOf(std::uint32_t key) {
    return ((BlueBits(key) >> 2u) << 4u) | ((GreenBits(key) >> 3u) << 2u) | (RedBits(key) >> 2u);
}

bool IsTrueColourPicture(const DibBlock& picture) {
    return DibHeaderSize(picture) == INFO_HEADER_SIZE && DibBitCount(picture) == 24 &&
           DibIsConsistent(picture);
}

// The working tables. After ChoosePalette the key list starts with the palette keys and the
// histogram holds each occurring key's palette index.
struct Popularity {
    Table16 histogram;
    Table16 keys;
    Table16 cells;
    std::size_t keyCount = 0;
    std::size_t paletteCount = 0;
};

std::optional<Popularity> AllocateWork(Shell& shell, Memory& memory) {
    auto histogram = memory.AllocateZeroed(KEY_COUNT * 2);
    auto keys = histogram ? memory.AllocateZeroed(KEY_COUNT * 2) : std::nullopt;
    auto cells = keys ? memory.AllocateZeroed(CELL_COUNT * 2) : std::nullopt;
    if (!cells) {
        shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_OK | MB_ICONEXCLAMATION);
        return std::nullopt;
    }
    return Popularity{Table16(std::move(*histogram)), Table16(std::move(*keys)),
                      Table16(std::move(*cells))};
}

void CountKeys(Popularity& work, const DibBlock& picture) {
    const auto width = static_cast<std::size_t>(DibWidth(picture));
    const auto height = static_cast<std::size_t>(DibHeight(picture));
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
    const std::uint8_t* row = DibBits(picture);
    for (std::size_t y = 0; y < height; ++y, row += stride) {
        const std::uint8_t* pixel = row;
        for (std::size_t x = 0; x < width; ++x, pixel += 3) {
            const std::uint32_t key = KeyOf(pixel[0], pixel[1], pixel[2]);
            const std::uint16_t count = work.histogram[key];
            if (count != SATURATED) {
                work.histogram.Set(key, static_cast<std::uint16_t>(count + 1));
            }
        }
    }
}

// The most frequent key of every occupied coarse cell gets the top count, so it is chosen.
void BoostCoverage(Popularity& work) {
    for (std::size_t c = 0; c < CELL_COUNT; ++c) {
        work.cells.Set(c, NO_ENTRY);
    }
    for (std::size_t i = 0; i < work.keyCount; ++i) {
        const std::uint32_t key = work.keys[i];
        const std::uint32_t cell = CellOf(key);
        const std::uint16_t entry = work.cells[cell];
        if (entry == NO_ENTRY || work.histogram[work.keys[entry]] < work.histogram[key]) {
            work.cells.Set(cell, static_cast<std::uint16_t>(i));
        }
    }
    for (std::size_t c = 0; c < CELL_COUNT; ++c) {
        const std::uint16_t entry = work.cells[c];
        if (entry != NO_ENTRY) {
            work.histogram.Set(work.keys[entry], SATURATED);
        }
    }
}

void SwapKeys(Table16& keys, std::size_t i, std::size_t j) {
    const std::uint16_t held = keys[i];
    keys.Set(i, keys[j]);
    keys.Set(j, held);
}

// The palette keys move to the front, most frequent first; the later keys are left in the
// order the exchanges leave them, which decides the nearest-colour ties.
void SelectPaletteKeys(Popularity& work) {
    for (std::size_t i = 0; i < work.paletteCount; ++i) {
        std::uint16_t largest = work.histogram[work.keys[i]];
        for (std::size_t j = i + 1; j < work.keyCount; ++j) {
            const std::uint16_t count = work.histogram[work.keys[j]];
            if (count > largest) {
                largest = count;
                SwapKeys(work.keys, i, j);
            }
        }
    }
}

void AssignIndices(Popularity& work) {
    std::array<int, PALETTE_SIZE> blue{};
    std::array<int, PALETTE_SIZE> green{};
    std::array<int, PALETTE_SIZE> red{};
    for (std::size_t p = 0; p < work.paletteCount; ++p) {
        const std::uint32_t key = work.keys[p];
        blue[p] = static_cast<int>(BlueBits(key));
        green[p] = static_cast<int>(GreenBits(key));
        red[p] = static_cast<int>(RedBits(key));
        work.histogram.Set(key, static_cast<std::uint16_t>(p));
    }
    for (std::size_t i = work.paletteCount; i < work.keyCount; ++i) {
        const std::uint32_t key = work.keys[i];
        const int b = static_cast<int>(BlueBits(key));
        const int g = static_cast<int>(GreenBits(key));
        const int r = static_cast<int>(RedBits(key));
        int nearest = 0;
        int smallest = 1 << 30;
        for (std::size_t p = 0; p < work.paletteCount; ++p) {
            const int d = (blue[p] - b) * (blue[p] - b) + (green[p] - g) * (green[p] - g) +
                          (red[p] - r) * (red[p] - r);
            if (d < smallest) {
                smallest = d;
                nearest = static_cast<int>(p);
            }
        }
        work.histogram.Set(key, static_cast<std::uint16_t>(nearest));
    }
}

std::optional<Popularity> ChoosePalette(Shell& shell, Memory& memory, const DibBlock& picture) {
    auto work = AllocateWork(shell, memory);
    if (!work) {
        return std::nullopt;
    }
    CountKeys(*work, picture);
    for (std::uint32_t key = 0; key < KEY_COUNT; ++key) {
        if (work->histogram[key] != 0) {
            work->keys.Set(work->keyCount++, static_cast<std::uint16_t>(key));
        }
    }
    work->paletteCount = std::min(work->keyCount, PALETTE_SIZE);
    BoostCoverage(*work);
    SelectPaletteKeys(*work);
    AssignIndices(*work);
    return work;
}

struct Colour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

Colour ColourOf(std::uint32_t key) {
    return {static_cast<std::uint8_t>(RedBits(key) << 4u),
            static_cast<std::uint8_t>(GreenBits(key) << 3u),
            static_cast<std::uint8_t>(BlueBits(key) << 4u)};
}

}  // namespace

int BuildPopularityPalette(Shell& shell, Memory& memory, const DibBlock& picture,
                           LogPalette& palette) {
    if (!IsTrueColourPicture(picture)) {
        return 0;
    }
    const auto work = ChoosePalette(shell, memory, picture);
    if (!work) {
        return 0;
    }
    for (std::size_t p = 0; p < work->paletteCount; ++p) {
        const Colour colour = ColourOf(work->keys[p]);
        palette.palPalEntry[p] = {colour.red, colour.green, colour.blue, 0};
    }
    return 1;
}

int BuildPopularityPalette(Shell& shell, const DibBlock& picture, LogPalette& palette) {
    Memory memory;
    return BuildPopularityPalette(shell, memory, picture, palette);
}

std::size_t ReducedDibSize(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return REDUCED_HEADER_BYTES +
           DibStride(8, static_cast<std::uint32_t>(width)) * static_cast<std::size_t>(height);
}

int ReduceTo256Colours(Shell& shell, Memory& memory, const DibBlock& picture,
                       std::span<std::uint8_t> output) {
    if (!IsTrueColourPicture(picture)) {
        return 0;
    }
    const std::int32_t width = DibWidth(picture);
    const std::int32_t height = DibHeight(picture);
    if (output.size() < ReducedDibSize(width, height)) {
        return 0;
    }
    const auto work = ChoosePalette(shell, memory, picture);
    if (!work) {
        return 0;
    }

    std::uint8_t* out = output.data();
    std::memset(out, 0, INFO_HEADER_SIZE);
    WriteLe32(out, INFO_HEADER_SIZE);
    WriteLe32(out + 4, static_cast<std::uint32_t>(width));
    WriteLe32(out + 8, static_cast<std::uint32_t>(height));
    WriteLe16(out + 12, 1);
    WriteLe16(out + 14, 8);
    for (std::size_t p = 0; p < work->paletteCount; ++p) {
        const Colour colour = ColourOf(work->keys[p]);
        std::uint8_t* entry = out + INFO_HEADER_SIZE + 4 * p;
        entry[0] = colour.blue;
        entry[1] = colour.green;
        entry[2] = colour.red;
        entry[3] = 0;
    }

    // One byte per key, so the pixel loop is a single lookup.
    std::array<std::uint8_t, KEY_COUNT> indexOfKey;
    for (std::size_t key = 0; key < KEY_COUNT; ++key) {
        indexOfKey[key] = static_cast<std::uint8_t>(work->histogram[key]);
    }
    const auto columns = static_cast<std::size_t>(width);
    const std::size_t sourceStride = DibStride(24, static_cast<std::uint32_t>(width));
    const std::size_t indexStride = DibStride(8, static_cast<std::uint32_t>(width));
    const std::uint8_t* source = DibBits(picture);
    std::uint8_t* indices = out + REDUCED_HEADER_BYTES;
    for (std::int32_t y = 0; y < height; ++y, source += sourceStride, indices += indexStride) {
        const std::uint8_t* pixel = source;
        for (std::size_t x = 0; x < columns; ++x, pixel += 3) {
            indices[x] = indexOfKey[KeyOf(pixel[0], pixel[1], pixel[2])];
        }
        std::memset(indices + columns, 0, indexStride - columns);
    }
    return 1;
}

int ReduceTo256Colours(Shell& shell, const DibBlock& picture, std::span<std::uint8_t> output) {
    Memory memory;
    return ReduceTo256Colours(shell, memory, picture, output);
}

}  // namespace fotolyx
