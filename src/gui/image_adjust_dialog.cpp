#include "gui/image_adjust_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <tuple>

#include "adjust/adjusted_palette.h"
#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "gui/screen_image.h"
#include "ports/shell.h"

namespace fotolyx::gui {

namespace {

constexpr int IDC_ADJUST_METHOD_GROUP = 1009;
constexpr int IDC_ADJUST_DEGREE_GROUP = 1030;
constexpr int IDC_ADJUST_BEFORE = 1225;
constexpr int IDC_ADJUST_AFTER = 1226;
constexpr int NO_ID = -1;
// Codes of a bar sent to its left or right end (Home, End, the bar's "Left edge" and "Right
// edge"); the dialog moves nothing for them.
constexpr int SB_LEFT = 6;
constexpr int SB_RIGHT = 7;

constexpr QSize DIALOG_SIZE(502, 312);
constexpr int PREVIEW_LEFT[] = {10, 190};
constexpr int PREVIEW_TOP = 40;         // below g
constexpr int FRAME_LEFT[] = {6, 186};  // the frames' left edges; 168 wide
constexpr int FRAME_WIDTH = 168;
constexpr int FRAME_TOP = 36;      // below g
constexpr int FRAME_BOTTOM = 164;  // below g
constexpr int CAPTION_TOP = 16;    // "Before" and "After", below g
const QColor FRAME_SHADOW(64, 64, 64);
const QColor EMPTY_PREVIEW(192, 192, 192);

enum class Kind { PushButton, GroupBox, Radio };

// The dialog's controls outside the setting rows. Positions are pixels inside the parent (the
// dialog or a group).
struct ControlRecord {
    int id;
    Kind kind;
    const char* text;
    int parent;  // 0: the dialog
    QRect geometry;
};

const ControlRecord CONTROLS[] = {
    {IDC_ADJUST_DEGREE_GROUP, Kind::GroupBox, "Degree of Adjusting", 0, QRect(6, 4, 348, 136)},
    {IDC_ADJUST_METHOD_GROUP, Kind::GroupBox, "Method of Adjusting", 0, QRect(362, 4, 134, 78)},
    {IDC_ADJUST_MANUAL, Kind::Radio, "&Manual", IDC_ADJUST_METHOD_GROUP, QRect(12, 24, 110, 20)},
    {IDC_ADJUST_AUTOMATIC, Kind::Radio, "&Automatic", IDC_ADJUST_METHOD_GROUP,
     QRect(12, 48, 110, 20)},
    {IDC_ADJUST_REVERT, Kind::PushButton, "Revert", 0, QRect(385, 92, 88, 26)},
    {IDOK, Kind::PushButton, "OK", 0, QRect(385, 240, 88, 26)},
    {IDCANCEL, Kind::PushButton, "Cancel", 0, QRect(385, 274, 88, 26)},
};

// One row of the "Degree of Adjusting" group per setting: its name, its value field, the
// bar's lower end, the bar, "100".
struct SettingRow {
    int labelId;
    const char* label;
    const char* low;
};

constexpr SettingRow SETTING_ROWS[ADJUST_SETTING_COUNT] = {
    {NO_ID, "Brightness", "-100"},
    {1027, "Contrast", "-100"},
    {1028, "Saturation", "-100"},
    {1029, "Sharpness", "0"},
};

constexpr int ROW_TOP = 22;
constexpr int ROW_PITCH = 28;
constexpr QRect ROW_LABEL(10, 0, 64, 18);
constexpr QRect ROW_VALUE(76, 0, 40, 18);
constexpr QRect ROW_LOW(116, 0, 34, 18);
constexpr QRect ROW_BAR(154, 1, 150, 16);
constexpr QRect ROW_HIGH(308, 0, 32, 18);

QString ControlName(int id) {
    return QStringLiteral("control%1").arg(id);
}

void Place(QWidget* control, int id, const QRect& geometry) {
    if (id != NO_ID) {
        control->setObjectName(ControlName(id));
        control->setProperty("id", id);
    }
    control->setGeometry(geometry);
}

int ScrollCodeOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return SB_LINELEFT;
        case QAbstractSlider::SliderSingleStepAdd:
            return SB_LINERIGHT;
        case QAbstractSlider::SliderPageStepSub:
            return SB_PAGELEFT;
        case QAbstractSlider::SliderPageStepAdd:
            return SB_PAGERIGHT;
        case QAbstractSlider::SliderToMinimum:
            return SB_LEFT;
        case QAbstractSlider::SliderToMaximum:
            return SB_RIGHT;
        case QAbstractSlider::SliderMove:
            // The thumb dragged (or wheeled): its position, as the dialog reads it on every move.
            return SB_THUMBPOSITION;
        default:
            return -1;
    }
}

}  // namespace

