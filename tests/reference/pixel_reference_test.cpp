// Compares the program's pixel arithmetic with an independent Python recomputation from the
// formulas (tests/reference/pixel_reference.py): whole-picture adjustments, the colour
// treatment with and without smoothing, live-view lines and large-photo packets, over random
// input. Every byte must match.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "adjust/adjust_algorithms.h"
#include "imaging/colour_treatment.h"
#include "live/live_pixels.h"
#include "ports/memory.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

constexpr char PYTHON[] = "/usr/bin/python3";

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (std::uint8_t b : bytes) {
        text += DIGITS[b >> 4];
        text += DIGITS[b & 15];
    }
    return text;
}

std::span<const std::uint8_t> AsBytes(std::span<const std::int8_t> values) {
    return {reinterpret_cast<const std::uint8_t*>(values.data()), values.size()};
}

// Smooth areas, gradients and noise, so that every band, edges and flat stretches occur.
DibBlock MixedPicture(int width, int height, std::mt19937& random) {
    std::uniform_int_distribution<int> noise(-12, 12);
    std::uniform_int_distribution<int> spike(0, 30);
    std::uniform_int_distribution<int> any(0, 255);
    return testing::MakeRgbPicture(
        width, height,
        [&](int column, int row) {
            if (spike(random) == 0) {
                return testing::Bgr{static_cast<std::uint8_t>(any(random)),
                                    static_cast<std::uint8_t>(any(random)),
                                    static_cast<std::uint8_t>(any(random))};
            }
            const bool flat = (column / 16 + row / 16) % 3 == 0;
            const int base = flat ? 90 : (column * 255) / width;
            const auto channel = [&](int offset) {
                return static_cast<std::uint8_t>(
                    std::clamp(base + offset + (flat ? 0 : noise(random)), 0, 255));
            };
            return testing::Bgr{channel(row % 40), channel(0), channel(-(row * 60) / height)};
        },
        0x3C);
}

void WriteAdjustRecords(std::ostream& out, std::mt19937& random) {
    std::uniform_int_distribution<int> setting(-100, 100);
    std::uniform_int_distribution<int> sharpness(0, 100);
    const struct {
        int width, height;
        bool automatic;
    } pictures[] = {{163, 121, false}, {161, 130, false}, {200, 125, false},
                    {163, 121, true},  {322, 241, true},  {160, 120, true}};
    for (const auto& p : pictures) {
        const DibBlock picture = MixedPicture(p.width, p.height, random);
        AdjustEngine engine;
        if (!p.automatic) {
            engine.settings = {setting(random), setting(random), setting(random),
                               sharpness(random)};
        }
        const AdjustSettings asked = engine.settings;
        DibBlock before{std::vector<std::uint8_t>(PREVIEW_BYTES)};
        DibBlock output{std::vector<std::uint8_t>(picture.size())};
        AdjustPlanes planes = AdjustPlanes::ForPicture(p.width, p.height);
        ASSERT_TRUE(MakePreviewPair(picture, before, output));
        ASSERT_TRUE(engine.AnalysePreview(before, planes));
        ASSERT_TRUE(p.automatic ? engine.RenderAutomatic(before, output, planes)
                                : engine.RenderManual(before, output, planes));
        ASSERT_TRUE(engine.ApplyToPicture(picture, output, planes));
        const AdjustSettings& d = engine.settings;
        out << "adjust " << (p.automatic ? "auto" : "manual") << ' ' << asked.brightness << ' '
            << asked.contrast << ' ' << asked.saturation << ' ' << asked.sharpness << ' '
            << Hex(picture.bytes()) << ' ' << Hex(output.bytes()) << ' ' << d.brightness << ','
            << d.contrast << ',' << d.saturation << ',' << d.sharpness << '\n';
    }
}

void WriteTreatmentRecords(std::ostream& out, std::mt19937& random) {
    Memory memory;
    const struct {
        int width, height;
        std::uint8_t attribute;
    } pictures[] = {{5, 5, 0x51},   {6, 7, 0x51},   {23, 17, 0x51}, {40, 30, 0x61},
                    {64, 48, 0xF1}, {4, 9, 0x51},   {23, 17, 0x31}, {64, 48, 0x11},
                    {3, 2, 0x41},   {41, 33, 0x01}, {255, 3, 0x31}};
    for (const auto& p : pictures) {
        const DibBlock picture = p.width < 10 || p.width > 200
                                     ? testing::MakeRandomPicture(p.width, p.height, random, 7)
                                     : MixedPicture(p.width, p.height, random);
        DibBlock treated = picture;
        ApplyColourTreatment(treated, p.attribute, memory);
        out << "treat " << +p.attribute << ' ' << Hex(picture.bytes()) << ' '
            << Hex(treated.bytes()) << '\n';
    }
}

void WriteLiveRecords(std::ostream& out, std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    LiveChromaStores stores;
    for (auto& value : stores.even) {
        value = static_cast<std::int8_t>(byte(random));
    }
    for (auto& value : stores.odd) {
        value = static_cast<std::int8_t>(byte(random));
    }
    for (std::uint16_t n = 0; n < 40; ++n) {
        std::array<std::uint8_t, 116> packet;
        for (auto& b : packet) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        const std::string even = Hex(AsBytes(stores.even));
        const std::string odd = Hex(AsBytes(stores.odd));
        const auto number = static_cast<std::uint16_t>(n % 7 == 3 ? n + 1000 : n);
        LiveLine line;
        ASSERT_TRUE(DecodeLiveLine(packet, number, stores, line));
        out << "live " << number << ' ' << even << ' ' << odd << ' ' << Hex(packet) << ' '
            << Hex(line) << '\n';
    }
    for (int n = 0; n < 60; ++n) {
        std::array<std::uint8_t, 116> packet;
        for (auto& b : packet) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        PhotoPacketPixels pixels;
        ASSERT_TRUE(DecodePhotoPacket(packet, pixels));
        out << "photo " << Hex(packet) << ' ' << Hex(pixels) << '\n';
    }
}

TEST(PixelReference, AnIndependentComputationFromTheFormulasMatchesEveryByte) {
    if (!std::filesystem::exists(PYTHON)) {
        if (std::getenv("FOTOLYX_REQUIRE_PEERS") != nullptr) {
            FAIL() << PYTHON << " is missing";
        }
        GTEST_SKIP() << PYTHON << " is missing";
    }
    testing::TempDir folder;
    const auto records = folder / "records.txt";
    const auto report = folder / "report.txt";
    {
        std::ofstream out(records);
        std::mt19937 random(20021);
        WriteAdjustRecords(out, random);
        WriteTreatmentRecords(out, random);
        WriteLiveRecords(out, random);
        ASSERT_TRUE(out.good());
    }
    const std::string command = std::string(PYTHON) + " " + FOTOLYX_SOURCE_DIR +
                                "/tests/reference/pixel_reference.py " + records.string() + " > " +
                                report.string() + " 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(report);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(status, 0) << text.str();
    EXPECT_EQ(text.str(), "ok adjust=6 treat=11 live=40 photo=60\n");
}

}  // namespace
}  // namespace fotolyx
