#include "adjust/adjusted_palette.h"

#include <gtest/gtest.h>

#include "imaging/colour_reduction.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

// Every entry's colour; nothing for no palette.
std::vector<int> Colours(const std::optional<LogPalette>& palette) {
    std::vector<int> colours;
    for (std::size_t i = 0; palette && i < palette->palPalEntry.size(); ++i) {
        const PaletteEntry& entry = palette->palPalEntry[i];
        colours.push_back(entry.peRed << 16 | entry.peGreen << 8 | entry.peBlue);
    }
    return colours;
}

LogPalette Filled(std::uint8_t value) {
    LogPalette palette;
    palette.palPalEntry.fill({value, value, value, 0});
    return palette;
}

TEST(AdjustedPalettes, FollowTheChangedPictureOrKeepTheOldOneWhenItCannotBeBuilt) {
    const DibBlock picture = testing::MakeRgbPicture(64, 48, [](int column, int row) {
        return testing::Bgr{static_cast<std::uint8_t>(column * 4),
                            static_cast<std::uint8_t>(row * 5), 200};
    });
    testing::RecordingShell quietShell;
    LogPalette built = Filled(7);
    ASSERT_EQ(BuildPopularityPalette(quietShell, picture, built), 1);

    const struct {
        const char* name;
        bool memoryFails;
        bool hadImagePalette;
        std::optional<LogPalette> after;  // what all three palettes hold
    } cases[] = {
        {"built", false, true, built},
        {"no memory: the old image palette stays", true, true, Filled(7)},
        {"no memory and no palette yet: none", true, false, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::RecordingShell shell;
        testing::FailingMemory memory;
        if (c.memoryFails) {
            memory.failingCalls = {0};
        }
        std::optional<LogPalette> screen = Filled(1);
        std::optional<LogPalette> image =
            c.hadImagePalette ? std::optional(Filled(7)) : std::nullopt;
        std::optional<LogPalette> window;
        EXPECT_EQ(RebuildPalettesAfterAdjustment(shell, memory, picture, {screen, image, &window}),
                  c.memoryFails ? 0 : 1)
            << c.name;
        EXPECT_EQ(Colours(image), Colours(c.after)) << c.name;
        EXPECT_EQ(Colours(screen), Colours(c.after)) << c.name;
        EXPECT_EQ(Colours(window), Colours(c.after)) << c.name;
        EXPECT_EQ(shell.messages.size(), c.memoryFails ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
