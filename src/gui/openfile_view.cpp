#include "gui/openfile_view.h"

#include <QPainter>
#include <QStyle>

#include "gui/dib_image.h"
#include "gui/screen_image.h"
#include "gui/scroll_bars.h"

namespace fotolyx::gui {

OpenfileView::OpenfileView(WindowId id, QSize clientSize, std::function<OpenfileWindow*()> logic,
                           std::function<void()> destroyed, std::function<void()> afterEvent,
                           const DisplayState& display)
    : ChildWindow(id),
      logic_(std::move(logic)),
      destroyed_(std::move(destroyed)),
      afterEvent_(std::move(afterEvent)),
      display_(display),
      horizontal_(new QScrollBar(Qt::Horizontal, this)),
      vertical_(new QScrollBar(Qt::Vertical, this)) {
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(background);
    horizontal_->hide();
    vertical_->hide();
    connect(horizontal_, &QScrollBar::actionTriggered, this,
            [this](int action) { Scrolled(ScrollBarKind::Horizontal, action); });
    connect(vertical_, &QScrollBar::actionTriggered, this,
            [this](int action) { Scrolled(ScrollBarKind::Vertical, action); });
    // A new window starts with both bars, so its first client area is that much smaller.
    if (OpenfileWindow* window = logic_()) {
        const int thickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        window->Create(clientSize.width() - thickness, clientSize.height() - thickness, thickness,
                       thickness);
    }
}

void OpenfileView::Scrolled(ScrollBarKind kind, int action) {
    OpenfileWindow* window = logic_();
    const int request = ScrollCodeOf(action);
    QScrollBar* bar = Bar(kind);
    const int wanted = bar->sliderPosition();
    if (!window) {
        return;
    }
    // The bar shows what the logic makes of the request.
    ShowScrollBarState(
        bar, kind == ScrollBarKind::Horizontal ? window->HorizontalBar() : window->VerticalBar());
    if (request >= 0) {
        if (kind == ScrollBarKind::Horizontal) {
            window->HScroll(request, wanted);
        } else {
            window->VScroll(request, wanted);
        }
    }
    afterEvent_();
}

void OpenfileView::Command(int id) {
    if (id == CMD_IMAGE_ADJUST && imageAdjustment) {
        imageAdjustment();
    } else if (id == CMD_PRINT && print) {
        print();
    } else if (OpenfileWindow* window = logic_()) {
        window->Command(id);
    }
    afterEvent_();
}

bool OpenfileView::QueryClose() {
    // The save prompt; a Save As that did not write keeps the window and its changes.
    OpenfileWindow* window = logic_();
    const bool agreed = window == nullptr || window->Close();
    afterEvent_();
    return agreed;
}

void OpenfileView::Closing() {
    if (!closed_) {
        closed_ = true;
        destroyed_();
        afterEvent_();
    }
}

void OpenfileView::Activated(FrameWindow&, bool active) {
    if (OpenfileWindow* window = logic_()) {
        window->MdiActivate(active);
    }
}

void OpenfileView::SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
    ShowScrollBarState(Bar(bar), state);
    PlaceBars();
}

QSize OpenfileView::ClientSize() const {
    return ClientSizeBeside(*this, *horizontal_, *vertical_);
}

void OpenfileView::PlaceBars() {
    PlaceScrollBars(*this, *horizontal_, *vertical_);
}

void OpenfileView::resizeEvent(QResizeEvent*) {
    PlaceBars();
    OpenfileWindow* window = logic_();
    if (!window || isMinimized()) {
        return;
    }
    // Ranged first for the whole area; a bar that comes changes the client area, and the
    // ranges follow it until the bars stay as they are.
    QSize client = size();
    for (int round = 0; round < 3; ++round) {
        window->Size(client.width(), client.height());
        if (ClientSize() == client) {
            break;
        }
        client = ClientSize();
    }
}

void OpenfileView::paintEvent(QPaintEvent*) {
    OpenfileWindow* window = logic_();
    if (!window) {
        return;
    }
    const QSize client = ClientSize();
    const CapturePaint placement = window->Paint(client.width(), client.height());
    const QImage picture = ShownImage(display_, DibToImage(window->picture().bytes()));
    if (picture.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setClipRect(QRect(QPoint(0, 0), client));
    painter.drawImage(QPoint(placement.x, placement.y), picture,
                      QRect(0, 0, placement.width, placement.height));
}

}  // namespace fotolyx::gui
