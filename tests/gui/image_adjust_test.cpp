#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <algorithm>
#include <random>

#include "gui/capture_view.h"
#include "gui/dib_image.h"
#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"
#include "imaging/colour_reduction.h"
#include "support/adjust_outcome.h"
#include "support/rgb_pictures.h"

namespace fotolyx::testing {
namespace {

using Dialog = gui::ImageAdjustDialog;
using WhenShown = OnShown<Dialog>;
using Step = std::function<void(Dialog&)>;

constexpr int BRIGHTNESS = 0;
constexpr int CONTRAST = 1;
constexpr int SATURATION = 2;
constexpr int SHARPNESS = 3;

// Working memory for palettes (the popularity palette's colour counts) runs out once armed.
class NoPaletteMemory : public Memory {
  public:
    std::optional<std::vector<std::uint8_t>> AllocateZeroed(std::size_t size) override {
        return armed && size == 16'384 ? std::nullopt : Memory::AllocateZeroed(size);
    }
    bool armed = false;
};

// A Program for the dialog alone: its memory, shell and display are all the dialog uses.
struct Host {
    explicit Host(bool trueColour = true) : trueColourDisplay(trueColour) {}
    HostEnvironment Environment() const {
        HostEnvironment environment;
        environment.programDirectory = environment.startDirectory = folder.path();
        environment.configHome = environment.tempDirectory = folder.path();
        environment.trueColourDisplay = trueColourDisplay;
        return environment;
    }
    bool trueColourDisplay;
    RecordingShell shell;
    RecordingTimers timers;
    ScriptedLine line;
    FixedClock clock;
    NoPaletteMemory memory;
    TempDir folder;
    Program program{Ports{shell, timers, line, clock, memory}, Environment()};
};

DibBlock TestPicture() {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> noise(0, 30);
    return MakeRgbPicture(322, 242, [&](int column, int row) {
        return Bgr{static_cast<std::uint8_t>(column * 3 / 4 + noise(random)),
                   static_cast<std::uint8_t>(row + noise(random)),
                   static_cast<std::uint8_t>((column + row) / 3 + noise(random))};
    });
}

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

// The thumb pressed, moved to the position and let go.
Step Drag(int setting, int position) {
    return [=](Dialog& dialog) {
        QScrollBar* bar = Bar(dialog, setting);
        bar->setSliderDown(true);
        bar->setSliderPosition(position);
        bar->setSliderDown(false);
    };
}

enum class Ending { Ok, Cancel, Escape, CloseWindow };

void End(Dialog& dialog, Ending ending) {
    switch (ending) {
        case Ending::Ok:
            Press(IDOK)(dialog);
            break;
        case Ending::Cancel:
            Press(IDCANCEL)(dialog);
            break;
        case Ending::Escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case Ending::CloseWindow:
            dialog.close();
            break;
    }
}

// Each control and each way out reaches the dialog's logic; the engine alone is the oracle.
TEST(ImageAdjustDialogTest, ControlSequencesLeaveTheSettingsAndPictureOfTheirLastRendering) {
    const auto page = QAbstractSlider::SliderPageStepAdd;
    const auto arrow = QStyle::SC_ScrollBarAddLine;
    const struct {
        const char* name;
        std::vector<Step> steps;
        Ending ending;
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
         Ending::Ok,
         true,
         Manual({40, -37, 1, 0})},
        {"Automatic, Manual, OK applies the automatic result",
         {Press(IDC_ADJUST_AUTOMATIC), Press(IDC_ADJUST_MANUAL)},
         Ending::Ok,
         true,
         [](AdjustEngine& e, DibBlock& b, DibBlock& o, AdjustPlanes& p) {
             e.RenderAutomatic(b, o, p);
         }},
        {"Revert after changes, then OK changes nothing",
         {Action(BRIGHTNESS, page), Press(IDC_ADJUST_REVERT)},
         Ending::Ok,
         false,
         Manual({})},
        {"Cancel after changes",
         {Action(CONTRAST, page)},
         Ending::Cancel,
         false,
         Manual({0, 20, 0, 0})},
        {"Esc after changes",
         {Action(CONTRAST, page)},
         Ending::Escape,
         false,
         Manual({0, 20, 0, 0})},
        {"closing the dialog after changes",
         {Action(CONTRAST, page)},
         Ending::CloseWindow,
         false,
         Manual({0, 20, 0, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Host host;
        DibBlock picture = TestPicture();
        const std::vector<std::uint8_t> original = picture.storage();
        const AdjustOutcome expected = AdjustWithoutDialog(picture, c.engine);
        WhenShown driver([&](Dialog& dialog) {
            for (const Step& step : c.steps) {
                step(dialog);
            }
            for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
                EXPECT_EQ(Control<QLabel>(dialog, IDC_ADJUST_FIRST_VALUE + i)->text(),
                          QString::number(SettingAt(expected.settings, i)))
                    << "setting " << i;
            }
            End(dialog, c.ending);
        });
        const AdjustDialogEnd end = gui::RunImageAdjustment(nullptr, host.program, &picture);
        EXPECT_TRUE(driver.Ran());
        EXPECT_EQ(end, c.applied ? AdjustDialogEnd::Applied : AdjustDialogEnd::Closed);
        EXPECT_TRUE(picture.storage() == (c.applied ? expected.picture : original));
    }
}

// The largest difference of any channel between two images of the same size.
int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            largest = std::max({largest, std::abs(p.red() - q.red()),
                                std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
        }
    }
    return largest;
}

TEST(ImageAdjustDialogTest, PreviewsArePaintedInsideTheirFramesAndRevertBringsBeforeBack) {
    Host host;
    DibBlock picture = TestPicture();
    WhenShown driver([&](Dialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Image Adjustment");
        const int g = dialog.GroupHeight();
        EXPECT_EQ(g, Control<QWidget>(dialog, 1030)->height());
        const auto previews = [&] {
            const QImage grab = dialog.grab().toImage();
            return std::pair{grab.copy(10, g + 40, 160, 120), grab.copy(190, g + 40, 160, 120)};
        };
        const auto [before, unchanged] = previews();
        // Frames: dark left and top edges, white bottom and right edges.
        const QImage grab = dialog.grab().toImage();
        for (const int left : {6, 186}) {
            EXPECT_EQ(grab.pixelColor(left, g + 100), QColor(64, 64, 64));
            EXPECT_EQ(grab.pixelColor(left + 80, g + 36), QColor(64, 64, 64));
            EXPECT_EQ(grab.pixelColor(left + 168, g + 100), QColor(Qt::white));
            EXPECT_EQ(grab.pixelColor(left + 80, g + 164), QColor(Qt::white));
        }
        // The Before preview samples the picture every second column and row.
        const QImage source = gui::DibToImage(picture.bytes());
        for (const QPoint at : {QPoint(0, 0), QPoint(77, 51), QPoint(159, 119)}) {
            EXPECT_EQ(before.pixelColor(at), source.pixelColor(2 * at.x(), 3 + 2 * at.y()));
        }
        EXPECT_EQ(before, unchanged);

        Action(CONTRAST, QAbstractSlider::SliderPageStepAdd)(dialog);
        Action(CONTRAST, QAbstractSlider::SliderPageStepAdd)(dialog);
        const auto [stillBefore, after] = previews();
        EXPECT_EQ(stillBefore, before);
        EXPECT_GT(LargestDifference(after, before), 20);

        Press(IDC_ADJUST_REVERT)(dialog);
        EXPECT_LE(LargestDifference(previews().second, before), 3);
        Press(IDOK)(dialog);
    });
    EXPECT_EQ(gui::RunImageAdjustment(nullptr, host.program, &picture), AdjustDialogEnd::Closed);
    EXPECT_TRUE(driver.Ran());
}

TEST(ImageAdjustDialogTest, WithoutAPictureThePreviewsAreGrey) {
    Host host;
    WhenShown driver([&](Dialog& dialog) {
        Press(IDC_ADJUST_AUTOMATIC)(dialog);
        const int g = dialog.GroupHeight();
        const QImage grab = dialog.grab().toImage();
        for (const int left : {10, 190}) {
            EXPECT_EQ(grab.pixelColor(left, g + 40), QColor(192, 192, 192));
            EXPECT_EQ(grab.pixelColor(left + 159, g + 159), QColor(192, 192, 192));
        }
        Press(IDOK)(dialog);
    });
    EXPECT_EQ(gui::RunImageAdjustment(nullptr, host.program, nullptr), AdjustDialogEnd::Closed);
    EXPECT_TRUE(driver.Ran());
}

std::vector<QRgb> Colours(const LogPalette& palette) {
    std::vector<QRgb> colours;
    for (const PaletteEntry& entry : palette.palPalEntry) {
        colours.push_back(qRgb(entry.peRed, entry.peGreen, entry.peBlue));
    }
    return colours;
}

TEST(ImageAdjustDialogTest, OnAn8BitScreenPreviewsUseTheScreenPaletteAndOkRebuildsThePalettes) {
    Host host;
    DisplayState& display = host.program.display;
    display.TrueColourDisplay = false;
    display.ScreenPalette = display.ImagePalette = MakeFixedScreenPalette();
    std::optional<LogPalette> windowPalette = display.ImagePalette;
    const std::vector<QRgb> fixed = Colours(*display.ScreenPalette);
    DibBlock picture = TestPicture();
    WhenShown driver([&](Dialog& dialog) {
        Action(SATURATION, QAbstractSlider::SliderPageStepAdd)(dialog);
        const int g = dialog.GroupHeight();
        const QImage grab = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = g + 40; y < g + 160; y += 3) {
            for (const int x : {10, 60, 110, 169, 190, 240, 300, 349}) {
                EXPECT_TRUE(std::ranges::count(fixed, grab.pixel(x, y)) > 0) << x << "," << y;
            }
        }
        Press(IDOK)(dialog);
    });
    ASSERT_EQ(gui::RunImageAdjustment(nullptr, host.program, &picture, &windowPalette),
              AdjustDialogEnd::Applied);
    LogPalette built = MakeFixedScreenPalette();
    ASSERT_EQ(BuildPopularityPalette(host.shell, host.memory, picture, built), 1);
    for (const auto* palette : {&display.ImagePalette, &display.ScreenPalette, &windowPalette}) {
        ASSERT_TRUE(palette->has_value());
        EXPECT_EQ(Colours(**palette), Colours(built));
    }
}

TEST(ImageAdjustDialogTest, AnOwnerThatGoesAwayTakesTheDialogAndLeavesThePicture) {
    Host host;
    DibBlock picture = TestPicture();
    const std::vector<std::uint8_t> original = picture.storage();
    auto* owner = new QWidget;
    WhenShown driver([&](Dialog& dialog) {
        Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd)(dialog);
        delete owner;
    });
    EXPECT_EQ(gui::RunImageAdjustment(owner, host.program, &picture), AdjustDialogEnd::Closed);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(picture.storage() == original);
}

