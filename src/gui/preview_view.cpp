#include "gui/preview_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/display_state.h"
#include "gui/dib_image.h"
#include "gui/frame_window.h"
#include "gui/screen_image.h"
#include "gui/scroll_bars.h"
#include "windows/picture_window.h"

namespace fotolyx::gui {

namespace {

const QColor WHITE(255, 255, 255);
const QColor DARK(64, 64, 64);
const QColor LIGHT_GREY(192, 192, 192);
const QColor GREEN(0, 255, 0);

const PictureButton* FindButton(int id) {
    for (const PictureButton& record : PICTURE_BUTTONS) {
        if (record.id == id) {
            return &record;
        }
    }
    return nullptr;
}

void Line(QPainter& painter, const QColor& colour, int width, int x0, int y0, int x1, int y1) {
    QPen pen(colour);
    pen.setWidth(width);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(x0, y0, x1, y1);
}

// A polyline through the given corners, closed, one pixel wide.
void Frame(QPainter& painter, const QColor& colour, int left, int top, int right, int bottom) {
    painter.setPen(QPen(colour, 1));
    const QPoint corners[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    painter.drawPolygon(corners, 4);
}

// Sunken: dark on the left and top edge, white on the bottom and right edge.
void Sunken(QPainter& painter, int left, int top, int right, int bottom) {
    painter.setPen(QPen(DARK, 1));
    painter.drawLine(left, top, right, top);
    painter.drawLine(left, top, left, bottom);
    painter.setPen(QPen(WHITE, 1));
    painter.drawLine(left, bottom, right, bottom);
    painter.drawLine(right, top, right, bottom);
}

void Text(QPainter& painter, const QFont& font, int x, int y, const QString& text) {
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    painter.drawText(x, y + metrics.ascent(), text);
}

}  // namespace

QFont MakeFont(const char* face, int height, int width, bool bold) {
    QFont font(QString::fromLatin1(face));
    font.setPixelSize(height);
    font.setBold(bold);
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0 && width > 0) {
        font.setStretch(std::clamp(width * 100 / average, 1, 4000));
    }
    return font;
}

unsigned MouseKeys(Qt::KeyboardModifiers modifiers) {
    return ((modifiers & Qt::ShiftModifier) != 0 ? MK_SHIFT : 0u) |
           ((modifiers & Qt::ControlModifier) != 0 ? MK_CONTROL : 0u);
}

PreviewPaintState PaintStateOf(const PreviewWindow& preview, bool runningOnNt) {
    PreviewPaintState state;
    state.runningOnNt = runningOnNt;
    state.pictureChosen = preview.PictureChosen();
    state.totalText = preview.TotalText();
    for (const PreviewCell& cell : preview.CellsInView()) {
        const int index = cell.row * GRID_COLUMNS + cell.column;
        if (index < 0 || index >= CELLS_IN_VIEW) {
            continue;
        }
        PreviewCellPaint& paint = state.cells[static_cast<std::size_t>(index)];
        paint.listText = cell.text;
        paint.selected = cell.selected;
        if (cell.hasThumbnail) {
            paint.thumbnail = DibToImage(preview.Thumbnail(cell.position));
        }
    }
    return state;
}

PreviewPaintState PaintStateOf(const PreviewWindow& preview, const DisplayState& display) {
    PreviewPaintState state = PaintStateOf(preview, display.RunningOnNt);
    for (PreviewCellPaint& cell : state.cells) {
        if (!cell.thumbnail.isNull()) {
            cell.thumbnail = ShownImage(display, cell.thumbnail);
        }
    }
    return state;
}

PreviewView::PreviewView(PreviewLogic& logic)
    : ChildWindow(PREVIEW_WINDOW), logic_(logic), scrollBar_(new QScrollBar(Qt::Vertical, this)) {
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, LIGHT_GREY);
    setPalette(background);
    for (std::size_t i = 0; i < std::size(PICTURE_BUTTONS); ++i) {
        const PictureButton& record = PICTURE_BUTTONS[i];
        auto* button = new PictureButtonWidget(this, record.id, record.rect);
        button->bitmapFor = [this](int id, bool pressed) { return BitmapFor(id, pressed); };
        button->drawItem = [this](int id, unsigned itemState, unsigned itemAction) {
            const int bitmap = logic_.DrawItem(id, itemState, itemAction);
            Done();
            return bitmap;
        };
        buttons_[i] = button;
    }
    connect(scrollBar_, &QScrollBar::actionTriggered, this, [this](int action) {
        const int request = ScrollCodeOf(action);
        const int wanted = scrollBar_->sliderPosition();
        // The bar shows what the logic makes of the request, not what Qt would.
        SetScrollBar(ScrollBarKind::Vertical, logic_.ScrollBar());
        if (request >= 0) {
            logic_.Scroll(request, wanted);
        }
        Done();
    });
    SetScrollBar(ScrollBarKind::Vertical, logic_.ScrollBar());
}

void PreviewView::Command(int id) {
    logic_.Command(id);
    Done();
}

void PreviewView::Activated(FrameWindow&, bool active) {
    logic_.Activated(active);
}

void PreviewView::Invalidate(std::optional<Rect> area) {
    ChildWindow::Invalidate(area);
    for (PictureButtonWidget* button : buttons_) {
        button->update();
    }
}

