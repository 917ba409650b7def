#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "gui/capture_view.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/save_dialog_driver.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

bool IndexLoaded(GuiSession& session) {
    return session.program().indexTransfer.index.IndexLoaded &&
           session.frame().StatusText() == "Ready";
}

QPoint Thumbnail(int column, int row) {
    return {10 + 140 * column + 60, 60 + 130 * row + 45};
}

// Downloads the picture at a position into a Capture window, as a double-click does.
CaptureWindow* Download(GuiSession& session, int position) {
    QWidget* preview = session.frame().PreviewFrame()->widget();
    const std::size_t before = session.program().captureWindows.Ids().size();
    QTest::mouseClick(preview, Qt::LeftButton, {}, Thumbnail(position % 4, position / 4));
    QTest::mouseDClick(preview, Qt::LeftButton, {}, Thumbnail(position % 4, position / 4));
    const bool done = session.WaitFor([&] {
        return session.program().captureWindows.Ids().size() == before + 1 &&
               !session.program().pictureDownload.download.CaptureWaiting &&
               session.frame().StatusText() == "Ready";
    });
    return done ? session.program().captureWindows.Find(
                      session.program().captureWindows.Ids().back())
                : nullptr;
}

// Four quadrants of plain colours: red, green (top), blue, yellow (bottom).
DibBlock Quadrants() {
    return MakeRgbPicture(640, 480, [](int column, int row) {
        const bool top = row >= 240;  // rows are stored bottom-up
        const bool left = column < 320;
        if (top) {
            return left ? Bgr{0, 0, 255} : Bgr{0, 255, 0};
        }
        return left ? Bgr{255, 0, 0} : Bgr{0, 255, 255};
    });
}

OpenfileWindow* OpenQuadrants(GuiSession& session) {
    const DibBlock picture = Quadrants();
    DibBlock& work = *session.program().buffers.WorkImage;
    std::copy_n(picture.data(), std::min(picture.size(), work.size()), work.data());
    return session.program().CreateOpenfileWindow("Quadrants", false);
}

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t Le(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// The markers of a JPEG file's segments before its scan.
std::vector<int> SegmentMarkers(const std::vector<std::uint8_t>& bytes) {
    std::vector<int> markers;
    std::size_t at = 2;
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] != 0xDA) {
        markers.push_back(bytes[at + 1]);
        at += 2 + (static_cast<std::size_t>(bytes[at + 2]) << 8 | bytes[at + 3]);
    }
    return markers;
}

// Checks a saved file against its type: sizes and headers of the BMPs, the JPEG's segments,
// and what Qt's own readers make of it.
void CheckSavedFile(const fs::path& file, int filterIndex, int width, int height, bool exif) {
    SCOPED_TRACE(file.string());
    const std::vector<std::uint8_t> bytes = ReadAll(file);
    ASSERT_GT(bytes.size(), 64u);
    const QImage decoded = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(decoded.size(), QSize(width, height));
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    switch (filterIndex) {
        case SAVE_FILTER_JPEG: {
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xD8);
            const std::vector<int> markers = SegmentMarkers(bytes);
            const bool hasExif = std::count(markers.begin(), markers.end(), 0xE1) == 1;
            const bool hasJfif = std::count(markers.begin(), markers.end(), 0xE0) == 1;
            EXPECT_EQ(hasExif, exif);
            EXPECT_EQ(hasJfif, !exif);
            if (exif) {
                EXPECT_EQ(markers.front(), 0xE1);
                EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 12),
                          std::string("Exif\0\0", 6));
            }
            break;
        }
        case SAVE_FILTER_FULL_COLOUR_BMP:
            EXPECT_EQ(bytes.size(), 3 * w * h + 54);
            EXPECT_EQ(Le(bytes, 2, 4), bytes.size());
            EXPECT_EQ(Le(bytes, 10, 4), 54u);
            EXPECT_EQ(Le(bytes, 28, 2), 24u);
            break;
        case SAVE_FILTER_256_COLOUR_BMP:
            EXPECT_EQ(bytes.size(), w * h + 1078);
            EXPECT_EQ(Le(bytes, 2, 4), bytes.size());
            EXPECT_EQ(Le(bytes, 10, 4), 1078u);
            EXPECT_EQ(Le(bytes, 28, 2), 8u);
            break;
        default:
            ADD_FAILURE() << "no such file type";
    }
    EXPECT_EQ(static_cast<int>(Le(bytes, 0, 2)) == 0x4D42, filterIndex != SAVE_FILTER_JPEG);
}

struct SaveRow {
    const char* window;  // "Capture", "Openfile", "Live"
    int filterIndex;
    const char* typed;     // what is typed into the name field
    const char* fileName;  // what is written
};

