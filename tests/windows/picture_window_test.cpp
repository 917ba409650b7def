#include "windows/picture_window.h"

#include <gtest/gtest.h>

#include "link/link_setup.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

constexpr WindowId ID = 200;
constexpr std::uint32_t POSITION = 7;

// The program around the windows: a Capture window's position names its file.
struct World final : PictureWindowHost, testing::SaveWorld {
    std::string DefaultFileName(std::uint32_t position) const override {
        return "name" + std::to_string(position);
    }
    SaveContext MakeSaveContext() override { return context; }
    void AfterSaveAs(WindowId window) override { afterSave.push_back(window); }
    void Upload(WindowId, int, const DibBlock&) override {}
    Memory& WindowMemory() override { return memory; }
    ScrollBarState Shown(ScrollBarKind bar) { return shell.scrollBars[{ID, bar}]; }
    // A window on a grey x + y picture with 60 spare bytes; zeros when it has not arrived.
    PictureWindow Make(const PictureWindowKind& kind, int width, int height, bool arrived = true) {
        PictureCreateData data;
        data.position = POSITION;
        data.widthLess4 = static_cast<std::uint16_t>(width - 4);
        data.heightLess2 = static_cast<std::uint16_t>(height - 2);
        data.pixels = testing::MakeRgbPicture(width, height,
                                              [](int x, int y) { return testing::Grey(x + y); });
        data.pixels.storage().resize(data.pixels.size() + 60);
        if (!arrived) {
            std::fill(data.pixels.storage().begin(), data.pixels.storage().end(), 0);
        }
        data.title = "  8F: 02/5/17 9:03";
        return PictureWindow(ID, kind, std::move(data),
                             PictureWindowPorts{shell, *this, screenPalette,
                                                kind.rangesFromPicture ? nullptr : &view});
    }
    std::optional<LogPalette> screenPalette;
    OpenViewSize view;
    std::vector<WindowId> afterSave;
};

// A Capture window ranges its bars by the picture (width - 4, height - 2) beyond the client area
// once that is smaller than at creation; an Openfile window by the shared view size.
TEST(PictureWindow, ScrollRangesFollowThePictureOrTheSharedViewSize) {
    // Capture or not; the picture, and the client area at creation (bars of 16); the client
    // area now; the ranges.
    const std::array<int, 7> cases[] = {
        {1, 640, 480, 300, 200, 336, 278}, {1, 640, 480, 656, 496, 0, 0},
        {1, 320, 240, 500, 400, 0, 0},     {0, 640, 480, 640, 480, 16, 16},
        {0, 640, 480, 600, 496, 56, 0},    {0, 640, 480, 656, 300, 0, 196}};
    for (const auto& [capture, width, height, clientWidth, clientHeight, hMax, vMax] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << capture << " " << clientWidth << " x " << clientHeight);
        World world;
        PictureWindow window = world.Make(capture ? CAPTURE_KIND : OPENFILE_KIND, width, height);
        window.Create(width, height, 16, 16);
        window.Size(clientWidth, clientHeight);
        EXPECT_EQ(world.Shown(ScrollBarKind::Horizontal).max, hMax);
        EXPECT_EQ(world.Shown(ScrollBarKind::Vertical).max, vMax);
    }
    // Openfile windows share the view size: another window's creation changes this one's ranges.
    World world;
    PictureWindow window = world.Make(OPENFILE_KIND, 640, 480);
    window.Create(624, 464, 16, 16);
    EXPECT_EQ(std::tuple(world.view.OpenViewWidth, world.view.OpenViewHeight),
              std::tuple(640, 480));
    world.view = {700, 500};
    window.Size(640, 480);
    EXPECT_EQ(window.HorizontalBar().max, 60);
    EXPECT_EQ(window.VerticalBar().max, 20);
    window.VScroll(SB_PAGEDOWN, 0);
    window.Size(700, 500);  // the whole view fits again: no range, position 0
    EXPECT_EQ(world.Shown(ScrollBarKind::Vertical).max, 0);
    EXPECT_EQ(window.VerticalBar().pos, 0);
}

