#include <gtest/gtest.h>

#include "camera_index/handlers.h"

namespace fotolyx {
namespace {

using testing::Listed;

TEST(PreviewWindow, OnlyClicksOnAThumbnailAreaCount) {
    struct Case {
        int x;
        int y;
        std::optional<unsigned> position;
    };
    const Case cases[] = {
        {10, 60, 0u},    {130, 150, 0u}, {131, 100, {}}, {149, 100, {}}, {150, 60, 1u},
        {550, 410, 11u}, {551, 100, {}}, {100, 151, {}}, {100, 189, {}}, {100, 190, 4u},
        {9, 100, {}},    {100, 59, {}},  {100, 411, {}},
    };
    Listed run(12);
    for (const auto& c : cases) {
        EXPECT_EQ(run.preview().HitTest(c.x, c.y), c.position) << c.x << "," << c.y;
    }
    Listed few(3);
    EXPECT_EQ(few.preview().HitTest(500, 100), std::nullopt);  // a cell not yet received
    few.preview().LButtonDown(500, 100, 0);
    EXPECT_EQ(few.selection().CurrentPicture, NO_PICTURE);
    // A full index has no position 800 to click, whatever the counts say.
    run.index().index.receivedCount = 801;
    run.index().selection.LastRow = 200;
    run.preview().VScroll(SB_THUMBTRACK, 200);
    EXPECT_FALSE(run.preview().HitTest(70, 105).has_value());
}

TEST(PreviewWindow, PlainShiftAndCtrlClicksSelect) {
    Listed run(30);
    // A stale mark from before the first click is cleared by it.
    run.index().selection.SelectionMark[20] = MARK_SELECTED;
    run.preview().VScroll(SB_THUMBTRACK, 0);  // the index left the grid on its last row
    run.ClickCell(1, 0);
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{1});
    EXPECT_EQ(run.shell.MenuItem(MenuBar::Current, CMD_DATA_IN), true);
    EXPECT_EQ(run.shell.MenuItem(MenuBar::Current, CMD_DELETE_PAGE), true);
    EXPECT_EQ(run.shell.MenuItem(MenuBar::Current, CMD_SAVE_AS), true);
    // Shift selects the range across rows and pages, in position order.
    run.preview().VScroll(SB_THUMBTRACK, 3);
    run.ClickCell(2, 1, MK_SHIFT);  // position 4 * 4 + 2 = 18
    EXPECT_EQ(run.Marked().size(), 18u);
    EXPECT_EQ(run.Marked().front(), 1u);
    EXPECT_EQ(run.Marked().back(), 18u);
    EXPECT_EQ(run.selection().SelectedCount, 18);
    EXPECT_EQ(run.selection().CurrentPicture, 18);
    // Ctrl toggles one; the last one cannot be deselected.
    run.ClickCell(0, 0, MK_CONTROL);  // 12
    EXPECT_EQ(run.selection().SelectedCount, 17);
    run.ClickCell(3, 2);  // 23 alone
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{23});
    run.ClickCell(3, 2, MK_CONTROL);
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{23});
    EXPECT_EQ(run.selection().SelectedCount, 1);
    // A click in a gap leaves everything as it was.
    run.preview().LButtonDown(140, 100, 0);
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{23});
}

TEST(PreviewWindow, ScrollingStopsAtTheEndsAndThumbPositionAloneDoesNothing) {
    Listed run(20);  // rows 0..4, LastRow 2
    EXPECT_EQ(run.selection().LastRow, 2);
    run.preview().VScroll(SB_THUMBTRACK, 0);
    run.preview().VScroll(SB_LINEUP, 0);
    EXPECT_EQ(run.selection().TopRow, 0);
    for (int i = 0; i < 5; ++i) {
        run.preview().VScroll(SB_PAGEDOWN, 0);
    }
    EXPECT_EQ(run.selection().TopRow, 2);
    run.preview().VScroll(4, 0);  // the thumb's final position
    EXPECT_EQ(run.selection().TopRow, 2);
    run.preview().VScroll(SB_THUMBTRACK, 200);
    EXPECT_EQ(run.selection().TopRow, 2);
    const auto cells = run.preview().CellsInView();
    EXPECT_EQ(cells[0].position, 8u);
    EXPECT_EQ(cells[11].position, 19u);
    EXPECT_EQ((run.shell.scrollBars[{PREVIEW_WINDOW, ScrollBarKind::Vertical}].pos), 2);
    // With fewer than 13 pictures the bar has no thumb and LastRow is 0.
    Listed few(12);
    EXPECT_EQ(few.selection().LastRow, 0);
    EXPECT_EQ((few.shell.scrollBars[{PREVIEW_WINDOW, ScrollBarKind::Vertical}].page), 1000);
}

