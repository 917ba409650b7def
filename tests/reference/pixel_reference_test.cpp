// The program's pixel arithmetic against pixel_reference.py, written from the formulas alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "adjust/adjust_algorithms.h"
#include "imaging/colour_treatment.h"
#include "live/live_pixels.h"
#include "support/adjust_outcome.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

constexpr char PYTHON[] = "/usr/bin/python3";

std::string Hex(const auto& bytes) {
    std::string text;
    for (const auto b : bytes) {
        text += "0123456789abcdef"[static_cast<std::uint8_t>(b) >> 4];
        text += "0123456789abcdef"[static_cast<std::uint8_t>(b) & 15];
    }
    return text;
}

// Smooth areas, gradients and noise, so that every band, edges and flat stretches occur.
DibBlock MixedPicture(int width, int height, std::mt19937& random) {
    std::uniform_int_distribution<int> noise(-12, 12), spike(0, 30), any(0, 255);
    const auto byte = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
    return testing::MakeRgbPicture(
        width, height,
        [&](int column, int row) {
            if (spike(random) == 0) {
                return testing::Bgr{byte(any(random)), byte(any(random)), byte(any(random))};
            }
            const bool flat = (column / 16 + row / 16) % 3 == 0;
            const int base = flat ? 90 : (column * 255) / width;
            const auto channel = [&](int o) { return byte(base + o + (flat ? 0 : noise(random))); };
            return testing::Bgr{channel(row % 40), channel(0), channel(-(row * 60) / height)};
        },
        0x3C);
}

void WriteAdjustRecords(std::ostream& out, std::mt19937& random) {
    std::uniform_int_distribution<int> setting(-100, 100), sharpness(0, 100);
    const std::tuple<int, int, bool> pictures[] = {{163, 121, false}, {161, 130, false},
                                                   {200, 125, false}, {163, 121, true},
                                                   {322, 241, true},  {160, 120, true}};
    for (const auto& [width, height, automatic] : pictures) {
        const DibBlock picture = MixedPicture(width, height, random);
        AdjustSettings asked;
        if (!automatic) {
            asked = {setting(random), setting(random), setting(random), sharpness(random)};
        }
        const auto [output, d] = testing::AdjustWithoutDialog(
            picture, [&](AdjustEngine& e, DibBlock& before, DibBlock& after, AdjustPlanes& planes) {
                e.settings = asked;
                EXPECT_TRUE(automatic ? e.RenderAutomatic(before, after, planes)
                                      : e.RenderManual(before, after, planes));
            });
        out << "adjust " << (automatic ? "auto" : "manual") << ' ' << asked.brightness << ' '
            << asked.contrast << ' ' << asked.saturation << ' ' << asked.sharpness << ' '
            << Hex(picture.bytes()) << ' ' << Hex(output) << ' ' << d.brightness << ','
            << d.contrast << ',' << d.saturation << ',' << d.sharpness << '\n';
    }
}

void WriteTreatmentRecords(std::ostream& out, std::mt19937& random) {
    Memory memory;
    const std::tuple<int, int, std::uint8_t> pictures[] = {
        {5, 5, 0x51},   {6, 7, 0x51},   {23, 17, 0x51}, {40, 30, 0x61},
        {64, 48, 0xF1}, {4, 9, 0x51},   {23, 17, 0x31}, {64, 48, 0x11},
        {3, 2, 0x41},   {41, 33, 0x01}, {255, 3, 0x31}};
    for (const auto& [width, height, attribute] : pictures) {
        const DibBlock picture = width < 10 || width > 200
                                     ? testing::MakeRandomPicture(width, height, random, 7)
                                     : MixedPicture(width, height, random);
        DibBlock treated = picture;
        ApplyColourTreatment(treated, attribute, memory);
        out << "treat " << +attribute << ' ' << Hex(picture.bytes()) << ' ' << Hex(treated.bytes())
            << '\n';
    }
}

void WriteLiveRecords(std::ostream& out, std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    const auto fill = [&](auto& values) {
        for (auto& value : values) {
            value = static_cast<std::remove_reference_t<decltype(value)>>(byte(random));
        }
    };
    LiveChromaStores stores;
    fill(stores.even);
    fill(stores.odd);
    std::array<std::uint8_t, 116> packet;
    for (std::uint16_t n = 0; n < 40; ++n) {
        fill(packet);
        const std::string even = Hex(stores.even);
        const std::string odd = Hex(stores.odd);
        const auto number = static_cast<std::uint16_t>(n % 7 == 3 ? n + 1000 : n);
        LiveLine line;
        ASSERT_TRUE(DecodeLiveLine(packet, number, stores, line));
        out << "live " << number << ' ' << even << ' ' << odd << ' ' << Hex(packet) << ' '
            << Hex(line) << '\n';
    }
    for (int n = 0; n < 60; ++n) {
        fill(packet);
        PhotoPacketPixels pixels;
        ASSERT_TRUE(DecodePhotoPacket(packet, pixels));
        out << "photo " << Hex(packet) << ' ' << Hex(pixels) << '\n';
    }
}

TEST(PixelReference, AnIndependentComputationFromTheFormulasMatchesEveryByte) {
    if (!std::filesystem::exists(PYTHON)) {
        ASSERT_FALSE(testing::PeersRequired()) << PYTHON << " is missing";
        GTEST_SKIP() << PYTHON << " is missing";
    }
    testing::TempDir folder;
    std::ofstream out(folder / "records.txt");
    std::mt19937 random(20021);
    WriteAdjustRecords(out, random);
    WriteTreatmentRecords(out, random);
    WriteLiveRecords(out, random);
    out.close();
    ASSERT_TRUE(out.good());
    const testing::CommandResult result = testing::RunCommand(
        std::string(PYTHON) + " " + FOTOLYX_SOURCE_DIR + "/tests/reference/pixel_reference.py " +
        testing::Quote(folder / "records.txt") + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "ok adjust=6 treat=11 live=40 photo=60\n");
}

}  // namespace
}  // namespace fotolyx