ImageAdjustDialog::ImageAdjustDialog(QWidget* owner, AdjustDialog& logic,
                                     const DisplayState& display)
    : QDialog(owner), logic_(logic), display_(display) {
    setObjectName(QStringLiteral("IMAGE_ADJUST"));
    setWindowTitle(QStringLiteral("Image Adjustment"));
    MakeModalToOwner(*this);
    setFixedSize(DIALOG_SIZE);

    for (const ControlRecord& record : CONTROLS) {
        QWidget* parent = this;
        if (record.parent != 0) {
            parent = findChild<QWidget*>(ControlName(record.parent));
        }
        const QString text = QString::fromLatin1(record.text);
        QWidget* control = nullptr;
        switch (record.kind) {
            case Kind::GroupBox:
                control = new QGroupBox(text, parent);
                break;
            case Kind::Radio:
                control = new QRadioButton(text, parent);
                break;
            case Kind::PushButton:
                control = new QPushButton(text, parent);
                break;
        }
        Place(control, record.id, record.geometry);
    }
    degree_ = findChild<QGroupBox*>(ControlName(IDC_ADJUST_DEGREE_GROUP));
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        const SettingRow& row = SETTING_ROWS[i];
        const QPoint top(0, ROW_TOP + ROW_PITCH * i);
        Place(new QLabel(QString::fromLatin1(row.label), degree_), row.labelId,
              ROW_LABEL.translated(top));
        auto* value = new QLabel(QStringLiteral("0"), degree_);
        value->setAlignment(Qt::AlignCenter);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        Place(value, IDC_ADJUST_FIRST_VALUE + i, ROW_VALUE.translated(top));
        auto* low = new QLabel(QString::fromLatin1(row.low), degree_);
        low->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Place(low, NO_ID, ROW_LOW.translated(top));
        auto* bar = new QScrollBar(Qt::Horizontal, degree_);
        bar->setSingleStep(1);
        bar->setPageStep(20);
        connect(bar, &QScrollBar::actionTriggered, this,
                [this, i](int action) { Scrolled(i, action); });
        Place(bar, IDC_ADJUST_FIRST_SCROLL + i, ROW_BAR.translated(top));
        Place(new QLabel(QStringLiteral("100"), degree_), NO_ID, ROW_HIGH.translated(top));
        values_[static_cast<std::size_t>(i)] = value;
        bars_[static_cast<std::size_t>(i)] = bar;
    }
    manual_ = findChild<QRadioButton*>(ControlName(IDC_ADJUST_MANUAL));
    automatic_ = findChild<QRadioButton*>(ControlName(IDC_ADJUST_AUTOMATIC));
    revert_ = findChild<QPushButton*>(ControlName(IDC_ADJUST_REVERT));
    auto* ok = findChild<QPushButton*>(ControlName(IDOK));
    auto* cancel = findChild<QPushButton*>(ControlName(IDCANCEL));
    ok->setDefault(true);

    // "Before" and "After" stand above their frames, which follow the group's height.
    for (const auto& [id, text, left] : {std::tuple{IDC_ADJUST_BEFORE, "Before", PREVIEW_LEFT[0]},
                                         std::tuple{IDC_ADJUST_AFTER, "After", PREVIEW_LEFT[1]}}) {
        Place(new QLabel(QString::fromLatin1(text), this), id,
              QRect(left, GroupHeight() + CAPTION_TOP, 80, 18));
    }

    connect(manual_, &QRadioButton::clicked, this, [this] { Forward(IDC_ADJUST_MANUAL); });
    connect(automatic_, &QRadioButton::clicked, this, [this] { Forward(IDC_ADJUST_AUTOMATIC); });
    connect(revert_, &QPushButton::clicked, this, [this] { Forward(IDC_ADJUST_REVERT); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowState();
}

int ImageAdjustDialog::GroupHeight() const {
    return degree_->height();
}

void ImageAdjustDialog::Scrolled(int index, int action) {
    QScrollBar* bar = bars_[static_cast<std::size_t>(index)];
    const int code = ScrollCodeOf(action);
    if (code < 0) {
        return;
    }
    // The position travels as a 16-bit word, as a scroll message carries it.
    const int thumb = static_cast<std::uint16_t>(bar->sliderPosition());
    logic_.HScroll(IDC_ADJUST_FIRST_SCROLL + index, code, thumb);
    // Qt applies the slider position after this signal: it becomes the dialog's.
    bar->setSliderPosition(logic_.scrollBars[static_cast<std::size_t>(index)].position);
    ShowState();
}

void ImageAdjustDialog::Forward(int command) {
    end_ = logic_.Command(command);
    ShowState();
}

void ImageAdjustDialog::done(int result) {
    if (end_ == AdjustDialogEnd::Open) {
        end_ = logic_.Command(result == QDialog::Accepted ? IDOK : IDCANCEL);
    }
    QDialog::done(0);
}

void ImageAdjustDialog::ShowState() {
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const AdjustScrollBar& state = logic_.scrollBars[at];
        QScrollBar* bar = bars_[at];
        const QSignalBlocker blocker(bar);
        bar->setRange(state.minimum, state.maximum);
        if (!bar->isSliderDown()) {
            bar->setValue(state.position);
        }
        bar->setEnabled(state.enabled);
        values_[at]->setText(QString::number(logic_.valueFields[at]));
    }
    manual_->setChecked(logic_.manualChecked);
    automatic_->setChecked(!logic_.manualChecked);
    revert_->setEnabled(logic_.revertEnabled);
    if (logic_.invalidated) {
        logic_.invalidated = false;
        update();
    }
}

