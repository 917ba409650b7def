#include "gui/dib_image.h"

#include <cstring>

#include "imaging/dib_block.h"

namespace fotolyx::gui {

namespace {

constexpr std::size_t INFO_HEADER_SIZE = 40;
constexpr std::size_t FILE_HEADER_SIZE = 14;
constexpr std::int32_t MAX_SIDE = 32767;

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void Put32(QByteArray& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.append(static_cast<char>((value >> shift) & 0xFF));
    }
}

}  // namespace

QImage DibToImage(std::span<const std::uint8_t> dib) {
    if (dib.size() < INFO_HEADER_SIZE) {
        return {};
    }
    const std::uint32_t headerSize = Read32(dib, 0);
    const auto width = static_cast<std::int32_t>(Read32(dib, 4));
    const auto rawHeight = static_cast<std::int32_t>(Read32(dib, 8));
    const std::uint32_t bitCount = dib[14] | static_cast<std::uint32_t>(dib[15]) << 8;
    const std::uint32_t compression = Read32(dib, 16);
    if (headerSize < INFO_HEADER_SIZE || headerSize > dib.size() || bitCount != 24 ||
        compression != 0 || width <= 0 || width > MAX_SIDE || rawHeight == 0 ||
        rawHeight < -MAX_SIDE || rawHeight > MAX_SIDE) {
        return {};
    }
    const bool topDown = rawHeight < 0;
    const std::int32_t height = topDown ? -rawHeight : rawHeight;
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
    if ((dib.size() - headerSize) / stride < static_cast<std::size_t>(height)) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB888);
    for (std::int32_t row = 0; row < height; ++row) {
        const std::int32_t sourceRow = topDown ? row : height - 1 - row;
        const std::uint8_t* source = dib.data() + headerSize + stride * sourceRow;
        std::uint8_t* target = image.scanLine(row);
        for (std::int32_t x = 0; x < width; ++x) {
            target[3 * x] = source[3 * x + 2];  // the DIB holds blue, green, red
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return image;
}

QByteArray BmpFileFromDib(std::span<const std::uint8_t> dib) {
    QByteArray file;
    if (dib.size() < INFO_HEADER_SIZE) {
        return file;
    }
    const std::uint32_t headerSize = Read32(dib, 0);
    file.reserve(static_cast<qsizetype>(FILE_HEADER_SIZE + dib.size()));
    file.append("BM", 2);
    Put32(file, static_cast<std::uint32_t>(FILE_HEADER_SIZE + dib.size()));
    Put32(file, 0);
    Put32(file, static_cast<std::uint32_t>(FILE_HEADER_SIZE) + headerSize);
    file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    return file;
}

}  // namespace fotolyx::gui