TEST(PictureWindow, LinesPagesAndTheThumbScrollOrRepaint) {
    const struct {
        int code;
        int pos;
        int expected;
        std::optional<int> moved;  // content moved by this many pixels; none: repainted whole
    } steps[] = {{SB_LINEDOWN, 0, 4, -4},
                 {SB_PAGEDOWN, 0, 24, -20},
                 {SB_PAGEDOWN, 0, 44, -20},
                 {SB_PAGEDOWN, 0, 50, {}},
                 {SB_LINEDOWN, 0, 50, {}},
                 {SB_LINEUP, 0, 46, 4},
                 {SB_LINEDOWN, 0, 50, -4},  // onto the end itself
                 {SB_THUMBTRACK, 4, 4, {}},
                 {SB_LINEUP, 0, 0, 4},  // onto 0 itself
                 {SB_PAGEUP, 0, 0, {}},
                 {SB_THUMBTRACK, 99, 50, {}},
                 {4 /* thumb position */, 10, 50, {}}};
    // A step stopped at an end repaints a Capture window with erasing, an Openfile one without.
    for (const auto& [kind, erase] : {std::pair{CAPTURE_KIND, true}, {OPENFILE_KIND, false}}) {
        World world;
        PictureWindow window = world.Make(kind, 640, 480);
        window.Create(640, 480, 16, 16);
        window.Size(640, kind.rangesFromPicture ? 428 : 446);  // vertical range 0..50
        ASSERT_EQ(window.VerticalBar().max, 50);
        for (const auto& step : steps) {
            world.shell.contentScrolls.clear();
            world.shell.invalidations.clear();
            window.VScroll(step.code, step.pos);
            const auto trace = ::testing::Message() << erase << " code " << step.code;
            EXPECT_EQ(window.VerticalBar().pos, step.expected) << trace;
            EXPECT_EQ(world.Shown(ScrollBarKind::Vertical).pos, step.expected) << trace;
            if (step.code == 4) {
                EXPECT_TRUE(world.shell.contentScrolls.empty() &&
                            world.shell.invalidations.empty());
            } else if (step.moved) {
                ASSERT_EQ(world.shell.contentScrolls.size(), 1u) << trace;
                EXPECT_EQ(world.shell.contentScrolls[0].dx, 0) << trace;
                EXPECT_EQ(world.shell.contentScrolls[0].dy, *step.moved) << trace;
                EXPECT_TRUE(world.shell.invalidations.empty()) << trace;
            } else {
                EXPECT_TRUE(world.shell.contentScrolls.empty()) << trace;
                ASSERT_EQ(world.shell.invalidations.size(), 1u) << trace;
                EXPECT_FALSE(world.shell.invalidations[0].area) << trace;
                EXPECT_EQ(world.shell.invalidations[0].erase, step.code == SB_THUMBTRACK || erase)
                    << trace;
            }
        }
    }
}

TEST(PictureWindow, TheActiveWindowPutsAPaletteWithColoursOnTheScreen) {
    World world;
    PictureWindow window = world.Make(OPENFILE_KIND, 64, 48);
    LogPalette own;
    own.palPalEntry[0] = {9, 8, 7, 0};
    window.palette() = own;
    world.screenPalette = LogPalette{};
    window.Paint(640, 480);  // not active: the screen palette stays
    EXPECT_EQ(world.screenPalette->palPalEntry[0].peRed, 0);
    window.MdiActivate(true);
    EXPECT_EQ(world.screenPalette->palPalEntry[0].peRed, 9);
    ASSERT_EQ(world.shell.invalidations.size(), 1u);
    EXPECT_TRUE(world.shell.invalidations[0].erase);
    world.screenPalette.reset();  // another window's palette came and went
    window.Paint(640, 480);
    EXPECT_TRUE(world.screenPalette);
    window.MdiActivate(false);
    world.screenPalette.reset();
    window.Paint(640, 480);
    EXPECT_FALSE(world.screenPalette);
    // A palette without colours (the picture is still on its way) is not the screen's.
    window.palette()->palNumEntries = 0;
    window.MdiActivate(true);
    window.Paint(640, 480);
    EXPECT_FALSE(world.screenPalette);
}

