#include "app/program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/protocol.h"
#include "support/program_world.h"

namespace fotolyx {
namespace {

using testing::ReadText;
using World = testing::ProgramWorld;
using Started = testing::StartedWorld;

TEST(Settings, FirstRunUsesDefaults) {
    Started world;
    const Program& program = world.program;
    EXPECT_EQ(program.settings.OpenInitialDir, (world.root / "start").string());
    EXPECT_EQ(program.settings.SettingsPath, world.SettingsFile());
}

// The exit writes the Open dialog's folder and the frame's place, and keeps all else in the file.
TEST(Settings, TheExitWritesTheFileKeepingWhatElseItHolds) {
    const struct {
        const char* before;
        std::optional<FramePlacement> placement;
        const char* after;
    } rows[] = {
        {"", std::nullopt, "[Mode]\nFILEPREV=0\nFILEINITPATH=/a\n"},
        {"; written by hand\n[Other]\nkey=value\n\n[MODE]\nFilePrev=1\nextra=2\n", std::nullopt,
         "; written by hand\n[Other]\nkey=value\n\n[MODE]\nFILEPREV=0\nextra=2\n"
         "FILEINITPATH=/a\n"},
        {"", FramePlacement{12, -3, 800, 640, false},
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/a\n\n[Frame]\nX=12\nY=-3\nWIDTH=800\n"
         "HEIGHT=640\nMAXIMIZED=0\n"},
    };
    for (const auto& row : rows) {
        Started world(row.before);
        Program& program = world.program;
        program.settings.FilePreviewEnabled = false;
        program.settings.OpenInitialDir = "/a";
        program.settings.framePlacement = row.placement;
        program.Shutdown();
        EXPECT_EQ(ReadText(world.SettingsFile()), row.after) << row.before;
    }
}

// A byte-order mark and CRLF lines are read; a folder name holding a line break cannot add a
// setting; a settings file that is a link stays one and its target gets the new text.
TEST(Settings, TheFileKeepsItsMarkAndLinkAndAFolderNameCannotAddASetting) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string before, chosen, read, after;
        bool linked;
    } rows[] = {
        {bom + "[Mode]\r\nFILEPREV=0\r\nFILEINITPATH=/kept\r\n", "/kept", "/kept",
         bom + "[Mode]\nFILEPREV=0\nFILEINITPATH=/kept\n", false},
        {"[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n", "/new\nFILEPREV=1", "/old",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n", false},
        {"[Mode]\nFILEPREV=0\nFILEINITPATH=/l\n", "/m", "/l",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/m\n", true},
    };
    for (const auto& row : rows) {
        World world;
        const auto file = row.linked ? world.root / "real.ini" : world.SettingsFile();
        std::ofstream(file) << row.before;
        if (row.linked) {
            std::filesystem::create_symlink(file, world.SettingsFile());
        }
        Program program = world.Make();
        program.Startup();
        EXPECT_EQ(program.settings.OpenInitialDir, row.read) << row.before;
        program.settings.OpenInitialDir = row.chosen;
        program.Shutdown();
        EXPECT_EQ(std::filesystem::is_symlink(world.SettingsFile()), row.linked);
        EXPECT_EQ(ReadText(file), row.after) << row.before;
    }
}

TEST(Settings, PreviewIsOnUnlessTheValueStartsWithZeroOrIsOutsideTheSection) {
    // "[]" starts a section without a name.
    const std::pair<const char*, bool> cases[] = {
        {"FILEPREV=0", false},   {"FILEPREV=1", true},     {"FILEPREV=yes", true},
        {"FILEPREV=", true},     {"fileprev = 0x", false}, {"OTHER=1", false},
        {"FILEPREV=  1 ", true}, {"[]\nFILEPREV=1", false}};
    for (const auto& [line, enabled] : cases) {
        Started world(("[mode]\n" + std::string(line) + "\n").c_str());
        EXPECT_EQ(world.program.settings.FilePreviewEnabled, enabled) << line;
    }
}

TEST(Settings, TheFramePlacementIsReadOnlyWhenEveryValueIsSound) {
    const std::string sound = "X=-20\nY=30\nWIDTH=1024\nHEIGHT=700\nMAXIMIZED=1\n";
    const struct {
        std::string section;
        std::optional<FramePlacement> placement;
    } cases[] = {
        {"[frame]\n" + sound, FramePlacement{-20, 30, 1024, 700, true}},
        {"[Frame]\nX=0\nY=0\nWIDTH=100\nHEIGHT=16384\nMAXIMIZED=0\n",
         FramePlacement{0, 0, 100, 16384, false}},
        {"[Mode]\n" + sound, std::nullopt},
        {"[Frame]\nX=0\nY=0\nWIDTH=99\nHEIGHT=400\nMAXIMIZED=0\n", std::nullopt},
        {"[Frame]\nX=0\nY=0\nWIDTH=400\nHEIGHT=16385\nMAXIMIZED=0\n", std::nullopt},
        {"[Frame]\nX=0\nY=0\nWIDTH=400px\nHEIGHT=400\nMAXIMIZED=0\n", std::nullopt},
        {"[Frame]\nX=0\nY=0\nWIDTH=400\nHEIGHT=400\nMAXIMIZED=2\n", std::nullopt},
        {"[Frame]\nX=0\nY=0\nWIDTH=400\nHEIGHT=400\n", std::nullopt},
    };
    for (const auto& c : cases) {
        Started world(c.section.c_str());
        EXPECT_EQ(world.program.settings.framePlacement, c.placement) << c.section;
    }
}

TEST(Settings, AnUnwritableProgramFolderMovesTheFileToTheConfigHome) {
    World world;
    world.environment.programDirectory = world.root / "missing-program-folder";
    auto program = world.Make();
    program.Startup();
    program.Shutdown();
    EXPECT_TRUE(std::filesystem::exists(world.root / "config" / "fotolyx" / "snapcfg.ini"));
}

TEST(Startup, ScratchFilesAreReadableByTheUserAloneAndGoEvenWithoutAShutdown) {
    World world;
    std::filesystem::path a;
    std::filesystem::path b;
    {
        const mode_t mask = ::umask(0);
        auto program = world.Make();
        program.Startup();
        ::umask(mask);
        a = program.scratch.ScratchFileA;
        b = program.scratch.ScratchFileB;
        EXPECT_NE(a, b);
        for (const auto& path : {a, b}) {
            EXPECT_EQ(path.parent_path(), world.root / "start");
            EXPECT_EQ(path.filename().string().rfind("tmp", 0), 0u);
            struct stat status {};
            ASSERT_EQ(::stat(path.c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 0777, 0600u) << path;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_TRUE(std::filesystem::is_empty(world.root / "start"));
}

TEST(Startup, ScratchFilesFallBackToTheTemporaryFolder) {
    World world;
    world.environment.startDirectory = world.root / "missing-start-folder";
    auto program = world.Make();
    program.Startup();
    EXPECT_EQ(program.scratch.ScratchFileA.parent_path(), world.root / "tmp");
}

TEST(Startup, BuffersHaveTheirSizesAndTheLivePicturesAreMidGrey) {
    Started world;
    Program& program = world.program;
    auto& buffers = program.buffers;
    ASSERT_TRUE(buffers.TransferBuffer && buffers.ThumbnailBuffer && buffers.WorkImage &&
                buffers.LivePreviewImage && buffers.LivePhotoImage);
    EXPECT_EQ((std::array{buffers.TransferBuffer->size(), buffers.ThumbnailBuffer->size(),
                          buffers.WorkImage->size()}),
              (std::array<std::size_t, 3>{925'696, 59'392, 925'696}));
    // The live pictures: a 40-byte header (width, height, one plane, 24 bits, the rest 0), grey.
    for (const auto& [dib, width, height, size] :
         {std::tuple{&*buffers.LivePreviewImage, 160u, 120u, 59'392u},
          {&*buffers.LivePhotoImage, 640u, 480u, 925'696u}}) {
        const std::uint8_t* h = dib->data();
        EXPECT_EQ(std::tuple(ReadLe32(h), ReadLe32(h + 4), ReadLe32(h + 8), ReadLe16(h + 12),
                             ReadLe16(h + 14), dib->size()),
                  std::tuple(40u, width, height, 1, 24, size));
        EXPECT_TRUE(std::all_of(h + 16, h + 40, [](std::uint8_t v) { return v == 0; })) << width;
        EXPECT_TRUE(std::all_of(dib->data() + 40, dib->data() + 40 + 3 * width * height,
                                [](std::uint8_t v) { return v == 0x80; }));
    }
}

TEST(Startup, OnlyAnEightBitScreenGetsTheFixedPalette) {
    const Started trueColour;
    const DisplayState& display = trueColour.program.display;
    EXPECT_FALSE(display.ImagePalette || display.ScreenPalette || display.DisplayPalette);
    Started eightBit(nullptr, false);
    Program& paletted = eightBit.program;
    ASSERT_TRUE(paletted.display.ImagePalette && paletted.display.DisplayPalette &&
                paletted.display.ScreenPalette);
    const LogPalette& palette = *paletted.display.ImagePalette;
    EXPECT_EQ(std::tuple(palette.palVersion, palette.palNumEntries), std::tuple(0x300, 256));
    // Index, red, green and blue.
    const std::array<int, 4> entries[] = {
        {5, 50, 50, 50},   {6, 165, 165, 165}, {15, 255, 255, 255}, {16, 60, 60, 60},
        {23, 165, 60, 60}, {24, 60, 80, 60},   {64, 60, 60, 84},    {255, 165, 160, 156}};
    for (const auto& [index, red, green, blue] : entries) {
        const PaletteEntry& p = palette.palPalEntry[static_cast<std::size_t>(index)];
        EXPECT_EQ(std::tuple(p.peRed, p.peGreen, p.peBlue, p.peFlags),
                  std::tuple(red, green, blue, 0))
            << index;
    }
}

TEST(Shutdown, ResetsTheLinkAndClosesThePortOnlyOnce) {
    Started world;
    Program& program = world.program;
    world.line.Open(1001);
    program.Shutdown();
    program.Shutdown();
    EXPECT_EQ(world.line.written, std::vector<std::uint8_t>{RESET_LINK});
    EXPECT_FALSE(world.line.IsOpen());
}

}  // namespace
}  // namespace fotolyx
