#include <gtest/gtest.h>

#include <random>

#include "adjust/adjust_algorithms.h"
#include "adjust/adjust_dialog.h"
#include "adjust/adjusted_palette.h"
#include "imaging/colour_reduction.h"
#include "support/adjust_outcome.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using namespace testing;

using Ints = std::array<std::int32_t, ADJUST_SETTING_COUNT>;

Ints Values(const AdjustSettings& s) {
    return {s.brightness, s.contrast, s.saturation, s.sharpness};
}

DibBlock Zeros(std::size_t size = PREVIEW_BYTES) {
    return DibBlock(std::vector<std::uint8_t>(size, 0));
}

// A 160 x 120 preview analysed by a fresh engine that then takes the settings.
struct Analysed {
    DibBlock before;
    DibBlock after = Zeros();
    AdjustPlanes planes = AdjustPlanes::ForPicture(PREVIEW_WIDTH, PREVIEW_HEIGHT);
    AdjustEngine engine;

    explicit Analysed(const std::function<Bgr(int, int)>& pixel, AdjustSettings settings = {})
        : before(MakeRgbPicture(PREVIEW_WIDTH, PREVIEW_HEIGHT, pixel)) {
        EXPECT_TRUE(engine.AnalysePreview(before, planes));
        engine.settings = settings;
    }
    bool Manual() { return engine.RenderManual(before, after, planes); }
};

TEST(AdjustTone, ContrastEndPointsBalanceTheTwoClippedGaps) {
    const struct {
        int black, white, contrast, lo, hi;
    } cases[] = {
        {10, 240, 100, 67, 155},
        {10, 240, -100, -66, 355},
        {50, 205, 100, 100, 155},
        {0, 255, 40, 40, 255},
    };
    for (const auto& c : cases) {
        const ContrastRange range = ManualContrastRange(c.black, c.white, c.contrast);
        EXPECT_EQ(std::pair(range.lo, range.hi), std::pair(c.lo, c.hi))
            << c.black << " " << c.white << " " << c.contrast;
    }
}

TEST(AdjustRender, BrightnessBendsTheCurveAndSharpeningAddsTheEdgeTimesSharpnessPercent) {
    // A spot on grey 100: edges 4 x (spot - 100) and 100 - spot; the last row is never sharpened.
    const struct {
        int brightness, sharpness, spot, centre, beside, row;
    } cases[] = {
        {-100, 0, 31, 0, 0, 60},      {100, 0, 128, 255, 228, 60}, {30, 0, 10, 22, 138, 60},
        {0, 50, 120, 160, 90, 60},    {0, 50, 102, 106, 100, 60},  {0, 100, 200, 255, 0, 60},
        {0, 100, 200, 200, 100, 119},
    };
    for (const auto& c : cases) {
        Analysed a(
            [&](int column, int row) { return Grey(column == 80 && row == c.row ? c.spot : 100); },
            {c.brightness, 0, 0, c.sharpness});
        ASSERT_TRUE(a.Manual());
        EXPECT_EQ(PixelAt(a.after, 80, c.row), Grey(c.centre)) << c.brightness << " " << c.spot;
        EXPECT_EQ(PixelAt(a.after, 81, c.row), Grey(c.beside)) << c.brightness << " " << c.spot;
    }
}

// Grey 128 after darkCount pixels of darkLevel and brightCount of brightLevel, in stored order.
std::function<Bgr(int, int)> Runs(int darkLevel, int darkCount, int brightLevel, int brightCount) {
    return [=](int column, int row) {
        const int index = row * PREVIEW_WIDTH + column;
        return Grey(index < darkCount                 ? darkLevel
                    : index < darkCount + brightCount ? brightLevel
                                                      : 128);
    };
}

