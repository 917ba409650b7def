#include "app/open_command.h"

#include <gtest/gtest.h>

#include <set>
#include <span>

#include "app/program.h"
#include "support/picture_files.h"
#include "support/program_world.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::MakeBmpFile;
using testing::SmoothColour;
using testing::WriteBytes;

struct World : testing::StartedWorld {
    using StartedWorld::StartedWorld;
    std::string Write(const std::string& name, const Bytes& bytes) {
        WriteBytes(root / name, bytes);
        return (root / name).string();
    }
};

TEST(OpenCommand, OpensTheChosenFileIntoAWindowAndRemembersItsFolderEvenWhenRefused) {
    for (const auto& [name, filter, opened] : {std::tuple{"small.bmp", OPEN_FILTER_BMP, true},
                                               {"bmp as jpeg.bmp", OPEN_FILTER_JPEG, false}}) {
        World world;
        Program& program = world.program;
        const std::string path = world.Write(name, MakeBmpFile(320, 240, 24, SmoothColour));
        EXPECT_EQ(OpenChosenPicture(program, path, filter), opened) << name;
        EXPECT_EQ(world.shell.messages.size(), opened ? 0u : 1u) << name;
        EXPECT_EQ(program.settings.OpenInitialDir, world.root.path().string() + "/") << name;
        ASSERT_EQ(program.openfileWindows.size(), opened ? 1u : 0u) << name;
        if (opened) {
            const ChildWindowRequest& request = world.shell.createdWindows.at(0);
            EXPECT_EQ(std::tuple(request.kind, request.title, request.width, request.height),
                      std::tuple(ChildKind::Openfile, name, 644, 510));
            EXPECT_FALSE(program.openfileWindows[0]->modified());
            EXPECT_EQ(program.openfileWindows[0]->picture().size(), 925'696u);
            EXPECT_FALSE(program.openfileWindows[0]->palette());  // none on a true-colour screen
        }
    }
}

TEST(OpenCommand, PicturesNamedOnTheCommandLineChooseTheirTypeByName) {
    const std::pair<const char*, int> cases[] = {
        {"b.JPEG", OPEN_FILTER_JPEG}, {"c.Jpg", OPEN_FILTER_JPEG}, {"jpg", OPEN_FILTER_BMP}};
    for (const auto& [name, filter] : cases) {
        EXPECT_EQ(OpenFilterForName(name), filter) << name;
    }
    World world;  // the Open dialog's folder stays
    const std::string before = world.program.settings.OpenInitialDir;
    EXPECT_TRUE(OpenPictureArgument(
        world.program, world.Write("picture.bmp", MakeBmpFile(64, 48, 24, SmoothColour))));
    EXPECT_EQ(world.program.settings.OpenInitialDir, before);
}

TEST(OpenfilePalette, EachWindowOnAnEightBitDisplayGetsThePaletteOfItsPicture) {
    World world(nullptr, false);
    Program& program = world.program;
    // Four colours only: the palette holds exactly them, the rest of ImagePalette stays.
    const Bytes four = MakeBmpFile(640, 480, 24, [](std::int32_t x, std::int32_t y) {
        return Bgr{static_cast<std::uint8_t>(x < 320 ? 0 : 0xF0),
                   static_cast<std::uint8_t>(y < 240 ? 0 : 0xF8), 0x10};
    });
    ASSERT_TRUE(OpenChosenPicture(program, world.Write("four.bmp", four), OPEN_FILTER_BMP));
    PictureWindow& first = *program.openfileWindows.back();
    ASSERT_TRUE(first.palette());
    std::set<std::tuple<int, int, int, int>> colours;
    for (const PaletteEntry& entry : std::span(first.palette()->palPalEntry).first(4)) {
        colours.insert({entry.peRed, entry.peGreen, entry.peBlue, entry.peFlags});
    }
    EXPECT_EQ(colours,
              (std::set<std::tuple<int, int, int, int>>{
                  {0x10, 0, 0, 0}, {0x10, 0, 0xF0, 0}, {0x10, 0xF8, 0, 0}, {0x10, 0xF8, 0xF0, 0}}));
    EXPECT_EQ(first.palette()->palPalEntry[255].peRed, 165);  // the fixed palette's still
    ASSERT_TRUE(program.display.ScreenPalette);
    // An adjusted picture gets a new palette and is marked modified.
    std::fill(first.picture().data() + 40, first.picture().data() + 40 + 921'600, 0x80);
    program.OpenfilePictureChanged(first.id());
    EXPECT_TRUE(first.modified());
    EXPECT_EQ(first.palette()->palPalEntry[0].peRed, 0x80);
    EXPECT_EQ(program.display.ScreenPalette->palPalEntry[0].peRed, 0x80);
    // A window that goes takes the screen palette with it.
    program.DestroyOpenfileWindow(first.id());
    EXPECT_FALSE(program.display.ScreenPalette);
}

}  // namespace
}  // namespace fotolyx
