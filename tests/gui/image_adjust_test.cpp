#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <random>

#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"
#include "imaging/colour_reduction.h"
#include "support/adjust_outcome.h"
#include "support/program_world.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {
namespace {

using Dialog = gui::ImageAdjustDialog;
using Step = std::function<void(Dialog&)>;

constexpr int BRIGHTNESS = 0;
constexpr int CONTRAST = 1;
constexpr int SATURATION = 2;
constexpr int SHARPNESS = 3;

struct Host : ProgramWorld {
    Program program{Make()};
    DibBlock picture = [] {
        std::mt19937 random(5);
        std::uniform_int_distribution<int> noise(0, 30);
        return MakeRgbPicture(322, 242, [&](int column, int row) {
            return Bgr{static_cast<std::uint8_t>(column * 3 / 4 + noise(random)),
                       static_cast<std::uint8_t>(row + noise(random)),
                       static_cast<std::uint8_t>((column + row) / 3 + noise(random))};
        });
    }();
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

// A mouse click on a part of the bar: an arrow, or the groove beside the thumb.
Step ClickOn(int setting, QStyle::SubControl part) {
    return [=](Dialog& dialog) {
        QScrollBar* bar = Bar(dialog, setting);
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.subControls = QStyle::SC_All;
        option.orientation = Qt::Horizontal;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        const QRect area = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
        ASSERT_FALSE(area.isEmpty());
        QTest::mouseClick(bar, Qt::LeftButton, {}, area.center());
    };
}

Step Drag(int setting, int position) {
    return [=](Dialog& dialog) {
        QScrollBar* bar = Bar(dialog, setting);
        bar->setSliderDown(true);
        bar->setSliderPosition(position);
        bar->setSliderDown(false);
    };
}

const Step OK_BUTTON = Press(IDOK);
const Step CANCEL_BUTTON = Press(IDCANCEL);

TEST(ImageAdjustDialogTest, ControlSequencesLeaveTheSettingsAndPictureOfTheirLastRendering) {
    const auto page = Action(CONTRAST, QAbstractSlider::SliderPageStepAdd);
    const auto arrow = QStyle::SC_ScrollBarAddLine;
    const Step escapeKey = [](Dialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    const Step closeBox = [](Dialog& dialog) { dialog.close(); };
    const Step ownerGoes = [](Dialog& dialog) { delete dialog.parentWidget(); };
    const struct {
        const char* name;
        std::vector<Step> steps;
        Step ending;
        bool applied;
        EngineSteps engine;  // the rendering the fields show and OK applies
    } cases[] = {
        {"clicks beside the thumbs and on the arrows, thumbs dragged; the end key moves nothing",
         {ClickOn(BRIGHTNESS, QStyle::SC_ScrollBarAddPage),
          ClickOn(BRIGHTNESS, QStyle::SC_ScrollBarAddPage), Drag(CONTRAST, -37),
          Drag(SHARPNESS, 10), ClickOn(SHARPNESS, QStyle::SC_ScrollBarSubPage),
          ClickOn(SATURATION, arrow), ClickOn(SATURATION, arrow),
          ClickOn(SATURATION, QStyle::SC_ScrollBarSubLine),
          Action(SATURATION, QAbstractSlider::SliderToMinimum)},
         OK_BUTTON,
         true,
         Manual({40, -37, 1, 0})},
        {"Automatic, Manual, OK",
         {Press(IDC_ADJUST_AUTOMATIC), Press(IDC_ADJUST_MANUAL)},
         OK_BUTTON,
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.RenderAutomatic(b, o, p);
         }},
        {"Revert, then OK", {page, Press(IDC_ADJUST_REVERT)}, OK_BUTTON, false, Manual({})},
        {"Cancel", {page}, CANCEL_BUTTON, false, Manual({0, 20, 0, 0})},
        {"Esc", {page}, escapeKey, false, Manual({0, 20, 0, 0})},
        {"the close box", {page}, closeBox, false, Manual({0, 20, 0, 0})},
        {"the owner goes away", {page}, ownerGoes, false, Manual({0, 20, 0, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Host host;
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

TEST(ImageAdjustDialogTest, PreviewsArePaintedInsideTheirFrames) {
    Host host;
    OnShown<Dialog> driver([&](Dialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Image Adjustment");
        const int g = dialog.GroupHeight();
        EXPECT_EQ(g, Control<QWidget>(dialog, 1030)->height());
        const QImage grab = dialog.grab().toImage();
        for (const int left : {6, 186}) {  // dark left and top edges, white bottom and right
            EXPECT_EQ(grab.pixelColor(left, g + 100), QColor(64, 64, 64));
            EXPECT_EQ(grab.pixelColor(left + 80, g + 36), QColor(64, 64, 64));
            EXPECT_EQ(grab.pixelColor(left + 168, g + 100), QColor(Qt::white));
            EXPECT_EQ(grab.pixelColor(left + 80, g + 164), QColor(Qt::white));
        }
        // The Before preview samples the picture every second column and row.
        const QImage before = grab.copy(10, g + 40, 160, 120);
        const QImage source = gui::DibToImage(host.picture.bytes());
        for (const QPoint at : {QPoint(0, 0), QPoint(77, 51), QPoint(159, 119)}) {
            EXPECT_EQ(before.pixelColor(at), source.pixelColor(2 * at.x(), 3 + 2 * at.y()));
        }
        EXPECT_EQ(grab.copy(190, g + 40, 160, 120), before);
        Action(CONTRAST, QAbstractSlider::SliderPageStepAdd)(dialog);
        const QImage changed = dialog.grab().toImage();
        EXPECT_EQ(changed.copy(10, g + 40, 160, 120), before);
        EXPECT_NE(changed.copy(190, g + 40, 160, 120), before);
        CANCEL_BUTTON(dialog);
    });
    EXPECT_EQ(gui::RunImageAdjustment(nullptr, host.program, &host.picture),
              AdjustDialogEnd::Closed);
    EXPECT_TRUE(driver.Ran());
}

// Without the window's palette the dialog leaves the palettes to the window (Openfile).
TEST(ImageAdjustDialogTest, OnAn8BitScreenPreviewsUseTheScreenPaletteAndOkRebuildsAGivenPalette) {
    for (const bool withWindowPalette : {true, false}) {
        SCOPED_TRACE(withWindowPalette ? "with the window's palette" : "without");
        Host host;
        DisplayState& display = host.program.display;
        display.TrueColourDisplay = false;
        display.ScreenPalette = display.ImagePalette = MakeFixedScreenPalette();
        std::optional<LogPalette> windowPalette = display.ImagePalette;
        const std::set<QRgb> fixed = PaletteColours(*display.ScreenPalette);
        OnShown<Dialog> driver([&](Dialog& dialog) {
            Action(SATURATION, QAbstractSlider::SliderPageStepAdd)(dialog);
            const int g = dialog.GroupHeight();
            const QImage grab = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
            for (const int left : {10, 190}) {
                EXPECT_TRUE(AllIn(DrawnColours(grab, QRect(left, g + 40, 160, 120)), fixed));
            }
            OK_BUTTON(dialog);
        });
        ASSERT_EQ(gui::RunImageAdjustment(nullptr, host.program, &host.picture,
                                          withWindowPalette ? &windowPalette : nullptr),
                  AdjustDialogEnd::Applied);
        const std::set<QRgb> expected = PaletteColours(*windowPalette);
        EXPECT_EQ(expected != fixed, withWindowPalette);
        for (const auto* palette : {&display.ImagePalette, &display.ScreenPalette}) {
            ASSERT_TRUE(palette->has_value());
            EXPECT_EQ(PaletteColours(**palette), expected);
        }
    }
}

}  // namespace
}  // namespace fotolyx::testing
