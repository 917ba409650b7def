#include "windows/live_pixels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Grey;
using testing::PixelFromTop;

DibBlock FilledPicture(std::int32_t width, std::int32_t height) {
    auto dib = CreateDib(width, height, 24);
    std::fill(dib->storage().begin() + 40, dib->storage().end(), 0x80);
    return std::move(*dib);
}

std::array<std::uint8_t, 116> Packet(std::uint8_t fill) {
    std::array<std::uint8_t, 116> packet;
    packet.fill(fill);
    return packet;
}

Bgr LinePixel(const LiveLine& line, std::size_t index) {
    return {line[3 * index], line[3 * index + 1], line[3 * index + 2]};
}

TEST(LiveSamples, HighNibbleIsLuminanceLowNibbleSignedChroma) {
    const struct {
        std::uint8_t sample;
        int y;
        int chroma;
    } cases[] = {{0x87, 0x80, 112}, {0x88, 0x80, -128}, {0x7F, 0x70, -16},
                 {0x00, 0x00, 0},   {0xF8, 0xF0, -128}, {0x01, 0x00, 16}};
    for (const auto& c : cases) {
        const LiveSample sample = DecodeLiveSample(c.sample);
        EXPECT_EQ(sample.y, c.y) << +c.sample;
        EXPECT_EQ(sample.chroma, c.chroma) << +c.sample;
    }
}

TEST(LiveSamples, EvenPacketsCarryVOddPacketsUAndEachKeepsTheOther) {
    LiveChromaStores stores;
    LiveLine line;
    const struct {
        std::uint16_t packetNumber;
        std::uint8_t sample;
        Bgr colour;
    } steps[] = {
        {0, 0x87, {128, 72, 240}},   // V 112, U 0 (store empty)
        {1, 0x8F, {112, 75, 240}},   // U -16, V 112 kept: green 128 - 56 - (-3)
        {2, 0x80, {112, 131, 128}},  // V 0, U -16 kept: green 128 - (-3)
        {7, 0x08, {0, 25, 0}},       // U -128: blue and red clamp to 0
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(DecodeLiveLine(Packet(step.sample), step.packetNumber, stores, line));
        EXPECT_EQ(LinePixel(line, 0), step.colour) << step.packetNumber;
        EXPECT_EQ(LinePixel(line, 167), step.colour) << step.packetNumber;
    }
    EXPECT_FALSE(
        DecodeLiveLine(std::span<const std::uint8_t>(Packet(0).data(), 111), 0, stores, line));
}

TEST(LiveSamples, WideningPutsTwoMixedPixelsAfterEachEvenSample) {
    auto packet = Packet(0x50);
    packet[0] = 0x10;
    packet[1] = 0x90;
    packet[2] = 0x30;
    packet[110] = 0x20;
    packet[111] = 0xE0;
    LiveChromaStores stores;
    LiveLine line;
    ASSERT_TRUE(DecodeLiveLine(packet, 0, stores, line));
    const struct {
        std::size_t pixel;
        int grey;
    } cases[] = {
        {0, 16},    {1, 105},  // (3 x 16 + 7 x 144) / 10
        {2, 115},              // (7 x 144 + 3 x 48) / 10
        {3, 48},    {165, 32},
        {166, 166}, {167, 224},  // the missing 113th sample is sample 111 again
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinePixel(line, c.pixel), Grey(c.grey)) << c.pixel;
    }
}

