#include "windows/openfile_window.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::RecordingShell;

constexpr WindowId ID = FIRST_OPENFILE_WINDOW;

struct WindowWorld {
    RecordingShell shell;
    OpenViewSize view;
    std::optional<LogPalette> screenPalette;
    testing::FailingMemory memory;
    OpenfileWindow window{
        ID, "picture.bmp", false, DibBlock(std::vector<std::uint8_t>(925'696)),
        OpenfileWindowPorts{shell, nullptr, nullptr, nullptr, &view, &screenPalette, &memory}};

    ScrollBarState Bar(ScrollBarKind kind) { return shell.scrollBars[{ID, kind}]; }
};

TEST(OpenfileWindow, CreationSetsTheSharedViewSizeAndSizingRangesTheBars) {
    WindowWorld world;
    // Created with both bars shown: the client is the bars' thickness smaller.
    world.window.Create(624, 464, 16, 16);
    EXPECT_EQ(world.view.OpenViewWidth, 640);
    EXPECT_EQ(world.view.OpenViewHeight, 480);

    const struct {
        int clientWidth, clientHeight;
        int hMax, vMax;
    } cases[] = {
        {640, 480, 0, 0},   {700, 500, 0, 0},     {600, 480, 40, 0},
        {640, 300, 0, 180}, {100, 100, 540, 380},
    };
    for (const auto& c : cases) {
        world.window.Size(c.clientWidth, c.clientHeight);
        EXPECT_EQ(world.Bar(ScrollBarKind::Horizontal).max, c.hMax) << c.clientWidth;
        EXPECT_EQ(world.Bar(ScrollBarKind::Vertical).max, c.vMax) << c.clientHeight;
    }
    // Another window's creation changes the ranges of this one.
    world.view = {700, 500};
    world.window.Size(640, 480);
    EXPECT_EQ(world.Bar(ScrollBarKind::Horizontal).max, 60);
    EXPECT_EQ(world.Bar(ScrollBarKind::Vertical).max, 20);
}

TEST(OpenfileWindow, ScrollsByLinesPagesAndTheThumb) {
    WindowWorld world;
    world.window.Create(624, 464, 16, 16);
    world.window.Size(640, 430);  // vertical range 0..50
    const struct {
        int code;
        int pos;
        int expected;
        std::optional<int> moved;  // content moved by this many pixels; none: repainted whole
    } steps[] = {
        {SB_LINEDOWN, 0, 4, -4},
        {SB_PAGEDOWN, 0, 24, -20},
        {SB_PAGEDOWN, 0, 44, -20},
        {SB_PAGEDOWN, 0, 50, {}},
        {SB_LINEDOWN, 0, 50, {}},
        {SB_LINEUP, 0, 46, 4},
        {SB_THUMBTRACK, 7, 7, {}},
        {SB_PAGEUP, 0, 0, {}},
        {SB_LINEUP, 0, 0, {}},
        {SB_THUMBTRACK, 99, 50, {}},
        {4 /* thumb position */, 10, 50, std::nullopt},
    };
    for (const auto& step : steps) {
        world.shell.contentScrolls.clear();
        world.shell.invalidations.clear();
        world.window.VScroll(step.code, step.pos);
        EXPECT_EQ(world.window.VerticalBar().pos, step.expected) << step.code;
        if (step.moved) {
            ASSERT_EQ(world.shell.contentScrolls.size(), 1u);
            EXPECT_EQ(world.shell.contentScrolls[0].dy, *step.moved);
            EXPECT_TRUE(world.shell.invalidations.empty());
        } else if (step.code != 4) {
            EXPECT_TRUE(world.shell.contentScrolls.empty());
            ASSERT_EQ(world.shell.invalidations.size(), 1u);
            EXPECT_FALSE(world.shell.invalidations[0].area);
        }
    }
}

TEST(OpenfileWindow, PaintsThePictureCentredOrScrolled) {
    WindowWorld world;
    world.window.Create(624, 464, 16, 16);
    world.window.Size(300, 200);
    world.window.HScroll(SB_THUMBTRACK, 33);
    world.window.VScroll(SB_THUMBTRACK, 11);
    const struct {
        int clientWidth, clientHeight;
        int x, y;
    } cases[] = {
        {300, 200, -33, -11},
        {641, 200, 0, -11},
        {700, 600, 30, 60},
        {640, 480, -33, -11},
    };
    for (const auto& c : cases) {
        const CapturePaint paint = world.window.Paint(c.clientWidth, c.clientHeight);
        EXPECT_EQ(paint.x, c.x) << c.clientWidth;
        EXPECT_EQ(paint.y, c.y) << c.clientHeight;
        EXPECT_EQ(paint.width, 640);
        EXPECT_EQ(paint.height, 480);
    }
}

TEST(OpenfileWindow, ActivationSwitchesTheMenuAndTheScreenPalette) {
    WindowWorld world;
    LogPalette own;
    own.palPalEntry[0] = {9, 8, 7, 0};
    world.window.palette() = own;
    world.screenPalette = LogPalette{};

    world.window.Paint(640, 480);  // not active: the screen palette stays
    EXPECT_EQ(world.screenPalette->palPalEntry[0].peRed, 0);

    world.window.MdiActivate(true);
    EXPECT_EQ(world.shell.frameMenus.back(), MenuBar::Imagefile);
    EXPECT_EQ(world.screenPalette->palPalEntry[0].peRed, 9);
    ASSERT_FALSE(world.shell.invalidations.empty());
    EXPECT_TRUE(world.shell.invalidations.back().erase);

    world.screenPalette.reset();  // another window's palette came and went
    world.window.Paint(640, 480);
    ASSERT_TRUE(world.screenPalette);
    EXPECT_EQ(world.screenPalette->palPalEntry[0].peBlue, 7);

    world.window.MdiActivate(false);
    EXPECT_EQ(world.shell.frameMenus.back(), MenuBar::Frame);
    world.screenPalette.reset();
    world.window.Paint(640, 480);
    EXPECT_FALSE(world.screenPalette);
}

TEST(OpenfileWindow, CopiesTheWholeBlockToTheClipboard) {
    WindowWorld world;
    world.window.picture().data()[925'695] = 0x5A;
    world.window.Command(CMD_COPY_TO_CLIPBOARD);
    ASSERT_EQ(world.shell.clipboard.size(), 925'696u);
    EXPECT_EQ(world.shell.clipboard.back(), 0x5A);
}

TEST(OpenfileWindow, CopyToClipboardWithoutMemoryTellsAndLeavesTheClipboard) {
    WindowWorld world;
    world.shell.clipboard = {9};
    world.memory.failingCalls = {world.memory.calls};
    world.window.Command(CMD_COPY_TO_CLIPBOARD);
    ASSERT_EQ(world.shell.messages.size(), 1u);
    EXPECT_EQ(world.shell.messages[0].text, "Not enough memory.");
    EXPECT_EQ(world.shell.messages[0].caption, "Global Memory");
    EXPECT_EQ(world.shell.clipboard, std::vector<std::uint8_t>{9});
}

}  // namespace
}  // namespace fotolyx
