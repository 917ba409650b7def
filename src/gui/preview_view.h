#pragma once

#include <QImage>
#include <QScrollBar>
#include <array>
#include <functional>
#include <string>

#include "camera_index/preview_window.h"
#include "gui/child_window.h"
#include "gui/picture_buttons.h"

namespace fotolyx {
struct DisplayState;
}

namespace fotolyx::gui {

inline constexpr int PREVIEW_ROWS = GRID_ROWS_IN_VIEW;

// What one cell of the grid shows.
struct PreviewCellPaint {
    QImage thumbnail;  // null: nothing drawn (no slot in the store)
    std::string listText;
    bool selected = false;  // marked 1 while a picture is chosen
};

// Everything the Preview window paints.
struct PreviewPaintState {
    std::array<PreviewCellPaint, CELLS_IN_VIEW> cells;
    bool pictureChosen = false;  // CurrentPicture is below 800
    std::string totalText = "0";
    bool runningOnNt = true;
};

// The paint state of the Preview window's logic.
PreviewPaintState PaintStateOf(const PreviewWindow& preview, bool runningOnNt);
// The same for a display: on a 256-colour one the thumbnails come through its ScreenPalette.
PreviewPaintState PaintStateOf(const PreviewWindow& preview, const DisplayState& display);

// What the view forwards its events to (the Preview window's logic, bound by the program).
struct PreviewLogic {
    std::function<PreviewPaintState()> paintState;
    std::function<ScrollBarState()> scrollBar;  // as the logic last set it
    std::function<void(int x, int y, unsigned keys)> click;
    std::function<void(int x, int y, unsigned keys)> doubleClick;
    std::function<void(int request, int position)> scroll;
    std::function<void(int command)> command;
    std::function<int(int id, unsigned itemState, unsigned itemAction)> drawItem;
    std::function<void(bool active)> activated;
    std::function<void()> afterEvent;
};

// The Preview window: the thumbnail grid, the total panel and the three picture buttons.
class PreviewView final : public ChildWindow {
  public:
    explicit PreviewView(PreviewLogic logic);

    MenuBar Menu() const override { return MenuBar::Preview; }
    void Command(int id) override;
    void Activated(FrameWindow& frame, bool active) override;
    void SetScrollBar(ScrollBarKind bar, const ScrollBarState& state) override;
    void Invalidate(std::optional<Rect> area) override;

    PictureButtonWidget* Button(int id) const;
    QScrollBar* ScrollBar() const { return scrollBar_; }
    // Paints a state into any paint device of the client area's size.
    static void Paint(QPainter& painter, const PreviewPaintState& state);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int BitmapFor(int id, bool pressed) const;
    void Done();

    PreviewLogic logic_;
    QScrollBar* scrollBar_;
    std::array<PictureButtonWidget*, 3> buttons_{};
};

// A font by its platform description: face, cell height and average width in pixels.
QFont MakeFont(const char* face, int height, int width, bool bold);

// The platform's key flags of a mouse event.
unsigned MouseKeys(Qt::KeyboardModifiers modifiers);

}  // namespace fotolyx::gui
