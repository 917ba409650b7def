#include <gtest/gtest.h>

#include <signal.h>
#include <QProgressBar>
#include <QTest>

#include <algorithm>
#include <random>

#include "gui/dialogs.h"
#include "gui/gui_session.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {
namespace {

bool IndexLoaded(GuiSession& session) {
    return session.program().indexTransfer.index.IndexLoaded &&
           session.frame().StatusText() == "Ready";
}

// Four quadrants of plain colours, top-left, top-right, bottom-left, bottom-right.
const QColor QUADRANT_COLOURS[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                                   QColor(255, 255, 0)};

DibBlock Quadrants() {
    return MakeRgbPicture(640, 480, [](int column, int row) {
        const QColor colour = QUADRANT_COLOURS[(row >= 240 ? 0 : 2) + (column < 320 ? 0 : 1)];
        return Bgr{static_cast<std::uint8_t>(colour.blue()),
                   static_cast<std::uint8_t>(colour.green()),
                   static_cast<std::uint8_t>(colour.red())};
    });
}

// What the frame showed while an upload ran.
struct UploadSeen {
    bool dataTransShown = false;
    bool progressShown = false;
    int progressMaximum = 0;
};

TEST(DataOutTest, FineAndNormalUploadsAddTheirThumbnailToThePreview) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    Program& program = session.program();
    const DibBlock picture = Quadrants();
    std::copy_n(picture.data(), std::min(picture.size(), program.buffers.WorkImage->size()),
                program.buffers.WorkImage->data());
    OpenfileWindow* openfile = program.CreateOpenfileWindow("Quadrants", false);
    ASSERT_NE(openfile, nullptr);
    QProgressBar* progress = session.frame().ProgressBar();
    ASSERT_NE(progress, nullptr);
    QWidget* preview = session.frame().PreviewFrame()->widget();

    struct Row {
        int command;
        char quality;
    };
    for (const Row row : {Row{CMD_DATA_OUT_FINE, 'F'}, Row{CMD_DATA_OUT_NORMAL, 'N'}}) {
        SCOPED_TRACE(row.quality);
        const int before = program.indexTransfer.index.receivedCount;
        openfile->Command(row.command);
        UploadSeen seen;
        ASSERT_TRUE(session.WaitFor([&] {
            if (gui::PleaseWaitDialog* dialog = session.gui().shell().OpenPleaseWait()) {
                seen.dataTransShown |= dialog->Kind() == PleaseWait::DataTrans &&
                                       dialog->isVisible() &&
                                       dialog->windowTitle() == "DATA TRANSFER";
            }
            if (progress->isVisible()) {
                seen.progressShown = true;
                seen.progressMaximum = progress->maximum();
            }
            return program.indexTransfer.index.receivedCount == before + 1 &&
                   session.frame().StatusText() == "Ready";
        }));
        EXPECT_TRUE(seen.dataTransShown);
        EXPECT_TRUE(seen.progressShown);
        EXPECT_GT(seen.progressMaximum, 1);
        EXPECT_EQ(session.gui().shell().OpenPleaseWait(), nullptr);
        EXPECT_FALSE(progress->isVisible());
        EXPECT_TRUE(session.StatusHistory().contains("Send Image data"));

        // The new entry, last in the list, with the picture's reduction as its thumbnail.
        const PictureEntry& entry =
            program.indexTransfer.index.entries[static_cast<std::size_t>(before)];
        ASSERT_GE(entry.listText.size(), 4u);
        EXPECT_EQ(std::stoi(entry.listText.substr(0, 3)), before + 1);
        EXPECT_EQ(entry.listText[3], row.quality);
        const int column = before % 4;
        const int cellRow = before / 4;
        ASSERT_LT(cellRow, 3) << "the new entry is out of view";
        const QImage grab = preview->grab().toImage();
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const QPoint at(10 + 140 * column + 30 + 60 * (quadrant % 2),
                            60 + 130 * cellRow + 22 + 45 * (quadrant / 2));
            EXPECT_EQ(grab.pixelColor(at), QUADRANT_COLOURS[quadrant]) << "quadrant " << quadrant;
        }
    }
}

// The upload's watchdog runs on the Openfile window's timers: a camera that stops answering
// while the data packets flow leads to COM_DISCONNECT.
TEST(DataOutTest, ACameraFallingSilentDuringAnUploadLeadsToDisconnect) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    Program& program = session.program();
    std::mt19937 random(7);
    const DibBlock picture = MakeRandomPicture(640, 480, random);
    std::copy_n(picture.data(), std::min(picture.size(), program.buffers.WorkImage->size()),
                program.buffers.WorkImage->data());
    OpenfileWindow* openfile = program.CreateOpenfileWindow("Noise", false);
    ASSERT_NE(openfile, nullptr);
    openfile->Command(CMD_DATA_OUT_FINE);
    QProgressBar* progress = session.frame().ProgressBar();
    ASSERT_TRUE(session.WaitFor([&] { return progress->isVisible() && progress->value() >= 3; }));
    const auto pid = static_cast<pid_t>(session.camera().Process().processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const bool disconnected = session.WaitFor(
        [&] { return session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect) != nullptr; });
    ::kill(pid, SIGCONT);
    EXPECT_TRUE(disconnected);
    EXPECT_EQ(program.indexTransfer.index.receivedCount, 9);
}

}  // namespace
}  // namespace fotolyx::testing
