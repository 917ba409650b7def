#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "gui/gui_session.h"
#include "support/fakes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

// A save dialog as it came up, and whether it stayed up after Save (the name was not taken).
struct SeenSaveDialog {
    QStringList filters;
    QString selectedFilter;
    QString directory;
    QString proposedName;
    bool confirmsOverwrite = false;
    bool stayedOpen = false;
};

// As a user: the file type picked with the keyboard in the type box (1-based), the name typed
// into the name field of the active dialog, then its Save button.
SeenSaveDialog AnswerSaveDialog(QFileDialog& dialog, const QString& typed, int filterIndex) {
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    SeenSaveDialog seen{dialog.nameFilters(), dialog.selectedNameFilter(),
                        dialog.directory().absolutePath(), name ? name->text() : QString(),
                        !dialog.testOption(QFileDialog::DontConfirmOverwrite)};
    ExpectDialog(QStringLiteral("the save dialog to take the name \"%1\"").arg(typed));
    dialog.activateWindow();
    if (!name || !types || !QTest::qWaitForWindowActive(&dialog, 2000)) {
        ADD_FAILURE() << "the save dialog has no name field or type box, or never got the focus";
        dialog.reject();
        return seen;
    }
    types->setFocus();
    while (types->currentIndex() != filterIndex - 1) {
        QTest::keyClick(types, types->currentIndex() < filterIndex - 1 ? Qt::Key_Down : Qt::Key_Up);
    }
    name->setFocus();
    name->clear();
    QTest::keyClicks(name, typed);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : buttons->buttons()) {
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->click();
            break;
        }
    }
    seen.stayedOpen = dialog.isVisible();
    if (seen.stayedOpen) {
        dialog.reject();
    }
    return seen;
}

// Reads what was written: "BM" files give their bits per pixel, JPEG files 0.
int SavedBitsPerPixel(const fs::path& file, QSize expectedSize) {
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(QImage::fromData(bytes.data(), static_cast<int>(bytes.size())).size(), expectedSize);
    if (bytes.size() > 30 && bytes[0] == 'B' && bytes[1] == 'M') {
        return bytes[28] | bytes[29] << 8;
    }
    EXPECT_TRUE(bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) << file;
    return 0;
}

TEST(SaveAsTest, EachWindowSavesThroughTheSaveDialogInTheTypeChosenThere) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    CaptureWindow* capture = session.Download(1);
    ASSERT_NE(capture, nullptr);
    const WindowId captureId = capture->id();
    OpenfileWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
    ASSERT_NE(openfile, nullptr);
    const DibBlock photo = QuadrantPicture();
    DibBlock& livePhoto = *session.program().buffers.LivePhotoImage;
    std::copy_n(photo.data(), std::min(photo.size(), livePhoto.size()), livePhoto.data());
    session.program().live.PhotoMenusEnabled = true;
    const std::map<std::string, std::function<void()>> saveAs = {
        {"Capture", [&] { session.frame().Window(captureId)->Child()->Command(CMD_SAVE_AS); }},
        {"Openfile", [&] { openfile->Command(CMD_SAVE_AS); }},
        {"Live", [&] { session.program().liveWindow.Command(CMD_SAVE_AS); }},
    };
    const struct {
        std::string window;
        int filterIndex;
        const char* typed;
        const char* written;
        int bitsPerPixel;
    } rows[] = {
        {"Capture", SAVE_FILTER_JPEG, "capture", "capture.jpg", 0},
        {"Openfile", SAVE_FILTER_256_COLOUR_BMP, "open-256", "open-256.bmp", 8},
        {"Openfile", SAVE_FILTER_JPEG, "open.JPG", "open.JPG", 0},
        {"Live", SAVE_FILTER_FULL_COLOUR_BMP, "live", "live.bmp", 24},
    };
    const fs::path folder = session.folder() / "saved";
    fs::create_directories(folder);
    const QRegularExpression timeName(QStringLiteral(R"(^\d\d-\d+-\d+\(\d+-\d+\)$)"));
    int offered = SAVE_FILTER_JPEG;
    fs::path lastFolder = session.program().settings.OpenInitialDir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.window + " " + row.written);
        // The first save is typed with its folder; the later ones open there.
        const bool first = &row == &rows[0];
        const QString typed =
            QString::fromStdString(first ? (folder / row.typed).string() : row.typed);
        SeenSaveDialog seen;
        OnShown<QFileDialog> driver(
            [&](QFileDialog& dialog) { seen = AnswerSaveDialog(dialog, typed, row.filterIndex); });
        saveAs.at(row.window)();
        ASSERT_TRUE(driver.Ran());
        EXPECT_EQ(seen.filters,
                  (QStringList{"JPEG (*.JPG)", "Full Color BMP (*.BMP)", "256 Color BMP (*.BMP)"}));
        EXPECT_EQ(seen.selectedFilter, seen.filters.value(offered - 1));
        EXPECT_EQ(fs::path(seen.directory.toStdString()), lastFolder);
        EXPECT_TRUE(seen.confirmsOverwrite);
        if (row.window == "Capture") {
            EXPECT_EQ(seen.proposedName.toStdString(),
                      session.program().indexTransfer.index.entries[1].fileName);
        } else {
            EXPECT_TRUE(timeName.match(seen.proposedName).hasMatch())
                << seen.proposedName.toStdString();
        }
        offered = row.filterIndex;
        lastFolder = folder;
        const fs::path file = folder / row.written;
        ASSERT_TRUE(fs::exists(file));
        const QSize size = row.window == "Capture"
                               ? QSize(capture->PictureWidth(), capture->PictureHeight())
                               : QSize(640, 480);
        EXPECT_EQ(SavedBitsPerPixel(file, size), row.bitsPerPixel);
    }
    EXPECT_EQ(session.frame().Window(captureId)->windowTitle().toStdString(),
              (folder / "capture.jpg").string());
    // A cancelled dialog writes nothing.
    OnShown<QFileDialog> cancel([](QFileDialog& dialog) { dialog.reject(); });
    saveAs.at("Capture")();
    EXPECT_TRUE(cancel.Ran());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
}

TEST(SaveAsTest, ReplacingAFileIsConfirmedFirst) {
    GuiSession session(false);
    OpenfileWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
    ASSERT_NE(openfile, nullptr);
    const fs::path file = session.folder() / "old.bmp";
    std::ofstream(file) << "old";
    const QString typed = QString::fromStdString(file.string());
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        BoxAnswerer boxes({answer});
        SeenSaveDialog seen;
        OnShown<QFileDialog> driver([&](QFileDialog& dialog) {
            seen = AnswerSaveDialog(dialog, typed, SAVE_FILTER_FULL_COLOUR_BMP);
        });
        openfile->Command(CMD_SAVE_AS);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(boxes.Seen()[0].text.contains(QStringLiteral("old.bmp")));
        // No: the dialog stays with its name (and is then cancelled); Yes: the file is replaced.
        EXPECT_EQ(seen.stayedOpen, answer == QMessageBox::No);
        EXPECT_EQ(ReadBytes(file).size(), answer == QMessageBox::No ? 3u : 640u * 480 * 3 + 54);
    }
}

}  // namespace
}  // namespace fotolyx::testing