TEST(SaveAsTest, EachWindowSavesEachFileTypeThroughTheSaveDialog) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    CaptureWindow* capture = Download(session, 1);
    ASSERT_NE(capture, nullptr);
    const WindowId captureId = capture->id();
    OpenfileWindow* openfile = OpenQuadrants(session);
    ASSERT_NE(openfile, nullptr);
    // A complete photo in the Live image window.
    const DibBlock photo = Quadrants();
    DibBlock& livePhoto = *session.program().buffers.LivePhotoImage;
    std::copy_n(photo.data(), std::min(photo.size(), livePhoto.size()), livePhoto.data());
    session.program().live.PhotoMenusEnabled = true;

    const std::map<std::string, std::function<void()>> saveAs = {
        {"Capture", [&] { session.frame().Window(captureId)->Child()->Command(CMD_SAVE_AS); }},
        {"Openfile", [&] { openfile->Command(CMD_SAVE_AS); }},
        {"Live", [&] { session.program().liveWindow.Command(CMD_SAVE_AS); }},
    };
    const SaveRow rows[] = {
        {"Capture", 1, "capture", "capture.jpg"},
        {"Capture", 2, "capture", "capture.bmp"},
        {"Capture", 3, "capture-256", "capture-256.bmp"},
        {"Openfile", 1, "open.JPG", "open.JPG"},
        {"Openfile", 3, "open-256", "open-256.bmp"},
        {"Openfile", 2, "open", "open.bmp"},
        {"Live", 2, "live", "live.bmp"},
        {"Live", 1, "live", "live.jpg"},
        {"Live", 3, "live-256", "live-256.bmp"},
    };
    const fs::path folder = session.folder() / "saved";
    fs::create_directories(folder);
    const QRegularExpression timeName(QStringLiteral(R"(^\d\d-\d+-\d+\(\d+-\d+\)$)"));
    int offered = SAVE_FILTER_JPEG;
    QString lastFolder = QString::fromStdString(session.program().settings.OpenInitialDir);
    for (const SaveRow& row : rows) {
        SCOPED_TRACE(std::string(row.window) + " " + row.fileName);
        // The first save of all is typed with its folder; later ones open there.
        const QString typed =
            QString::fromStdString(row.window == std::string("Capture") && row.filterIndex == 1
                                       ? (folder / row.typed).string()
                                       : std::string(row.typed));
        SaveDialogDriver driver({{typed, row.filterIndex}});
        saveAs.at(row.window)();
        ASSERT_EQ(driver.Seen().size(), 1u);
        const SeenSaveDialog& seen = driver.Seen().front();
        EXPECT_EQ(seen.filters,
                  (QStringList{"JPEG (*.JPG)", "Full Color BMP (*.BMP)", "256 Color BMP (*.BMP)"}));
        EXPECT_EQ(seen.selectedFilter, seen.filters.at(offered - 1));
        EXPECT_EQ(fs::path(seen.directory.toStdString()), fs::path(lastFolder.toStdString()));
        EXPECT_TRUE(seen.confirmsOverwrite);
        if (row.window == std::string("Capture")) {
            EXPECT_EQ(seen.proposedName.toStdString(),
                      session.program().indexTransfer.index.entries[1].fileName);
        } else {
            EXPECT_TRUE(timeName.match(seen.proposedName).hasMatch())
                << seen.proposedName.toStdString();
        }
        offered = row.filterIndex;
        lastFolder = QString::fromStdString(folder.string());

        const fs::path file = folder / row.fileName;
        ASSERT_TRUE(fs::exists(file));
        const bool capturing = row.window == std::string("Capture");
        CheckSavedFile(file, row.filterIndex, capturing ? capture->PictureWidth() : 640,
                       capturing ? capture->PictureHeight() : 480,
                       row.window != std::string("Live"));
        // Capture and Openfile windows take the saved path as their title.
        if (capturing) {
            EXPECT_EQ(session.frame().Window(captureId)->windowTitle().toStdString(),
                      file.string());
        } else if (row.window == std::string("Openfile")) {
            EXPECT_EQ(openfile->title(), file.string());
        }
    }
    // A cancelled dialog writes nothing and changes no title.
    SaveDialogDriver cancel({{QString(), 0, true}});
    saveAs.at("Capture")();
    EXPECT_EQ(cancel.Seen().size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 9);
}

TEST(SaveAsTest, ReplacingAFileIsConfirmedFirst) {
    GuiSession session(false);
    OpenfileWindow* openfile = OpenQuadrants(session);
    ASSERT_NE(openfile, nullptr);
    const fs::path file = session.folder() / "old.bmp";
    std::ofstream(file) << "old";
    {
        // No: the dialog stays with its name, and is then cancelled.
        BoxAnswerer boxes({QMessageBox::No});
        SaveDialogDriver driver({{QString::fromStdString(file.string()), 2}});
        openfile->Command(CMD_SAVE_AS);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(boxes.Seen()[0].text.contains(QStringLiteral("old.bmp")));
        ASSERT_EQ(driver.Seen().size(), 1u);
        EXPECT_TRUE(driver.Seen()[0].stayedOpen);
        EXPECT_EQ(ReadAll(file).size(), 3u);
        EXPECT_FALSE(openfile->lastSave().written);
    }
    BoxAnswerer boxes({QMessageBox::Yes});
    SaveDialogDriver driver({{QString::fromStdString(file.string()), 2}});
    openfile->Command(CMD_SAVE_AS);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    CheckSavedFile(file, SAVE_FILTER_FULL_COLOUR_BMP, 640, 480, false);
}

}  // namespace
}  // namespace fotolyx::testing
