#pragma once

#include <QImage>
#include <array>
#include <functional>

#include "gui/child_window.h"
#include "gui/picture_buttons.h"
#include "windows/live_image_window.h"

namespace fotolyx {
class Program;
}

namespace fotolyx::gui {

// The Live image window: its panels, the small live picture, the large photo and the preview
// (id 2) and photo (id 1) buttons. Everything it shows comes from the program's live state;
// presses, releases, paints, double-clicks, commands, activation and maximising go to the
// program's Live image window logic.
class LiveImageView final : public ChildWindow {
  public:
    LiveImageView(Program& program, std::function<void()> afterEvent);

    MenuBar Menu() const override { return MenuBar::Liveimage; }
    void Command(int id) override;
    void Activated(FrameWindow& frame, bool active) override;
    void Invalidate(std::optional<Rect> area) override;

    PictureButtonWidget* Button(int id) const;
    // The client area as it is drawn now, without asking the camera for a frame.
    QImage Render();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Draws what lies in the region (all of the window when it is empty).
    void Draw(QPainter& painter, const QRegion& region = {}) const;
    void DrawPicture(QPainter& painter, const std::optional<DibBlock>& picture,
                     const LivePicturePlacement& placement, const QRegion& region) const;
    void ButtonNotified(int id, unsigned itemState, unsigned itemAction);
    bool IsActive() const;
    void Done();

    Program& program_;
    std::function<void()> afterEvent_;
    std::array<PictureButtonWidget*, 2> buttons_{};
};

}  // namespace fotolyx::gui
