#include "camera_index/preview_window.h"

#include <algorithm>

#include "camera_index/index_transfer.h"
#include "camera_index/picture_download.h"

namespace fotolyx {

namespace {

constexpr int CELL_PITCH_X = 140;
constexpr int CELL_PITCH_Y = 130;
constexpr int THUMB_LEFT = 10;
constexpr int THUMB_TOP = 60;
constexpr int THUMB_WIDTH = 120;
constexpr int THUMB_HEIGHT = 90;
constexpr int HIT_RIGHT = 550;
constexpr int HIT_BOTTOM = 410;

}  // namespace

void PreviewWindow::Create() {
    index_.SetPreviewScrollBar(PREVIEW_NO_THUMB);
}

std::optional<unsigned> PreviewWindow::HitTest(int x, int y) const {
    if (x < THUMB_LEFT || x > HIT_RIGHT || y < THUMB_TOP || y > HIT_BOTTOM ||
        (x - THUMB_LEFT) % CELL_PITCH_X > THUMB_WIDTH ||
        (y - THUMB_TOP) % CELL_PITCH_Y > THUMB_HEIGHT) {
        return std::nullopt;
    }
    const unsigned position =
        static_cast<unsigned>((x - THUMB_LEFT) / CELL_PITCH_X) +
        (static_cast<unsigned>((y - THUMB_TOP) / CELL_PITCH_Y) + index_.selection.TopRow) *
            GRID_COLUMNS;
    if (position + 1 > index_.index.receivedCount || position >= INDEX_POSITIONS) {
        return std::nullopt;
    }
    return position;
}

void PreviewWindow::LButtonDown(int x, int y, unsigned keys) {
    const auto hit = HitTest(x, y);
    if (!hit) {
        return;
    }
    SelectionState& s = index_.selection;
    Shell& shell = ports_.shell;
    const unsigned p = *hit;
    const unsigned received = std::min<unsigned>(index_.index.receivedCount, INDEX_POSITIONS);
    if (s.CurrentPicture == NO_PICTURE) {
        shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
        s.SelectionAnchor = 0;
        s.SelectionMark.fill(MARK_NONE);
    }
    s.CurrentPicture = static_cast<std::int16_t>(p);
    if ((keys & MK_SHIFT) == 0) {
        s.SelectionAnchor = static_cast<std::uint16_t>(p);
    }
    if ((keys & MK_CONTROL) != 0) {
        s.SelectionMark[p] = s.SelectionMark[p] == MARK_SELECTED ? MARK_NONE : MARK_SELECTED;
        if (std::find(s.SelectionMark.begin(), s.SelectionMark.end(), MARK_SELECTED) ==
            s.SelectionMark.end()) {
            s.SelectionMark[p] = MARK_SELECTED;
        }
    } else {
        std::fill_n(s.SelectionMark.begin(), received, MARK_NONE);
        if ((keys & MK_SHIFT) != 0) {
            const unsigned from = std::min<unsigned>(s.SelectionAnchor, p);
            const unsigned to = std::max<unsigned>(s.SelectionAnchor, p);
            for (unsigned i = from; i <= to && i < INDEX_POSITIONS; ++i) {
                s.SelectionMark[i] = MARK_SELECTED;
            }
        } else {
            s.SelectionMark[p] = MARK_SELECTED;
        }
    }
    s.SelectedCount = static_cast<std::uint16_t>(
        std::count(s.SelectionMark.begin(), s.SelectionMark.begin() + received, MARK_SELECTED));
    for (int id : {CMD_DATA_IN, CMD_DELETE_PAGE, CMD_SAVE_AS}) {
        shell.EnableMenuItem(MenuBar::Current, id, true);
    }
    shell.InvalidateWindow(PREVIEW_WINDOW, PREVIEW_GRID_AREA, false);
    shell.InvalidateWindow(PREVIEW_WINDOW, DELETE_BUTTON_AREA, false);
}

void PreviewWindow::LButtonDblClk(int x, int y, unsigned) {
    if (const auto hit = HitTest(x, y)) {
        download_.StartDownload(*hit, true);
    }
}

void PreviewWindow::VScroll(int code, int pos) {
    index_.ScrollPreview(code, pos);
}

void PreviewWindow::Timer(int id) {
    if (id == PREVIEW_TIMER_WATCHDOG) {
        index_.WatchdogTick();
    } else if (id == PREVIEW_TIMER_NEXT_DOWNLOAD) {
        ports_.timers.KillTimer(PREVIEW_WINDOW, id);
        download_.DataIn();
    } else if (id == PREVIEW_TIMER_QUIET_RESTART) {
        ports_.timers.KillTimer(PREVIEW_WINDOW, id);
        index_.QuietRestartDue();
    }
}

void PreviewWindow::Command(int id) {
    switch (id) {
        case CMD_SAVE_AS:
            download_.SaveAfterDownloadAll();
            return;
        case CMD_DATA_IN:
            download_.DataIn();
            return;
        case CMD_DELETE_PAGE:
            index_.DeletePage();
            return;
        case CMD_DELETE_ALL:
            index_.DeleteAll();
            return;
        case CMD_RELOAD:
            index_.Reload();
            return;
        default:
            return;
    }
}

bool PreviewWindow::PictureChosen() const {
    return index_.selection.CurrentPicture != NO_PICTURE;
}

int PreviewWindow::DrawItem(int buttonId, unsigned itemState, unsigned itemAction) {
    for (std::size_t i = 0; i < std::size(PICTURE_BUTTONS); ++i) {
        const PictureButton& button = PICTURE_BUTTONS[i];
        if (button.id != buttonId) {
            continue;
        }
        if (!PictureChosen()) {
            return button.bitmapNoChoice;
        }
        const int chosen = (itemState & ODS_SELECTED) != 0 ? button.bitmapPressed : button.bitmapUp;
        const bool released = chosen == button.bitmapUp && lastBitmap_[i] == button.bitmapPressed &&
                              (itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) != 0;
        lastBitmap_[i] = chosen;
        if (released) {
            Command(button.command);
        }
        return chosen;
    }
    return 0;
}

void PreviewWindow::MdiActivate(bool active) {
    Shell& shell = ports_.shell;
    if (!active) {
        shell.SetFrameMenu(MenuBar::Frame);
        return;
    }
    shell.SetFrameMenu(MenuBar::Preview);
    if (index_.index.IndexLoaded) {
        ports_.line.Purge();
        ports_.link.ReceiveCount = 0;
    }
    if (!ports_.trueColourDisplay) {
        ports_.screenPalette = ports_.displayPalette;
        shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, true);
    }
}

