#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gui/capture_view.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/preview_view.h"

namespace fotolyx::testing {
namespace {

const QColor GREY(192, 192, 192);
const QColor GREEN(0, 255, 0);

bool IndexLoaded(GuiSession& session) {
    return session.program().indexTransfer.index.IndexLoaded &&
           session.frame().StatusText() == "Ready";
}

QWidget* PreviewWidget(GuiSession& session) {
    return session.frame().PreviewFrame()->widget();
}

std::vector<WindowId> Captures(GuiSession& session) {
    return session.program().captureWindows.Ids();
}

// The centre of the thumbnail area of the cell at column c, row r.
QPoint Thumbnail(int column, int row) {
    return {10 + 140 * column + 60, 60 + 130 * row + 45};
}

TEST(PicturesTest, StartUpLoadsTheIndexIntoThePreview) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    EXPECT_EQ(session.StatusHistory(),
              (QStringList{"Ready", "Initial Setup with VISTACAM now proceeding",
                           "Receive Preview data", "Ready"}));
    EXPECT_TRUE(session.frame().MdiArea()->isEnabled());

    const QImage grab = PreviewWidget(session)->grab().toImage();
    // Cell frames, a thumbnail inside its 120 x 90 area, the caption area with its text.
    EXPECT_EQ(grab.pixelColor(5, 55), QColor(255, 255, 255));
    EXPECT_EQ(grab.pixelColor(4, 54), QColor(64, 64, 64));
    int coloured = 0;
    for (int x = 10; x < 130; x += 7) {
        const QColor pixel = grab.pixelColor(x, 100);
        coloured += pixel != GREY && pixel.red() != pixel.green() ? 1 : 0;
    }
    EXPECT_GT(coloured, 10);
    EXPECT_EQ(grab.pixelColor(7, 166), GREY);
    bool text = false;
    for (int x = 10; x < 130 && !text; ++x) {
        for (int y = 152; y < 167 && !text; ++y) {
            text = grab.pixelColor(x, y).lightness() < 100;
        }
    }
    EXPECT_TRUE(text);
    // The last row holds the ninth picture and three empty cells.
    EXPECT_EQ(grab.pixelColor(Thumbnail(1, 2)), grab.pixelColor(Thumbnail(2, 2)));
}

TEST(PicturesTest, ClicksSelectAndADoubleClickDownloadsIntoACaptureWindow) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    QWidget* preview = PreviewWidget(session);
    const SelectionState& selection = session.program().indexTransfer.selection;
    auto marked = [&] {
        std::vector<int> positions;
        for (int p = 0; p < 9; ++p) {
            if (selection.SelectionMark[static_cast<std::size_t>(p)] == 1) {
                positions.push_back(p);
            }
        }
        return positions;
    };

