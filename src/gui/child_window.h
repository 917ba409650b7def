#pragma once

#include <QMdiSubWindow>
#include <QWidget>
#include <functional>
#include <optional>

#include "app/frame.h"
#include "gui/menu_table.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx::gui {

class FrameWindow;

// The content of one MDI child: its id, which menu bar it shows while active, the commands it
// takes, whether it agrees to close, and what the program asks of its drawing.
class ChildWindow : public QWidget {
  public:
    explicit ChildWindow(WindowId id) : id_(id) {}

    WindowId Id() const { return id_; }
    virtual MenuBar Menu() const = 0;
    // A command the frame did not consume.
    virtual void Command(int id) { (void)id; }
    // Asked before the window closes (Close Image, exit, the system menu); false keeps it.
    virtual bool QueryClose() { return true; }
    // The Preview and Live image windows stay until the program exits.
    bool Permanent() const { return IsPermanentWindow(id_); }
    // The window is being closed for good (it agreed, or the program destroys it).
    virtual void Closing() {}
    // Became the active child, or stopped being it: by default the frame shows its menu.
    virtual void Activated(FrameWindow& frame, bool active);

    // What the program asks of the window's drawing.
    virtual void Invalidate(std::optional<Rect> area);
    virtual void ScrollContent(int dx, int dy);
    virtual void SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) {
        (void)bar;
        (void)state;
    }

  private:
    WindowId id_;
};

// The MDI frame around a ChildWindow: it asks the child before closing and keeps the permanent
// windows unless the exit has been confirmed.
class ChildFrame final : public QMdiSubWindow {
  public:
    ChildFrame(ChildWindow* child, std::function<bool()> exitConfirmed);

    ChildWindow* Child() const { return child_; }
    // No close box (for the permanent windows; once the frame holds this window).
    void HideCloseBox();
    // Closes without asking (the child agreed already, or the program destroys it).
    void CloseAgreed();
    // Told once the window has agreed to close, before it goes.
    std::function<void()> onClosing;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    ChildWindow* child_;
    std::function<bool()> exitConfirmed_;
    bool agreed_ = false;
    bool closing_ = false;
};

}  // namespace fotolyx::gui
