#include <gtest/gtest.h>

#include "camera_index/fixtures.h"

namespace fotolyx {
namespace {

using testing::Listed;

TEST(PreviewWindow, OnlyClicksOnAThumbnailAreaCount) {
    const std::tuple<int, int, std::optional<unsigned>> cases[] = {
        {10, 60, 0u},    {130, 150, 0u}, {131, 100, {}}, {150, 60, 1u},
        {550, 410, 11u}, {551, 100, {}}, {100, 189, {}}, {100, 190, 4u},
        {100, 411, {}},  {9, 100, {}},   {100, 59, {}},
    };
    Listed run(12);
    for (const auto& [x, y, position] : cases) {
        EXPECT_EQ(run.preview().HitTest(x, y), position) << x << "," << y;
    }
    Listed few(3);
    few.preview().LButtonDown(500, 100, 0);  // a cell not yet received
    EXPECT_EQ(few.selection().CurrentPicture, NO_PICTURE);
}

TEST(PreviewWindow, PlainShiftAndCtrlClicksSelect) {
    Listed run(30);
    run.index().selection.SelectionMark[20] = MARK_SELECTED;  // stale: the first click clears it
    run.preview().VScroll(SB_THUMBTRACK, 0);
    run.ClickCell(1, 0);
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{1});
    EXPECT_EQ(run.shell.MenuItem(MenuBar::Current, CMD_DELETE_PAGE), true);
    // Shift selects the range across rows and pages, in position order.
    run.preview().VScroll(SB_THUMBTRACK, 3);
    run.ClickCell(2, 1, MK_SHIFT);  // position 4 * 4 + 2 = 18
    const auto marked = run.Marked();
    EXPECT_EQ(std::tuple(marked.size(), marked.front(), marked.back()), std::tuple(18u, 1u, 18u));
    EXPECT_EQ(std::tuple(run.selection().SelectedCount, run.selection().CurrentPicture),
              std::tuple(18, 18));
    // Ctrl toggles one; the last one cannot be deselected; a gap changes nothing.
    run.ClickCell(0, 0, MK_CONTROL);  // 12
    EXPECT_EQ(run.selection().SelectedCount, 17);
    run.ClickCell(3, 2);  // 23 alone
    run.ClickCell(3, 2, MK_CONTROL);
    run.preview().LButtonDown(140, 100, 0);
    EXPECT_EQ(run.Marked(), std::vector<unsigned>{23});
    EXPECT_EQ(run.selection().SelectedCount, 1);
}

// Activation purges the line, a page down stops at the last row, a button acts once released.
TEST(PreviewWindow, ActivationScrollingAndButtonsFollowTheirRules) {
    Listed run(12);  // one screen: LastRow 0
    run.line.incoming = {1, 2, 3};
    run.preview().MdiActivate(true);
    run.preview().VScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(
        std::tuple(run.shell.frameMenus.back(), run.line.incoming.size(), run.selection().TopRow),
        std::tuple(MenuBar::Preview, 0u, 0));
    run.ClickCell(0, 0);
    run.shell.scriptedAnswers = {IDCANCEL};
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, ODS_SELECTED, ODA_SELECT), 125);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, 0, ODA_SELECT), 124);
    EXPECT_EQ(run.preview().DrawItem(BUTTON_DELETE, 0, ODA_DRAWENTIRE), 124);
    EXPECT_EQ(run.shell.messages.size(), 1u);  // Delete Page asked once
}