void ImageAdjustDialog::paintEvent(QPaintEvent*) {
    const int g = GroupHeight();
    QPainter painter(this);
    for (const int left : FRAME_LEFT) {
        const int right = left + FRAME_WIDTH;
        painter.setPen(QPen(FRAME_SHADOW, 1));
        const QPoint shadow[] = {
            {left, g + FRAME_BOTTOM}, {left, g + FRAME_TOP}, {right, g + FRAME_TOP}};
        painter.drawPolyline(shadow, 3);
        painter.setPen(QPen(Qt::white, 1));
        const QPoint light[] = {
            {left, g + FRAME_BOTTOM}, {right, g + FRAME_BOTTOM}, {right, g + FRAME_TOP}};
        painter.drawPolyline(light, 3);
    }
    const DibBlock* previews[] = {logic_.BeforePreview(), logic_.AfterPreview()};
    for (int i = 0; i < 2; ++i) {
        const QRect area(PREVIEW_LEFT[i], g + PREVIEW_TOP, PREVIEW_WIDTH, PREVIEW_HEIGHT);
        const QImage image = previews[i] ? DibToImage(previews[i]->bytes()) : QImage();
        if (image.isNull()) {
            painter.fillRect(area, EMPTY_PREVIEW);
            continue;
        }
        painter.drawImage(area.topLeft(), ShownImage(display_, image),
                          QRect(0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT));
    }
}

AdjustDialogEnd RunImageAdjustment(QWidget* owner, Program& program, DibBlock* picture,
                                   std::optional<LogPalette>* windowPalette) {
    AdjustDialog logic(program.ports.memory);
    logic.Open(picture);
    AdjustDialogEnd end = AdjustDialogEnd::Closed;
    // A window that goes away while the dialog is up takes the dialog with it.
    auto* dialog = new ImageAdjustDialog(owner, logic, program.display);
    const QPointer<ImageAdjustDialog> alive(dialog);
    dialog->exec();
    if (alive) {
        end = dialog->End();
        delete dialog;
    }
    // A window without a palette of its own (an Openfile window) rebuilds its palettes itself
    // when told of the change, so they are built once.
    if (end == AdjustDialogEnd::Applied && picture && windowPalette &&
        !program.display.TrueColourDisplay) {
        RebuildPalettesAfterAdjustment(
            program.ports.shell, program.ports.memory, *picture,
            {program.display.ScreenPalette, program.display.ImagePalette, windowPalette});
    }
    return end == AdjustDialogEnd::Open ? AdjustDialogEnd::Closed : end;
}

}  // namespace fotolyx::gui
