#include "live/live_pixels.h"

#include <cstring>

#include "imaging/rgb_picture.h"

namespace fotolyx {

namespace {

struct Colour {
    int blue = 0;
    int green = 0;
    int red = 0;
};

Colour LiveColour(int y, int u, int v) {
    return {ClampToByte(y + u), ClampToByte(y - v / 2 - u / 5), ClampToByte(y + v)};
}

void Store(std::uint8_t* pixel, const Colour& colour) {
    pixel[0] = static_cast<std::uint8_t>(colour.blue);
    pixel[1] = static_cast<std::uint8_t>(colour.green);
    pixel[2] = static_cast<std::uint8_t>(colour.red);
}

Colour Weighted(const Colour& a, int weightA, const Colour& b, int weightB) {
    return {(weightA * a.blue + weightB * b.blue) / 10,
            (weightA * a.green + weightB * b.green) / 10, (weightA * a.red + weightB * b.red) / 10};
}

// Address of row t counted from the top of a bottom-up picture.
std::uint8_t* RowFromTop(DibBlock& picture, const RgbGeometry& geometry, std::size_t t) {
    return picture.data() + geometry.bitsOffset +
           (static_cast<std::size_t>(geometry.height) - 1 - t) * geometry.stride;
}

void StoreMeanRow(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                  std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>((a[i] >> 1) + (b[i] >> 1));
    }
}

}  // namespace

LiveSample DecodeLiveSample(std::uint8_t sample) {
    const int nibble = sample & 0x0F;
    const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
    return {static_cast<std::uint8_t>(sample & 0xF0), signedNibble * 16};
}

bool DecodeLiveLine(std::span<const std::uint8_t> packet, std::uint16_t packetNumber,
                    LiveChromaStores& chroma, LiveLine& line) {
    if (packet.size() < LIVE_SAMPLES) {
        return false;
    }
    const bool even = packetNumber % 2 == 0;
    std::array<Colour, LIVE_SAMPLES> colours;
    for (std::size_t i = 0; i < LIVE_SAMPLES; ++i) {
        const LiveSample sample = DecodeLiveSample(packet[i]);
        int u;
        int v;
        if (even) {
            chroma.even[i] = static_cast<std::int8_t>(sample.chroma);
            v = sample.chroma;
            u = chroma.odd[i];
        } else {
            chroma.odd[i] = static_cast<std::int8_t>(sample.chroma);
            u = sample.chroma;
            v = chroma.even[i];
        }
        colours[i] = LiveColour(sample.y, u, v);
    }
    for (std::size_t j = 0; j < LIVE_SAMPLES / 2; ++j) {
        const Colour& p = colours[2 * j];
        const Colour& q = colours[2 * j + 1];
        // The packet has no 113th sample; the last one stands in for it.
        const Colour& n = 2 * j + 2 < LIVE_SAMPLES ? colours[2 * j + 2] : colours[LIVE_SAMPLES - 1];
        std::uint8_t* out = line.data() + 9 * j;
        Store(out, p);
        Store(out + 3, Weighted(p, 3, q, 7));
        Store(out + 6, Weighted(q, 7, n, 3));
    }
    return true;
}

bool PlaceLiveLine(DibBlock& preview, std::uint16_t packetNumber, const LiveLine& line,
                   LiveLine& previousLine) {
    const auto geometry = RgbPictureGeometry(preview, LIVE_VIEW_WIDTH, LIVE_VIEW_HEIGHT);
    if (!geometry || packetNumber >= LIVE_FRAME_PACKETS) {
        return false;
    }
    LiveLine between;
    StoreMeanRow(between.data(), line.data(), previousLine.data(), LIVE_LINE_BYTES);
    previousLine = line;

    const std::size_t shownOffset = 3 * LIVE_FIRST_SHOWN_PIXEL;
    const std::size_t shownBytes = 3 * static_cast<std::size_t>(LIVE_VIEW_WIDTH);
    const std::size_t row = 2 * static_cast<std::size_t>(packetNumber);
    if (row > 0) {
        std::memcpy(RowFromTop(preview, *geometry, row - 1), between.data() + shownOffset,
                    shownBytes);
    }
    std::memcpy(RowFromTop(preview, *geometry, row), line.data() + shownOffset, shownBytes);
    return true;
}

bool DecodePhotoPacket(std::span<const std::uint8_t> packet, PhotoPacketPixels& pixels) {
    if (packet.size() < PHOTO_GROUP_OFFSET + PHOTO_GROUPS * PHOTO_GROUP_BYTES) {
        return false;
    }
    std::uint8_t* out = pixels.data();
    for (std::size_t group = 0; group < PHOTO_GROUPS; ++group) {
        const std::uint8_t* g = packet.data() + PHOTO_GROUP_OFFSET + group * PHOTO_GROUP_BYTES;
        const int va = static_cast<std::int8_t>(g[8]);
        const int vb = static_cast<std::int8_t>(g[9]);
        const int ua = static_cast<std::int8_t>(g[10]);
        const int ub = static_cast<std::int8_t>(g[11]);
        for (std::size_t i = 0; i < 8; ++i, out += 3) {
            const int y = g[i];
            const int u = i < 4 ? ua : ub;
            const int v = i < 4 ? va : vb;
            out[0] = ClampToByte(y + 2 * u + 13 * u / 100);
            out[1] = ClampToByte(y + (-41 * u) / 100 - 86 * v / 100);
            out[2] = ClampToByte(y + v + 68 * v / 100);
        }
    }
    return true;
}