    QTest::mouseClick(preview, Qt::LeftButton, {}, Thumbnail(1, 0));
    EXPECT_EQ(marked(), (std::vector<int>{1}));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ShiftModifier, Thumbnail(0, 1));
    EXPECT_EQ(marked(), (std::vector<int>{1, 2, 3, 4}));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ControlModifier, Thumbnail(2, 0));
    EXPECT_EQ(marked(), (std::vector<int>{1, 3, 4}));
    // A click in the gap between two thumbnails changes nothing.
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(140, 100));
    EXPECT_EQ(marked(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(selection.SelectedCount, 3);
    EXPECT_TRUE(session.frame().CurrentMenu().Command(CMD_DATA_IN)->isEnabled());

    // The green bar of a selected cell, none under an unselected one.
    const QImage grab = preview->grab().toImage();
    EXPECT_EQ(grab.pixelColor(13 + 140 + 50, 151), GREEN);
    EXPECT_NE(grab.pixelColor(13 + 280 + 50, 151), GREEN);
    EXPECT_EQ(session.gui().frame().findChild<gui::PictureButtonWidget*>("button3")->grab().size(),
              QSize(90, 30));

    // The platform delivers a press, then the double click.
    QTest::mouseClick(preview, Qt::LeftButton, {}, Thumbnail(3, 0));
    QTest::mouseDClick(preview, Qt::LeftButton, {}, Thumbnail(3, 0));
    ASSERT_TRUE(session.WaitFor([&] {
        return Captures(session).size() == 1 &&
               !session.program().pictureDownload.download.CaptureWaiting &&
               session.frame().StatusText() == "Ready";
    }));
    EXPECT_EQ(marked(), (std::vector<int>{3}));
    const WindowId id = Captures(session).front();
    gui::ChildFrame* window = session.frame().Window(id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Capture);
    EXPECT_EQ(window->windowTitle().toStdString(),
              session.program().indexTransfer.index.entries[3].listText);
    // The picture is drawn 1:1 from the window's top-left corner.
    auto* view = static_cast<gui::CaptureView*>(window->Child());
    const CaptureWindow* capture = session.program().captureWindows.Find(id);
    const int width = capture->PictureWidth();
    const int height = capture->PictureHeight();
    EXPECT_EQ(view->ClientSize(), QSize(width, height));
    const QImage shown = view->grab().toImage();
    const QImage expected = gui::DibToImage(capture->picture().bytes());
    ASSERT_EQ(expected.size(), QSize(width, height));
    for (const QPoint point :
         {QPoint(0, 0), QPoint(width / 2, height / 3), QPoint(width - 1, height - 1)}) {
        EXPECT_EQ(shown.pixelColor(point), expected.pixelColor(point));
    }
}

TEST(PicturesTest, ExitAsksAboutAnAdjustedPictureAndCopyPutsItOnTheClipboard) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    QTest::mouseClick(PreviewWidget(session), Qt::LeftButton, {}, Thumbnail(0, 0));
    QTest::mouseDClick(PreviewWidget(session), Qt::LeftButton, {}, Thumbnail(0, 0));
    ASSERT_TRUE(session.WaitFor([&] {
        return Captures(session).size() == 1 &&
               !session.program().pictureDownload.download.CaptureWaiting;
    }));
    const WindowId id = Captures(session).front();
    CaptureWindow* capture = session.program().captureWindows.Find(id);
    const int width = capture->PictureWidth();
    const int height = capture->PictureHeight();

    session.frame().Command(CMD_COPY_TO_CLIPBOARD);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QImage image = qvariant_cast<QImage>(data->imageData());
    EXPECT_EQ(image.size(), QSize(width, height));
    const QByteArray bmp = data->data(QStringLiteral("image/bmp"));
    ASSERT_GT(bmp.size(), 54);
    const auto file = session.folder() / "clip.bmp";
    std::ofstream(file, std::ios::binary).write(bmp.constData(), bmp.size());
    const std::string command = "/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" +
                                file.string() + "'); im.load(); print(im.size[0], im.size[1])\"" +
                                " > " + (session.folder() / "size.txt").string();
    if (std::system(command.c_str()) != 0) {
        if (std::getenv("FOTOLYX_REQUIRE_PEERS") != nullptr) {
            FAIL() << "Pillow could not open the clipboard's BMP";
        }
    } else {
        std::ifstream sizes(session.folder() / "size.txt");
        int w = 0;
        int h = 0;
        sizes >> w >> h;
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
    }

    // Cancelled exit leaves it; then the adjusted picture asks to be saved (No: not saved).
    capture->SetModified();
    {
        BoxAnswerer answers({QMessageBox::Cancel});
        EXPECT_FALSE(session.frame().close());
    }
    EXPECT_EQ(Captures(session).size(), 1u);
    BoxAnswerer answers({QMessageBox::Ok, QMessageBox::No});
    EXPECT_TRUE(session.frame().close());
    ASSERT_EQ(answers.Seen().size(), 2u);
    EXPECT_EQ(answers.Seen()[1].caption, "Fotolyx");
    EXPECT_EQ(
        answers.Seen()[1].text,
        QString::fromStdString("Save changes to " +
                               session.program().indexTransfer.index.entries[0].listText + "?"));
    EXPECT_EQ(answers.Seen()[1].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(Captures(session).empty());
}

TEST(PicturesTest, ASilencedCameraLeadsToDisconnectAndReconnectBringsTheIndexBack) {
    // Three messages of set-up, then the camera falls silent in the middle of the index.
    GuiSession session(true, {QStringLiteral("--silent-after"), QStringLiteral("6")});
    ASSERT_TRUE(session.WaitFor([&] {
        return session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect) != nullptr;
    }));
    EXPECT_FALSE(session.program().indexTransfer.index.IndexLoaded);
    session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect)->Press(1);
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }, 20'000));
    EXPECT_EQ(session.program().indexTransfer.index.receivedCount, 9);
    EXPECT_TRUE(session.frame().MdiArea()->isEnabled());
}

}  // namespace
}  // namespace fotolyx::testing