TEST(ImageAdjustDialogTest, OkOnAnOpenfileWindowOfAn8BitScreenBuildsItsPaletteOnce) {
    Host host(false);
    Program& program = host.program;
    program.Startup();
    const DibBlock picture = MakeRgbPicture(640, 480, [](int column, int row) {
        return Bgr{static_cast<std::uint8_t>(column / 3), static_cast<std::uint8_t>(row / 2),
                   static_cast<std::uint8_t>((column + row) / 5)};
    });
    std::copy_n(picture.data(), picture.size(), program.buffers.WorkImage->data());
    OpenfileWindow* window = program.CreateOpenfileWindow("picture.bmp", false);
    ASSERT_NE(window, nullptr);
    host.memory.armed = true;
    WhenShown driver([](Dialog& dialog) {
        Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd)(dialog);
        Press(IDOK)(dialog);
    });
    ASSERT_EQ(gui::RunImageAdjustment(nullptr, program, &window->picture()),
              AdjustDialogEnd::Applied);
    program.OpenfilePictureChanged(window->id());
    EXPECT_EQ(
        std::ranges::count_if(host.shell.messages,
                              [](const ShownMessage& m) { return m.text == "Not enough memory."; }),
        1);
    program.Shutdown();
}

bool IndexLoaded(GuiSession& session) {
    return session.program().indexTransfer.index.IndexLoaded &&
           session.frame().StatusText() == "Ready";
}

