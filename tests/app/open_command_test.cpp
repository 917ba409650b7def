#include "app/open_command.h"

#include <gtest/gtest.h>

#include <set>

#include "app/program.h"
#include "support/picture_files.h"
#include "support/program_world.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::MakeBmpFile;
using testing::WriteBytes;

struct World : testing::StartedWorld {
    using StartedWorld::StartedWorld;
    std::string Write(const std::string& name, const Bytes& bytes) {
        WriteBytes(root / name, bytes);
        return (root / name).string();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : shell.messages) {
            texts.push_back(message.text);
        }
        return texts;
    }
};

Bytes Stripes(std::int32_t width, std::int32_t height) {
    return MakeBmpFile(width, height, 24, [](std::int32_t x, std::int32_t y) {
        return Bgr{static_cast<std::uint8_t>(x * 37), static_cast<std::uint8_t>(y * 11),
                   static_cast<std::uint8_t>((x + y) * 5)};
    });
}

TEST(OpenCommand, OpensTheChosenFileIntoAWindowAndRemembersItsFolder) {
    const struct {
        const char* name;
        Bytes bytes;
        int filter;
        bool opened;
        const char* message;  // empty: none
    } cases[] = {{"small.bmp", Stripes(320, 240), OPEN_FILTER_BMP, true, ""},
                 {"large.bmp", Stripes(800, 600), OPEN_FILTER_BMP, true,
                  "Part of the image will be cut off."},
                 {"notes.txt", Bytes(100, 'x'), OPEN_FILTER_BMP, false, "This file type is wrong."},
                 {"small as jpeg.bmp", Stripes(16, 16), OPEN_FILTER_JPEG, false,
                  "This file type is wrong."}};
    for (const auto& c : cases) {
        World world;
        Program& program = world.program;
        const std::string path = world.Write(c.name, c.bytes);
        EXPECT_EQ(OpenChosenPicture(program, path, c.filter), c.opened) << c.name;
        EXPECT_EQ(world.Texts(),
                  *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(program.settings.OpenInitialDir, world.root.path().string() + "/") << c.name;
        ASSERT_EQ(program.openfileWindows.size(), c.opened ? 1u : 0u) << c.name;
        if (c.opened) {
            ASSERT_EQ(world.shell.createdWindows.size(), 1u);
            const ChildWindowRequest& request = world.shell.createdWindows[0];
            EXPECT_EQ(std::tuple(request.kind, request.title, request.width, request.height),
                      std::tuple(ChildKind::Openfile, c.name, 644, 510));
            EXPECT_FALSE(program.openfileWindows[0]->modified());
            EXPECT_EQ(program.openfileWindows[0]->picture().size(), 925'696u);
            EXPECT_FALSE(program.openfileWindows[0]->palette());  // none on a true-colour screen
            EXPECT_FALSE(program.display.ScreenPalette);
        }
    }
}

TEST(OpenCommand, PicturesNamedOnTheCommandLineChooseTheirTypeByName) {
    const std::pair<const char*, int> cases[] = {
        {"a.jpg", OPEN_FILTER_JPEG}, {"b.JPEG", OPEN_FILTER_JPEG}, {"c.Jpg", OPEN_FILTER_JPEG},
        {"d.bmp", OPEN_FILTER_BMP},  {"e.png", OPEN_FILTER_BMP},   {"jpg", OPEN_FILTER_BMP}};
    for (const auto& [name, filter] : cases) {
        EXPECT_EQ(OpenFilterForName(name), filter) << name;
    }
    World world;
    Program& program = world.program;
    const std::string before = program.settings.OpenInitialDir;
    EXPECT_TRUE(OpenPictureArgument(program, world.Write("picture.bmp", Stripes(64, 48))));
    EXPECT_FALSE(OpenPictureArgument(program, world.Write("picture.jpg", Stripes(64, 48))));
    EXPECT_FALSE(OpenPictureArgument(program, (world.root / "missing.bmp").string()));
    EXPECT_EQ(world.Texts(), (std::vector<std::string>{"This file type is wrong.",
                                                       "This file could not be found. "}));
    EXPECT_EQ(program.openfileWindows.size(), 1u);
    EXPECT_EQ(program.settings.OpenInitialDir, before);
}

TEST(OpenCommand, SaveAsRetitlesTheWindowAndKeepsItModified) {
    World world;
    Program& program = world.program;
    ASSERT_TRUE(OpenChosenPicture(program, world.Write("a.bmp", Stripes(64, 48)), OPEN_FILTER_BMP));
    PictureWindow& window = *program.openfileWindows.back();
    window.SetModified();
    const std::string saved = (world.root / "saved.bmp").string();
    world.shell.scriptedSaveAnswers.push_back(SaveDialogResult{saved, 2});
    window.Command(CMD_SAVE_AS);
    EXPECT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(world.shell.windowTitles[window.id()], saved);
    EXPECT_EQ(window.title(), saved);
    EXPECT_TRUE(window.modified());
}

TEST(OpenCommand, ChosenFolderKeepsItsSeparator) {
    EXPECT_EQ(ChosenFolder("/home/me/a.bmp"), "/home/me/");
    EXPECT_EQ(ChosenFolder("/a.bmp"), "/");
    EXPECT_EQ(ChosenFolder("a.bmp"), "");
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
    std::set<std::tuple<int, int, int>> colours;
    for (int i = 0; i < 4; ++i) {
        const PaletteEntry& entry = first.palette()->palPalEntry[static_cast<std::size_t>(i)];
        colours.insert({entry.peRed, entry.peGreen, entry.peBlue});
        EXPECT_EQ(entry.peFlags, 0);
    }
    EXPECT_EQ(colours, (std::set<std::tuple<int, int, int>>{
                           {0x10, 0, 0}, {0x10, 0, 0xF0}, {0x10, 0xF8, 0}, {0x10, 0xF8, 0xF0}}));
    // Entries past the picture's colours are the fixed palette's still.
    EXPECT_EQ(first.palette()->palPalEntry[255].peRed, 165);
    ASSERT_TRUE(program.display.ScreenPalette);
    EXPECT_EQ(program.display.ScreenPalette->palPalEntry[0].peRed,
              first.palette()->palPalEntry[0].peRed);
    // A second window takes the screen; activating the first gives it back.
    ASSERT_TRUE(
        OpenChosenPicture(program, world.Write("other.bmp", Stripes(64, 48)), OPEN_FILTER_BMP));
    PictureWindow& second = *program.openfileWindows.back();
    EXPECT_NE(second.palette()->palPalEntry[0].peRed, first.palette()->palPalEntry[0].peRed);
    first.MdiActivate(true);
    EXPECT_EQ(program.display.ScreenPalette->palPalEntry[0].peRed, 0x10);
    // An adjusted picture gets a new palette and is marked modified.
    std::fill(first.picture().data() + 40, first.picture().data() + 40 + 921'600, 0x80);
    program.OpenfilePictureChanged(first.id());
    EXPECT_TRUE(first.modified());
    EXPECT_EQ(first.palette()->palPalEntry[0].peRed, 0x80);
    EXPECT_EQ(program.display.ScreenPalette->palPalEntry[0].peRed, 0x80);
    // A window that goes takes the screen palette with it.
    program.DestroyOpenfileWindow(first.id());
    EXPECT_FALSE(program.display.ScreenPalette);
    EXPECT_EQ(program.openfileWindows.size(), 1u);
}

TEST(OpenfilePalette, NoMemoryForThePaletteBlockOpensNoWindow) {
    World world(nullptr, false);
    Program& program = world.program;
    const std::string path = world.Write("a.bmp", Stripes(64, 48));
    // The picture block, then the palette block.
    world.memory.failingCalls = {world.memory.calls + 1};
    EXPECT_FALSE(OpenChosenPicture(program, path, OPEN_FILTER_BMP));
    EXPECT_EQ(world.Texts(), (std::vector<std::string>{"Not enough memory."}));
    EXPECT_TRUE(program.openfileWindows.empty());
    EXPECT_TRUE(world.shell.createdWindows.empty());
}

TEST(OpenDialogState, ThePreviewPictureIsReleasedAtShutdown) {
    World world;
    Program& program = world.program;
    program.settings.FilePreviewEnabled = true;
    OpenPreview preview(program.openDialog, MakeOpenPreviewPorts(program));
    preview.InitDialog();
    ASSERT_TRUE(preview.SelectionChanged(world.Write("a.bmp", Stripes(8, 8))));
    EXPECT_TRUE(program.openDialog.PreviewPicture);
    program.Shutdown();
    EXPECT_FALSE(program.openDialog.PreviewPicture);
}

}  // namespace
}  // namespace fotolyx
