#include "gui/picture_view.h"

#include <QPainter>

#include "app/program.h"
#include "gui/dib_image.h"
#include "gui/print_job.h"
#include "gui/screen_image.h"
#include "gui/scroll_bars.h"

namespace fotolyx::gui {

PictureView::PictureView(WindowId id, PictureViewHost& host)
    : ChildWindow(id),
      host_(host),
      menu_(host.FindPictureWindow(id) ? host.FindPictureWindow(id)->kind().menu : MenuBar::Frame),
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

void PictureView::Scrolled(ScrollBarKind kind, int action) {
    PictureWindow* window = Logic();
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
    host_.AfterEvent();
}

void PictureView::Command(int id) {
    // Printing, the adjustment dialog and Save As dispatch events or close windows: this view
    // may be gone when they return.
    PictureViewHost& host = host_;
    if (id == CMD_IMAGE_ADJUST) {
        host_.AdjustPicture(this, Id());
    } else if (id == CMD_PRINT) {
        if (const PictureWindow* window = Logic()) {
            PrintPicture(this, QString::fromStdString(window->title()), window->picture());
        }
    } else if (PictureWindow* window = Logic()) {
        window->Command(id);
    }
    host.AfterEvent();
}

bool PictureView::QueryClose() {
    // The save prompt; a Save As that did not write keeps the window and its changes.
    PictureWindow* window = Logic();
    const bool agreed = window == nullptr || window->Close();
    host_.AfterEvent();
    return agreed;
}

void PictureView::Closing() {
    if (!closed_) {
        closed_ = true;
        host_.PictureViewClosed(Id());
        host_.AfterEvent();
    }
}

void PictureView::Activated(FrameWindow& frame, bool active) {
    if (PictureWindow* window = Logic()) {
        window->MdiActivate(active);
    } else {
        ChildWindow::Activated(frame, active);
    }
}

void PictureView::SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
    ShowScrollBarState(Bar(bar), state);
    PlaceScrollBars(*this, *horizontal_, *vertical_);
}

QSize PictureView::ClientSize() const {
    return ClientSizeBeside(*this, *horizontal_, *vertical_);
}

void PictureView::resizeEvent(QResizeEvent*) {
    PlaceScrollBars(*this, *horizontal_, *vertical_);
    PictureWindow* window = Logic();
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

void PictureView::paintEvent(QPaintEvent*) {
    PictureWindow* window = Logic();
    if (!window) {
        return;
    }
    const QSize client = ClientSize();
    const PicturePaint placement = window->Paint(client.width(), client.height());
    const QImage picture = ShownImage(host_.Display(), DibToImage(window->picture().bytes()));
    if (picture.isNull()) {
        return;  // still waiting for the picture (the block is all zero)
    }
    QPainter painter(this);
    painter.setClipRect(QRect(QPoint(0, 0), client));
    painter.drawImage(QPoint(placement.x, placement.y), picture,
                      QRect(0, 0, placement.width, placement.height));
}

}  // namespace fotolyx::gui
