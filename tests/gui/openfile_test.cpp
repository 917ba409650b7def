#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileSystemModel>
#include <QListView>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <set>

#include "gui/gui_session.h"
#include "gui/open_file_dialog.h"
#include "gui/picture_view.h"
#include "imaging/jpeg_codec.h"
#include "support/picture_files.h"

namespace fotolyx::testing {
namespace {

const QColor BLACK(0, 0, 0);
const QColor GREY(192, 192, 192);
const Bgr PLUM{90, 40, 200};  // blue, green, red
const QColor PLUM_RGB(200, 40, 90);

// Runs a script on the Open dialog once it is up (the dialog runs its own event loop).
class DialogScript {
  public:
    explicit DialogScript(std::function<void(gui::OpenFileDialog&)> script)
        : script_(std::move(script)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }
    bool Ran() const { return ran_; }

  private:
    void Poll() {
        auto* dialog = dynamic_cast<gui::OpenFileDialog*>(QApplication::activeModalWidget());
        if (ran_ || dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        ran_ = true;
        timer_.stop();
        ExpectDialog(QStringLiteral("the Open dialog to end after its script"));
        script_(*dialog);
    }
    std::function<void(gui::OpenFileDialog&)> script_;
    QTimer timer_;
    bool ran_ = false;
};

std::string WriteFile(const GuiSession& session, const std::string& name, const Bytes& bytes) {
    WriteBytes(session.folder() / name, bytes);
    return (session.folder() / name).string();
}

Bytes Solid(std::int32_t width, std::int32_t height, Bgr colour = PLUM) {
    return MakeBmpFile(width, height, 24, [colour](std::int32_t, std::int32_t) { return colour; });
}

// Opens a file through the Open dialog as a user would; the Openfile window it made, if any.
gui::PictureView* OpenThroughDialog(GuiSession& session, const std::string& path, int filter) {
    const std::size_t before = session.program().openfileWindows.size();
    DialogScript script(
        [&](gui::OpenFileDialog& dialog) { dialog.Choose(QString::fromStdString(path), filter); });
    session.frame().Command(CMD_OPEN);
    EXPECT_TRUE(script.Ran());
    if (session.program().openfileWindows.size() == before) {
        return nullptr;
    }
    gui::ChildFrame* frame = session.frame().Window(session.program().openfileWindows.back()->id());
    return frame ? dynamic_cast<gui::PictureView*>(frame->Child()) : nullptr;
}

bool Near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST(OpenfileTest, OpensABitmapAndAJpegCentredOnBlack) {
    GuiSession session(false);
    const std::string bmp = WriteFile(session, "small.bmp", Solid(320, 240));
    const std::string jpeg = (session.folder() / "small.jpg").string();
    JpegState codec;
    ASSERT_EQ(CompressBmpToJpeg(codec, bmp, jpeg, "1x1,1x1,1x1", 95), 1);

    for (const auto& [path, filter, title] : {std::tuple{bmp, OPEN_FILTER_BMP, "small.bmp"},
                                              std::tuple{jpeg, OPEN_FILTER_JPEG, "small.jpg"}}) {
        gui::PictureView* view = OpenThroughDialog(session, path, filter);
        ASSERT_NE(view, nullptr) << title;
        EXPECT_EQ(session.frame().Window(view->Id())->windowTitle(), title);
        EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Imagefile);
        EXPECT_EQ(view->ClientSize(), QSize(640, 480));
        const QImage grab = view->grab().toImage();
        // The picture covers columns 160..479 and rows 120..359, black all around.
        const struct {
            int x, y;
            bool inside;
        } points[] = {{159, 200, false}, {160, 200, true}, {479, 200, true}, {480, 200, false},
                      {300, 119, false}, {300, 120, true}, {300, 359, true}, {300, 360, false}};
        for (const auto& point : points) {
            const QColor pixel = grab.pixelColor(point.x, point.y);
            EXPECT_TRUE(point.inside ? Near(pixel, PLUM_RGB, 3) : pixel == BLACK)
                << title << " at " << point.x << "," << point.y;
        }
        EXPECT_EQ(session.program().openDialog.filterIndex, filter);
    }
    EXPECT_EQ(session.program().settings.OpenInitialDir, session.folder().path().string() + "/");
}

TEST(OpenfileTest, ATooLargePictureIsCutAndAFileThatIsNoPictureIsRefused) {
    GuiSession session(false);
    const struct {
        const char* name;
        Bytes bytes;
        const char* message;
        bool opened;
    } cases[] = {
        {"large.bmp", Solid(800, 600), "Part of the image will be cut off.", true},
        {"notes.bmp", Bytes(200, 'x'), "This file type is wrong.", false},
    };
    for (const auto& c : cases) {
        BoxAnswerer answers({QMessageBox::Ok});
        gui::PictureView* view =
            OpenThroughDialog(session, WriteFile(session, c.name, c.bytes), OPEN_FILTER_BMP);
        EXPECT_EQ(view != nullptr, c.opened) << c.name;
        ASSERT_EQ(answers.Seen().size(), 1u) << c.name;
        EXPECT_EQ(answers.Seen()[0].caption, "ERROR");
        EXPECT_EQ(answers.Seen()[0].text, c.message);
        EXPECT_EQ(answers.Seen()[0].icon, QMessageBox::Warning);
        if (view) {
            // Cut to the middle: no black border.
            const QImage grab = view->grab().toImage();
            EXPECT_TRUE(Near(grab.pixelColor(0, 0), PLUM_RGB, 0));
            EXPECT_TRUE(Near(grab.pixelColor(639, 479), PLUM_RGB, 0));
        }
    }
}

TEST(OpenfileTest, ThePreviewBoxShowsThePictureAndIsRememberedAcrossDialogs) {
    GuiSession session(false);
    const std::string bmp = WriteFile(session, "preview.bmp", Solid(320, 240));
    bool firstChecked = true;
    bool drawn = false;
    QImage part;
    QString width;
    QString height;
    {
        DialogScript script([&](gui::OpenFileDialog& dialog) {
            gui::OpenPreviewPart* extra = dialog.ExtraPart();
            firstChecked = extra->PreviewBox()->isChecked();
            QTest::mouseClick(extra->PreviewBox(), Qt::LeftButton, {},
                              QPoint(5, extra->PreviewBox()->height() / 2));
            // The user picks the bitmap type ("*.BMP" lists "preview.bmp") and moves to the file
            // in the dialog's list.
            dialog.selectNameFilter(QString::fromLatin1(gui::OPEN_FILTER_BMP_TEXT));
            auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
            auto* files = dialog.findChild<QFileSystemModel*>();
            const QString path = QString::fromStdString(bmp);
            if (list != nullptr && files != nullptr &&
                QTest::qWaitFor([&] { return files->index(path).isValid(); }, 5'000)) {
                list->setCurrentIndex(files->index(path));
                drawn =
                    QTest::qWaitFor([&] { return extra->WidthField()->text() == "320"; }, 5'000);
            }
            width = extra->WidthField()->text();
            height = extra->HeightField()->text();
            part = extra->grab().toImage();
            dialog.reject();
        });
        session.frame().Command(CMD_OPEN);
        ASSERT_TRUE(script.Ran());
    }
    EXPECT_FALSE(firstChecked);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(width, "320");
    EXPECT_EQ(height, "240");
    // The sunken frame, the grey area and the picture fitted to 120 x 90 at (20, 55).
    EXPECT_EQ(part.pixelColor(10, 100), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(part.pixelColor(80, 30), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(part.pixelColor(150, 100), QColor(255, 255, 255));
    EXPECT_EQ(part.pixelColor(80, 170), QColor(255, 255, 255));
    EXPECT_EQ(part.pixelColor(80, 45), GREY);
    EXPECT_EQ(part.pixelColor(80, 150), GREY);
    EXPECT_EQ(part.pixelColor(20, 55), PLUM_RGB);
    EXPECT_EQ(part.pixelColor(139, 144), PLUM_RGB);
    EXPECT_TRUE(session.program().settings.FilePreviewEnabled);

    bool secondChecked = false;
    {
        DialogScript script([&](gui::OpenFileDialog& dialog) {
            secondChecked = dialog.ExtraPart()->PreviewBox()->isChecked();
            dialog.reject();
        });
        session.frame().Command(CMD_OPEN);
        ASSERT_TRUE(script.Ran());
    }
    EXPECT_TRUE(secondChecked);
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
    QImage grab = view->grab().toImage();
    EXPECT_EQ(grab.pixelColor(10, 0), QColor(14, 24, 0));

    vertical->setSliderPosition(vertical->maximum() + 50);  // the thumb dragged to the end
    EXPECT_EQ(window.VerticalBar().pos, window.VerticalBar().max);
    grab = view->grab().toImage();
    EXPECT_EQ(grab.pixelColor(0, view->ClientSize().height() - 1).green(), 479 % 256);
}

TEST(OpenfileTest, TheImageFileMenuCopyAndClose) {
    GuiSession session;
    // Until the index is in, the picture cannot go to the camera.
    const gui::MenuWidgets& menu = session.frame().Menu(MenuBar::Imagefile);
    EXPECT_FALSE(menu.Command(CMD_DATA_OUT_FINE)->isEnabled());
    EXPECT_FALSE(menu.Command(CMD_DATA_OUT_NORMAL)->isEnabled());
    EXPECT_TRUE(menu.Command(CMD_SAVE_AS)->isEnabled());
    ASSERT_TRUE(session.WaitFor([&] {
        return session.program().indexTransfer.index.IndexLoaded &&
               session.frame().StatusText() == "Ready";
    }));
    EXPECT_TRUE(menu.Command(CMD_DATA_OUT_FINE)->isEnabled());
    EXPECT_TRUE(menu.Command(CMD_DATA_OUT_NORMAL)->isEnabled());

    gui::PictureView* view =
        OpenThroughDialog(session, WriteFile(session, "copy.bmp", Solid(640, 480)), 2);
    ASSERT_NE(view, nullptr);
    const WindowId id = view->Id();
    session.frame().Command(CMD_COPY_TO_CLIPBOARD);
    const QImage copied =
        qvariant_cast<QImage>(QGuiApplication::clipboard()->mimeData()->imageData());
    EXPECT_EQ(copied.size(), QSize(640, 480));
    EXPECT_EQ(copied.pixelColor(5, 5), PLUM_RGB);

    // The Preview takes the frame's menu back; activating the picture brings IMAGEFILE again.
    session.frame().MdiArea()->setActiveSubWindow(session.frame().PreviewFrame());
    EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Preview);
    session.frame().MdiArea()->setActiveSubWindow(session.frame().Window(id));
    EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Imagefile);

    session.program().FindOpenfileWindow(id)->SetModified();
    BoxAnswerer answers({QMessageBox::No});
    session.frame().Command(CMD_CLOSE_IMAGE);
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_EQ(answers.Seen()[0].text, "Save changes to copy.bmp?");
    EXPECT_EQ(answers.Seen()[0].caption, "Fotolyx");
    EXPECT_TRUE(session.WaitFor([&] { return session.frame().Window(id) == nullptr; }));
    EXPECT_EQ(session.program().FindOpenfileWindow(id), nullptr);
}

TEST(OpenfileTest, PicturesNamedOnTheCommandLineOpenAtStart) {
    GuiSession session(false);
    const std::string bmp = WriteFile(session, "first.bmp", Solid(100, 100));
    const std::string jpeg = (session.folder() / "second.JPG").string();
    JpegState codec;
    ASSERT_EQ(CompressBmpToJpeg(codec, bmp, jpeg, "1x1,1x1,1x1", 90), 1);
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

TEST(OpenfileTest, OnAnEightBitDisplayThePictureIsDrawnWithItsOwnPalette) {
    TempDir folder;
    PortMap ports;
    for (const int port : {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4}) {
        ports.Set(port, MissingDevice(folder, std::to_string(port)));
    }
    HostEnvironment environment = HostEnvironment::FromProcess(false);
    environment.programDirectory = folder.path();
    environment.startDirectory = folder.path();
    environment.configHome = folder.path() / "config";
    environment.tempDirectory = folder.path();
    gui::GuiProgram program(ports, environment);
    program.Start();
    const Bytes gradient = MakeBmpFile(640, 480, 24, [](std::int32_t x, std::int32_t y) {
        return Bgr{static_cast<std::uint8_t>(x * 255 / 639), static_cast<std::uint8_t>(y / 2),
                   static_cast<std::uint8_t>((x + y) % 256)};
    });
    WriteBytes(folder / "gradient.bmp", gradient);
    program.OpenFiles({QString::fromStdString((folder / "gradient.bmp").string())});
    ASSERT_EQ(program.program().openfileWindows.size(), 1u);
    const PictureWindow& window = *program.program().openfileWindows.back();
    ASSERT_TRUE(window.palette());
    std::set<QRgb> palette;
    for (const PaletteEntry& entry : window.palette()->palPalEntry) {
        palette.insert(qRgb(entry.peRed, entry.peGreen, entry.peBlue));
    }
    const QImage grab = program.frame().Window(window.id())->Child()->grab().toImage();
    std::set<QRgb> shown;
    for (int y = 0; y < 480; y += 3) {
        for (int x = 0; x < 640; x += 3) {
            shown.insert(grab.pixel(x, y) | 0xFF000000u);
        }
    }
    EXPECT_LE(shown.size(), 256u);
    EXPECT_GT(shown.size(), 50u);
    for (const QRgb colour : shown) {
        EXPECT_TRUE(palette.count(colour) == 1) << std::hex << colour;
    }
}

}  // namespace
}  // namespace fotolyx::testing
