#pragma once

#include <QImage>
#include <QScrollBar>
#include <array>
#include <functional>
#include <string>

#include "gui/child_window.h"
#include "gui/picture_buttons.h"

namespace fotolyx::gui {

// Picture button ids of the Preview window.
inline constexpr int BUTTON_TRANSFER = 3;
inline constexpr int BUTTON_DELETE = 4;
inline constexpr int BUTTON_SAVE = 5;

// Scroll requests as the Preview's logic knows them.
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_THUMBTRACK = 5;

inline constexpr int PREVIEW_COLUMNS = 4;
inline constexpr int PREVIEW_ROWS = 3;
inline constexpr int PREVIEW_CELLS = PREVIEW_COLUMNS * PREVIEW_ROWS;

// What one cell of the grid shows.
struct PreviewCell {
    QImage thumbnail;  // null: nothing drawn (no store)
    std::string listText;
    bool selected = false;  // marked 1 and received
};

// Everything the Preview window paints, read from the picture index and the selection.
struct PreviewPaintState {
    std::array<PreviewCell, PREVIEW_CELLS> cells;
    bool pictureChosen = false;  // CurrentPicture is below 800
    int totalCount = 0;
    bool runningOnNt = true;
};

// The vertical scroll bar as the logic sets it (the platform's minimum, maximum, page and
// position).
struct PreviewScrollBar {
    int minimum = 0;
    int maximum = 1000;
    int page = 1000;
    int position = 0;
};

// What the Preview window's logic offers the view: its state to paint and the events it takes.
struct PreviewLogic {
    std::function<PreviewPaintState()> paintState;
    std::function<PreviewScrollBar()> scrollBar;
    std::function<void(int x, int y, bool shift, bool control)> click;
    std::function<void(int x, int y)> doubleClick;
    std::function<void(int request, int position)> scroll;
    std::function<void(int command)> command;  // a menu command; false when ignored
    std::function<void()> activated;
    std::function<void()> afterEvent;
};

// The Preview window: the thumbnail grid, the total panel and the three picture buttons.
class PreviewView final : public ChildWindow {
  public:
    explicit PreviewView(PreviewLogic logic);

    MenuKind Menu() const override { return MenuKind::Preview; }
    bool Permanent() const override { return true; }
    bool Command(int id) override;

    // The logic changed the scroll bar: show it.
    void SyncScrollBar();
    PictureButton* Button(int id) const;
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
    std::array<PictureButton*, 3> buttons_{};
};

// A font by its platform description: face, cell height and average width in pixels.
QFont MakeFont(const char* face, int height, int width, bool bold);

}  // namespace fotolyx::gui