TEST(AdjustAnalysis, ClipsTwoPerMilleForTheBlackAndWhitePointsAndDerivesTheAutomaticSettings) {
    // 19 pixels are 2 / 2000 of the preview's 19,200. With black point 50 and white point 205
    // the bands are [56.1, 68.2) and [68.2, 80.4); the saturation factor stops at 1.3.
    const auto bands = [](int, int row) { return Grey(row < 80 ? 60 : 75); };
    const auto checks = [](int column, int row) { return Grey((column + row) % 2 ? 255 : 0); };
    const struct {
        const char* name;
        std::function<Bgr(int, int)> pixel;
        int black, white;
        Ints settings;
    } cases[] = {
        {"uniform grey", Runs(128, 0, 128, 0), 50, 205, {0, 50, 30, 12}},
        {"dark and bright pixels found", Runs(3, 19, 250, 19), 3, 250, {0, 5, 3, 12}},
        {"too few of them", Runs(3, 18, 250, 18), 50, 205, {0, 50, 30, 12}},
        {"0 and 255 not counted; 159 edges", Runs(0, 500, 255, 500), 50, 205, {0, 50, 30, 8}},
        {"twice as many in the low band", bands, 50, 205, {25, 50, 30, 12}},
        {"strong edges everywhere", checks, 50, 205, {0, 50, 30, 0}},
    };
    for (const auto& c : cases) {
        Analysed a(c.pixel);
        EXPECT_EQ(std::tuple(a.engine.blackPoint, a.engine.whitePoint, a.engine.pixelCount),
                  std::tuple(c.black, c.white, PREVIEW_PIXELS))
            << c.name;
        ASSERT_TRUE(a.engine.RenderAutomatic(a.before, a.after, a.planes)) << c.name;
        EXPECT_EQ(Values(a.engine.settings), c.settings) << c.name;
    }
}

