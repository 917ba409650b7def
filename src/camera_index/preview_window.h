#pragma once

#include <cstdint>
#include <string>

#include "camera_index/picture_index.h"
#include "camera_index/picture_ports.h"
#include "ports/shell.h"

namespace fotolyx {

class IndexTransfer;
class PictureDownload;

// Key state flags of a mouse message.
inline constexpr unsigned MK_SHIFT = 0x0004;
inline constexpr unsigned MK_CONTROL = 0x0008;

// Owner-draw item state and actions of a picture button.
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODA_DRAWENTIRE = 0x0001;
inline constexpr unsigned ODA_SELECT = 0x0002;

// The picture buttons and their bitmaps (up, pressed, no picture chosen).
inline constexpr int BUTTON_TRANSFER = 3;
inline constexpr int BUTTON_DELETE = 4;
inline constexpr int BUTTON_SAVE = 5;
struct PictureButton {
    int id;
    int command;
    int bitmapUp;
    int bitmapPressed;
    int bitmapNoChoice;
    Rect rect;
};
inline constexpr PictureButton PICTURE_BUTTONS[] = {
    {BUTTON_TRANSFER, CMD_DATA_IN, 120, 121, 122, {245, 10, 335, 40}},
    {BUTTON_DELETE, CMD_DELETE_PAGE, 124, 125, 123, {345, 10, 435, 40}},
    {BUTTON_SAVE, CMD_SAVE_AS, 127, 128, 126, {455, 10, 535, 40}},
};

inline constexpr int PREVIEW_TIMER_WATCHDOG = 1;
// Our own timer for the pause between two pictures of a multi-picture download.
inline constexpr int PREVIEW_TIMER_NEXT_DOWNLOAD = 2;
inline constexpr int NEXT_DOWNLOAD_DELAY_MS = 500;
// Our own timer for the quiet moment before a restart byte (see IndexTransfer).
inline constexpr int PREVIEW_TIMER_QUIET_RESTART = 3;
inline constexpr int QUIET_RESTART_MS = 150;
inline constexpr int INDEX_WATCHDOG_FIRST_MS = 1500;
inline constexpr int INDEX_WATCHDOG_RUNNING_MS = 400;

// The grid: four columns, three rows in view.
inline constexpr int GRID_COLUMNS = 4;
inline constexpr int GRID_ROWS_IN_VIEW = 3;
inline constexpr int CELLS_IN_VIEW = GRID_COLUMNS * GRID_ROWS_IN_VIEW;
inline constexpr Rect PREVIEW_GRID_AREA = {0, 50, 580, 500};
inline constexpr Rect INDEX_GRID_AREA = {0, 60, 580, 510};
inline constexpr Rect DELETE_BUTTON_AREA = {345, 10, 435, 40};
inline constexpr ScrollBarState PREVIEW_NO_THUMB = {0, 1000, 1000, 0};

// What the view paints in one of the twelve cells.
struct PreviewCell {
    int column = 0;
    int row = 0;  // in view, 0..2
    unsigned position = 0;
    bool received = false;      // the entry has arrived (else: empty text, grey picture)
    bool selected = false;      // marked 1 while a picture is chosen: edge and green bar
    bool hasThumbnail = false;  // the store holds a slot for the position
    std::string text;
    Rect frame;      // the cell frame's top-left corner and extent
    Rect thumbnail;  // destination of the thumbnail (120 x 90)
    Rect caption;
};

// The Preview window without drawing: selection by mouse, scrolling, the picture buttons, the
// index watchdog, activation and commands. Methods are named after the messages a view
// forwards; coordinates are client pixels.
class PreviewWindow {
  public:
    PreviewWindow(PicturePorts ports, IndexTransfer& index, PictureDownload& download)
        : ports_(std::move(ports)), index_(index), download_(download) {}

    // WM_CREATE: the scroll bar without thumb.
    void Create();
    void LButtonDown(int x, int y, unsigned keys);
    void LButtonDblClk(int x, int y, unsigned keys);
    void VScroll(int code, int pos);
    void Timer(int id);
    void Command(int id);
    // WM_DRAWITEM of a picture button: the bitmap to draw; may send the button's command.
    int DrawItem(int buttonId, unsigned itemState, unsigned itemAction);
    void MdiActivate(bool active);
    // WM_CLOSE / WM_QUERYENDSESSION: true when the window may close (exit confirmed).
    bool Close(bool exitConfirmed) const { return exitConfirmed; }

    // For painting.
    std::vector<PreviewCell> CellsInView() const;
    // The reported count, formatted for the Total panel.
    std::string TotalText() const;
    // The thumbnail of a position (40-byte header and rows), empty when the store has no slot.
    std::span<const std::uint8_t> Thumbnail(unsigned position) const;
    bool PictureChosen() const;

    // The position under a client point when it falls on a thumbnail area, else none.
    std::optional<unsigned> HitTest(int x, int y) const;

  private:
    PicturePorts ports_;
    IndexTransfer& index_;
    PictureDownload& download_;
    int lastBitmap_[3] = {120, 124, 127};
};

}  // namespace fotolyx
