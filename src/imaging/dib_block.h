#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fotolyx {

inline constexpr std::uint32_t INFO_HEADER_SIZE = 40;  // BITMAPINFOHEADER
inline constexpr std::uint32_t CORE_HEADER_SIZE = 12;  // BITMAPCOREHEADER
inline constexpr std::uint32_t FILE_HEADER_SIZE = 14;  // BITMAPFILEHEADER
inline constexpr std::uint16_t BMP_TYPE = 0x4D42;      // "BM"
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_BITFIELDS = 3;

// A device-independent bitmap in one block: a header (40-byte info header, or transiently the
// 12-byte core header), an optional colour table and the pixel rows, bottom row first, each
// padded to a multiple of 4 bytes. The first 32-bit word (the header size) decides the layout.
class DibBlock {
  public:
    DibBlock() = default;
    explicit DibBlock(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    // A zero-filled block of the given size; none when memory runs out.
    static std::optional<DibBlock> Allocate(std::size_t size);

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::span<std::uint8_t> bytes() { return bytes_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::vector<std::uint8_t>& storage() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// Bytes per padded row.
constexpr std::size_t DibStride(std::uint32_t bitCount, std::uint32_t width) {
    return ((static_cast<std::size_t>(bitCount) * width + 31) / 32) * 4;
}

// Accessors. They read only inside the block: a field that lies past its end reads as 0.
std::uint32_t DibHeaderSize(const DibBlock& dib);
std::uint16_t DibNumColors(const DibBlock& dib);
std::uint32_t DibPaletteSize(const DibBlock& dib);
std::uint16_t DibBitCount(const DibBlock& dib);
std::uint16_t DibCompressionTag(const DibBlock& dib);
std::int32_t DibWidth(const DibBlock& dib);
std::int32_t DibHeight(const DibBlock& dib);
// Offset of the first pixel row from the start of the block.
std::size_t DibBitsOffset(const DibBlock& dib);
std::uint8_t* DibBits(DibBlock& dib);
const std::uint8_t* DibBits(const DibBlock& dib);

struct DibDimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
// Width and height of a block; both 0 when there is no block.
DibDimensions DibSize(const DibBlock* dib);

// A block with a 40-byte header (size 40, planes 1, the bit count, all else 0), a colour table
// of colourCount four-byte entries (0: the full 2^bit count table up to 8 bits, none above)
// and zeroed rows. None when the sizes overflow or memory runs out.
std::optional<DibBlock> CreateDib(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                                  std::uint32_t colourCount = 0);

// True when the block really holds the header, colour table and rows its header describes
// (positive width and height, bit count 1, 4, 8 or 24, no size overflow).
bool DibIsConsistent(const DibBlock& dib);

// Little-endian field access shared by the file routines.
std::uint16_t ReadLe16(const std::uint8_t* p);
std::uint32_t ReadLe32(const std::uint8_t* p);
void WriteLe16(std::uint8_t* p, std::uint16_t value);
void WriteLe32(std::uint8_t* p, std::uint32_t value);

}  // namespace fotolyx
