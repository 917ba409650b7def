#include "gui/capture_view.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QStyle>

#include "gui/dib_image.h"
#include "gui/screen_image.h"

namespace fotolyx::gui {

namespace {

int RequestOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return SB_LINEUP;
        case QAbstractSlider::SliderSingleStepAdd:
            return SB_LINEDOWN;
        case QAbstractSlider::SliderPageStepSub:
            return SB_PAGEUP;
        case QAbstractSlider::SliderPageStepAdd:
            return SB_PAGEDOWN;
        case QAbstractSlider::SliderMove:
            return SB_THUMBTRACK;
        default:
            return -1;
    }
}

// Qt's bar from the platform's range: a bar whose range is empty is hidden.
void ShowState(QScrollBar* bar, const ScrollBarState& state) {
    const QSignalBlocker blocker(bar);
    bar->setRange(state.min, std::max(state.min, state.max));
    bar->setSliderPosition(state.pos);
    bar->setValue(state.pos);
    bar->setVisible(state.max > state.min);
}

}  // namespace

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
    const int request = RequestOf(action);
    QScrollBar* bar = Bar(kind);
    const int wanted = bar->sliderPosition();
    if (!window) {
        return;
    }
    // The bar shows what the logic makes of the request.
    ShowState(bar,
              kind == ScrollBarKind::Horizontal ? window->HorizontalBar() : window->VerticalBar());
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
    if (CaptureWindow* window = logic_()) {
        window->Close();  // the save prompt; the window closes whatever the answer
    }
    afterEvent_();
    return true;
}

void CaptureView::Closing() {
    if (!closed_) {
        closed_ = true;
        destroyed_();
        afterEvent_();
    }
}

void CaptureView::SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
    ShowState(Bar(bar), state);
    PlaceBars();
}

QSize CaptureView::ClientSize() const {
    return {width() - (vertical_->isVisible() ? vertical_->width() : 0),
            height() - (horizontal_->isVisible() ? horizontal_->height() : 0)};
}

void CaptureView::PlaceBars() {
    const int thickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const bool both = horizontal_->isVisible() && vertical_->isVisible();
    horizontal_->setGeometry(0, height() - thickness, width() - (both ? thickness : 0), thickness);
    vertical_->setGeometry(width() - thickness, 0, thickness, height() - (both ? thickness : 0));
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