TEST(PreviewWindow, AButtonSendsItsCommandOnceWhenReleased) {
    Listed run(12);
    // Nothing chosen: the no-choice bitmaps, and no command.
    EXPECT_EQ(run.preview().DrawItem(BUTTON_TRANSFER, ODS_SELECTED, ODA_SELECT), 122);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_TRANSFER, 0, ODA_SELECT), 122);
    EXPECT_TRUE(run.shell.createdWindows.empty());
    run.ClickCell(0, 0);
    run.shell.scriptedAnswers = {IDCANCEL};
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, ODS_SELECTED, ODA_SELECT), 125);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, 0, ODA_SELECT), 124);
    EXPECT_EQ(run.shell.messages.back().text, TEXT_DELETE_PAGE);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, 0, ODA_DRAWENTIRE), 124);
    EXPECT_EQ(run.shell.messages.size(), 1u);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_SAVE, 0, ODA_DRAWENTIRE), 127);
}

TEST(PreviewWindow, ActivationSetsTheMenuAndPurgesTheLineOnceTheIndexIsLoaded) {
    Listed run(3);
    run.line.incoming = {1, 2, 3};
    run.preview().MdiActivate(true);
    EXPECT_EQ(run.shell.frameMenus.back(), MenuBar::Preview);
    EXPECT_TRUE(run.line.incoming.empty());
    run.preview().MdiActivate(false);
    EXPECT_EQ(run.shell.frameMenus.back(), MenuBar::Frame);
    EXPECT_FALSE(run.preview().Close(false));
    EXPECT_TRUE(run.preview().Close(true));
}

TEST(PreviewWindow, DeletingPosition3Of20RenumbersAndGreysTheLastCell) {
    Listed run(20);
    const std::string text4 = run.index().index.entries[4].listText;
    run.preview().VScroll(SB_THUMBTRACK, 0);
    run.ClickCell(3, 0);
    run.preview().Command(CMD_DELETE_PAGE);
    for (int i = 0; i < 5; ++i) {
        run.Status(READY);
    }
    EXPECT_EQ(run.TakeWritten(), (std::vector<std::uint8_t>{DELETE_BEGIN, 0xA3, 0xB0, 0xC0,
                                                            DELETE_PICTURE, DELETE_END}));
    run.Status(DELETE_DONE);
    const auto& index = run.index().index;
    EXPECT_EQ(index.entries[3].listText, "  4" + text4.substr(3));
    EXPECT_TRUE(index.entries[19].listText.empty());
    EXPECT_EQ(run.preview().TotalText(), "19");
    EXPECT_EQ(run.selection().LastRow, 2);
    EXPECT_EQ(run.selection().TopRow, 0);
    EXPECT_EQ(run.preview().Thumbnail(19)[40], EMPTY_SLOT_GREY);
    EXPECT_EQ(run.selection().CurrentPicture, NO_PICTURE);
    EXPECT_EQ(run.shell.MenuItem(MenuBar::Current, CMD_DELETE_PAGE), false);
}

TEST(PreviewWindow, DeletingThePictureAtPosition12SendsItsDigits) {
    Listed run(13);
    run.preview().VScroll(SB_THUMBTRACK, 1);
    run.ClickCell(0, 2);  // row 3 = position 12
    ASSERT_EQ(run.selection().CurrentPicture, 12);
    run.preview().Command(CMD_DELETE_PAGE);
    for (int i = 0; i < 5; ++i) {
        run.Status(READY);
    }
    EXPECT_EQ(run.TakeWritten(), (std::vector<std::uint8_t>{DELETE_BEGIN, 0xA2, 0xB1, 0xC0,
                                                            DELETE_PICTURE, DELETE_END}));
    run.Status(DELETE_DONE);
    // Down to 12 pictures: no scroll rows, the grid at the top.
    EXPECT_EQ(run.selection().LastRow, 0);
    EXPECT_EQ(run.selection().TopRow, 0);
}

TEST(PreviewWindow, AnIndexRequestAfterAnUnconfirmedDeletionDeletesNothing) {
    Listed run(13);
    run.ClickCell(1, 0);
    run.preview().Command(CMD_DELETE_PAGE);
    run.Status(READY);  // the camera stops answering after the first digit
    run.TakeWritten();
    run.index().StartIndexTransfer();
    for (int i = 0; i < 3; ++i) {
        run.Status(READY);
    }
    EXPECT_EQ(run.TakeWritten(),
              (std::vector<std::uint8_t>{DIGIT_UNITS, DIGIT_TENS, DIGIT_HUNDREDS, INDEX_GET}));
}

}  // namespace
}  // namespace fotolyx
