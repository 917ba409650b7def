#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "gui/capture_view.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/preview_view.h"

namespace fotolyx::testing {
namespace {

const QColor GREY(192, 192, 192);
const QColor GREEN(0, 255, 0);

TEST(PicturesTest, TheIndexIsShownAndClicksSelectAndADoubleClickDownloadsIntoACaptureWindow) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    EXPECT_EQ(session.StatusHistory(),
              (QStringList{"Ready", "Initial Setup with VISTACAM now proceeding",
                           "Receive Preview data", "Ready"}));
    EXPECT_TRUE(session.frame().MdiArea()->isEnabled());
    QWidget* preview = session.frame().PreviewFrame()->widget();
    // A thumbnail inside its 120 x 90 area, dark text in the caption area below.
    const QImage index = preview->grab().toImage();
    int coloured = 0;
    bool text = false;
    for (int x = 10; x < 130; ++x) {
        const QColor pixel = index.pixelColor(x, 100);
        coloured += pixel != GREY && pixel.red() != pixel.green() ? 1 : 0;
        for (int y = 152; y < 167; ++y) {
            text = text || index.pixelColor(x, y).lightness() < 100;
        }
    }
    EXPECT_GT(coloured, 60);
    EXPECT_TRUE(text);

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
    QTest::mouseClick(preview, Qt::LeftButton, {}, ThumbnailCentre(1));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ShiftModifier, ThumbnailCentre(4));
    EXPECT_EQ(marked(), (std::vector<int>{1, 2, 3, 4}));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::ControlModifier, ThumbnailCentre(2));
    EXPECT_EQ(marked(), (std::vector<int>{1, 3, 4}));
    EXPECT_TRUE(session.frame().CurrentMenu().Command(CMD_DATA_IN)->isEnabled());
    // The green bar of a selected cell, none under an unselected one.
    const QImage grab = preview->grab().toImage();
    EXPECT_EQ(grab.pixelColor(13 + 140 + 50, 151), GREEN);
    EXPECT_NE(grab.pixelColor(13 + 280 + 50, 151), GREEN);

    const CaptureWindow* capture = session.Download(3);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(marked(), (std::vector<int>{3}));
    const WindowId id = capture->id();
    gui::ChildFrame* window = session.frame().Window(id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Capture);
    EXPECT_EQ(window->windowTitle().toStdString(),
              session.program().indexTransfer.index.entries[3].listText);
    // The picture is drawn 1:1 from the window's top-left corner.
    auto* view = static_cast<gui::CaptureView*>(window->Child());
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

// The clipboard's BMP is read back by Pillow, a reader nobody here wrote.
TEST(PicturesTest, CopyPutsThePictureOnTheClipboardAsAnImageAndABitmapFile) {
    GuiSession session;
    ASSERT_TRUE(session.WaitForIndex());
    const CaptureWindow* capture = session.Download(0);
    ASSERT_NE(capture, nullptr);
    session.frame().Command(CMD_COPY_TO_CLIPBOARD);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QSize size(capture->PictureWidth(), capture->PictureHeight());
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), size);
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
        return;
    }
    std::ifstream sizes(session.folder() / "size.txt");
    int w = 0;
    int h = 0;
    sizes >> w >> h;
    EXPECT_EQ(QSize(w, h), size);
}

TEST(PicturesTest, ReconnectInTheDisconnectionDialogBringsTheIndexBack) {
    // Three messages of set-up, then the camera falls silent in the middle of the index.
    GuiSession session(true, {QStringLiteral("--silent-after"), QStringLiteral("6")});
    ASSERT_TRUE(session.WaitFor([&] {
        return session.gui().shell().OpenLinkDialog(LinkDialog::ComDisconnect) != nullptr;
    }));
    QTest::mouseClick(session.gui()
                          .shell()
                          .OpenLinkDialog(LinkDialog::ComDisconnect)
                          ->findChild<QPushButton*>(QStringLiteral("button1")),
                      Qt::LeftButton);
    ASSERT_TRUE(
        session.WaitFor([&] { return session.program().indexTransfer.index.IndexLoaded; }, 20'000));
    EXPECT_EQ(session.program().indexTransfer.index.receivedCount, 9);
}

}  // namespace
}  // namespace fotolyx::testing
