#include "windows/openfile_window.h"

#include <algorithm>
#include <vector>

#include "link/link_setup.h"

namespace fotolyx {

namespace {

constexpr int OPENFILE_LINE_STEP = 4;
constexpr int OPENFILE_PAGE_STEP = 20;

// A bar's range for a client extent: none when the whole view fits, else what is missing.
void FitBar(ScrollBarState& bar, int client, int view) {
    if (client >= view) {
        bar = {};
    } else {
        bar.min = 0;
        bar.max = view - client;
        bar.pos = std::clamp(bar.pos, 0, bar.max);
    }
}

}  // namespace

std::string SaveChangesQuestion(const std::string& title) {
    const std::string_view format = SAVE_CHANGES_FORMAT;
    const std::size_t at = format.find("%s");
    std::string text(format.substr(0, at));
    text += title;
    text += format.substr(at + 2);
    return text;
}

void OpenfileWindow::Command(int id) {
    switch (id) {
        case CMD_SAVE_AS:
            SaveAs();
            return;
        case CMD_COPY_TO_CLIPBOARD:
            CopyToClipboard();
            return;
        case CMD_DATA_OUT_FINE:
        case CMD_DATA_OUT_NORMAL:
            if (ports_.upload) {
                ports_.upload(id_, id, picture_);
            }
            return;
        default:
            return;
    }
}

void OpenfileWindow::Timer(int id) {
    if (ports_.uploadTimer) {
        ports_.uploadTimer(id_, id);
    }
}

void OpenfileWindow::Create(int clientWidth, int clientHeight, int vScrollWidth,
                            int hScrollHeight) {
    OpenViewSize& view = ports_.view ? *ports_.view : ownView_;
    view.OpenViewHeight = clientHeight + hScrollHeight;
    view.OpenViewWidth = clientWidth + vScrollWidth;
    hBar_ = {};
    vBar_ = {};
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
}

void OpenfileWindow::Size(int clientWidth, int clientHeight) {
    const OpenViewSize& view = ports_.view ? *ports_.view : ownView_;
    FitBar(vBar_, clientHeight, view.OpenViewHeight);
    FitBar(hBar_, clientWidth, view.OpenViewWidth);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
}

void OpenfileWindow::HScroll(int code, int pos) {
    Scroll(ScrollBarKind::Horizontal, code, pos);
}

void OpenfileWindow::VScroll(int code, int pos) {
    Scroll(ScrollBarKind::Vertical, code, pos);
}

void OpenfileWindow::Scroll(ScrollBarKind kind, int code, int pos) {
    ScrollBarState& bar = kind == ScrollBarKind::Horizontal ? hBar_ : vBar_;
    int step = 0;
    switch (code) {
        case SB_LINEUP:
            step = -OPENFILE_LINE_STEP;
            break;
        case SB_LINEDOWN:
            step = OPENFILE_LINE_STEP;
            break;
        case SB_PAGEUP:
            step = -OPENFILE_PAGE_STEP;
            break;
        case SB_PAGEDOWN:
            step = OPENFILE_PAGE_STEP;
            break;
        case SB_THUMBTRACK:
            bar.pos = std::clamp(pos, bar.min, bar.max);
            ports_.shell.InvalidateWindow(id_, std::nullopt, true);
            ports_.shell.SetScrollBar(id_, kind, bar);
            return;
        default:
            return;
    }
    const int wanted = bar.pos + step;
    if (wanted < bar.min || wanted > bar.max) {
        bar.pos = std::clamp(wanted, bar.min, bar.max);
        ports_.shell.InvalidateWindow(id_, std::nullopt, false);
    } else {
        const int dx = kind == ScrollBarKind::Horizontal ? -step : 0;
        const int dy = kind == ScrollBarKind::Vertical ? -step : 0;
        ports_.shell.ScrollWindowContent(id_, dx, dy);
        bar.pos = wanted;
    }
    ports_.shell.SetScrollBar(id_, kind, bar);
}

CapturePaint OpenfileWindow::Paint(int clientWidth, int clientHeight) {
    if (active_ && palette_ && ports_.screenPalette) {
        *ports_.screenPalette = *palette_;
    }
    int x = -hBar_.pos;
    int y = -vBar_.pos;
    if (clientWidth > OPENFILE_PICTURE_WIDTH) {
        x = (clientWidth - OPENFILE_PICTURE_WIDTH) / 2;
    }
    if (clientHeight > OPENFILE_PICTURE_HEIGHT) {
        y = (clientHeight - OPENFILE_PICTURE_HEIGHT) / 2;
    }
    return {x, y, OPENFILE_PICTURE_WIDTH, OPENFILE_PICTURE_HEIGHT};
}

void OpenfileWindow::MdiActivate(bool active) {
    active_ = active;
    ports_.shell.SetFrameMenu(active ? MenuBar::Imagefile : MenuBar::Frame);
    if (active && palette_ && ports_.screenPalette) {
        *ports_.screenPalette = *palette_;
        ports_.shell.InvalidateWindow(id_, std::nullopt, true);
    }
}

void OpenfileWindow::CopyToClipboard() {
    // The whole block: header, rows and the spare bytes at its end.
    Memory plain;
    Memory& memory = ports_.memory != nullptr ? *ports_.memory : plain;
    auto copy = memory.AllocateZeroed(picture_.size());
    if (!copy) {
        ports_.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        return;
    }
    std::copy(picture_.bytes().begin(), picture_.bytes().end(), copy->begin());
    ports_.shell.SetClipboardDib(std::move(*copy));
}

bool OpenfileWindow::Close() {
    if (modified_ && ports_.shell.MessageBox(SaveChangesQuestion(title_), CAPTION_FOTOLYX,
                                             MB_YESNO | MB_ICONQUESTION) == IDYES) {
        SaveAs();
    }
    return true;
}

void OpenfileWindow::SaveAs() {
    if (!ports_.saveContext) {
        return;
    }
    SaveContext context = ports_.saveContext();
    lastSave_ = SaveAsFlow(context, SaveWindowKind::Openfile, picture_,
                           ProposeTimeName(context.clock.Now()));
    if (lastSave_.windowTitle) {
        title_ = *lastSave_.windowTitle;
        ports_.shell.SetWindowTitle(id_, title_);
    }
}

}  // namespace fotolyx
