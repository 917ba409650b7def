#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "gui/gui_session.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

// As a user: the file type picked with the keyboard (1-based), the name typed, then Return. The
// dialog as it came up: its types, the type offered, its folder, whether it asks before
// replacing a file, the name it proposed.
QStringList AnswerSaveDialog(QFileDialog& dialog, const QString& typed, int filterIndex) {
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ExpectDialog(QStringLiteral("the save dialog to take the name \"%1\"").arg(typed));
    dialog.activateWindow();
    if (!name || !types || !QTest::qWaitForWindowActive(&dialog, 2000)) {
        ADD_FAILURE() << "the save dialog has no name field or type box, or never got the focus";
        dialog.reject();
        return {};
    }
    const QStringList seen =
        dialog.nameFilters() +
        QStringList{dialog.selectedNameFilter(), dialog.directory().absolutePath(),
                    dialog.testOption(QFileDialog::DontConfirmOverwrite) ? "replaces silently"
                                                                         : "asks before replacing",
                    name->text()};
    types->setFocus();
    while (types->currentIndex() != filterIndex - 1) {
        QTest::keyClick(types, types->currentIndex() < filterIndex - 1 ? Qt::Key_Down : Qt::Key_Up);
    }
    name->setFocus();
    name->clear();
    QTest::keyClicks(name, typed);
    QTest::keyClick(name, Qt::Key_Return);
    return seen;
}

TEST(SaveAsTest, EachWindowSavesInTheTypeChosenInTheSaveDialog) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    PictureWindow* capture = session.Download(1);
    ASSERT_NE(capture, nullptr);
    const WindowId captureId = capture->id();
    PictureWindow* openfile = session.OpenPicture(QuadrantPicture(), "Quadrants");
    ASSERT_NE(openfile, nullptr);
    const fs::path folder = session.folder() / "saved";
    fs::create_directories(folder);
    const QStringList types{"JPEG (*.JPG)", "Full Color BMP (*.BMP)", "256 Color BMP (*.BMP)"};
    const QString start =
        QDir(QString::fromStdString(session.program().settings.OpenInitialDir)).absolutePath();
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
        QStringList seen;
        OnShown<QFileDialog> driver([&](QFileDialog& dialog) {
            seen = AnswerSaveDialog(dialog, row.typed, row.filterIndex);
        });
        if (row.window == capture) {
            session.frame().Window(captureId)->Child()->Command(CMD_SAVE_AS);
        } else {
            openfile->Command(CMD_SAVE_AS);
        }
        ASSERT_TRUE(driver.Ran());
        EXPECT_EQ(seen.mid(0, 6), types + row.seen + QStringList{"asks before replacing"});
        if (row.window == capture) {
            EXPECT_EQ(seen.value(6).toStdString(),
                      session.program().indexTransfer.index.entries[1].fileName);
        }
        const std::vector<std::uint8_t> bytes = ReadBytes(folder / row.written);
        ASSERT_GT(bytes.size(), 30u);
        const QSize size = row.window == capture
                               ? QSize(capture->PictureWidth(), capture->PictureHeight())
                               : QSize(640, 480);
        EXPECT_EQ(QImage::fromData(bytes.data(), static_cast<int>(bytes.size())).size(), size);
        EXPECT_EQ(bytes[0] == 'B' ? bytes[28] : 0, row.bitsPerPixel);
    }
    EXPECT_EQ(session.frame().Window(captureId)->windowTitle().toStdString(),
              (folder / "capture.jpg").string());
}

}  // namespace
}  // namespace fotolyx::testing
