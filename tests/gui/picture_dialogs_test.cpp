#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QScrollBar>
#include <QTest>

#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"
#include "gui/open_file_dialog.h"
#include "gui/picture_view.h"
#include "support/adjust_outcome.h"
#include "support/picture_files.h"
#include "support/program_world.h"

namespace fotolyx::testing {
namespace {

const QColor BLACK(0, 0, 0);
const QColor PLUM(200, 40, 90);

std::string WriteBmp(const GuiSession& session, const std::string& name, int width, int height) {
    WriteBytes(session.folder() / name, MakeBmpFile(width, height, 24, [](int, int) {
                   return Bgr{90, 40, 200};  // plum
               }));
    return (session.folder() / name).string();
}

TEST(OpenfileTest, PicturesFromTheDialogAreCentredOnBlackOrCutToTheirMiddle) {
    GuiSession session(false);
    const struct {
        int width, height;
        const char* box;  // what the user is told, if anything
        QRect picture;    // in the 640 x 480 view
    } cases[] = {
        {320, 240, nullptr, {160, 120, 320, 240}},
        {800, 600, "Part of the image will be cut off.", {0, 0, 640, 480}},
    };
    for (const auto& c : cases) {
        const std::string path =
            WriteBmp(session, std::to_string(c.width) + ".bmp", c.width, c.height);
        SCOPED_TRACE(path);
        const std::size_t before = session.program().openfileWindows.size();
        BoxAnswerer answers({QMessageBox::Ok});
        OnShown<gui::OpenFileDialog> user([&](gui::OpenFileDialog& dialog) {
            ExpectDialog(QStringLiteral("the Open dialog to take %1").arg(path.c_str()));
            dialog.Choose(QString::fromStdString(path), OPEN_FILTER_BMP);
        });
        session.frame().Command(CMD_OPEN);
        EXPECT_TRUE(user.Ran());
        EXPECT_EQ(session.program().openDialog.filterIndex, OPEN_FILTER_BMP);
        ASSERT_EQ(answers.Seen().size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(answers.Seen()[0].text, c.box);
            EXPECT_EQ(answers.Seen()[0].caption, "ERROR");
        }
        ASSERT_EQ(session.program().openfileWindows.size(), before + 1);
        gui::ChildFrame* window =
            session.frame().Window(session.program().openfileWindows.back()->id());
        EXPECT_EQ(window->windowTitle().toStdString(), std::to_string(c.width) + ".bmp");
        EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Imagefile);
        auto* view = static_cast<gui::PictureView*>(window->Child());
        EXPECT_EQ(view->ClientSize(), QSize(640, 480));
        const QImage grab = view->grab().toImage();
        const QRect& p = c.picture;
        for (const QPoint at :
             {p.topLeft(), p.bottomRight(), QPoint(p.left() - 1, 200), QPoint(p.right() + 1, 200),
              QPoint(300, p.top() - 1), QPoint(300, p.bottom() + 1)}) {
            const QColor pixel = grab.pixelColor(at);
            EXPECT_TRUE(p.contains(at) ? pixel == PLUM : (!grab.valid(at) || pixel == BLACK))
                << at.x() << "," << at.y() << " is " << pixel.name().toStdString();
        }
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
    EXPECT_EQ(part.pixelColor(80, 100), PLUM);  // inside the picture fitted to the box
}

using Dialog = gui::ImageAdjustDialog;
using Step = std::function<void(Dialog&)>;

constexpr int BRIGHTNESS = 0;
constexpr int CONTRAST = 1;
constexpr int SATURATION = 2;
constexpr int SHARPNESS = 3;

struct Host : ProgramWorld {
    Program program{Make()};
    DibBlock picture = MakePicture(322, 242);
};

EngineSteps Manual(AdjustSettings settings) {
    return [settings](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
        e.settings = settings;
        e.RenderManual(b, o, p);
    };
}

template <typename T>
T* Control(Dialog& dialog, int id) {
    T* control = dialog.findChild<T*>(QStringLiteral("control%1").arg(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

QScrollBar* Bar(Dialog& dialog, int setting) {
    return Control<QScrollBar>(dialog, IDC_ADJUST_FIRST_SCROLL + setting);
}

Step Press(int id) {
    return [id](Dialog& dialog) {
        QTest::mouseClick(Control<QAbstractButton>(dialog, id), Qt::LeftButton);
    };
}

Step Action(int setting, QAbstractSlider::SliderAction action) {
    return [=](Dialog& dialog) { Bar(dialog, setting)->triggerAction(action); };
}

Step Drag(int setting, int position) {
    return [=](Dialog& dialog) {
        QScrollBar* bar = Bar(dialog, setting);
        bar->setSliderDown(true);
        bar->setSliderPosition(position);
        bar->setSliderDown(false);
    };
}

// Before samples the picture every second column and row, After is Before until a setting changes.
void ExpectPreviews(Dialog& dialog, const DibBlock& picture, bool afterChanged) {
    EXPECT_EQ(dialog.windowTitle(), "Image Adjustment");
    const int g = dialog.GroupHeight();
    const QImage grab = dialog.grab().toImage();
    const QImage before = grab.copy(10, g + 40, 160, 120);
    const QImage source = gui::DibToImage(picture.bytes());
    for (const QPoint at : {QPoint(0, 0), QPoint(77, 51), QPoint(159, 119)}) {
        EXPECT_EQ(before.pixelColor(at), source.pixelColor(2 * at.x(), 3 + 2 * at.y()));
    }
    EXPECT_EQ(grab.copy(190, g + 40, 160, 120) != before, afterChanged);
}

TEST(ImageAdjustDialogTest, ControlSequencesLeaveTheSettingsAndPictureOfTheirLastRendering) {
    const auto page = Action(CONTRAST, QAbstractSlider::SliderPageStepAdd);
    const auto arrow = QAbstractSlider::SliderSingleStepAdd;
    const Step ownerGoes = [](Dialog& dialog) { delete dialog.parentWidget(); };
    const Host* current = nullptr;
    const auto previews = [&current](bool afterChanged) -> Step {
        return [&current, afterChanged](Dialog& dialog) {
            ExpectPreviews(dialog, current->picture, afterChanged);
        };
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        Step ending;
        bool applied;
        EngineSteps engine;  // the rendering the fields show and OK applies
    } cases[] = {
        {"pages and arrows, thumbs dragged; the end key moves nothing",
         {Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd),
          Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd), Drag(CONTRAST, -37),
          Drag(SHARPNESS, 10), Action(SHARPNESS, QAbstractSlider::SliderPageStepSub),
          Action(SATURATION, arrow), Action(SATURATION, arrow),
          Action(SATURATION, QAbstractSlider::SliderSingleStepSub),
          Action(SATURATION, QAbstractSlider::SliderToMinimum)},
         Press(IDOK),
         true,
         Manual({40, -37, 1, 0})},
        {"Cancel, the previews before and after",
         {previews(false), page, previews(true)},
         Press(IDCANCEL),
         false,
         Manual({0, 20, 0, 0})},
        {"the owner goes away", {page}, ownerGoes, false, Manual({0, 20, 0, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Host host;
        current = &host;
        const std::vector<std::uint8_t> original = host.picture.storage();
        const AdjustOutcome expected = AdjustWithoutDialog(host.picture, c.engine);
        QPointer<QWidget> owner = new QWidget;
        OnShown<Dialog> driver([&](Dialog& dialog) {
            for (const Step& step : c.steps) {
                step(dialog);
            }
            for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
                EXPECT_EQ(Control<QLabel>(dialog, IDC_ADJUST_FIRST_VALUE + i)->text(),
                          QString::number(SettingAt(expected.settings, i)))
                    << "setting " << i;
            }
            c.ending(dialog);
        });
        const AdjustDialogEnd end = gui::RunImageAdjustment(owner, host.program, &host.picture);
        delete owner;
        EXPECT_TRUE(driver.Ran());
        EXPECT_EQ(end, c.applied ? AdjustDialogEnd::Applied : AdjustDialogEnd::Closed);
        EXPECT_TRUE(host.picture.storage() == (c.applied ? expected.picture : original));
    }
}

}  // namespace
}  // namespace fotolyx::testing
