#include "windows/open_preview.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "link/link_setup.h"
#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {

namespace {

constexpr std::array<std::uint32_t, 6> INFO_HEADER_SIZES = {40, 52, 56, 64, 108, 124};
constexpr std::uint8_t JPEG_FIRST = 0xFF;
constexpr std::uint8_t JPEG_SECOND = 0xD8;

// The first bytes of a file; fewer when it is shorter or cannot be read.
std::vector<std::uint8_t> ReadStart(const std::filesystem::path& path, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return bytes;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

}  // namespace

std::optional<PreviewFit> FitPreview(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    PreviewFit fit;
    if (width < height) {
        fit.height = PREVIEW_AREA_SIZE;
        fit.width = static_cast<int>(width * PREVIEW_AREA_SIZE / height);
        fit.left = PREVIEW_AREA_LEFT + (PREVIEW_AREA_SIZE - fit.width) / 2;
        fit.top = PREVIEW_AREA_TOP;
    } else {
        fit.width = PREVIEW_AREA_SIZE;
        fit.height = static_cast<int>(height * PREVIEW_AREA_SIZE / width);
        fit.left = PREVIEW_AREA_LEFT;
        fit.top = PREVIEW_AREA_TOP + (PREVIEW_AREA_SIZE - fit.height) / 2;
    }
    return fit;
}

std::size_t PreviewPixelOffset(const std::vector<std::uint8_t>& block,
                               std::uint32_t fileHeaderOffset) {
    if (block.size() < INFO_HEADER_SIZE || fileHeaderOffset < FILE_HEADER_SIZE) {
        return 0;
    }
    const std::uint8_t* h = block.data();
    const std::uint32_t headerSize = ReadLe32(h);
    const auto width = static_cast<std::int32_t>(ReadLe32(h + 4));
    const auto height = static_cast<std::int32_t>(ReadLe32(h + 8));
    const std::uint16_t bitCount = ReadLe16(h + 14);
    const std::uint32_t compression = ReadLe32(h + 16);
    const std::uint32_t coloursUsed = ReadLe32(h + 32);
    if (std::find(INFO_HEADER_SIZES.begin(), INFO_HEADER_SIZES.end(), headerSize) ==
            INFO_HEADER_SIZES.end() ||
        (bitCount != 24 && bitCount != 8) || compression != BI_RGB || width <= 0 || height <= 0 ||
        (bitCount == 8 && coloursUsed > 256)) {
        return 0;
    }
    const std::uint64_t tableEnd =
        headerSize + (bitCount == 8 ? 4ULL * (coloursUsed == 0 ? 256 : coloursUsed) : 0);
    const std::uint64_t pixelOffset = fileHeaderOffset - FILE_HEADER_SIZE;
    if (pixelOffset < tableEnd || tableEnd > block.size() || pixelOffset > block.size()) {
        return 0;
    }
    return static_cast<std::size_t>(pixelOffset);
}

std::optional<DibBlock> SamplePreview(const std::vector<std::uint8_t>& block,
                                      std::size_t pixelOffset, const PreviewFit& place) {
    if (pixelOffset == 0 || place.width <= 0 || place.height <= 0) {
        return std::nullopt;
    }
    const std::uint8_t* h = block.data();
    const std::uint32_t headerSize = ReadLe32(h);
    const std::int64_t width = static_cast<std::int32_t>(ReadLe32(h + 4));
    const std::int64_t height = static_cast<std::int32_t>(ReadLe32(h + 8));
    const std::uint16_t bitCount = ReadLe16(h + 14);
    const std::uint32_t coloursUsed = ReadLe32(h + 32);
    const std::uint32_t entries = bitCount == 8 ? (coloursUsed == 0 ? 256 : coloursUsed) : 0;
    const std::uint64_t stride =
        DibStride(bitCount, static_cast<std::uint32_t>(std::min<std::int64_t>(width, 1 << 30)));
    std::optional<DibBlock> out = CreateDib(place.width, place.height, 24);
    if (!out) {
        return std::nullopt;
    }
    const std::size_t outStride = DibStride(24, static_cast<std::uint32_t>(place.width));
    std::uint8_t* outRows = DibBits(*out);
    for (int y = 0; y < place.height; ++y) {
        const auto sourceRow = static_cast<std::uint64_t>(y * height / place.height);
        for (int x = 0; x < place.width; ++x) {
            const auto sourceColumn = static_cast<std::uint64_t>(x * width / place.width);
            std::uint8_t* pixel = outRows + static_cast<std::size_t>(y) * outStride + 3 * x;
            // Rows are at most 2^30 pixels and counted in 64 bits: no product overflows.
            const std::uint64_t at =
                pixelOffset + sourceRow * stride + sourceColumn * (bitCount / 8);
            if (bitCount == 24) {
                if (at + 3 <= block.size()) {
                    std::memcpy(pixel, block.data() + at, 3);
                }
            } else if (at < block.size() && block[at] < entries) {
                std::memcpy(pixel, block.data() + headerSize + 4 * block[at], 3);
            }
        }
    }
    return out;
}

OpenPreview::OpenPreview(OpenDialogState& state, OpenPreviewPorts ports)
    : state_(state), ports_(std::move(ports)) {}

bool OpenPreview::InitDialog() {
    state_.previewWidth = 1;
    state_.previewHeight = 1;
    state_.LastPreviewPath.clear();
    return ports_.previewEnabled;
}

bool OpenPreview::SelectionChanged(const std::string& path) {
    if (!ports_.previewEnabled || !Exists(path)) {
        return false;
    }
    if (path != state_.LastPreviewPath && !LoadPreview(path)) {
        return false;
    }
    state_.LastPreviewPath = path;
    return true;
}

bool OpenPreview::PreviewClicked(bool checked, const std::string& path) {
    if (!checked) {
        ports_.previewEnabled = false;
        widthText_.clear();
        heightText_.clear();
        state_.LastPreviewPath.clear();
        return true;
    }
    ports_.previewEnabled = true;
    state_.LastPreviewPath.clear();
    if (!Exists(path) || !LoadPreview(path)) {
        return false;
    }
    state_.LastPreviewPath = path;
    return true;
}

bool OpenPreview::LoadPreview(const std::string& path) {
    const std::vector<std::uint8_t> start = ReadStart(path, 2);
    std::filesystem::path bitmap = path;
    if (start.size() == 2 && start[0] == 'B' && start[1] == 'M') {
        // a bitmap, read as it is
    } else if (start.size() == 2 && start[0] == JPEG_FIRST && start[1] == JPEG_SECOND) {
        // A failed decode leaves the scratch file empty, which is refused below.
        DecompressJpegToBmp(ports_.jpeg, path, ports_.scratchFileA, 0);
        bitmap = ports_.scratchFileA;
    } else {
        return false;
    }
    std::ifstream file(bitmap, std::ios::binary);
    std::array<std::uint8_t, FILE_HEADER_SIZE> fileHeader{};
    file.read(reinterpret_cast<char*>(fileHeader.data()), FILE_HEADER_SIZE);
    if (!file || ReadLe16(fileHeader.data()) != BMP_TYPE) {
        ports_.shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(bitmap, error);
    state_.PreviewPicture.reset();
    state_.previewPixelOffset = 0;
    std::optional<std::vector<std::uint8_t>> block;
    if (!error && size >= FILE_HEADER_SIZE && size <= PREVIEW_FILE_LIMIT) {
        block = ports_.memory.AllocateZeroed(static_cast<std::size_t>(size) + INFO_HEADER_SIZE);
    }
    if (!block) {
        ports_.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY,
                                MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // The info header and everything after it: block byte i is file byte 14 + i.
    file.read(reinterpret_cast<char*>(block->data()),
              static_cast<std::streamsize>(size - FILE_HEADER_SIZE));
    block->resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    std::array<std::uint8_t, INFO_HEADER_SIZE> header{};
    std::copy_n(block->begin(), std::min<std::size_t>(block->size(), INFO_HEADER_SIZE),
                header.begin());
    state_.previewWidth = static_cast<std::int32_t>(ReadLe32(header.data() + 4));
    state_.previewHeight = static_cast<std::int32_t>(ReadLe32(header.data() + 8));
    widthText_ = std::to_string(state_.previewWidth);
    heightText_ = std::to_string(state_.previewHeight);
    state_.previewPixelOffset = PreviewPixelOffset(*block, ReadLe32(fileHeader.data() + 10));
    state_.PreviewPicture = std::move(block);
    return true;
}

std::optional<PreviewPaint> OpenPreview::Paint() {
    if (!ports_.previewEnabled || state_.LastPreviewPath.empty() || !state_.PreviewPicture) {
        return std::nullopt;
    }
    const std::optional<PreviewFit> place = FitPreview(state_.previewWidth, state_.previewHeight);
    if (!place) {
        return std::nullopt;
    }
    std::optional<DibBlock> picture =
        SamplePreview(*state_.PreviewPicture, state_.previewPixelOffset, *place);
    if (!picture) {
        return std::nullopt;
    }
    if (!ports_.trueColourDisplay && ports_.displayPalette) {
        ports_.screenPalette = ports_.displayPalette;
    }
    return PreviewPaint{*place, std::move(*picture)};
}

}  // namespace fotolyx