TEST(LivePlacement, AFrameFillsRowsFromTheTopWithMeansInBetweenAndNeverTheBottomRow) {
    DibBlock preview = FilledPicture(160, 120);
    LiveChromaStores stores;
    LiveLine previous{};
    const auto greyOf = [](int p) { return (p % 16) * 16; };
    for (std::uint16_t p = 0; p < LIVE_FRAME_PACKETS; ++p) {
        LiveLine line;
        auto packet = Packet(static_cast<std::uint8_t>(greyOf(p)));
        packet[8] = 0xF0;  // pixel 12 of the line, column 4 of the picture, is brighter
        ASSERT_TRUE(DecodeLiveLine(packet, p, stores, line));
        ASSERT_TRUE(PlaceLiveLine(preview, p, line, previous));
        EXPECT_EQ(previous, line);
    }
    for (int p = 0; p < 60; ++p) {
        EXPECT_EQ(PixelFromTop(preview, 10, 2 * p), Grey(greyOf(p))) << p;
        EXPECT_EQ(PixelFromTop(preview, 4, 2 * p), Grey(0xF0)) << p;
        if (p > 0) {
            EXPECT_EQ(PixelFromTop(preview, 10, 2 * p - 1),
                      Grey((greyOf(p) >> 1) + (greyOf(p - 1) >> 1)))
                << p;
        }
    }
    for (int column = 0; column < 160; ++column) {
        EXPECT_EQ(PixelFromTop(preview, column, 119), Grey(0x80)) << column;
    }

    LiveLine line{};
    const auto before = preview.storage();
    EXPECT_FALSE(PlaceLiveLine(preview, 60, line, previous));
    DibBlock wrongSize = FilledPicture(160, 119);
    EXPECT_FALSE(PlaceLiveLine(wrongSize, 0, line, previous));
    EXPECT_EQ(preview.storage(), before);
}

std::array<std::uint8_t, 116> PhotoPacket(std::uint8_t y, std::int8_t ua, std::int8_t va,
                                          std::int8_t ub, std::int8_t vb) {
    auto packet = Packet(0);
    for (std::size_t group = 0; group < PHOTO_GROUPS; ++group) {
        std::uint8_t* g = packet.data() + 3 + 12 * group;
        std::memset(g, y, 8);
        g[8] = static_cast<std::uint8_t>(va);
        g[9] = static_cast<std::uint8_t>(vb);
        g[10] = static_cast<std::uint8_t>(ua);
        g[11] = static_cast<std::uint8_t>(ub);
    }
    return packet;
}

TEST(LivePhoto, GroupColoursTruncateEachHundredthTowardZero) {
    const struct {
        const char* name;
        std::array<std::uint8_t, 116> packet;
        Bgr first;   // pixels 0..3 of a group
        Bgr second;  // pixels 4..7
    } cases[] = {
        {"positive U, negative V",
         PhotoPacket(100, 10, -20, 50, 0),
         {121, 113, 67},
         {206, 80, 100}},
        {"negative U", PhotoPacket(100, -10, 0, 0, 0), {79, 104, 100}, {100, 100, 100}},
        {"clamped", PhotoPacket(250, 100, 100, -128, -128), {255, 123, 255}, {0, 255, 35}},
    };
    for (const auto& c : cases) {
        PhotoPacketPixels pixels;
        ASSERT_TRUE(DecodePhotoPacket(c.packet, pixels));
        for (std::size_t group = 0; group < PHOTO_GROUPS; ++group) {
            const std::uint8_t* p = pixels.data() + 24 * group;
            EXPECT_EQ((Bgr{p[0], p[1], p[2]}), c.first) << c.name;
            EXPECT_EQ((Bgr{p[9], p[10], p[11]}), c.first) << c.name;
            EXPECT_EQ((Bgr{p[12], p[13], p[14]}), c.second) << c.name;
            EXPECT_EQ((Bgr{p[21], p[22], p[23]}), c.second) << c.name;
        }
    }
}

