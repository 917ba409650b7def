#include "imaging/colour_treatment.h"

#include <gtest/gtest.h>

#include <random>

#include "ports/memory.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Grey;
using testing::MakeRgbPicture;
using testing::PixelAt;

TEST(ColourTreatment, TheAttributeHighNibbleChoosesTreatmentAndSmoothing) {
    const struct {
        std::uint8_t attribute;
        ColourTreatmentResult result;
    } cases[] = {
        {0x01, ColourTreatmentResult::NotAsked},
        {0x0F, ColourTreatmentResult::NotAsked},
        {0x11, ColourTreatmentResult::Treated},
        {0x31, ColourTreatmentResult::Treated},
        {0x41, ColourTreatmentResult::Treated},
        {0x51, ColourTreatmentResult::TreatedSmoothed},
        {0xF1, ColourTreatmentResult::TreatedSmoothed},
    };
    std::mt19937 random(5);
    const DibBlock original = testing::MakeRandomPicture(23, 17, random, 0x77);
    Memory memory;
    for (const auto& c : cases) {
        DibBlock treated = original;
        EXPECT_EQ(ApplyColourTreatment(treated, c.attribute, memory), c.result) << +c.attribute;
        const bool unchanged = c.result == ColourTreatmentResult::NotAsked;
        EXPECT_EQ(treated.storage() == testing::BlockBytes(original), unchanged) << +c.attribute;
        // The pad bytes of every row stay as they were.
        for (int row = 0; row < 17; ++row) {
            EXPECT_EQ(treated.storage()[40 + 72 * static_cast<std::size_t>(row) + 71], 0x77);
        }
    }
}

TEST(ColourTreatment, RaisesLuminanceAndColourAndClampsToBytes) {
    const struct {
        Bgr in;
        Bgr out;
    } cases[] = {
        {Grey(100), Grey(130)},     {Grey(0), Grey(0)},          {Grey(250), Grey(255)},
        {Grey(10), Grey(13)},       {{255, 0, 0}, {255, 0, 11}},  // pure blue: blue and green clamp
        {{0, 0, 255}, {1, 8, 255}},                               // pure red
    };
    Memory memory;
    for (const auto& c : cases) {
        DibBlock picture = MakeRgbPicture(3, 2, [&](int, int) { return c.in; });
        ASSERT_EQ(ApplyColourTreatment(picture, 0x31, memory), ColourTreatmentResult::Treated);
        EXPECT_EQ(PixelAt(picture, 1, 1), c.out) << +c.in.blue << " " << +c.in.red;
    }
}

TEST(ColourTreatment, SmoothingBlendsByEdgeStrength) {
    // A 5 x 5 grey picture has one edge-level sample, at (2, 2); with it flat T = 30. Pixel
    // (1, 1) is smoothed first, from unsmoothed neighbours.
    const struct {
        const char* name;
        int base;
        int changedColumn, changedRow, changedGrey;
        int expected;  // Y' of pixel (1, 1), shown as grey
    } cases[] = {
        {"flat area takes the five-point mean", 100, 1, 0, 110, 132},  // (143 + 4 x 130) / 5
        {"strong edge keeps its value", 150, 0, 1, 0, 195},            // g = 195 >= 1.5 T
        {"in between is blended", 100, 0, 1, 130, 131},                // a = 80, m = 137
        {"untouched flat picture", 100, 0, 0, 100, 130},
    };
    Memory memory;
    for (const auto& c : cases) {
        DibBlock picture = MakeRgbPicture(5, 5, [&](int column, int row) {
            return Grey(column == c.changedColumn && row == c.changedRow ? c.changedGrey : c.base);
        });
        DibBlock unsmoothed = picture;
        ASSERT_EQ(ApplyColourTreatment(picture, 0x51, memory),
                  ColourTreatmentResult::TreatedSmoothed);
        ApplyColourTreatment(unsmoothed, 0x31, memory);
        EXPECT_EQ(PixelAt(picture, 1, 1), Grey(c.expected)) << c.name;
        // Border pixels are never smoothed.
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(PixelAt(picture, i, 0), PixelAt(unsmoothed, i, 0)) << c.name;
            EXPECT_EQ(PixelAt(picture, 4, i), PixelAt(unsmoothed, 4, i)) << c.name;
        }
    }
}

TEST(ColourTreatment, PicturesTooSmallForAnEdgeLevelAreTreatedWithoutSmoothing) {
    Memory memory;
    std::mt19937 random(9);
    for (const auto& [width, height] :
         {std::pair{1, 1}, {4, 4}, {4, 100}, {100, 4}, {5, 4}, {2, 9}}) {
        DibBlock smoothed = testing::MakeRandomPicture(width, height, random, 0x11);
        DibBlock treated = smoothed;
        EXPECT_EQ(ApplyColourTreatment(smoothed, 0x51, memory), ColourTreatmentResult::Treated)
            << width << "x" << height;
        ApplyColourTreatment(treated, 0x31, memory);
        EXPECT_EQ(smoothed.storage(), treated.storage()) << width << "x" << height;
    }
}

TEST(ColourTreatment, LeavesThePixelsWhenItCannotWork) {
    DibBlock picture = MakeRgbPicture(8, 8, [](int column, int) { return Grey(column * 20); });
    const auto original = picture.storage();
    testing::FailingMemory noMemory;
    noMemory.failingCalls = {0};
    EXPECT_EQ(ApplyColourTreatment(picture, 0x51, noMemory),
              ColourTreatmentResult::NotEnoughMemory);
    EXPECT_EQ(picture.storage(), original);

    Memory memory;
    DibBlock truncated(std::vector<std::uint8_t>(original.begin(), original.end() - 1));
    EXPECT_EQ(ApplyColourTreatment(truncated, 0x51, memory), ColourTreatmentResult::NotAPicture);
    auto eightBit = CreateDib(8, 8, 8);
    ASSERT_TRUE(eightBit.has_value());
    EXPECT_EQ(ApplyColourTreatment(*eightBit, 0x31, memory), ColourTreatmentResult::NotAPicture);
}

}  // namespace
}  // namespace fotolyx
