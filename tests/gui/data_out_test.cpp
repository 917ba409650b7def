#include <gtest/gtest.h>

#include <QProgressBar>

#include "gui/dialogs.h"
#include "gui/gui_session.h"

namespace fotolyx::testing {
namespace {

TEST(DataOutTest, AnUploadShowsItsWaitDialogAndProgressAndAddsItsThumbnailToThePreview) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    Program& program = session.program();
    OpenfileWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
    ASSERT_NE(openfile, nullptr);
    QProgressBar* progress = session.frame().ProgressBar();
    ASSERT_NE(progress, nullptr);
    const int before = program.indexTransfer.index.receivedCount;
    openfile->Command(CMD_DATA_OUT_FINE);
    bool waitShown = false;
    int progressMaximum = 0;
    ASSERT_TRUE(session.WaitFor([&] {
        if (gui::PleaseWaitDialog* dialog = session.gui().shell().OpenPleaseWait()) {
            waitShown |= dialog->isVisible() && dialog->windowTitle() == "DATA TRANSFER";
        }
        if (progress->isVisible()) {
            progressMaximum = progress->maximum();
        }
        return program.indexTransfer.index.receivedCount == before + 1 &&
               session.frame().StatusText() == "Ready";
    }));
    EXPECT_TRUE(waitShown);
    EXPECT_GT(progressMaximum, 1);
    EXPECT_EQ(session.gui().shell().OpenPleaseWait(), nullptr);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(session.StatusHistory().contains("Send Image data"));

    // The new entry's thumbnail shows the picture's quadrants the right way round.
    ASSERT_LT(before, 12) << "the new entry is out of view";
    const QImage grab = session.frame().PreviewFrame()->widget()->grab().toImage();
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const QPoint at(10 + 140 * (before % 4) + 30 + 60 * (quadrant % 2),
                        60 + 130 * (before / 4) + 22 + 45 * (quadrant / 2));
        EXPECT_EQ(grab.pixelColor(at), QUADRANT_COLOURS[quadrant]) << "quadrant " << quadrant;
    }
}

}  // namespace
}  // namespace fotolyx::testing