TEST(LivePhoto, AFullPhotoFillsEveryOtherRowWithLinesAndNeverTheBottomRow) {
    DibBlock photo = FilledPicture(640, 480);
    PhotoLine line{};
    const auto greyOf = [](int k, int slot) { return (3 * k + 20 * slot) % 256; };
    for (std::uint16_t n = 0; n < PHOTO_PACKETS; ++n) {
        const auto packet =
            PhotoPacket(static_cast<std::uint8_t>(greyOf(n / 9, n % 9)), 0, 0, 0, 0);
        ASSERT_TRUE(AddPhotoPacket(packet, n, line, photo)) << n;
    }
    for (int k = 0; k < 240; k += 7) {
        for (int slot = 0; slot < 9; ++slot) {
            const int column = std::min(72 * slot + 5, 639);
            const int slotOfColumn = column / 72;
            EXPECT_EQ(PixelFromTop(photo, column, 2 * k), Grey(greyOf(k, slotOfColumn))) << k;
            if (k > 0) {
                EXPECT_EQ(PixelFromTop(photo, column, 2 * k - 1),
                          Grey((greyOf(k - 1, slotOfColumn) >> 1) + (greyOf(k, slotOfColumn) >> 1)))
                    << k;
            }
        }
    }
    for (int column = 0; column < 640; column += 13) {
        EXPECT_EQ(PixelFromTop(photo, column, 479), Grey(0x80)) << column;
    }
    const auto before = photo.storage();
    EXPECT_FALSE(AddPhotoPacket(PhotoPacket(1, 0, 0, 0, 0), PHOTO_PACKETS, line, photo));
    EXPECT_FALSE(
        AddPhotoPacket(std::span<const std::uint8_t>(Packet(0).data(), 110), 8, line, photo));
    EXPECT_EQ(photo.storage(), before);
}

Bgr SourcePixel(int column, int row) {
    return {static_cast<std::uint8_t>(column * 5 % 256), static_cast<std::uint8_t>(column % 256),
            static_cast<std::uint8_t>((column * 3 + row) % 256)};
}

TEST(LivePhotoWidening, ZoomAndSaveWidenTheNarrowVariantsColumns) {
    const DibBlock photo = testing::MakeRgbPicture(640, 480, SourcePixel);
    DibBlock zoomed = FilledPicture(640, 480);
    DibBlock saved = FilledPicture(640, 480);
    ASSERT_TRUE(ZoomWidenPhoto(photo, zoomed));
    ASSERT_TRUE(SaveWidenPhoto(photo, saved));
    const auto mix = [](Bgr a, int wa, Bgr b, int wb, int divisor) {
        return Bgr{static_cast<std::uint8_t>((wa * a.blue + wb * b.blue) / divisor),
                   static_cast<std::uint8_t>((wa * a.green + wb * b.green) / divisor),
                   static_cast<std::uint8_t>((wa * a.red + wb * b.red) / divisor)};
    };
    for (int row : {0, 1, 239, 479}) {
        const auto P = [&](int x) { return SourcePixel(x, row); };
        EXPECT_EQ(testing::PixelAt(zoomed, 0, row), mix(P(3), 54, P(4), 202, 256)) << row;
        EXPECT_EQ(testing::PixelAt(zoomed, 127, row), P(104)) << row;
        for (int g : {0, 1, 64, 127}) {
            EXPECT_EQ(testing::PixelAt(saved, 5 * g, row), P(4 * g)) << g;
            EXPECT_EQ(testing::PixelAt(saved, 5 * g + 1, row),
                      mix(P(4 * g), 1, P(4 * g + 1), 4, 5));
            EXPECT_EQ(testing::PixelAt(saved, 5 * g + 2, row),
                      mix(P(4 * g + 1), 2, P(4 * g + 2), 3, 5));
            EXPECT_EQ(testing::PixelAt(saved, 5 * g + 3, row),
                      mix(P(4 * g + 2), 3, P(4 * g + 3), 2, 5));
            EXPECT_EQ(testing::PixelAt(saved, 5 * g + 4, row),
                      mix(P(4 * g + 3), 4, P(4 * g + 4), 1, 5));
        }
    }
    EXPECT_EQ(std::vector<std::uint8_t>(zoomed.storage().begin(), zoomed.storage().begin() + 40),
              std::vector<std::uint8_t>(photo.bytes().begin(), photo.bytes().begin() + 40));
    DibBlock wrong = FilledPicture(639, 480);
    EXPECT_FALSE(ZoomWidenPhoto(photo, wrong));
    EXPECT_FALSE(SaveWidenPhoto(wrong, saved));
}

}  // namespace
}  // namespace fotolyx
