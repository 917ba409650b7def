#include <gtest/gtest.h>

#include <QFileSystemModel>
#include <QListView>
#include <QMdiArea>
#include <QTest>

#include "gui/gui_session.h"
#include "gui/open_file_dialog.h"
#include "gui/picture_view.h"
#include "imaging/jpeg_codec.h"
#include "support/picture_files.h"

namespace fotolyx::testing {
namespace {

const QColor BLACK(0, 0, 0);
const QColor GREY(192, 192, 192);
const QColor DARK(64, 64, 64);
const QColor WHITE(255, 255, 255);
const QColor PLUM(200, 40, 90);

std::string WriteFile(const GuiSession& session, const std::string& name, const Bytes& bytes) {
    WriteBytes(session.folder() / name, bytes);
    return (session.folder() / name).string();
}

std::string WriteBmp(const GuiSession& session, const std::string& name, int width, int height) {
    return WriteFile(session, name, MakeBmpFile(width, height, 24, [](std::int32_t, std::int32_t) {
                         return Bgr{90, 40, 200};
                     }));
}

std::string WriteJpeg(const GuiSession& session, const std::string& bmp, const std::string& name) {
    const std::string jpeg = (session.folder() / name).string();
    JpegState codec;
    EXPECT_EQ(CompressBmpToJpeg(codec, bmp, jpeg, "1x1,1x1,1x1", 95), 1);
    return jpeg;
}

// Opens a file through the Open dialog as a user would; the Openfile window it made, if any.
gui::PictureView* OpenThroughDialog(GuiSession& session, const std::string& path, int filter) {
    const std::size_t before = session.program().openfileWindows.size();
    OnShown<gui::OpenFileDialog> script([&](gui::OpenFileDialog& dialog) {
        ExpectDialog(QStringLiteral("the Open dialog to take %1").arg(path.c_str()));
        dialog.Choose(QString::fromStdString(path), filter);
    });
    session.frame().Command(CMD_OPEN);
    EXPECT_TRUE(script.Ran());
    if (session.program().openfileWindows.size() == before) {
        return nullptr;
    }
    gui::ChildFrame* frame = session.frame().Window(session.program().openfileWindows.back()->id());
    return frame ? dynamic_cast<gui::PictureView*>(frame->Child()) : nullptr;
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
           std::abs(a.blue() - b.blue()) <= 3;
}

TEST(OpenfileTest, SmallPicturesAreCentredOnBlackAndLargeOnesCutToTheirMiddle) {
    GuiSession session(false);
    const std::string small = WriteBmp(session, "small.bmp", 320, 240);
    const struct {
        std::string path;
        int filter;
        const char* title;
        std::size_t boxes;  // the note that part of the picture is cut off
        QRect picture;      // in the 640 x 480 view
    } cases[] = {
        {small, OPEN_FILTER_BMP, "small.bmp", 0, {160, 120, 320, 240}},
        {WriteJpeg(session, small, "small.jpg"),
         OPEN_FILTER_JPEG,
         "small.jpg",
         0,
         {160, 120, 320, 240}},
        {WriteBmp(session, "large.bmp", 800, 600),
         OPEN_FILTER_BMP,
         "large.bmp",
         1,
         {0, 0, 640, 480}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        BoxAnswerer answers({QMessageBox::Ok});
        gui::PictureView* view = OpenThroughDialog(session, c.path, c.filter);
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(answers.Seen().size(), c.boxes);
        if (c.boxes == 1) {
            EXPECT_EQ(answers.Seen()[0].caption, "ERROR");
        }
        EXPECT_EQ(session.frame().Window(view->Id())->windowTitle(), c.title);
        EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Imagefile);
        EXPECT_EQ(view->ClientSize(), QSize(640, 480));
        const QImage grab = view->grab().toImage();
        const QRect& p = c.picture;
        for (const QPoint at :
             {p.topLeft(), p.bottomRight(), QPoint(p.left() - 1, 200), QPoint(p.right() + 1, 200),
              QPoint(300, p.top() - 1), QPoint(300, p.bottom() + 1)}) {
            const QColor pixel = grab.pixelColor(at);
            EXPECT_TRUE(p.contains(at) ? Near(pixel, PLUM) : (!grab.valid(at) || pixel == BLACK))
                << at.x() << "," << at.y() << " is " << pixel.name().toStdString();
        }
        EXPECT_EQ(session.program().openDialog.filterIndex, c.filter);
    }
}

TEST(OpenfileTest, ThePreviewBoxShowsThePictureAndIsRememberedAcrossDialogs) {
    GuiSession session(false);
    const QString bmp = QString::fromStdString(WriteBmp(session, "preview.bmp", 320, 240));
    QStringList seen;
    QImage part;
    for (const bool first : {true, false}) {
        OnShown<gui::OpenFileDialog> script([&](gui::OpenFileDialog& dialog) {
            ExpectDialog(QStringLiteral("the Open dialog to show the preview"));
            gui::OpenPreviewPart* extra = dialog.ExtraPart();
            seen << (extra->PreviewBox()->isChecked() ? "checked" : "unchecked");
            if (first) {
                QTest::mouseClick(extra->PreviewBox(), Qt::LeftButton, {},
                                  QPoint(5, extra->PreviewBox()->height() / 2));
                // The user picks the bitmap type and moves to the file in the dialog's list.
                dialog.selectNameFilter(QString::fromLatin1(gui::OPEN_FILTER_BMP_TEXT));
                auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
                auto* files = dialog.findChild<QFileSystemModel*>();
                if (list && files &&
                    QTest::qWaitFor([&] { return files->index(bmp).isValid(); }, 5'000)) {
                    list->setCurrentIndex(files->index(bmp));
                    EXPECT_TRUE(QTest::qWaitFor(
                        [&] { return extra->WidthField()->text() == "320"; }, 5000));
                }
                seen << extra->WidthField()->text() << extra->HeightField()->text();
                part = extra->grab().toImage();
            }
            dialog.reject();
        });
        session.frame().Command(CMD_OPEN);
        ASSERT_TRUE(script.Ran());
    }
    EXPECT_EQ(seen, (QStringList{"unchecked", "320", "240", "checked"}));
    ASSERT_FALSE(part.isNull());
    // The sunken frame, the grey area and the picture fitted to 120 x 90 at (20, 55).
    const struct {
        int x, y;
        QColor colour;
    } probes[] = {{10, 100, DARK}, {80, 30, DARK},  {150, 100, WHITE}, {80, 170, WHITE},
                  {80, 45, GREY},  {80, 150, GREY}, {20, 55, PLUM},    {139, 144, PLUM}};
    for (const auto& probe : probes) {
        EXPECT_EQ(part.pixelColor(probe.x, probe.y), probe.colour) << probe.x << "," << probe.y;
    }
    EXPECT_TRUE(session.program().openfileWindows.empty());
}

TEST(OpenfileTest, ScrollBarsMoveThePicture) {
    GuiSession session(false);
    // Green counts the rows from the top, red the columns.
    const Bytes rows = MakeBmpFile(640, 480, 24, [](std::int32_t x, std::int32_t y) {
        return Bgr{0, static_cast<std::uint8_t>((479 - y) % 256),
                   static_cast<std::uint8_t>(x % 256)};
    });
    gui::PictureView* view = OpenThroughDialog(session, WriteFile(session, "rows.bmp", rows), 2);
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->Bar(ScrollBarKind::Vertical)->isVisible());
    gui::ChildFrame* frame = session.frame().Window(view->Id());
    frame->resize(frame->size() - QSize(100, 100));
    QScrollBar* vertical = view->Bar(ScrollBarKind::Vertical);
    QScrollBar* horizontal = view->Bar(ScrollBarKind::Horizontal);
    ASSERT_TRUE(vertical->isVisible());
    ASSERT_TRUE(horizontal->isVisible());
    const PictureWindow& window = *session.program().openfileWindows.back();
    EXPECT_EQ(window.VerticalBar().max, 480 - view->ClientSize().height());
    EXPECT_EQ(window.HorizontalBar().max, 640 - view->ClientSize().width());

    vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
    vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(window.VerticalBar().pos, 24);
    EXPECT_EQ(window.HorizontalBar().pos, 4);
    EXPECT_EQ(vertical->value(), 24);
    EXPECT_EQ(view->grab().toImage().pixelColor(10, 0), QColor(14, 24, 0));

    vertical->setSliderPosition(vertical->maximum() + 50);  // the thumb dragged to the end
    EXPECT_EQ(window.VerticalBar().pos, window.VerticalBar().max);
    EXPECT_EQ(view->grab().toImage().pixelColor(0, view->ClientSize().height() - 1).green(),
              479 % 256);
}

TEST(OpenfileTest, PicturesNamedOnTheCommandLineOpenAtStart) {
    GuiSession session(false);
    const std::string bmp = WriteBmp(session, "first.bmp", 100, 100);
    const std::string jpeg = WriteJpeg(session, bmp, "second.JPG");
    BoxAnswerer answers({QMessageBox::Ok});
    session.gui().OpenFiles({QString::fromStdString(bmp), QString::fromStdString(jpeg),
                             QString::fromStdString((session.folder() / "gone.bmp").string())});
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_EQ(answers.Seen()[0].text, "This file could not be found. ");
    QStringList titles;
    for (const auto& window : session.program().openfileWindows) {
        titles << session.frame().Window(window->id())->windowTitle();
    }
    EXPECT_EQ(titles, (QStringList{"first.bmp", "second.JPG"}));
    EXPECT_TRUE(session.frame().MdiArea()->isEnabled());
}

}  // namespace
}  // namespace fotolyx::testing
