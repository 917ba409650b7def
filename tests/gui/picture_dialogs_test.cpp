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
#include "support/picture_files.h"
#include "support/program_world.h"

namespace fotolyx::testing {
namespace {

const QColor BLACK(0, 0, 0);
const QColor PLUM(200, 40, 90);

TEST(OpenfileTest, ThePreviewBoxIsRememberedAndShowsThePictureThatOpensCentredOnBlack) {
    GuiSession session(false);
    const auto path = session.folder() / "small.bmp";
    WriteBytes(path, MakeBmpFile(320, 240, 24, [](int, int) { return Bgr{90, 40, 200}; }));
    const QString bmp = QString::fromStdString(path.string());
    QStringList seen;
    QImage part;
    for (const bool first : {true, false}) {
        OnShown<gui::OpenFileDialog> script([&](gui::OpenFileDialog& dialog) {
            ExpectDialog(QStringLiteral("the Open dialog to show the preview and take the file"));
            gui::OpenPreviewPart* extra = dialog.ExtraPart();
            seen << (extra->PreviewBox()->isChecked() ? "checked" : "unchecked");
            if (!first) {
                dialog.Choose(bmp, OPEN_FILTER_BMP);
                return;
            }
            QTest::mouseClick(extra->PreviewBox(), Qt::LeftButton, {},
                              QPoint(5, extra->PreviewBox()->height() / 2));
            // The user picks the bitmap type and moves to the file in the dialog's list.
            dialog.selectNameFilter(QString::fromLatin1(gui::OPEN_FILTER_BMP_TEXT));
            auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
            auto* files = dialog.findChild<QFileSystemModel*>();
            if (list && files &&
                QTest::qWaitFor([&] { return files->index(bmp).isValid(); }, 5'000)) {
                list->setCurrentIndex(files->index(bmp));
                EXPECT_TRUE(
                    QTest::qWaitFor([&] { return extra->WidthField()->text() == "320"; }, 5000));
            }
            seen << extra->WidthField()->text() << extra->HeightField()->text();
            part = extra->grab().toImage();
            dialog.reject();
        });
        session.frame().Command(CMD_OPEN);
        ASSERT_TRUE(script.Ran());
    }
    EXPECT_EQ(seen, (QStringList{"unchecked", "320", "240", "checked"}));
    EXPECT_EQ(part.pixelColor(80, 100), PLUM);  // inside the picture fitted to the box

    EXPECT_EQ(session.program().openDialog.filterIndex, OPEN_FILTER_BMP);
    ASSERT_EQ(session.program().openfileWindows.size(), 1u);
    gui::ChildFrame* window = session.frame().Window(session.program().openfileWindows[0]->id());
    EXPECT_EQ(window->windowTitle(), "small.bmp");
    EXPECT_EQ(session.frame().CurrentMenuKind(), MenuBar::Imagefile);
    auto* view = static_cast<gui::PictureView*>(window->Child());
    EXPECT_EQ(view->ClientSize(), QSize(640, 480));
    const QImage grab = view->grab().toImage();
    const QRect p(160, 120, 320, 240);  // in the 640 x 480 view
    for (const QPoint at :
         {p.topLeft(), p.bottomRight(), QPoint(p.left() - 1, 200), QPoint(p.right() + 1, 200),
          QPoint(300, p.top() - 1), QPoint(300, p.bottom() + 1)}) {
        EXPECT_EQ(grab.pixelColor(at), p.contains(at) ? PLUM : BLACK) << at.x() << "," << at.y();
    }
}

using Dialog = gui::ImageAdjustDialog;

template <typename T>
T* Control(Dialog& dialog, int id) {
    T* control = dialog.findChild<T*>(QStringLiteral("control%1").arg(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

TEST(ImageAdjustDialogTest, BarActionsAndDragsShowTheirSettingsAndCancelOrALostOwnerApplyNothing) {
    using Slider = QAbstractSlider;
    for (const bool ownerGoes : {false, true}) {
        SCOPED_TRACE(ownerGoes ? "the owner goes away" : "Cancel");
        struct Host : ProgramWorld {
            Program program{Make()};
            DibBlock picture = MakePicture(322, 242);
        } host;
        const std::vector<std::uint8_t> original = host.picture.storage();
        QPointer<QWidget> owner = new QWidget;
        OnShown<Dialog> driver([&](Dialog& dialog) {
            const auto bar = [&](int setting) {
                return Control<QScrollBar>(dialog, IDC_ADJUST_FIRST_SCROLL + setting);
            };
            const auto drag = [&](int setting, int position) {
                bar(setting)->setSliderDown(true);
                bar(setting)->setSliderPosition(position);
                bar(setting)->setSliderDown(false);
            };
            // Brightness, contrast, saturation, sharpness; the end key moves nothing.
            bar(0)->triggerAction(Slider::SliderPageStepAdd);
            bar(0)->triggerAction(Slider::SliderPageStepAdd);
            drag(1, -37);
            drag(3, 10);
            bar(3)->triggerAction(Slider::SliderPageStepSub);
            for (const auto action : {Slider::SliderSingleStepAdd, Slider::SliderSingleStepAdd,
                                      Slider::SliderSingleStepSub, Slider::SliderToMinimum}) {
                bar(2)->triggerAction(action);
            }
            QStringList shown;
            for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
                shown << Control<QLabel>(dialog, IDC_ADJUST_FIRST_VALUE + i)->text();
            }
            EXPECT_EQ(shown, (QStringList{"40", "-37", "1", "0"}));
            if (ownerGoes) {
                delete dialog.parentWidget();
            } else {
                QTest::mouseClick(Control<QAbstractButton>(dialog, IDCANCEL), Qt::LeftButton);
            }
        });
        EXPECT_EQ(gui::RunImageAdjustment(owner, host.program, &host.picture),
                  AdjustDialogEnd::Closed);
        delete owner;
        EXPECT_TRUE(driver.Ran());
        EXPECT_TRUE(host.picture.storage() == original);
    }
}

}  // namespace
}  // namespace fotolyx::testing
