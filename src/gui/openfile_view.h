#pragma once

#include <QScrollBar>
#include <functional>

#include "app/display_state.h"
#include "gui/child_window.h"
#include "windows/openfile_window.h"

namespace fotolyx::gui {

// An Openfile window: its 640 x 480 picture drawn unscaled (centred when the window is larger),
// two scroll bars, the IMAGEFILE menu, and its commands, activation and close forwarded to the
// window's logic, which it looks up by id each time (the logic may be gone before the widget).
class OpenfileView final : public ChildWindow {
  public:
    // clientSize: the client area the frame gives the new window.
    OpenfileView(WindowId id, QSize clientSize, std::function<OpenfileWindow*()> logic,
                 std::function<void()> destroyed, std::function<void()> afterEvent,
                 const DisplayState& display);

    MenuBar Menu() const override { return MenuBar::Imagefile; }
    void Command(int id) override;
    bool QueryClose() override;
    void Closing() override;
    void Activated(FrameWindow& frame, bool active) override;
    void SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) override;

    // The client area: the widget without the scroll bars that are shown.
    QSize ClientSize() const;
    // Image Adjustment and Print, which need more of the program than the window's logic.
    std::function<void()> imageAdjustment;
    std::function<void()> print;

    QScrollBar* Bar(ScrollBarKind kind) const {
        return kind == ScrollBarKind::Horizontal ? horizontal_ : vertical_;
    }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceBars();
    void Scrolled(ScrollBarKind kind, int action);

    std::function<OpenfileWindow*()> logic_;
    std::function<void()> destroyed_;
    std::function<void()> afterEvent_;
    const DisplayState& display_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    bool closed_ = false;
};

}  // namespace fotolyx::gui