TEST(AdjustPicture, PreviewSamplesEveryStepAlongTheRealRowsAndApplyKeepsTheirPadding) {
    const struct {
        int width, height, stepX, stepY;
    } cases[] = {{640, 480, 4, 4}, {333, 250, 2, 2}, {100, 50, 0, 0}, {161, 121, 1, 1},
                 {162, 5, 1, 0},   {163, 130, 1, 1}, {1, 1, 0, 0}};
    for (const auto& c : cases) {
        DibBlock picture = MakeRgbPicture(
            c.width, c.height, [](int column, int row) { return Grey((3 * column + row) % 256); },
            0xAB);
        DibBlock before = Zeros(57'700);
        DibBlock after = Zeros();
        ASSERT_TRUE(MakePreviewPair(picture, before, after));
        EXPECT_TRUE(
            std::equal(after.storage().begin(), after.storage().end(), before.storage().begin()));
        for (int j = 0; j < PREVIEW_HEIGHT; j += 7) {
            for (int i = 0; i < PREVIEW_WIDTH; i += 5) {
                EXPECT_EQ(PixelAt(before, i, j), PixelAt(picture, i * c.stepX, j * c.stepY))
                    << c.width << " " << i << "," << j;
            }
        }
        // Zero settings give the picture back, pad bytes and all.
        AdjustEngine engine;
        AdjustPlanes planes = AdjustPlanes::ForPicture(c.width, c.height);
        DibBlock output = Zeros(picture.size());
        ASSERT_TRUE(engine.ApplyToPicture(picture, output, planes)) << c.width;
        EXPECT_EQ(output.storage(), picture.storage()) << c.width << "x" << c.height;
    }
}

TEST(AdjustPicture, BlocksThatDoNotFitAreRefusedAndLeftAlone) {
    const DibBlock picture = MakeRgbPicture(163, 121, [](int, int) { return Grey(9); });
    const DibBlock eightBit = CreateDib(163, 121, 8).value();
    const struct {
        const char* name;
        const DibBlock* source;
        std::size_t outputSize;
        int planeWidth, planeHeight;
    } cases[] = {
        {"output one byte short", &picture, picture.size() - 1, 163, 121},
        {"planes too small", &picture, picture.size(), 163, 120},
        {"row tails too small", &picture, picture.size(), 164, 121},
        {"8-bit source", &eightBit, picture.size(), 163, 121},
    };
    for (const auto& c : cases) {
        AdjustEngine engine;
        AdjustPlanes planes = AdjustPlanes::ForPicture(c.planeWidth, c.planeHeight);
        DibBlock output = Zeros(c.outputSize);
        EXPECT_FALSE(engine.ApplyToPicture(*c.source, output, planes)) << c.name;
        EXPECT_EQ(output.storage(), Zeros(c.outputSize).storage()) << c.name;
    }
}

DibBlock TestPicture(int width = 330, int height = 250) {
    std::mt19937 random(11);
    return MakeRandomPicture(width, height, random, 0x5A);
}

struct DialogRun {
    FailingMemory memory;
    DibBlock picture = TestPicture();
    AdjustDialog dialog{memory};

    DialogRun() { dialog.Open(&picture); }
};

std::array<Ints, 3> Shown(const AdjustDialog& dialog) {
    std::array<Ints, 3> shown{{{}, dialog.valueFields, {}}};
    for (std::size_t i = 0; i < shown[0].size(); ++i) {
        shown[0][i] = dialog.scrollBars[i].position;
        shown[2][i] = dialog.scrollBars[i].enabled;
    }
    return shown;
}

TEST(AdjustDialogScroll, EachCodeMovesTheSettingWithinItsRange) {
    const struct {
        int setting, code, thumb, value;
    } messages[] = {
        {0, 3, 0, 20},     {0, 4, 90, 20},       {0, 8, 0, 20},   {0, 6, 0, 20},  // only 0-3, 5
        {0, 5, 90, 90},    {0, 3, 0, 100},       {3, 5, 10, 10},  {3, 2, 0, 0},
        {3, 5, 65'499, 0}, {2, 5, 65'436, -100}, {2, 0, 0, -100}, {1, 1, 0, 1},
        {1, 0, 0, 0},      {1, 5, 65'499, -37},  // the thumb's position is a signed 16-bit word
    };
    DialogRun run;
    Ints expected{};
    for (const auto& m : messages) {
        run.dialog.HScroll(IDC_ADJUST_FIRST_SCROLL + m.setting, m.code, m.thumb);
        expected[static_cast<std::size_t>(m.setting)] = m.value;
        EXPECT_EQ(Values(run.dialog.engine.settings), expected) << m.code << " " << m.thumb;
        EXPECT_EQ(Shown(run.dialog), (std::array{expected, expected, Ints{1, 1, 1, 1}}));
        EXPECT_TRUE(run.dialog.pending && run.dialog.fresh && run.dialog.revertEnabled);
    }
}

TEST(AdjustDialogSequence, OkAppliesWhatTheLastRenderLeftOrNothingWithoutPictureOrMemory) {
    const EngineSteps automatic = [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
        e.RenderAutomatic(b, o, p);
    };
    const struct {
        const char* name;
        std::vector<int> steps;  // commands; a negative number -n scrolls bar n-1 one page right
        EngineSteps expected;    // none: the picture stays as it was
        int width = 330, height = 250;  // 0: no active picture
        std::vector<int> failingCalls = {};
    } cases[] = {
        {"Automatic, scroll, OK",
         {IDC_ADJUST_AUTOMATIC, -4, IDOK},
         [&](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             automatic(e, b, o, p);
             e.settings.sharpness = std::min(e.settings.sharpness + 20, 100);
             e.RenderManual(b, o, p);
         }},
        {"no active picture", {-1, IDC_ADJUST_AUTOMATIC, IDOK}, nullptr, 0, 0},
        {"no row-tail block", {-1, IDC_ADJUST_AUTOMATIC, IDOK}, nullptr, 330, 250, {5}},
        // Blocks and planes large enough for the preview whatever the picture's size.
        {"7 x 3", {-3, IDC_ADJUST_AUTOMATIC, IDOK}, automatic, 7, 3},
        {"1 x 500", {-3, IDC_ADJUST_AUTOMATIC, IDOK}, automatic, 1, 500},
    };
    for (const auto& c : cases) {
        FailingMemory memory;
        memory.failingCalls = c.failingCalls;
        DibBlock picture = TestPicture(std::max(c.width, 1), std::max(c.height, 1));
        const std::vector<std::uint8_t> original = picture.storage();
        AdjustDialog dialog(memory);
        dialog.Open(c.width > 0 ? &picture : nullptr);
        EXPECT_EQ(dialog.HasPicture(), c.width > 0 && c.failingCalls.empty()) << c.name;
        AdjustDialogEnd end = AdjustDialogEnd::Open;
        for (int step : c.steps) {
            if (step < 0) {
                dialog.HScroll(IDC_ADJUST_FIRST_SCROLL - step - 1, SB_PAGERIGHT, 0);
            } else {
                end = dialog.Command(step);
            }
        }
        EXPECT_EQ(end, c.expected ? AdjustDialogEnd::Applied : AdjustDialogEnd::Closed) << c.name;
        EXPECT_EQ(
            picture.storage(),
            c.expected ? AdjustWithoutDialog(DibBlock(original), c.expected).picture : original)
            << c.name;
        EXPECT_EQ(picture.storage() != original, c.expected != nullptr) << c.name;
        EXPECT_EQ(dialog.BeforePreview(), nullptr) << c.name;
    }
}

TEST(AdjustDialogSequence, AutomaticShowsDerivedSettingsOnceManualMovesTheBarsRevertResets) {
    DialogRun run;
    AdjustDialog& dialog = run.dialog;
    dialog.HScroll(IDC_ADJUST_FIRST_SCROLL, SB_PAGERIGHT, 0);
    dialog.Command(IDC_ADJUST_AUTOMATIC);
    const Ints derived = Values(dialog.engine.settings);
    // The bars keep their places until Manual.
    EXPECT_EQ(Shown(dialog), (std::array{Ints{20, 0, 0, 0}, derived, Ints{}}));
    EXPECT_FALSE(dialog.manualChecked || dialog.revertEnabled);

    dialog.Command(IDC_ADJUST_MANUAL);
    EXPECT_EQ(Shown(dialog), (std::array{derived, derived, Ints{1, 1, 1, 1}}));
    EXPECT_TRUE(dialog.manualChecked && dialog.revertEnabled && dialog.pending);

    dialog.Command(IDC_ADJUST_REVERT);
    EXPECT_EQ(Values(dialog.engine.settings), Ints{});
    EXPECT_EQ(Shown(dialog), (std::array{Ints{}, Ints{}, Ints{1, 1, 1, 1}}));
    EXPECT_TRUE(!dialog.pending && dialog.fresh);
}

TEST(AdjustedPalettes, FollowTheChangedPictureOrKeepTheOldOneWhenItCannotBeBuilt) {
    const DibBlock picture = TestPicture(64, 48);
    LogPalette old;
    old.palPalEntry.fill({7, 7, 7, 0});
    LogPalette built = old;
    RecordingShell quietShell;
    ASSERT_EQ(BuildPopularityPalette(quietShell, picture, built), 1);
    const auto colours = [](const std::optional<LogPalette>& palette) {
        std::vector<int> all;  // every entry's colour; nothing for no palette
        for (std::size_t i = 0; palette && i < palette->palPalEntry.size(); ++i) {
            const PaletteEntry& e = palette->palPalEntry[i];
            all.push_back(e.peRed << 16 | e.peGreen << 8 | e.peBlue);
        }
        return all;
    };
    const struct {
        const char* name;
        bool memoryFails, hadImagePalette;
        std::optional<LogPalette> after;  // what all three palettes hold
    } cases[] = {
        {"built", false, true, built},
        {"no memory: the old image palette stays", true, true, old},
    };
    for (const auto& c : cases) {
        RecordingShell shell;
        FailingMemory memory;
        memory.failingCalls = c.memoryFails ? std::vector{0} : std::vector<int>{};
        std::optional<LogPalette> screen = LogPalette(), window;
        std::optional<LogPalette> image = c.hadImagePalette ? std::optional(old) : std::nullopt;
        EXPECT_EQ(RebuildPalettesAfterAdjustment(shell, memory, picture, {screen, image, &window}),
                  c.memoryFails ? 0 : 1)
            << c.name;
        for (const auto* palette : {&image, &screen, &window}) {
            EXPECT_EQ(colours(*palette), colours(c.after)) << c.name;
        }
        EXPECT_EQ(shell.messages.size(), c.memoryFails ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
