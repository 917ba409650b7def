#include "gui/capture_view.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>

#include "gui/dib_image.h"
#include "gui/screen_image.h"
#include "gui/scroll_bars.h"

namespace fotolyx::gui {

CaptureView::CaptureView(WindowId id, std::function<CaptureWindow*()> logic,
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
}

void CaptureView::Scrolled(ScrollBarKind kind, int action) {
    CaptureWindow* window = logic_();
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
    update();
    afterEvent_();
}

void CaptureView::Command(int id) {
    if (id == CMD_IMAGE_ADJUST && imageAdjustment) {
        imageAdjustment();
    } else if (id == CMD_PRINT && print) {
        // Printing dispatches events: the window may be closed before it returns.
        const QPointer<CaptureView> alive(this);
        const auto run = print;
        run();
        if (!alive) {
            return;
        }
    } else if (CaptureWindow* window = logic_()) {
        window->Command(id);
    }
    afterEvent_();
}

bool CaptureView::QueryClose() {
    // The save prompt; a Save As that did not write keeps the window and its changes.
    CaptureWindow* window = logic_();
    const bool agreed = window == nullptr || window->Close();
    afterEvent_();
    return agreed;
}

void CaptureView::Closing() {
    if (!closed_) {
        closed_ = true;
        destroyed_();
        afterEvent_();
    }
}

void CaptureView::SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
    ShowScrollBarState(Bar(bar), state);
    PlaceBars();
}

QSize CaptureView::ClientSize() const {
    return ClientSizeBeside(*this, *horizontal_, *vertical_);
}

void CaptureView::PlaceBars() {
    PlaceScrollBars(*this, *horizontal_, *vertical_);
}

void CaptureView::resizeEvent(QResizeEvent*) {
    PlaceBars();
    CaptureWindow* window = logic_();
    if (!window || isMinimized()) {
        return;
    }
    // A bar that comes or goes changes the client area: the ranges follow it once more.
    const QSize before = ClientSize();
    window->Size(before.width(), before.height());
    if (ClientSize() != before) {
        window->Size(ClientSize().width(), ClientSize().height());
    }
}

void CaptureView::Activated(FrameWindow& frame, bool active) {
    ChildWindow::Activated(frame, active);
    if (activated) {
        activated(active);
    }
}

void CaptureView::paintEvent(QPaintEvent*) {
    const CaptureWindow* window = logic_();
    if (!window) {
        return;
    }
    if (painting) {
        auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        painting(sub != nullptr && sub->mdiArea() != nullptr &&
                 sub->mdiArea()->activeSubWindow() == sub);
    }
    const QSize client = ClientSize();
    const CapturePaint placement = window->Paint(client.width(), client.height());
    const QImage picture = ShownImage(display_, DibToImage(window->picture().bytes()));
    if (picture.isNull()) {
        return;  // still waiting for the picture (the block is all zero)
    }
    QPainter painter(this);
    painter.setClipRect(QRect(QPoint(0, 0), client));
    painter.drawImage(QPoint(placement.x, placement.y), picture,
                      QRect(0, 0, placement.width, placement.height));
}

}  // namespace fotolyx::gui
