#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMimeData>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"
#include "gui/picture_view.h"
#include "gui/print_job.h"
#include "support/adjust_outcome.h"
#include "support/picture_files.h"
#include "support/processes.h"

namespace fotolyx::testing {
namespace {

// The view shows the window's picture 1:1 from its top left.
void ExpectShown(gui::PictureView& view, const PictureWindow& window) {
    const QImage shown = view.grab().toImage();
    const QImage expected = gui::DibToImage(window.picture().bytes());
    const QSize size(window.PictureWidth(), window.PictureHeight());
    ASSERT_EQ(expected.size(), size);
    for (const QPoint at : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 3),
                            QPoint(size.width() - 1, size.height() - 1)}) {
        EXPECT_EQ(shown.pixelColor(at), expected.pixelColor(at));
    }
}

TEST(PicturesTest, TheIndexIsShownSelectedDownloadedAdjustedCopiedPrintedAndUploaded) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    Program& program = session.program();
    EXPECT_EQ(session.StatusHistory(),
              (QStringList{"Ready", "Initial Setup with VISTACAM now proceeding",
                           "Receive Preview data", "Ready"}));
    gui::FrameWindow& frame = session.frame();
    EXPECT_TRUE(frame.MdiArea()->isEnabled());
    frame.MdiArea()->setActiveSubWindow(frame.LiveImageFrame());  // looked at before the Preview
    frame.MdiArea()->setActiveSubWindow(frame.PreviewFrame());
    QWidget* preview = frame.PreviewFrame()->widget();
    QTest::mouseClick(preview, Qt::LeftButton, {}, ThumbnailCentre(1));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ShiftModifier, ThumbnailCentre(3));
    const auto& marks = program.indexTransfer.selection.SelectionMark;
    EXPECT_EQ(std::vector<int>(marks.begin(), marks.begin() + 5),
              (std::vector<int>{0, 1, 1, 1, 0}));
    EXPECT_TRUE(frame.CurrentMenu().Command(CMD_DATA_IN)->isEnabled());
    const QImage marked = preview->grab().toImage();
    EXPECT_EQ(marked.pixelColor(13 + 140 + 50, 151), QColor(0, 255, 0));
    EXPECT_NE(marked.pixelColor(13 + 50, 151), QColor(0, 255, 0));

    PictureWindow* capture = session.Download(3);
    ASSERT_NE(capture, nullptr);
    gui::ChildFrame* window = frame.Window(capture->id());
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Capture);
    EXPECT_EQ(window->windowTitle().toStdString(), program.indexTransfer.index.entries[3].listText);
    auto& view = *static_cast<gui::PictureView*>(window->Child());
    const QSize size(capture->PictureWidth(), capture->PictureHeight());
    EXPECT_EQ(view.ClientSize(), size);
    ExpectShown(view, *capture);

    // The frame's command opens the adjustment over the view; the view shows its outcome.
    const AdjustOutcome adjusted = AdjustWithoutDialog(
        capture->picture(), [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
            e.settings = {20, 0, 0, 0};
            e.RenderManual(b, o, p);
        });
    OnShown<gui::ImageAdjustDialog> driver([&](gui::ImageAdjustDialog& dialog) {
        EXPECT_EQ(dialog.parentWidget(), &view);
        dialog.findChild<QScrollBar*>(QStringLiteral("control%1").arg(IDC_ADJUST_FIRST_SCROLL))
            ->triggerAction(QAbstractSlider::SliderPageStepAdd);
        dialog.findChild<QPushButton*>(QStringLiteral("control%1").arg(IDOK))->click();
    });
    frame.Command(CMD_IMAGE_ADJUST);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(capture->picture().storage() == adjusted.picture);
    ExpectShown(view, *capture);

    // The clipboard's bitmap file is read back by Pillow, a reader nobody here wrote.
    frame.Command(CMD_COPY_TO_CLIPBOARD);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), size);
    const QByteArray bmp = data->data(QStringLiteral("image/bmp"));
    const auto file = session.folder() / "clip.bmp";
    WriteBytes(file, std::vector<std::uint8_t>(bmp.begin(), bmp.end()));
    const CommandResult pillow = RunCommand(
        "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "im.load(); print(im.size[0], im.size[1])\" " +
        Quote(file));
    if (pillow.status == 0 || PeersRequired()) {
        EXPECT_EQ(pillow.output,
                  std::to_string(size.width()) + " " + std::to_string(size.height()) + "\n");
    }

    // The page is printed though the window closes while it is produced; the Preview is then
    // in front and active.
    const auto pdf = session.folder() / "capture.pdf";
    bool ownerWasDisabled = false;
    OnShown<QPrintDialog> printDialog([&](QPrintDialog& dialog) {
        // Without printers the dialog prints to a PDF file named in its file field.
        dialog.findChild<QLineEdit*>(QStringLiteral("filename"))
            ->setText(QString::fromStdString(pdf.string()));
        dialog.accept();
    });
    OnShown<gui::CancelPrintDialog> cancelDialog(
        [&](gui::CancelPrintDialog&) {
            ownerWasDisabled = !view.isEnabled();
            window->close();
        },
        0);
    BoxAnswerer saveQuestion({QMessageBox::No});  // the adjusted picture is not kept
    frame.Command(CMD_PRINT);
    EXPECT_EQ(saveQuestion.Seen().size(), 1u);
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(program.captureWindows.Ids().empty());
    EXPECT_TRUE(std::filesystem::exists(pdf));
    QTest::qWait(50);
    EXPECT_EQ(frame.MdiArea()->currentSubWindow(), frame.PreviewFrame());
    EXPECT_EQ(frame.CurrentMenuKind(), MenuBar::Preview);
    EXPECT_EQ(frame.MdiArea()->subWindowList(QMdiArea::StackingOrder).last(), frame.PreviewFrame());

    PictureWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
    ASSERT_NE(openfile, nullptr);
    QProgressBar* progress = frame.ProgressBar();
    const int before = program.indexTransfer.index.receivedCount;
    ASSERT_LT(before, 12) << "the new entry is out of view";
    openfile->Command(CMD_DATA_OUT_FINE);
    bool waitShown = false;
    int progressMaximum = 0;
    ASSERT_TRUE(session.WaitFor([&] {
        if (gui::PleaseWaitDialog* dialog = session.gui().shell().OpenPleaseWait()) {
            waitShown |= dialog->isVisible() && dialog->windowTitle() == "DATA TRANSFER";
        }
        progressMaximum = progress->isVisible() ? progress->maximum() : progressMaximum;
        return program.indexTransfer.index.receivedCount == before + 1 &&
               frame.StatusText() == "Ready";
    }));
    EXPECT_TRUE(waitShown);
    EXPECT_GT(progressMaximum, 1);
    EXPECT_EQ(session.gui().shell().OpenPleaseWait(), nullptr);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(session.StatusHistory().contains("Send Image data"));
    const QImage grab = preview->grab().toImage();
    for (int quadrant = 0; quadrant < 4; ++quadrant) {  // the right way round
        const QPoint at =
            ThumbnailCentre(before) + QPoint(60 * (quadrant % 2) - 30, 45 * (quadrant / 2) - 23);
        EXPECT_EQ(grab.pixelColor(at), QUADRANT_COLOURS[quadrant]) << "quadrant " << quadrant;
    }
}

TEST(PicturesTest, ReconnectInTheDisconnectionDialogBringsTheIndexBack) {
    // Three messages of set-up, then the camera falls silent in the middle of the index.
    GuiSession session(true, {QStringLiteral("--silent-after"), QStringLiteral("6")});
    gui::QtShell& shell = session.gui().shell();
    ASSERT_TRUE(session.WaitFor([&] { return shell.OpenLinkDialog(LinkDialog::ComDisconnect); }));
    QTest::mouseClick(shell.OpenLinkDialog(LinkDialog::ComDisconnect)
                          ->findChild<QPushButton*>(QStringLiteral("button1")),
                      Qt::LeftButton);
    ASSERT_TRUE(
        session.WaitFor([&] { return session.program().indexTransfer.index.IndexLoaded; }, 20'000));
    EXPECT_EQ(session.program().indexTransfer.index.receivedCount, 9);
}

}  // namespace
}  // namespace fotolyx::testing
