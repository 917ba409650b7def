#pragma once

#include <QScrollBar>

#include "gui/child_window.h"
#include "windows/picture_window.h"

namespace fotolyx {
struct DisplayState;
}

namespace fotolyx::gui {

// What a picture window's view reaches of the program: the window's logic by id (the logic may
// be gone before its view), and Image Adjustment, which needs more of the program than the
// logic has.
class PictureViewHost {
  public:
    virtual ~PictureViewHost() = default;
    virtual PictureWindow* FindPictureWindow(WindowId id) = 0;
    // The view is closing for good: the window's logic goes.
    virtual void PictureViewClosed(WindowId id) = 0;
    // Image Adjustment of the window's picture with the dialog owned by the view.
    virtual void AdjustPicture(QWidget* owner, WindowId id) = 0;
    virtual const DisplayState& Display() const = 0;
    // After anything the view handled.
    virtual void AfterEvent() = 0;
};

// A Capture or Openfile window: its picture drawn unscaled (centred when the window is larger),
// two scroll bars, the window's menu, and its commands, activation and close forwarded to the
// window's logic. The logic tells the view about its bars and repaints through the Shell.
class PictureView final : public ChildWindow {
  public:
    PictureView(WindowId id, PictureViewHost& host);

    MenuBar Menu() const override { return menu_; }
    void Command(int id) override;
    bool QueryClose() override;
    void Closing() override;
    void Activated(FrameWindow& frame, bool active) override;
    void SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) override;

    // The client area: the widget without the scroll bars that are shown.
    QSize ClientSize() const;
    QScrollBar* Bar(ScrollBarKind kind) const {
        return kind == ScrollBarKind::Horizontal ? horizontal_ : vertical_;
    }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    PictureWindow* Logic() const { return host_.FindPictureWindow(Id()); }
    void Scrolled(ScrollBarKind kind, int action);

    PictureViewHost& host_;
    MenuBar menu_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    bool closed_ = false;
};

}  // namespace fotolyx::gui