bool AddPhotoPacket(std::span<const std::uint8_t> packet, std::uint16_t packetNumber,
                    PhotoLine& line, DibBlock& photo) {
    const auto geometry = RgbPictureGeometry(photo, PHOTO_WIDTH, PHOTO_HEIGHT);
    PhotoPacketPixels pixels;
    if (!geometry || packetNumber >= PHOTO_PACKETS || !DecodePhotoPacket(packet, pixels)) {
        return false;
    }
    const std::size_t slot = packetNumber % PHOTO_PACKETS_PER_LINE;
    std::memcpy(line.data() + slot * pixels.size(), pixels.data(), pixels.size());
    if ((packetNumber + 1) % PHOTO_PACKETS_PER_LINE != 0) {
        return true;
    }
    const std::size_t k = packetNumber / PHOTO_PACKETS_PER_LINE;
    const std::size_t shownBytes = 3 * static_cast<std::size_t>(PHOTO_WIDTH);
    if (k > 0) {
        const std::uint8_t* previous = RowFromTop(photo, *geometry, 2 * k - 2);
        StoreMeanRow(RowFromTop(photo, *geometry, 2 * k - 1), previous, line.data(), shownBytes);
    }
    std::memcpy(RowFromTop(photo, *geometry, 2 * k), line.data(), shownBytes);
    return true;
}

namespace {

// Copies the photo's header into the target and widens each of its rows there. The widenings
// write the header themselves, so the target only needs the room of a 640 x 480 picture:
// whatever header it holds now (none after a fresh start) does not matter.
template <typename WidenRow>
bool WidenPhotoRows(const DibBlock& photo, DibBlock& work, WidenRow widenRow) {
    const auto source = RgbPictureGeometry(photo, PHOTO_WIDTH, PHOTO_HEIGHT);
    if (!source || source->bitsOffset != INFO_HEADER_SIZE ||
        work.size() < INFO_HEADER_SIZE + source->stride * static_cast<std::size_t>(PHOTO_HEIGHT)) {
        return false;
    }
    std::memcpy(work.data(), photo.data(), INFO_HEADER_SIZE);
    for (std::size_t row = 0; row < static_cast<std::size_t>(PHOTO_HEIGHT); ++row) {
        widenRow(photo.data() + INFO_HEADER_SIZE + row * source->stride,
                 work.data() + INFO_HEADER_SIZE + row * source->stride);
    }
    return true;
}

}  // namespace

bool ZoomWidenPhoto(const DibBlock& photo, DibBlock& work) {
    return WidenPhotoRows(photo, work, [](const std::uint8_t* in, std::uint8_t* out) {
        int fraction = 0;
        std::size_t x = 3;
        for (std::size_t column = 0; column < static_cast<std::size_t>(PHOTO_WIDTH); ++column) {
            fraction += 202;
            if (fraction > 256) {
                fraction -= 256;
                ++x;
            }
            for (std::size_t channel = 0; channel < 3; ++channel) {
                const int left = in[3 * x + channel];
                const int right = in[3 * (x + 1) + channel];
                *out++ =
                    static_cast<std::uint8_t>(((256 - fraction) * left + fraction * right) / 256);
            }
        }
    });
}

bool SaveWidenPhoto(const DibBlock& photo, DibBlock& work) {
    return WidenPhotoRows(photo, work, [](const std::uint8_t* in, std::uint8_t* out) {
        for (std::size_t group = 0; group < 128; ++group) {
            for (std::size_t channel = 0; channel < 3; ++channel) {
                const std::uint8_t* s = in + 12 * group + channel;
                const int a = s[0];
                const int b = s[3];
                const int c = s[6];
                const int d = s[9];
                const int e = s[12];
                std::uint8_t* o = out + 15 * group + channel;
                o[0] = static_cast<std::uint8_t>(a);
                o[3] = static_cast<std::uint8_t>((a + 4 * b) / 5);
                o[6] = static_cast<std::uint8_t>((2 * b + 3 * c) / 5);
                o[9] = static_cast<std::uint8_t>((3 * c + 2 * d) / 5);
                o[12] = static_cast<std::uint8_t>((4 * d + e) / 5);
            }
        }
    });
}

ShownPicture StretchPicture(const DibBlock& picture, const PictureArea& source, std::int32_t width,
                            std::int32_t height) {
    const auto geometry = RgbPictureGeometry(picture);
    if (!geometry || width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0 ||
        source.x < 0 || source.y < 0 || source.x > geometry->width - source.width ||
        source.y > geometry->height - source.height) {
        return {};
    }
    ShownPicture shown{width, height, {}};
    shown.rgb.resize(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::uint8_t* out = shown.rgb.data();
    for (std::int32_t row = 0; row < height; ++row) {
        const std::int64_t fromTop =
            source.y + static_cast<std::int64_t>(row) * source.height / height;
        const std::uint8_t* in =
            picture.data() + geometry->bitsOffset +
            static_cast<std::size_t>(geometry->height - 1 - fromTop) * geometry->stride;
        for (std::int32_t column = 0; column < width; ++column) {
            const std::int64_t x =
                source.x + static_cast<std::int64_t>(column) * source.width / width;
            const std::uint8_t* pixel = in + 3 * static_cast<std::size_t>(x);
            out[0] = pixel[2];
            out[1] = pixel[1];
            out[2] = pixel[0];
            out += 3;
        }
    }
    return shown;
}

}  // namespace fotolyx
