#include "adjust/adjust_algorithms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Grey;
using testing::MakeRgbPicture;
using testing::PixelAt;

DibBlock MakePreview(const std::function<Bgr(int, int)>& pixel) {
    return MakeRgbPicture(PREVIEW_WIDTH, PREVIEW_HEIGHT, pixel);
}

DibBlock EmptyOutput(std::size_t size = PREVIEW_BYTES) {
    return DibBlock(std::vector<std::uint8_t>(size, 0));
}

// A preview analysed by a fresh engine.
struct Analysed {
    DibBlock before;
    DibBlock after = EmptyOutput();
    AdjustPlanes planes = AdjustPlanes::ForPicture(PREVIEW_WIDTH, PREVIEW_HEIGHT);
    AdjustEngine engine;

    explicit Analysed(DibBlock preview) : before(std::move(preview)) {
        EXPECT_TRUE(engine.AnalysePreview(before, planes));
    }
};

TEST(AdjustTone, ZeroSettingsGiveTheIdentityTableAndTheConversionRoundTrip) {
    std::mt19937 random(7);
    Analysed a(testing::MakeRandomPicture(PREVIEW_WIDTH, PREVIEW_HEIGHT, random));
    ASSERT_TRUE(a.engine.RenderManual(a.before, a.after, a.planes));
    for (int level = 0; level < 256; ++level) {
        EXPECT_EQ(a.engine.toneTable[static_cast<std::size_t>(level)], level);
    }
    for (int row = 0; row < PREVIEW_HEIGHT; ++row) {
        for (int column = 0; column < PREVIEW_WIDTH; ++column) {
            const Bgr in = PixelAt(a.before, column, row);
            const Bgr out = PixelAt(a.after, column, row);
            EXPECT_LE(std::abs(in.blue - out.blue), 2);
            EXPECT_LE(std::abs(in.green - out.green), 2);
            EXPECT_LE(std::abs(in.red - out.red), 2);
        }
    }
    // Greys have no colour difference and come back exactly.
    Analysed grey(MakePreview([](int column, int row) { return Grey((column + row) % 256); }));
    ASSERT_TRUE(grey.engine.RenderManual(grey.before, grey.after, grey.planes));
    EXPECT_EQ(grey.before.storage(), grey.after.storage());
}

TEST(AdjustTone, ContrastEndPointsBalanceTheTwoClippedGaps) {
    const struct {
        int black, white, contrast, lo, hi;
    } cases[] = {
        {10, 240, 100, 67, 155},  // trunc(10 / 15 x 100 + 0.5)
        {10, 240, 0, 0, 255},     {10, 240, -100, -66, 355}, {50, 230, 100, 100, 205},
        {50, 205, 100, 100, 155}, {0, 255, 40, 40, 255},  // both gaps empty
    };
    for (const auto& c : cases) {
        const ContrastRange range = ManualContrastRange(c.black, c.white, c.contrast);
        EXPECT_EQ(range.lo, c.lo) << c.black << " " << c.white << " " << c.contrast;
        EXPECT_EQ(range.hi, c.hi) << c.black << " " << c.white << " " << c.contrast;
    }
}

TEST(AdjustTone, BrightnessBendsTheCurveWithARealDivision) {
    // A flat mid-grey preview: black point 50, white point 205, contrast 0 keeps lo = 0.
    const struct {
        int brightness;
        int level;
        int entry;
    } cases[] = {
        {-100, 0, 0},    {-100, 31, 0},    // k = -3: every x below 32 goes to 0
        {100, 128, 255}, {100, 255, 255},  // k = 5: every x from 128 on goes to 255
        {100, 10, 50},   {30, 10, 22},     // k = 2.2, not 2
        {30, 100, 138},  {0, 200, 200},
    };
    for (const auto& c : cases) {
        Analysed a(MakePreview([](int, int) { return Grey(128); }));
        a.engine.settings.brightness = c.brightness;
        ASSERT_TRUE(a.engine.RenderManual(a.before, a.after, a.planes));
        EXPECT_EQ(a.engine.toneTable[static_cast<std::size_t>(c.level)], c.entry)
            << "brightness " << c.brightness << " level " << c.level;
    }
    // Past 255 the top formula is held at x = 255.
    EXPECT_EQ(BuildToneTable(0, 2.0, 0.5)[200], BuildToneTable(0, 1.0, 0.5)[255]);
}

TEST(AdjustAnalysis, BlackAndWhitePointsClipTwoPerMilleAndStayInTheirLimits) {
    // 19 pixels are 2 / 2000 of the preview's 19,200.
    const struct {
        const char* name;
        int darkLevel, darkCount, brightLevel, brightCount;
        int black, white;
    } cases[] = {
        {"uniform grey clamps both", 128, 0, 128, 0, 50, 205},
        {"dark pixels found", 3, 19, 250, 19, 3, 250},
        {"too few dark pixels run on", 3, 18, 250, 18, 50, 205},
        {"level 0 and 255 are not counted", 0, 500, 255, 500, 50, 205},
    };
    for (const auto& c : cases) {
        int seen = 0;
        Analysed a(MakePreview([&](int, int) {
            const int index = seen++;
            if (index < c.darkCount) {
                return Grey(c.darkLevel);
            }
            if (index < c.darkCount + c.brightCount) {
                return Grey(c.brightLevel);
            }
            return Grey(128);
        }));
        EXPECT_EQ(a.engine.blackPoint, c.black) << c.name;
        EXPECT_EQ(a.engine.whitePoint, c.white) << c.name;
        EXPECT_EQ(a.engine.pixelCount, PREVIEW_PIXELS) << c.name;
    }
}

