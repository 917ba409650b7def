#include "gui/child_window.h"

#include <QCloseEvent>

namespace fotolyx::gui {

ChildFrame::ChildFrame(ChildWindow* child, const bool& exitConfirmed)
    : child_(child), exitConfirmed_(exitConfirmed) {
    setWidget(child);
    setAttribute(Qt::WA_DeleteOnClose);
}

void ChildFrame::HideCloseBox() {
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinMaxButtonsHint);
}

void ChildFrame::CloseAgreed() {
    agreed_ = true;
    close();
}

void ChildFrame::closeEvent(QCloseEvent* event) {
    if (!agreed_) {
        const bool allowed = child_->Permanent() ? exitConfirmed_ : child_->QueryClose();
        if (!allowed) {
            event->ignore();
            return;
        }
    }
    child_->Closing();
    QMdiSubWindow::closeEvent(event);
}

}  // namespace fotolyx::gui
