#include "adjust/adjusted_palette.h"

#include <gtest/gtest.h>

#include "imaging/colour_reduction.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

bool Same(const std::optional<LogPalette>& a, const std::optional<LogPalette>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    for (std::size_t i = 0; a && i < a->palPalEntry.size(); ++i) {
        const PaletteEntry& x = a->palPalEntry[i];
        const PaletteEntry& y = b->palPalEntry[i];
        if (x.peRed != y.peRed || x.peGreen != y.peGreen || x.peBlue != y.peBlue ||
            x.peFlags != y.peFlags) {
            return false;
        }
    }
    return true;
}

LogPalette Filled(std::uint8_t value) {
    LogPalette palette;
    for (auto& entry : palette.palPalEntry) {
        entry = {value, value, value, 0};
    }
    return palette;
}

TEST(AdjustedPalettes, FollowTheChangedPictureOrKeepTheOldOneWhenItCannotBeBuilt) {
    const DibBlock picture = testing::MakeRgbPicture(64, 48, [](int column, int row) {
        return testing::Bgr{static_cast<std::uint8_t>(column * 4),
                            static_cast<std::uint8_t>(row * 5), 200};
    });
    testing::RecordingShell quietShell;
    Memory plainMemory;
    LogPalette built = Filled(7);
    ASSERT_EQ(BuildPopularityPalette(quietShell, plainMemory, picture, built), 1);

    const struct {
        const char* name;
        bool memoryFails;
        bool windowKeepsOne;
        bool hadImagePalette;
        int result;
        std::optional<LogPalette> palettes;  // what all three hold afterwards
    } cases[] = {
        {"built", false, true, true, 1, built},
        {"built, window without its own", false, false, true, 1, built},
        {"no memory: the old image palette stays", true, true, true, 0, Filled(7)},
        {"no memory and no palette yet: none", true, true, false, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::RecordingShell shell;
        testing::FailingMemory memory;
        if (c.memoryFails) {
            memory.failingCalls = {0};
        }
        std::optional<LogPalette> screen = Filled(1);
        std::optional<LogPalette> image;
        if (c.hadImagePalette) {
            image = Filled(7);
        }
        std::optional<LogPalette> window;
        const int result = RebuildPalettesAfterAdjustment(
            shell, memory, picture, {screen, image, c.windowKeepsOne ? &window : nullptr});
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_TRUE(Same(image, c.palettes)) << c.name;
        EXPECT_TRUE(Same(screen, c.palettes)) << c.name;
        EXPECT_TRUE(Same(window, c.windowKeepsOne ? c.palettes : std::nullopt)) << c.name;
        EXPECT_EQ(shell.messages.size(), c.memoryFails ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
