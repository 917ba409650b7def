#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMimeData>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"
#include "gui/picture_view.h"
#include "gui/print_job.h"
#include "gui/screen_image.h"
#include "support/adjust_outcome.h"
#include "support/picture_files.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {
namespace {

const QColor QUADRANT_COLOURS[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

// 640 x 480 in four plain quadrants: red, green (top), blue, yellow (bottom), stored bottom-up.
DibBlock QuadrantPicture() {
    return MakeRgbPicture(640, 480, [](int column, int row) {
        const QColor colour = QUADRANT_COLOURS[(row >= 240 ? 0 : 2) + (column < 320 ? 0 : 1)];
        return Bgr{static_cast<std::uint8_t>(colour.blue()),
                   static_cast<std::uint8_t>(colour.green()),
                   static_cast<std::uint8_t>(colour.red())};
    });
}

// The centre of the thumbnail of a position in the Preview's first rows.
QPoint ThumbnailCentre(int position) {
    return {10 + 140 * (position % 4) + 60, 60 + 130 * (position / 4) + 45};
}

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

TEST(PicturesTest, TheIndexIsShownSelectedDownloadedAdjustedCopiedSavedPrintedAndUploaded) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    Program& program = session.program();
    EXPECT_EQ(session.StatusHistory(),
              (QStringList{"Ready", "Initial Setup with VISTACAM now proceeding",
                           "Receive Preview data", "Ready"}));
    gui::FrameWindow& frame = session.frame();
    EXPECT_TRUE(frame.MdiArea()->isEnabled());
    QWidget* preview = frame.PreviewFrame()->widget();
    QTest::mouseClick(preview, Qt::LeftButton, {}, ThumbnailCentre(1));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ShiftModifier, ThumbnailCentre(3));
    const auto& marks = program.indexTransfer.selection.SelectionMark;
    EXPECT_EQ(std::vector<int>(marks.begin(), marks.begin() + 5),
              (std::vector<int>{0, 1, 1, 1, 0}));
    EXPECT_TRUE(frame.CurrentMenu().Command(CMD_DATA_IN)->isEnabled());

    QTest::mouseDClick(preview, Qt::LeftButton, {}, ThumbnailCentre(3));
    ASSERT_TRUE(session.WaitFor([&] {
        return program.captureWindows.Ids().size() == 1 &&
               !program.pictureDownload.download.CaptureWaiting && frame.StatusText() == "Ready";
    }));
    PictureWindow* capture = program.captureWindows.Find(program.captureWindows.Ids().front());
    gui::ChildFrame* window = frame.Window(capture->id());
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