std::vector<PreviewCell> PreviewWindow::CellsInView() const {
    std::vector<PreviewCell> cells;
    const SelectionState& s = index_.selection;
    for (int i = 0; i < CELLS_IN_VIEW; ++i) {
        PreviewCell cell;
        cell.column = i % GRID_COLUMNS;
        cell.row = i / GRID_COLUMNS;
        cell.position = static_cast<unsigned>(GRID_COLUMNS * s.TopRow + i);
        const int x = CELL_PITCH_X * cell.column;
        const int y = CELL_PITCH_Y * cell.row;
        cell.frame = {5 + x, 55 + y, 135 + x, 175 + y};
        cell.thumbnail = {THUMB_LEFT + x, THUMB_TOP + y, THUMB_LEFT + THUMB_WIDTH + x,
                          THUMB_TOP + THUMB_HEIGHT + y};
        cell.caption = {6 + x, 150 + y, 134 + x, 168 + y};
        if (cell.position < INDEX_POSITIONS) {
            cell.received = cell.position < index_.index.receivedCount;
            cell.hasThumbnail = !Thumbnail(cell.position).empty();
            if (cell.received) {
                cell.text = index_.index.entries[cell.position].listText;
                cell.selected = PictureChosen() && s.SelectionMark[cell.position] == MARK_SELECTED;
            }
        }
        cells.push_back(std::move(cell));
    }
    return cells;
}

std::string PreviewWindow::TotalText() const {
    return std::to_string(index_.index.reportedCount);
}

std::span<const std::uint8_t> PreviewWindow::Thumbnail(unsigned position) const {
    const auto& store = index_.store;
    if (!store) {
        return {};
    }
    return std::as_const(*store).Slot(position);
}

}  // namespace fotolyx
