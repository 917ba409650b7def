#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <span>

namespace fotolyx::gui {

// The picture of a packed 24-bit DIB (40-byte header, then the rows, bottom-up unless the
// height is negative) as an image; a null image when the header does not describe a 24-bit
// picture whose rows all lie inside the bytes.
QImage DibToImage(std::span<const std::uint8_t> dib);

// A BMP file holding a packed DIB: the 14-byte file header in front of it.
QByteArray BmpFileFromDib(std::span<const std::uint8_t> dib);

}  // namespace fotolyx::gui
