#include "adjust/adjust_dialog.h"

#include <gtest/gtest.h>

#include <random>

#include "ports/shell.h"
#include "support/adjust_outcome.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

// The dialog's sequences against the engine alone: wiring checks (support/adjust_outcome.h).
namespace fotolyx {
namespace {

using testing::FailingMemory;

constexpr int BRIGHTNESS_BAR = IDC_ADJUST_FIRST_SCROLL;
constexpr int CONTRAST_BAR = IDC_ADJUST_FIRST_SCROLL + 1;
constexpr int SATURATION_BAR = IDC_ADJUST_FIRST_SCROLL + 2;
constexpr int SHARPNESS_BAR = IDC_ADJUST_FIRST_SCROLL + 3;

DibBlock TestPicture() {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(0, 40);
    // Soft gradients with noise: every band, some colour, some edges; padded rows.
    return testing::MakeRgbPicture(
        330, 250,
        [&](int column, int row) {
            return testing::Bgr{static_cast<std::uint8_t>(column / 2 + noise(random)),
                                static_cast<std::uint8_t>(row / 2 + noise(random)),
                                static_cast<std::uint8_t>((column + row) / 4 + noise(random))};
        },
        0x5A);
}

struct DialogRun {
    Memory memory;
    DibBlock picture = TestPicture();
    const std::vector<std::uint8_t> original = picture.storage();
    AdjustDialog dialog{memory};

