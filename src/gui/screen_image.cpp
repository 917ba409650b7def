#include "gui/screen_image.h"

#include <array>
#include <limits>
#include <unordered_map>

namespace fotolyx::gui {

namespace {

int Nearest(const LogPalette& palette, int red, int green, int blue) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    const int count =
        std::min<int>(palette.palNumEntries, static_cast<int>(palette.palPalEntry.size()));
    for (int i = 0; i < count; ++i) {
        const PaletteEntry& entry = palette.palPalEntry[static_cast<std::size_t>(i)];
        const int dr = red - entry.peRed;
        const int dg = green - entry.peGreen;
        const int db = blue - entry.peBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace

QImage ThroughPalette(const QImage& picture, const LogPalette& palette) {
    if (picture.isNull() || palette.palNumEntries == 0) {
        return picture;
    }
    const QImage source = picture.convertToFormat(QImage::Format_RGB888);
    QImage shown(source.size(), QImage::Format_RGB888);
    std::unordered_map<std::uint32_t, int> known;
    for (int y = 0; y < source.height(); ++y) {
        const std::uint8_t* in = source.constScanLine(y);
        std::uint8_t* out = shown.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const std::uint32_t key = static_cast<std::uint32_t>(in[3 * x]) << 16 |
                                      static_cast<std::uint32_t>(in[3 * x + 1]) << 8 |
                                      in[3 * x + 2];
            auto found = known.find(key);
            if (found == known.end()) {
                found =
                    known.emplace(key, Nearest(palette, in[3 * x], in[3 * x + 1], in[3 * x + 2]))
                        .first;
            }
            const PaletteEntry& entry =
                palette.palPalEntry[static_cast<std::size_t>(found->second)];
            out[3 * x] = entry.peRed;
            out[3 * x + 1] = entry.peGreen;
            out[3 * x + 2] = entry.peBlue;
        }
    }
    return shown;
}

QImage ShownImage(const DisplayState& display, const QImage& picture) {
    if (display.TrueColourDisplay || !display.ScreenPalette) {
        return picture;
    }
    return ThroughPalette(picture, *display.ScreenPalette);
}

}  // namespace fotolyx::gui