TEST(PictureWindow, SaveAsProposesTheHostsNameTitlesTheWindowAndLetsTheHostGoOn) {
    World world;
    PictureWindow window = world.Make(CAPTURE_KIND, 64, 48);
    window.MdiActivate(true);
    EXPECT_EQ(world.shell.frameMenus.back(), MenuBar::Capture);
    world.shell.scriptedSaveAnswers.push_back(std::nullopt);
    window.Command(CMD_SAVE_AS);
    ASSERT_EQ(world.shell.saveRequests.size(), 1u);
    EXPECT_EQ(world.shell.saveRequests[0].proposedName, "name7");
    const std::string path = (world.dir / "x.bmp").string();
    world.shell.scriptedSaveAnswers.push_back(SaveDialogResult{path, SAVE_FILTER_FULL_COLOUR_BMP});
    window.Command(CMD_SAVE_AS);
    EXPECT_EQ(std::tuple(window.title(), world.shell.windowTitles[ID]), std::tuple(path, path));
    EXPECT_EQ(world.afterSave, (std::vector<WindowId>{ID, ID}));  // saved or not
    // A window whose picture never arrived asks for no file name; the host still goes on.
    World empty;
    PictureWindow waiting = empty.Make(CAPTURE_KIND, 64, 48, false);
    waiting.Command(CMD_SAVE_AS);
    EXPECT_TRUE(empty.shell.saveRequests.empty());
    EXPECT_EQ(empty.afterSave, std::vector<WindowId>{ID});
}

// A Yes whose Save As writes nothing (cancelled, or not written) keeps the window and its changes.
TEST(PictureWindow, ClosingAModifiedPictureAsksAndStaysWhenNothingWasWritten) {
    struct Row {
        const char* name;
        bool modified;
        int answer;
        const char* chosen;  // relative to the world's folder; nullptr: the dialog is cancelled
        bool closes;
    };
    const Row rows[] = {
        {"unmodified closes without asking", false, IDYES, "p.bmp", true},
        {"No closes without saving", true, IDNO, nullptr, true},
        {"Yes and a Save As that cannot write stay", true, IDYES, "missing/folder/p.bmp", false},
        {"Yes and a written file close", true, IDYES, "p.bmp", true},
    };
    for (const Row& row : rows) {
        // A Capture window comes to the front before it asks, an Openfile window does not.
        for (const auto& [kind, activates] :
             {std::pair{CAPTURE_KIND, true}, {OPENFILE_KIND, false}}) {
            SCOPED_TRACE(::testing::Message() << row.name << " " << activates);
            World world;
            PictureWindow window = world.Make(kind, 64, 48);
            if (row.modified) {
                window.SetModified();
            }
            world.shell.scriptedAnswers = {row.answer};
            world.shell.scriptedSaveAnswers.push_back(
                row.chosen ? std::optional(SaveDialogResult{(world.dir / row.chosen).string(),
                                                            SAVE_FILTER_FULL_COLOUR_BMP})
                           : std::nullopt);
            EXPECT_EQ(window.Close(), row.closes);
            EXPECT_EQ(window.modified(), row.modified);
            EXPECT_EQ(world.shell.saveRequests.size(),
                      row.modified && row.answer == IDYES ? 1u : 0u);
            if (!row.modified) {
                EXPECT_TRUE(world.shell.messages.empty());
                continue;
            }
            ASSERT_FALSE(world.shell.messages.empty());  // a file not written tells why
            const testing::ShownMessage& question = world.shell.messages[0];
            EXPECT_EQ(std::tuple(question.text, question.caption, question.style),
                      std::tuple("Save changes to   8F: 02/5/17 9:03?", "Fotolyx",
                                 MB_YESNO | MB_ICONQUESTION));
            EXPECT_TRUE(world.afterSave.empty());  // no download sequence goes on from here
            EXPECT_EQ(world.shell.activatedWindows,
                      activates ? std::vector<WindowId>{ID} : std::vector<WindowId>{});
            EXPECT_EQ(std::filesystem::exists(world.dir / "p.bmp"),
                      row.closes && row.answer == IDYES);
        }
    }
}

}  // namespace
}  // namespace fotolyx