TEST(AdjustAutomatic, DerivesTheSettingsFromTheBandsChromaAndEdges) {
    const struct {
        const char* name;
        std::function<Bgr(int, int)> pixel;
        AdjustSettings expected;
    } cases[] = {
        // Bk 50, Wt 205: the bands are [56.1, 68.2) and [68.2, 80.4).
        {"empty second band: no brightening", [](int, int) { return Grey(128); }, {0, 50, 30, 12}},
        {"twice as many in the low band",
         [](int, int row) { return Grey(row < 80 ? 60 : 75); },
         {25, 50, 30, 12}},
        {"strong edges everywhere: no sharpening",
         [](int column, int row) { return Grey((column + row) % 2 ? 255 : 0); },
         {0, 50, 30, 0}},
    };
    for (const auto& c : cases) {
        Analysed a(MakePreview(c.pixel));
        ASSERT_TRUE(a.engine.RenderAutomatic(a.before, a.after, a.planes)) << c.name;
        EXPECT_EQ(a.engine.settings.brightness, c.expected.brightness) << c.name;
        EXPECT_EQ(a.engine.settings.contrast, c.expected.contrast) << c.name;
        EXPECT_EQ(a.engine.settings.saturation, c.expected.saturation) << c.name;
        EXPECT_EQ(a.engine.settings.sharpness, c.expected.sharpness) << c.name;
    }
}

TEST(AdjustRender, PlanesThatLostTheirSignatureAreNotRendered) {
    Analysed a(MakePreview([](int column, int) { return Grey(column); }));
    a.planes.Y[0] ^= 1;
    const auto untouched = a.after.storage();
    EXPECT_FALSE(a.engine.RenderManual(a.before, a.after, a.planes));
    EXPECT_FALSE(a.engine.RenderAutomatic(a.before, a.after, a.planes));
    EXPECT_EQ(a.after.storage(), untouched);
}

TEST(AdjustApply, WholePictureKeepsItsRealRowPaddingAndSize) {
    for (const auto& [width, height] : {std::pair{161, 121}, {162, 5}, {163, 130}, {1, 1}}) {
        DibBlock picture = MakeRgbPicture(
            width, height, [](int column, int row) { return Grey((3 * column + row) % 256); },
            0xAB);
        AdjustEngine engine;
        AdjustPlanes planes = AdjustPlanes::ForPicture(width, height);
        DibBlock output = EmptyOutput(picture.size());
        ASSERT_TRUE(engine.ApplyToPicture(picture, output, planes)) << width;
        EXPECT_EQ(output.storage(), picture.storage()) << width << "x" << height;
    }
}

TEST(AdjustApply, RefusesBlocksThatDoNotFit) {
    DibBlock picture = MakeRgbPicture(163, 121, [](int, int) { return Grey(9); });
    const auto eightBit = CreateDib(163, 121, 8);
    ASSERT_TRUE(eightBit.has_value());
    const struct {
        const char* name;
        const DibBlock* source;
        std::size_t outputSize;
        AdjustPlanes planes;
    } cases[] = {
        {"output one byte short", &picture, picture.size() - 1, AdjustPlanes::ForPicture(163, 121)},
        {"planes too small", &picture, picture.size(), AdjustPlanes::ForPicture(163, 120)},
        {"row tails too small", &picture, picture.size(), AdjustPlanes::ForPicture(164, 121)},
        {"8-bit source", &*eightBit, picture.size(), AdjustPlanes::ForPicture(163, 121)},
    };
    for (auto c : cases) {
        AdjustEngine engine;
        DibBlock output = EmptyOutput(c.outputSize);
        EXPECT_FALSE(engine.ApplyToPicture(*c.source, output, c.planes)) << c.name;
        EXPECT_EQ(output.storage(), std::vector<std::uint8_t>(c.outputSize, 0)) << c.name;
    }
}

TEST(AdjustPreview, SamplesEveryStepAlongTheRealRows) {
    const struct {
        int width, height, stepX, stepY;
    } cases[] = {{640, 480, 4, 4}, {333, 250, 2, 2}, {100, 50, 0, 0}, {161, 121, 1, 1}};
    for (const auto& c : cases) {
        DibBlock picture = MakeRgbPicture(c.width, c.height, [](int column, int row) {
            return Bgr{static_cast<std::uint8_t>(column), static_cast<std::uint8_t>(row),
                       static_cast<std::uint8_t>(column >> 8)};
        });
        DibBlock before = EmptyOutput(57'700);
        DibBlock after = EmptyOutput();
        ASSERT_TRUE(MakePreviewPair(picture, before, after));
        EXPECT_TRUE(
            std::equal(after.storage().begin(), after.storage().end(), before.storage().begin()));
        for (int j = 0; j < PREVIEW_HEIGHT; j += 7) {
            for (int i = 0; i < PREVIEW_WIDTH; i += 5) {
                EXPECT_EQ(PixelAt(before, i, j), PixelAt(picture, i * c.stepX, j * c.stepY))
                    << c.width << " " << i << "," << j;
            }
        }
    }
    DibBlock small = EmptyOutput(PREVIEW_BYTES - 1);
    DibBlock enough = EmptyOutput();
    DibBlock picture = MakeRgbPicture(640, 480, [](int, int) { return Grey(1); });
    EXPECT_FALSE(MakePreviewPair(picture, small, enough));
    EXPECT_FALSE(MakePreviewPair(picture, enough, small));
}

}  // namespace
}  // namespace fotolyx