TEST(ImageAdjustDialogTest, TheCaptureWindowsCommandAdjustsItsPictureOnlyOnOk) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] { return IndexLoaded(session); }));
    QWidget* preview = session.frame().PreviewFrame()->widget();
    const QPoint thumbnail(70, 105);
    QTest::mouseClick(preview, Qt::LeftButton, {}, thumbnail);
    QTest::mouseDClick(preview, Qt::LeftButton, {}, thumbnail);
    ASSERT_TRUE(session.WaitFor([&] {
        return session.program().captureWindows.Ids().size() == 1 &&
               !session.program().pictureDownload.download.CaptureWaiting;
    }));
    const WindowId id = session.program().captureWindows.Ids().front();
    CaptureWindow* capture = session.program().captureWindows.Find(id);
    auto* view = static_cast<gui::CaptureView*>(session.frame().Window(id)->Child());
    const std::vector<std::uint8_t> original = capture->picture().storage();
    const AdjustOutcome expected = AdjustWithoutDialog(capture->picture(), Manual({40, 0, 0, 0}));

    const auto adjust = [&](Ending ending) {
        WhenShown driver([&](Dialog& dialog) {
            EXPECT_EQ(dialog.parentWidget(), view);
            Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd)(dialog);
            Action(BRIGHTNESS, QAbstractSlider::SliderPageStepAdd)(dialog);
            End(dialog, ending);
        });
        session.frame().Command(CMD_IMAGE_ADJUST);
        EXPECT_TRUE(driver.Ran());
    };
    adjust(Ending::Cancel);
    EXPECT_TRUE(capture->picture().storage() == original);
    EXPECT_FALSE(capture->modified());

    adjust(Ending::Ok);
    EXPECT_TRUE(capture->picture().storage() == expected.picture);
    EXPECT_TRUE(capture->modified());
    const QImage shown = view->grab().toImage();
    const QImage adjusted = gui::DibToImage(capture->picture().bytes());
    for (const QPoint at : {QPoint(0, 0), QPoint(100, 70), QPoint(200, 150)}) {
        EXPECT_EQ(shown.pixelColor(at), adjusted.pixelColor(at));
    }
}

}  // namespace
}  // namespace fotolyx::testing