// Deleting renumbers the entries after it; the thumbnails move with their pictures, or go grey.
TEST(Deletion, DeletingRenumbersAndMovesTheThumbnailsWithTheirPictures) {
    Listed run(20, 20, 5);
    const auto cells = run.preview().CellsInView();  // positions 8 to 19: listed, no thumbnail
    EXPECT_EQ(std::tuple(cells[0].received, cells[0].hasThumbnail, cells[0].text),
              std::tuple(true, false, "  9F: 02/5/17 9:03"));
    const std::string text4 = run.index().index.entries[4].listText;
    run.preview().VScroll(SB_THUMBTRACK, 0);
    run.ClickCell(3, 0);
    run.DeleteMarked();
    const auto& index = run.index().index;
    EXPECT_EQ(std::tuple(index.entries[3].listText, index.entries[19].listText,
                         run.preview().TotalText()),
              std::tuple("  4" + text4.substr(3), "", "19"));
    EXPECT_EQ(
        std::tuple(run.selection().LastRow, run.selection().TopRow, run.selection().CurrentPicture,
                   run.shell.MenuItem(MenuBar::Current, CMD_DELETE_PAGE)),
        std::tuple(2, 0, NO_PICTURE, std::optional<bool>(false)));
    const ThumbnailStore& store = *run.index().store;
    EXPECT_EQ(std::tuple(store.Slot(2)[40], store.Slot(3)[40]), std::tuple(0xE0, 0xE0));
    const auto slot = store.Slot(4);  // the former position 5, which had no slot
    EXPECT_TRUE(std::all_of(slot.begin() + 40, slot.end(), [](auto b) { return b == 0x80; }));
    EXPECT_EQ(std::tuple(ReadLe32(slot.data() + 4), ReadLe32(slot.data() + 8)),
              std::tuple(128u, 56u));
}

// The scroll rows after a deletion come from the reported count, however large.
TEST(Deletion, TheLastRowAfterADeletionDoesNotWrap) {
    const std::pair<std::uint16_t, int> cases[] = {
        {13, 0}, {14, 1}, {1'030, 255}, {1'034, 256}, {2'000, 497}};
    for (const auto& [reported, lastRow] : cases) {
        Listed run(2, reported);
        run.ClickCell(0, 0);
        run.DeleteMarked();
        EXPECT_EQ(std::tuple(run.index().index.reportedCount, run.selection().LastRow,
                             run.shell.scrollBars[{PREVIEW_WINDOW, ScrollBarKind::Vertical}].max),
                  std::tuple(reported - 1, lastRow, lastRow));
        EXPECT_LE(run.selection().TopRow, lastRow) << reported;
    }
}

TEST(Deletion, AnIndexRequestAfterAnUnconfirmedDeletionDeletesNothing) {
    Listed run(13);
    run.ClickCell(1, 0);
    run.preview().Command(CMD_DELETE_PAGE);
    run.Status(READY);  // the camera stops answering after the first digit
    run.TakeWritten();
    run.index().StartIndexTransfer();
    run.Ready(3);
    EXPECT_EQ(run.TakeWritten(),
              (std::vector<std::uint8_t>{DIGIT_UNITS, DIGIT_TENS, DIGIT_HUNDREDS, INDEX_GET}));
}

// Only marked pictures go: the current one first, then the others from the last back.
TEST(Deletion, DeletePageDeletesTheMarkedPicturesOnly) {
    testing::PicturesRun run(camsim::MakeSamplePictures(12));
    std::vector<std::string> kept;
    for (const unsigned p : {0, 1, 3, 4, 6, 7, 8, 10, 11}) {
        kept.push_back(run.index().index.entries[p].fileName);
    }
    for (const unsigned position : {2, 9, 5}) {
        run.Click(position, position == 2 ? 0 : MK_CONTROL);
    }
    const camsim::Micros start = run.session.loop.Now();
    run.preview().Command(CMD_DELETE_PAGE);
    run.session.loop.RunFor(20'000);
    EXPECT_EQ(
        run.CommandsSince(start),
        (std::vector<std::uint8_t>{DELETE_BEGIN, 0xA5, 0xB0, 0xC0, DELETE_PICTURE, 0xA9, 0xB0, 0xC0,
                                   DELETE_PICTURE, 0xA2, 0xB0, 0xC0, DELETE_PICTURE, DELETE_END}));
    std::vector<std::string> listed;
    for (int p = 0; p < run.index().index.receivedCount; ++p) {
        listed.push_back(run.index().index.entries[p].fileName);
    }
    EXPECT_EQ(listed, kept);
}

}  // namespace
}  // namespace fotolyx
