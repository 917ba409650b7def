#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <filesystem>

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

// As a user: the file type picked with the keyboard (1-based), the name typed, then Save.
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
        }
    }
    seen.stayedOpen = dialog.isVisible();
    if (seen.stayedOpen) {
        dialog.reject();
    }
    return seen;
}

TEST(SaveAsTest, EachWindowSavesInTheTypeChosenInTheSaveDialogAndAReplacementIsConfirmed) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    PictureWindow* capture = session.Download(1);
    ASSERT_NE(capture, nullptr);
    const WindowId captureId = capture->id();
    PictureWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
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
    const QSize captureSize(capture->PictureWidth(), capture->PictureHeight());
    const struct {
        std::string window;
        int filterIndex;
        const char* typed;
        const char* written;
        int bitsPerPixel;  // 0: a JPEG
        QSize size;
    } rows[] = {
        // clang-format off
        {"Capture", SAVE_FILTER_JPEG, "capture", "capture.jpg", 0, captureSize},
        {"Openfile", SAVE_FILTER_256_COLOUR_BMP, "open-256", "open-256.bmp", 8, QSize(640, 480)},
        {"Live", SAVE_FILTER_FULL_COLOUR_BMP, "live.BMP", "live.BMP", 24, QSize(640, 480)},
        // clang-format on
    };
    const fs::path folder = session.folder() / "saved";
    fs::create_directories(folder);
    int offered = SAVE_FILTER_JPEG;
    fs::path lastFolder = session.program().settings.OpenInitialDir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written);
        // The first name is typed with its folder; the later dialogs open there.
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
        if (first) {
            EXPECT_EQ(seen.proposedName.toStdString(),
                      session.program().indexTransfer.index.entries[1].fileName);
        }
        offered = row.filterIndex;
        lastFolder = folder;
        const std::vector<std::uint8_t> bytes = ReadBytes(folder / row.written);
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(QImage::fromData(bytes.data(), static_cast<int>(bytes.size())).size(), row.size);
        EXPECT_EQ(bytes[0] == 'B' ? bytes[28] : 0, row.bitsPerPixel);
    }
    EXPECT_EQ(session.frame().Window(captureId)->windowTitle().toStdString(),
              (folder / "capture.jpg").string());

    // Replacing a file asks first: No keeps the dialog (then cancelled) and the file.
    const fs::path file = folder / "open-256.bmp";
    const std::size_t before = ReadBytes(file).size();
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        BoxAnswerer boxes({answer});
        SeenSaveDialog seen;
        OnShown<QFileDialog> driver([&](QFileDialog& dialog) {
            seen = AnswerSaveDialog(dialog, "open-256", SAVE_FILTER_FULL_COLOUR_BMP);
        });
        openfile->Command(CMD_SAVE_AS);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(boxes.Seen()[0].text.contains(QStringLiteral("open-256.bmp")));
        EXPECT_EQ(seen.stayedOpen, answer == QMessageBox::No);
        EXPECT_EQ(ReadBytes(file).size(), answer == QMessageBox::No ? before : 640u * 480 * 3 + 54);
    }
    OnShown<QFileDialog> cancel([](QFileDialog& dialog) { dialog.reject(); });
    saveAs.at("Capture")();
    EXPECT_TRUE(cancel.Ran());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace fotolyx::testing
