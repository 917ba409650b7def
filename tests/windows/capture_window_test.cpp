#include <gtest/gtest.h>

#include "imaging/save_pipeline.h"
#include "support/fakes.h"
#include "windows/capture_window.h"

namespace fotolyx {
namespace {

using testing::FixedClock;
using testing::FixedFreeSpace;
using testing::RecordingShell;
using testing::TempDir;

struct Host final : CaptureWindowHost {
    std::string DefaultFileName(std::uint32_t position) const override {
        return "name" + std::to_string(position);
    }
    SaveContext MakeSaveContext() override {
        return SaveContext{shell, clock,          freeSpace,      memory,      jpeg,
                           save,  root / "a.bmp", root / "b.jpg", root.path(), initialDirectory};
    }
    void AfterSaveAs(WindowId window) override { afterSave.push_back(window); }
    void CloseWindow(WindowId window) override { closed.push_back(window); }
    Memory& WindowMemory() override { return memory; }

    TempDir root;
    RecordingShell shell;
    FixedClock clock;
    FixedFreeSpace freeSpace;
    testing::FailingMemory memory;
    JpegState jpeg;
    SaveState save;
    std::string initialDirectory;
    std::vector<WindowId> afterSave;
    std::vector<WindowId> closed;
};

CaptureWindow MakeWindow(Host& host, int width, int height) {
    CaptureCreateData data;
    data.position = 7;
    data.widthLess4 = static_cast<std::uint16_t>(width - 4);
    data.heightLess2 = static_cast<std::uint16_t>(height - 2);
    std::vector<std::uint8_t> block(40 + static_cast<std::size_t>(width) * height * 3 + 60, 0);
    block[0] = 40;
    block[4] = static_cast<std::uint8_t>(width & 0xFF);
    block[5] = static_cast<std::uint8_t>(width >> 8);
    block[8] = static_cast<std::uint8_t>(height & 0xFF);
    block[9] = static_cast<std::uint8_t>(height >> 8);
    block[12] = 1;
    block[14] = 24;
    data.pixels = DibBlock(std::move(block));
    CaptureWindow window(200, std::move(data), host.shell, host);
    window.SetTitle("  8F: 02/5/17 9:03");
    window.Create(width, height, 16, 16);
    return window;
}

TEST(CaptureWindow, ASmallPictureIsCentredWithoutScrollRanges) {
    Host host;
    CaptureWindow window = MakeWindow(host, 320, 240);
    window.Size(500, 400);
    EXPECT_EQ(window.VerticalBar().max, 0);
    EXPECT_EQ(window.HorizontalBar().max, 0);
    const CapturePaint paint = window.Paint(500, 400);
    EXPECT_EQ(paint.x, 90);
    EXPECT_EQ(paint.y, 80);
    EXPECT_EQ(paint.width, 320);
    EXPECT_EQ(paint.height, 240);
}

TEST(CaptureWindow, ScrollingMovesByLinesAndPagesAndStopsAtTheEnds) {
    Host host;
    CaptureWindow window = MakeWindow(host, 640, 480);
    window.Size(300, 200);
    EXPECT_EQ(window.VerticalBar().max, 478 - 200);
    EXPECT_EQ(window.HorizontalBar().max, 636 - 300);
    window.VScroll(SB_THUMBTRACK, 12);
    EXPECT_EQ(window.VerticalBar().pos, 12);
    window.VScroll(SB_PAGEUP, 0);
    EXPECT_EQ(window.VerticalBar().pos, 0);
    window.VScroll(SB_LINEDOWN, 0);
    EXPECT_EQ(window.VerticalBar().pos, 4);
    EXPECT_EQ(host.shell.contentScrolls.back().dy, -4);
    window.VScroll(SB_THUMBTRACK, 278);
    const auto invalidations = host.shell.invalidations.size();
    window.VScroll(SB_LINEDOWN, 0);
    EXPECT_EQ(window.VerticalBar().pos, 278);
    EXPECT_EQ(host.shell.invalidations.size(), invalidations + 1);
    window.HScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(window.HorizontalBar().pos, 20);
    const CapturePaint paint = window.Paint(300, 200);
    EXPECT_EQ(paint.x, -20);
    EXPECT_EQ(paint.y, -278);
}

TEST(CaptureWindow, CopyToClipboardHandsOverTheWholeBlock) {
    Host host;
    CaptureWindow window = MakeWindow(host, 640, 480);
    EXPECT_TRUE(window.Command(CMD_COPY_TO_CLIPBOARD));
    EXPECT_EQ(host.shell.clipboard.size(), 640u * 480 * 3 + 100);
    EXPECT_EQ(host.shell.clipboard[0], 40);
}

// No memory for the clipboard's copy: the memory message, and the clipboard keeps what it had.
TEST(CaptureWindow, CopyToClipboardWithoutMemoryTellsAndLeavesTheClipboard) {
    Host host;
    CaptureWindow window = MakeWindow(host, 64, 48);
    host.shell.clipboard = {1, 2, 3};
    host.memory.failingCalls = {host.memory.calls};
    EXPECT_TRUE(window.Command(CMD_COPY_TO_CLIPBOARD));
    ASSERT_EQ(host.shell.messages.size(), 1u);
    EXPECT_EQ(host.shell.messages[0].text, "Not enough memory.");
    EXPECT_EQ(host.shell.messages[0].caption, "Global Memory");
    EXPECT_EQ(host.shell.clipboard, (std::vector<std::uint8_t>{1, 2, 3}));
    // With memory the copy is made: 64 x 48 x 3 + 100 bytes.
    EXPECT_TRUE(window.Command(CMD_COPY_TO_CLIPBOARD));
    EXPECT_EQ(host.shell.clipboard.size(), 64u * 48 * 3 + 100);
}

// Yes to "Save changes to %s?" saves the picture before the window goes.
TEST(CaptureWindow, YesToTheSaveQuestionSavesThePicture) {
    Host host;
    CaptureWindow window = MakeWindow(host, 64, 48);
    window.SetModified();
    const auto path = host.root / "kept.bmp";
    host.shell.scriptedAnswers = {IDYES};
    host.shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
    window.Close();
    ASSERT_EQ(host.shell.messages.size(), 1u);
    EXPECT_EQ(host.shell.messages[0].text, "Save changes to   8F: 02/5/17 9:03?");
    ASSERT_EQ(host.shell.saveRequests.size(), 1u);
    EXPECT_EQ(host.shell.saveRequests[0].proposedName, "name7");
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 64 * 48 * 3);
}

// A window whose picture never arrived (its download failed) asks for no file name.
TEST(CaptureWindow, AWindowWithoutItsPictureSavesNothing) {
    Host host;
    CaptureCreateData data;
    data.widthLess4 = 60;
    data.heightLess2 = 46;
    data.pixels = DibBlock(std::vector<std::uint8_t>(40 + 64 * 48 * 3 + 60, 0));
    CaptureWindow window(201, std::move(data), host.shell, host);
    host.shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(host.root / "empty.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
    EXPECT_TRUE(window.Command(CMD_SAVE_AS));
    EXPECT_TRUE(host.shell.saveRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(host.root / "empty.bmp"));
    EXPECT_EQ(host.afterSave, std::vector<WindowId>{201});  // a Save... sequence goes on
}

TEST(CaptureWindow, SaveAsProposesTheEntrysNameAndAModifiedPictureAsksOnClose) {
    Host host;
    CaptureWindow window = MakeWindow(host, 64, 48);
    window.Close();
    EXPECT_TRUE(host.shell.messages.empty());
    host.shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{(host.root / "x.bmp").string(), SAVE_FILTER_FULL_COLOUR_BMP});
    EXPECT_TRUE(window.Command(CMD_SAVE_AS));
    ASSERT_EQ(host.shell.saveRequests.size(), 1u);
    EXPECT_EQ(host.shell.saveRequests[0].proposedName, "name7");
    EXPECT_EQ(host.afterSave, std::vector<WindowId>{200});
    EXPECT_TRUE(std::filesystem::exists(host.root / "x.bmp"));
    window.SetModified();
    host.shell.scriptedAnswers = {IDNO};
    window.Close();
    ASSERT_EQ(host.shell.messages.size(), 1u);
    EXPECT_EQ(host.shell.messages[0].text, "Save changes to " + window.title() + "?");
    EXPECT_EQ(host.shell.messages[0].caption, "Fotolyx");
    EXPECT_EQ(host.shell.saveRequests.size(), 1u);
}

}  // namespace
}  // namespace fotolyx