void PreviewView::Done() {
    logic_.AfterEvent();
}

int PreviewView::BitmapFor(int id, bool pressed) const {
    const PictureButton* record = FindButton(id);
    if (!record) {
        return 0;
    }
    const bool chosen = logic_.PaintState().pictureChosen;
    if (!chosen) {
        return record->bitmapNoChoice;
    }
    return pressed ? record->bitmapPressed : record->bitmapUp;
}

PictureButtonWidget* PreviewView::Button(int id) const {
    for (std::size_t i = 0; i < std::size(PICTURE_BUTTONS); ++i) {
        if (PICTURE_BUTTONS[i].id == id) {
            return buttons_[i];
        }
    }
    return nullptr;
}

void PreviewView::SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
    if (bar != ScrollBarKind::Vertical) {
        return;
    }
    // The platform shows no thumb when the page covers the whole range.
    const int page = std::max(state.page, 1);
    const int last = state.max - state.min < page ? state.min : state.max - page + 1;
    const QSignalBlocker blocker(scrollBar_);
    scrollBar_->setRange(state.min, std::max(state.min, last));
    scrollBar_->setPageStep(page);
    scrollBar_->setSingleStep(1);
    scrollBar_->setSliderPosition(state.pos);
    scrollBar_->setValue(state.pos);
}

void PreviewView::resizeEvent(QResizeEvent*) {
    const int width = scrollBar_->sizeHint().width();
    scrollBar_->setGeometry(this->width() - width, 0, width, height());
}

void PreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Paint(painter, logic_.PaintState());
}

void PreviewView::Paint(QPainter& painter, const PreviewPaintState& state) {
    // 1. The twelve cell frames.
    for (int row = 0; row < PREVIEW_ROWS; ++row) {
        for (int column = 0; column < GRID_COLUMNS; ++column) {
            const int x0 = 5 + 140 * column;
            const int y0 = 55 + 130 * row;
            Frame(painter, WHITE, x0, y0, x0 + 130, y0 + 120);
            Frame(painter, DARK, x0 - 1, y0 - 1, x0 + 129, y0 + 119);
        }
    }
    // 2. The selection edges.
    if (state.pictureChosen) {
        for (int cell = 0; cell < CELLS_IN_VIEW; ++cell) {
            if (!state.cells[cell].selected) {
                continue;
            }
            const int column = cell % GRID_COLUMNS;
            const int row = cell / GRID_COLUMNS;
            const int x0 = 5 + 140 * column;
            const int y0 = 55 + 130 * row;
            Line(painter, DARK, 2, x0, y0, 134 + 140 * column, y0);
            Line(painter, DARK, 2, x0, y0, x0, 174 + 130 * row);
        }
    }
    // 4. Thumbnails, captions and list texts.
    const QFont listFont = MakeFont("Times New Roman", 16, 6, false);
    for (int cell = 0; cell < CELLS_IN_VIEW; ++cell) {
        const int column = cell % GRID_COLUMNS;
        const int row = cell / GRID_COLUMNS;
        const PreviewCellPaint& content = state.cells[cell];
        if (!content.thumbnail.isNull()) {
            painter.drawImage(QRect(10 + 140 * column, 60 + 130 * row, 120, 90), content.thumbnail);
        }
        painter.fillRect(QRect(QPoint(6 + 140 * column, 150 + 130 * row),
                               QPoint(134 + 140 * column - 1, 168 + 130 * row - 1)),
                         LIGHT_GREY);
        Text(painter, listFont, 10 + 140 * column, 152 + 130 * row,
             QString::fromLatin1(content.listText.c_str()));
    }
    // 5. The selection bars.
    if (state.pictureChosen) {
        for (int cell = 0; cell < CELLS_IN_VIEW; ++cell) {
            if (!state.cells[cell].selected) {
                continue;
            }
            const int column = cell % GRID_COLUMNS;
            const int row = cell / GRID_COLUMNS;
            Line(painter, GREEN, 6, 13 + 140 * column, 151 + 130 * row, 126 + 140 * column,
                 151 + 130 * row);
        }
    }
    // 6. The total panel and the button panel.
    Sunken(painter, 30, 5, 185, 45);
    Sunken(painter, 105, 10, 180, 40);
    painter.fillRect(QRect(QPoint(115, 12), QPoint(174, 37)), LIGHT_GREY);
    if (state.runningOnNt) {
        Text(painter, MakeFont("Courier New", 22, 10, true), 48, 16, QStringLiteral("Total"));
    } else {
        Text(painter, MakeFont("Courier New", 18, 8, true), 52, 18, QStringLiteral("Total"));
    }
    Text(painter, MakeFont("Courier New", 20, 10, true), 125, 16,
         QString::fromLatin1(state.totalText.c_str()));
    Sunken(painter, 235, 5, 545, 45);
}

void PreviewView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        logic_.Click(at.x(), at.y(), MouseKeys(event->modifiers()));
        Done();
    }
}

void PreviewView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        logic_.DoubleClick(at.x(), at.y(), MouseKeys(event->modifiers()));
        Done();
    }
}

}  // namespace fotolyx::gui
