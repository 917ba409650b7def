#include "live/live_pixels.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Grey;
using testing::PixelAt;
using testing::PixelFromTop;

DibBlock FilledPicture(int width, int height) {
    return testing::MakeRgbPicture(width, height, [](int, int) { return Grey(0x80); });
}

using Packet = std::vector<std::uint8_t>;

TEST(LiveSamples, WideningPutsTwoMixedPixelsAfterEachEvenSample) {
    Packet packet(116, 0x50);
    for (const auto& [at, value] :
         {std::pair{0, 0x10}, {1, 0x90}, {2, 0x30}, {110, 0x20}, {111, 0xE0}}) {
        packet[at] = static_cast<std::uint8_t>(value);
    }
    LiveChromaStores stores;
    LiveLine line;
    ASSERT_TRUE(DecodeLiveLine(packet, 0, stores, line));
    // 1: (3 x 16 + 7 x 144) / 10, 2: (7 x 144 + 3 x 48) / 10; sample 111 stands in for a 113th.
    for (const auto& [pixel, grey] :
         {std::pair{1, 105}, {2, 115}, {3, 48}, {166, 166}, {167, 224}}) {
        EXPECT_EQ((Bgr{line[3 * pixel], line[3 * pixel + 1], line[3 * pixel + 2]}), Grey(grey))
            << pixel;
    }
}

TEST(LivePlacement, AFrameFillsRowsFromTheTopWithMeansInBetweenAndNeverTheBottomRow) {
    DibBlock preview = FilledPicture(160, 120);
    LiveChromaStores stores;
    LiveLine previous{};
    const auto greyOf = [](int p) { return (p % 16) * 16; };
    for (std::uint16_t p = 0; p < LIVE_FRAME_PACKETS; ++p) {
        LiveLine line;
        Packet packet(116, static_cast<std::uint8_t>(greyOf(p)));
        packet[8] = 0xF0;  // pixel 12 of the line, column 4 of the picture, is brighter
        ASSERT_TRUE(DecodeLiveLine(packet, p, stores, line));
        ASSERT_TRUE(PlaceLiveLine(preview, p, line, previous));
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
    EXPECT_EQ(PixelFromTop(preview, 77, 119), Grey(0x80));
}

TEST(LivePhoto, AFullPhotoFillsEveryOtherRowWithLinesAndNeverTheBottomRow) {
    DibBlock photo = FilledPicture(640, 480);
    PhotoLine line{};
    const auto greyOf = [](int k, int slot) { return (3 * k + 20 * slot) % 256; };
    // Packet n holds nine groups of eight grey pixels without colour.
    const auto packetOf = [](int grey) {
        Packet packet(116, 0);
        for (std::size_t group = 0; group < PHOTO_GROUPS; ++group) {
            std::memset(packet.data() + 3 + 12 * group, grey, 8);
        }
        return packet;
    };
    for (std::uint16_t n = 0; n < PHOTO_PACKETS; ++n) {
        ASSERT_TRUE(AddPhotoPacket(packetOf(greyOf(n / 9, n % 9)), n, line, photo)) << n;
    }
    for (int k = 0; k < 240; k += 17) {
        for (int slot = 0; slot < 9; ++slot) {
            const int column = 72 * slot + 5;
            EXPECT_EQ(PixelFromTop(photo, column, 2 * k), Grey(greyOf(k, slot))) << k;
            if (k > 0) {
                EXPECT_EQ(PixelFromTop(photo, column, 2 * k - 1),
                          Grey((greyOf(k - 1, slot) >> 1) + (greyOf(k, slot) >> 1)))
                    << k;
            }
        }
    }
    EXPECT_EQ(PixelFromTop(photo, 300, 479), Grey(0x80));
}

Bgr SourcePixel(int column, int row) {
    return {static_cast<std::uint8_t>(column * 5 % 256), static_cast<std::uint8_t>(column % 256),
            static_cast<std::uint8_t>((column * 3 + row) % 256)};
}

TEST(LivePhotoWidening, ZoomAndSaveWidenTheNarrowVariantsColumnsIntoFreshBlocks) {
    const DibBlock photo = testing::MakeRgbPicture(640, 480, SourcePixel);
    DibBlock zoomed(std::vector<std::uint8_t>(925'696, 0));
    DibBlock saved(std::vector<std::uint8_t>(925'696, 0));
    ASSERT_TRUE(ZoomWidenPhoto(photo, zoomed));
    ASSERT_TRUE(SaveWidenPhoto(photo, saved));
    const auto mix = [](Bgr a, int wa, Bgr b, int wb, int divisor) {
        return Bgr{static_cast<std::uint8_t>((wa * a.blue + wb * b.blue) / divisor),
                   static_cast<std::uint8_t>((wa * a.green + wb * b.green) / divisor),
                   static_cast<std::uint8_t>((wa * a.red + wb * b.red) / divisor)};
    };
    for (int row : {0, 479}) {
        const auto P = [&](int x) { return SourcePixel(x, row); };
        EXPECT_EQ(PixelAt(zoomed, 0, row), mix(P(3), 54, P(4), 202, 256)) << row;
        EXPECT_EQ(PixelAt(zoomed, 127, row), P(104)) << row;
        for (int g : {0, 127}) {
            EXPECT_EQ(PixelAt(saved, 5 * g, row), P(4 * g)) << g;
            for (int i = 1; i < 5; ++i) {
                EXPECT_EQ(PixelAt(saved, 5 * g + i, row),
                          mix(P(4 * g + i - 1), i, P(4 * g + i), 5 - i, 5))
                    << g << " " << i;
            }
        }
    }
    for (const DibBlock* target : {&zoomed, &saved}) {
        EXPECT_TRUE(std::equal(photo.bytes().begin(), photo.bytes().begin() + 40, target->data()));
    }
}

}  // namespace
}  // namespace fotolyx
