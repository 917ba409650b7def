#include "gui/child_window.h"

#include <QCloseEvent>

#include "gui/frame_window.h"

namespace fotolyx::gui {

void ChildWindow::Activated(FrameWindow& frame, bool active) {
    frame.ShowMenu(active ? Menu() : MenuBar::Frame);
}

void ChildWindow::Invalidate(std::optional<Rect> area) {
    if (area) {
        update(QRect(QPoint(area->left, area->top), QPoint(area->right - 1, area->bottom - 1)));
    } else {
        update();
    }
}

void ChildWindow::ScrollContent(int dx, int dy) {
    (void)dx;
    (void)dy;
    update();
}

ChildFrame::ChildFrame(ChildWindow* child, std::function<bool()> exitConfirmed)
    : child_(child), exitConfirmed_(std::move(exitConfirmed)) {
    setWidget(child);
    setAttribute(Qt::WA_DeleteOnClose);
}

void ChildFrame::HideCloseBox() {
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinMaxButtonsHint);
}

void ChildFrame::CloseAgreed() {
    agreed_ = true;
    if (!closing_) {
        close();
    }
}

void ChildFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (!agreed_) {
        const bool allowed = child_->Permanent() ? exitConfirmed_() : child_->QueryClose();
        if (!allowed) {
            event->ignore();
            return;
        }
    }
    closing_ = true;
    child_->Closing();
    if (onClosing) {
        onClosing();
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace fotolyx::gui
