#include "imaging/dib_block.h"

#include <limits>
#include <new>
#include <stdexcept>

namespace fotolyx {

namespace {

std::uint32_t Field32(const DibBlock& dib, std::size_t offset) {
    return offset + 4 <= dib.size() ? ReadLe32(dib.data() + offset) : 0;
}

std::uint16_t Field16(const DibBlock& dib, std::size_t offset) {
    return offset + 2 <= dib.size() ? ReadLe16(dib.data() + offset) : 0;
}

bool IsInfoHeader(const DibBlock& dib) {
    return DibHeaderSize(dib) == INFO_HEADER_SIZE;
}

}  // namespace

std::uint16_t ReadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLe16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::optional<DibBlock> DibBlock::Allocate(std::size_t size) {
    try {
        return DibBlock(std::vector<std::uint8_t>(size, 0));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

std::uint32_t DibHeaderSize(const DibBlock& dib) {
    return Field32(dib, 0);
}

std::uint16_t DibBitCount(const DibBlock& dib) {
    return IsInfoHeader(dib) ? Field16(dib, 14) : Field16(dib, 10);
}

std::uint16_t DibNumColors(const DibBlock& dib) {
    if (IsInfoHeader(dib)) {
        const std::uint32_t used = Field32(dib, 32);
        if (used != 0) {
            return static_cast<std::uint16_t>(used);
        }
    }
    switch (DibBitCount(dib)) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

std::uint32_t DibPaletteSize(const DibBlock& dib) {
    return static_cast<std::uint32_t>(DibNumColors(dib)) * (IsInfoHeader(dib) ? 4u : 3u);
}

std::uint16_t DibCompressionTag(const DibBlock& dib) {
    return IsInfoHeader(dib) ? Field16(dib, 16) : static_cast<std::uint16_t>(BI_BITFIELDS);
}

std::int32_t DibWidth(const DibBlock& dib) {
    return IsInfoHeader(dib) ? static_cast<std::int32_t>(Field32(dib, 4)) : Field16(dib, 4);
}

std::int32_t DibHeight(const DibBlock& dib) {
    return IsInfoHeader(dib) ? static_cast<std::int32_t>(Field32(dib, 8)) : Field16(dib, 6);
}

std::size_t DibBitsOffset(const DibBlock& dib) {
    return static_cast<std::size_t>(DibHeaderSize(dib)) + DibPaletteSize(dib);
}

std::uint8_t* DibBits(DibBlock& dib) {
    return dib.data() + DibBitsOffset(dib);
}

const std::uint8_t* DibBits(const DibBlock& dib) {
    return dib.data() + DibBitsOffset(dib);
}

DibDimensions DibSize(const DibBlock* dib) {
    if (dib == nullptr || dib->empty()) {
        return {};
    }
    return {DibWidth(*dib), DibHeight(*dib)};
}

std::optional<DibBlock> CreateDib(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                                  std::uint32_t colourCount) {
    if (width <= 0 || height <= 0 || colourCount > 256) {
        return std::nullopt;
    }
    // Up to 8 bits a block always carries its colour table; 0 asks for the full one.
    if (colourCount == 0 && bitCount <= 8) {
        colourCount = 1u << bitCount;
    }
    const std::size_t stride = DibStride(bitCount, static_cast<std::uint32_t>(width));
    const auto rows = static_cast<std::size_t>(height);
    if (stride == 0 || rows > (std::numeric_limits<std::size_t>::max() / 2) / stride) {
        return std::nullopt;
    }
    const std::size_t size = INFO_HEADER_SIZE + 4 * colourCount + stride * rows;
    auto dib = DibBlock::Allocate(size);
    if (!dib) {
        return std::nullopt;
    }
    std::uint8_t* p = dib->data();
    WriteLe32(p, INFO_HEADER_SIZE);
    WriteLe32(p + 4, static_cast<std::uint32_t>(width));
    WriteLe32(p + 8, static_cast<std::uint32_t>(height));
    WriteLe16(p + 12, 1);
    WriteLe16(p + 14, bitCount);
    // A table shorter than the bit count's full size is named in the colours-used field.
    if (colourCount != 0 && colourCount != (bitCount <= 8 ? (1u << bitCount) : 0u)) {
        WriteLe32(p + 32, colourCount);
    }
    return dib;
}

bool DibIsConsistent(const DibBlock& dib) {
    const std::uint32_t headerSize = DibHeaderSize(dib);
    if (headerSize != INFO_HEADER_SIZE && headerSize != CORE_HEADER_SIZE) {
        return false;
    }
    if (dib.size() < headerSize) {
        return false;
    }
    const std::uint16_t bitCount = DibBitCount(dib);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) {
        return false;
    }
    const std::int32_t width = DibWidth(dib);
    const std::int32_t height = DibHeight(dib);
    if (width <= 0 || height <= 0) {
        return false;
    }
    if (bitCount <= 8 && DibNumColors(dib) > (1u << bitCount)) {
        return false;
    }
    // A colours-used value beyond 256 would be cut short by the 16-bit colour count.
    if (IsInfoHeader(dib) && Field32(dib, 32) > 256) {
        return false;
    }
    const std::size_t stride = DibStride(bitCount, static_cast<std::uint32_t>(width));
    const std::size_t offset = DibBitsOffset(dib);
    if (offset > dib.size()) {
        return false;
    }
    return static_cast<std::size_t>(height) <= (dib.size() - offset) / stride;
}

}  // namespace fotolyx
