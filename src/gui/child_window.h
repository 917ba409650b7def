#pragma once

#include <QMdiSubWindow>
#include <QWidget>

#include "gui/menu_table.h"

namespace fotolyx::gui {

// The content of one MDI child: which menu bar it shows while active, the commands it takes
// and whether it agrees to close.
class ChildWindow : public QWidget {
  public:
    using QWidget::QWidget;

    virtual MenuKind Menu() const = 0;
    // A command the frame did not consume; false when the window ignores it.
    virtual bool Command(int id) {
        (void)id;
        return false;
    }
    // Asked before the window closes (Close Image, exit, the system menu); false keeps it.
    virtual bool QueryClose() { return true; }
    // The Preview and Live image windows stay until the program exits.
    virtual bool Permanent() const { return false; }
    // The window is being closed for good: stop its timers and transfers.
    virtual void Closing() {}
};

// The MDI frame around a ChildWindow: it asks the child before closing and keeps the permanent
// windows unless the exit has been confirmed.
class ChildFrame final : public QMdiSubWindow {
  public:
    ChildFrame(ChildWindow* child, const bool& exitConfirmed);

    ChildWindow* Child() const { return child_; }
    // No close box (for the permanent windows; once the frame holds this window).
    void HideCloseBox();
    // Closes without asking (the child agreed already).
    void CloseAgreed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    ChildWindow* child_;
    const bool& exitConfirmed_;
    bool agreed_ = false;
};

}  // namespace fotolyx::gui