    DialogRun() { dialog.Open(&picture); }
};

TEST(AdjustDialogScroll, EachCodeMovesTheSettingWithinItsRange) {
    const struct {
        const char* name;
        int bar;
        std::vector<std::pair<int, int>> messages;  // code, thumb position
        std::int32_t value;
    } cases[] = {
        {"five page-rights reach 100",
         BRIGHTNESS_BAR,
         {{3, 0}, {3, 0}, {3, 0}, {3, 0}, {3, 0}},
         100},
        {"a sixth stays at 100", BRIGHTNESS_BAR, std::vector<std::pair<int, int>>(6, {3, 0}), 100},
        {"page-left from sharpness 10 gives 0", SHARPNESS_BAR, {{5, 10}, {2, 0}}, 0},
        {"line-left stops at -100", SATURATION_BAR, {{5, 65'436}, {0, 0}}, -100},
        {"line steps", CONTRAST_BAR, {{1, 0}, {1, 0}, {0, 0}, {1, 0}}, 2},
        {"thumb at 65,499 is -37", CONTRAST_BAR, {{5, 65'499}}, -37},
        {"thumb at 60 is 60", SHARPNESS_BAR, {{5, 60}}, 60},
        {"a thumb outside the bar stays inside", SHARPNESS_BAR, {{5, 65'499}}, 0},
        {"other codes move nothing", BRIGHTNESS_BAR, {{3, 0}, {4, 90}, {8, 0}, {6, 0}}, 20},
    };
    for (const auto& c : cases) {
        DialogRun run;
        for (const auto& [code, position] : c.messages) {
            run.dialog.HScroll(c.bar, code, position);
        }
        const int index = c.bar - IDC_ADJUST_FIRST_SCROLL;
        EXPECT_EQ(SettingAt(run.dialog.engine.settings, index), c.value) << c.name;
        EXPECT_EQ(run.dialog.scrollBars[static_cast<std::size_t>(index)].position, c.value)
            << c.name;
        EXPECT_EQ(run.dialog.valueFields[static_cast<std::size_t>(index)], c.value) << c.name;
        EXPECT_TRUE(run.dialog.pending && run.dialog.fresh && run.dialog.revertEnabled) << c.name;
    }
}

TEST(AdjustDialogSequence, OkAppliesWhatTheLastRenderLeft) {
    const struct {
        const char* name;
        std::vector<int> steps;  // commands; a negative number -n scrolls bar n-1 one page right
        bool changes;
        testing::EngineSteps expected;
    } cases[] = {
        {"OK at once", {IDOK}, false, nullptr},
        {"Cancel after changes", {-1, -2, IDCANCEL}, false, nullptr},
        {"Revert then OK", {-1, -3, IDC_ADJUST_REVERT, IDOK}, false, nullptr},
        {"scroll then OK",
         {-1, -2, IDOK},
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.settings = {20, 20, 0, 0};
             e.RenderManual(b, o, p);
         }},
        {"Automatic, Manual, OK",
         {IDC_ADJUST_AUTOMATIC, IDC_ADJUST_MANUAL, IDOK},
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.RenderAutomatic(b, o, p);
         }},
        {"Automatic, scroll, OK",
         {IDC_ADJUST_AUTOMATIC, -4, IDOK},
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.RenderAutomatic(b, o, p);
             e.settings.sharpness = std::min(e.settings.sharpness + 20, 100);
             e.RenderManual(b, o, p);
         }},
        {"Automatic, Manual, Automatic keeps the automatic result",
         {IDC_ADJUST_AUTOMATIC, IDC_ADJUST_MANUAL, IDC_ADJUST_AUTOMATIC, IDOK},
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.RenderAutomatic(b, o, p);
         }},
    };
    for (const auto& c : cases) {
        DialogRun run;
        AdjustDialogEnd end = AdjustDialogEnd::Open;
        for (int step : c.steps) {
            if (step < 0) {
                run.dialog.HScroll(IDC_ADJUST_FIRST_SCROLL - step - 1, SB_PAGERIGHT, 0);
            } else {
                end = run.dialog.Command(step);
            }
        }
        EXPECT_EQ(end, c.changes ? AdjustDialogEnd::Applied : AdjustDialogEnd::Closed) << c.name;
        if (c.changes) {
            EXPECT_EQ(run.picture.storage(),
                      testing::AdjustWithoutDialog(DibBlock(run.original), c.expected).picture)
                << c.name;
            EXPECT_NE(run.picture.storage(), run.original) << c.name;
        } else {
            EXPECT_EQ(run.picture.storage(), run.original) << c.name;
        }
        EXPECT_EQ(run.dialog.BeforePreview(), nullptr) << c.name;
    }
}

TEST(AdjustDialogSequence, AutomaticShowsTheDerivedSettingsAndRecomputesOnlyWhenFresh) {
    DialogRun run;
    run.dialog.HScroll(BRIGHTNESS_BAR, SB_PAGERIGHT, 0);
    run.dialog.Command(IDC_ADJUST_AUTOMATIC);
    const AdjustSettings derived = run.dialog.engine.settings;
    EXPECT_FALSE(run.dialog.manualChecked);
    EXPECT_FALSE(run.dialog.revertEnabled);
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        EXPECT_EQ(run.dialog.valueFields[static_cast<std::size_t>(i)], SettingAt(derived, i));
        EXPECT_FALSE(run.dialog.scrollBars[static_cast<std::size_t>(i)].enabled);
    }
    // The bars keep their places until Manual.
    EXPECT_EQ(run.dialog.scrollBars[0].position, 20);

    // A second Automatic finds nothing fresh and leaves the After preview alone.
    auto& after = const_cast<DibBlock&>(*run.dialog.AfterPreview());
    std::fill(after.storage().begin() + 40, after.storage().end(), 0);
    run.dialog.Command(IDC_ADJUST_AUTOMATIC);
    EXPECT_EQ(std::count(after.storage().begin() + 40, after.storage().end(), 0),
              static_cast<std::ptrdiff_t>(after.size() - 40));

    run.dialog.Command(IDC_ADJUST_MANUAL);
    EXPECT_TRUE(run.dialog.manualChecked && run.dialog.revertEnabled && run.dialog.pending);
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        EXPECT_EQ(run.dialog.scrollBars[static_cast<std::size_t>(i)].position,
                  SettingAt(derived, i));
        EXPECT_TRUE(run.dialog.scrollBars[static_cast<std::size_t>(i)].enabled);
    }
}

TEST(AdjustDialogSequence, RevertBringsBackTheUntouchedPreview) {
    DialogRun run;
    const std::vector<std::uint8_t> opened = testing::BlockBytes(*run.dialog.AfterPreview());
    run.dialog.HScroll(CONTRAST_BAR, SB_PAGERIGHT, 0);
    run.dialog.HScroll(SHARPNESS_BAR, SB_THUMBPOSITION, 80);
    EXPECT_NE(testing::BlockBytes(*run.dialog.AfterPreview()), opened);
    run.dialog.Command(IDC_ADJUST_REVERT);
    EXPECT_FALSE(run.dialog.pending);
    EXPECT_TRUE(run.dialog.fresh);
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        EXPECT_EQ(SettingAt(run.dialog.engine.settings, i), 0);
        EXPECT_EQ(run.dialog.scrollBars[static_cast<std::size_t>(i)].position, 0);
    }
    // Up to the conversion round trip.
    const auto reverted = testing::BlockBytes(*run.dialog.AfterPreview());
    for (std::size_t i = 40; i < PREVIEW_BYTES; ++i) {
        EXPECT_LE(std::abs(reverted[i] - opened[i]), 2) << i;
    }
}

TEST(AdjustDialogOpen, WithoutPictureOrMemoryTheDialogShowsNothingAndOkCloses) {
    const struct {
        const char* name;
        bool withPicture;
        std::vector<int> failingCalls;
    } cases[] = {
        {"no active picture", false, {}},
        {"no Before block", true, {0}},
        {"no row-tail block", true, {5}},
    };
    for (const auto& c : cases) {
        FailingMemory memory;
        memory.failingCalls = c.failingCalls;
        DibBlock picture = TestPicture();
        const auto original = picture.storage();
        AdjustDialog dialog(memory);
        dialog.Open(c.withPicture ? &picture : nullptr);
        EXPECT_FALSE(dialog.HasPicture()) << c.name;
        EXPECT_EQ(dialog.AfterPreview(), nullptr) << c.name;
        dialog.HScroll(BRIGHTNESS_BAR, SB_PAGERIGHT, 0);
        dialog.Command(IDC_ADJUST_AUTOMATIC);
        EXPECT_EQ(dialog.Command(IDOK), AdjustDialogEnd::Closed) << c.name;
        EXPECT_EQ(picture.storage(), original) << c.name;
    }
}

TEST(AdjustDialogOpen, SmallAndPaddedPicturesGetBlocksLargeEnoughForThePreview) {
    for (const auto& [width, height] : {std::pair{7, 3}, {161, 1}, {1, 500}}) {
        Memory memory;
        std::mt19937 random(3);
        DibBlock picture = testing::MakeRandomPicture(width, height, random, 0xEE);
        AdjustDialog dialog(memory);
        dialog.Open(&picture);
        ASSERT_TRUE(dialog.HasPicture());
        dialog.HScroll(SATURATION_BAR, SB_PAGERIGHT, 0);
        dialog.Command(IDC_ADJUST_AUTOMATIC);
        EXPECT_EQ(dialog.Command(IDOK), AdjustDialogEnd::Applied) << width;
        EXPECT_EQ(DibWidth(picture), width);
        const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
        if (width % 4 != 0) {
            EXPECT_EQ(picture.storage()[40 + stride - 1], 0xEE) << width;
        }
    }
}

}  // namespace
}  // namespace fotolyx