    frame.Command(CMD_COPY_TO_CLIPBOARD);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).convertToFormat(QImage::Format_RGB32),
              gui::DibToImage(capture->picture().bytes()).convertToFormat(QImage::Format_RGB32));

    // Each window saves in the type chosen in the save dialog.
    const DibBlock quadrants = QuadrantPicture();
    DibBlock& work = *program.buffers.WorkImage;
    std::copy_n(quadrants.data(), std::min(quadrants.size(), work.size()), work.data());
    PictureWindow* openfile = program.CreateOpenfileWindow("Quadrants", false);
    ASSERT_NE(openfile, nullptr);
    const std::filesystem::path folder = session.folder() / "saved";
    std::filesystem::create_directories(folder);
    const QStringList types{"JPEG (*.JPG)", "Full Color BMP (*.BMP)", "256 Color BMP (*.BMP)"};
    const QString start =
        QDir(QString::fromStdString(program.settings.OpenInitialDir)).absolutePath();
    const QString in = QString::fromStdString(folder.string());
    const struct {
        PictureWindow* window;
        int filterIndex;
        QString typed;  // the first with its folder; the later dialogs open there
        const char* written;
        int bitsPerPixel;  // 0: a JPEG
        QStringList seen;  // the offered type and the folder
    } rows[] = {
        {capture, SAVE_FILTER_JPEG, in + "/capture", "capture.jpg", 0, {types[0], start}},
        {openfile, SAVE_FILTER_256_COLOUR_BMP, "open-256", "open-256.bmp", 8, {types[0], in}},
        {openfile, SAVE_FILTER_FULL_COLOUR_BMP, "full.BMP", "full.BMP", 24, {types[2], in}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written);
        QStringList seen;  // all types, the one offered, the folder
        // As a user: the type picked with the keyboard, the name typed, then Return.
        OnShown<QFileDialog> user([&](QFileDialog& dialog) {
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            auto* typeBox = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            ExpectDialog(QStringLiteral("the save dialog to take the name \"%1\"").arg(row.typed));
            dialog.activateWindow();
            ASSERT_TRUE(name && typeBox && QTest::qWaitForWindowActive(&dialog, 2000));
            seen = dialog.nameFilters()
                   << dialog.selectedNameFilter() << dialog.directory().absolutePath();
            EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));  // it asks
            typeBox->setFocus();
            while (typeBox->currentIndex() != row.filterIndex - 1) {
                QTest::keyClick(typeBox, typeBox->currentIndex() < row.filterIndex - 1
                                             ? Qt::Key_Down
                                             : Qt::Key_Up);
            }
            name->setFocus();
            name->clear();
            QTest::keyClicks(name, row.typed);
            QTest::keyClick(name, Qt::Key_Return);
        });
        row.window->Command(CMD_SAVE_AS);
        ASSERT_TRUE(user.Ran());
        EXPECT_EQ(seen, types + row.seen);
        const std::vector<std::uint8_t> bytes = ReadBytes(folder / row.written);
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(QImage::fromData(bytes.data(), static_cast<int>(bytes.size())).size(),
                  row.window == capture ? size : QSize(640, 480));
        EXPECT_EQ(bytes[0] == 'B' ? bytes[28] : 0, row.bitsPerPixel);
    }

    // The page is printed though the window closes while it is produced.
    const auto pdf = session.folder() / "capture.pdf";
    OnShown<QPrintDialog> printDialog([&](QPrintDialog& dialog) {
        // Without printers the dialog prints to a PDF file named in its file field.
        dialog.findChild<QLineEdit*>(QStringLiteral("filename"))
            ->setText(QString::fromStdString(pdf.string()));
        dialog.accept();
    });
    OnShown<gui::CancelPrintDialog> cancelDialog([&](gui::CancelPrintDialog&) { window->close(); },
                                                 0);
    frame.MdiArea()->setActiveSubWindow(frame.PreviewFrame());  // looked at before
    frame.MdiArea()->setActiveSubWindow(window);
    BoxAnswerer saveQuestion({QMessageBox::No});
    frame.Command(CMD_PRINT);
    EXPECT_EQ(saveQuestion.Seen().size(), 1u);
    EXPECT_TRUE(program.captureWindows.Ids().empty());
    EXPECT_TRUE(std::filesystem::exists(pdf));

    // An upload shows its progress; its thumbnail appears the right way round.
    const int before = program.indexTransfer.index.receivedCount;
    ASSERT_LT(before, 12) << "the new entry is out of view";
    openfile->Command(CMD_DATA_OUT_FINE);
    int progressMaximum = 0;
    ASSERT_TRUE(session.WaitFor([&] {
        progressMaximum =
            frame.ProgressBar()->isVisible() ? frame.ProgressBar()->maximum() : progressMaximum;
        return program.indexTransfer.index.receivedCount == before + 1 &&
               frame.StatusText() == "Ready";
    }));
    EXPECT_GT(progressMaximum, 1);
    EXPECT_FALSE(frame.ProgressBar()->isVisible());
    const QImage grab = preview->grab().toImage();
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const QPoint at =
            ThumbnailCentre(before) + QPoint(60 * (quadrant % 2) - 30, 45 * (quadrant / 2) - 23);
        EXPECT_EQ(grab.pixelColor(at), QUADRANT_COLOURS[quadrant]) << "quadrant " << quadrant;
    }
}

// 256 colours: the nearest palette colour, the first of equally near ones; else the pixel itself.
TEST(DisplayDepthTest, OnA256ColourScreenEachPixelTakesTheNearestPaletteColour) {
    LogPalette palette;
    palette.palNumEntries = 3;
    palette.palPalEntry[0] = {0, 0, 0, 0};
    palette.palPalEntry[1] = {200, 0, 0, 0};
    palette.palPalEntry[2] = {0, 0, 200, 0};
    const struct {
        QColor picture, shown;
    } pixels[] = {{{0, 0, 0}, {0, 0, 0}},      {{99, 0, 0}, {0, 0, 0}},
                  {{101, 0, 0}, {200, 0, 0}},  {{255, 255, 255}, {200, 0, 0}},
                  {{90, 0, 120}, {0, 0, 200}}, {{100, 0, 100}, {0, 0, 0}}};
    QImage picture(std::size(pixels), 1, QImage::Format_RGB32);
    for (int x = 0; x < picture.width(); ++x) {
        picture.setPixelColor(x, 0, pixels[x].picture);
    }
    DisplayState display;
    display.ScreenPalette = palette;
    display.TrueColourDisplay = false;
    const QImage shown = gui::ShownImage(display, picture);
    for (int x = 0; x < picture.width(); ++x) {
        EXPECT_EQ(shown.pixelColor(x, 0), pixels[x].shown) << x;
    }
}

}  // namespace
}  // namespace fotolyx::testing
