#pragma once

#include <QScrollBar>
#include <functional>

#include "app/display_state.h"
#include "gui/child_window.h"
#include "windows/capture_window.h"

namespace fotolyx::gui {

// The Capture window: the downloaded picture drawn 1:1 (centred when the window is larger),
// its two scroll bars, and its commands and close forwarded to the window's logic, which it
// looks up by id each time (the logic may be gone before the widget).
class CaptureView final : public ChildWindow {
  public:
    CaptureView(WindowId id, std::function<CaptureWindow*()> logic, std::function<void()> destroyed,
                std::function<void()> afterEvent, const DisplayState& display);

    MenuBar Menu() const override { return MenuBar::Capture; }
    void Command(int id) override;
    bool QueryClose() override;
    void Closing() override;
    void SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) override;

    // The client area: the widget without the scroll bars that are shown.
    QSize ClientSize() const;
    // Image Adjustment and Print, which need more of the program than the window's logic.
    std::function<void()> imageAdjustment;
    std::function<void()> print;
    // Activation and painting, with whether this window is the active one (the palette steps of
    // 8-bit displays).
    std::function<void(bool active)> activated;
    std::function<void(bool active)> painting;
    void Activated(FrameWindow& frame, bool active) override;

    QScrollBar* Bar(ScrollBarKind kind) const {
        return kind == ScrollBarKind::Horizontal ? horizontal_ : vertical_;
    }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceBars();
    void Scrolled(ScrollBarKind kind, int action);

    std::function<CaptureWindow*()> logic_;
    std::function<void()> destroyed_;
    std::function<void()> afterEvent_;
    const DisplayState& display_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    bool closed_ = false;
};

}  // namespace fotolyx::gui
