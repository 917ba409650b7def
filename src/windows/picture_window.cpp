#include "windows/picture_window.h"

#include <algorithm>

#include "link/link_setup.h"

namespace fotolyx {

namespace {

// A bar's range for a client extent: none when the whole view fits, else what is missing of
// the picture's extent.
void FitBar(ScrollBarState& bar, int client, int view, int extent) {
    if (client >= view) {
        bar = {};
    } else {
        bar.min = 0;
        bar.max = std::max(0, extent - client);
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

PictureWindow::PictureWindow(WindowId id, const PictureWindowKind& kind, PictureCreateData data,
                             PictureWindowPorts ports)
    : id_(id),
      kind_(kind),
      position_(data.position),
      modified_(data.modified),
      widthLess4_(data.widthLess4),
      heightLess2_(data.heightLess2),
      pixels_(std::move(data.pixels)),
      palette_(std::move(data.palette)),
      title_(std::move(data.title)),
      ports_(ports) {}

void PictureWindow::Create(int clientWidth, int clientHeight, int vScrollWidth, int hScrollHeight) {
    OpenViewSize& view = ports_.sharedView ? *ports_.sharedView : ownView_;
    view.OpenViewHeight = clientHeight + hScrollHeight;
    view.OpenViewWidth = clientWidth + vScrollWidth;
    hBar_ = {};
    vBar_ = {};
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
}

void PictureWindow::Size(int clientWidth, int clientHeight) {
    const OpenViewSize& view = ports_.sharedView ? *ports_.sharedView : ownView_;
    const bool fromPicture = kind_.rangesFromPicture;
    FitBar(vBar_, clientHeight, view.OpenViewHeight,
           fromPicture ? heightLess2_ : view.OpenViewHeight);
    FitBar(hBar_, clientWidth, view.OpenViewWidth, fromPicture ? widthLess4_ : view.OpenViewWidth);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
    ports_.shell.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
}

void PictureWindow::HScroll(int code, int pos) {
    Scroll(ScrollBarKind::Horizontal, code, pos);
}

void PictureWindow::VScroll(int code, int pos) {
    Scroll(ScrollBarKind::Vertical, code, pos);
}

void PictureWindow::Scroll(ScrollBarKind kind, int code, int pos) {
    ScrollBarState& bar = kind == ScrollBarKind::Horizontal ? hBar_ : vBar_;
    Shell& shell = ports_.shell;
    int step = 0;
    switch (code) {
        case SB_LINEUP:
            step = -PICTURE_LINE_STEP;
            break;
        case SB_LINEDOWN:
            step = PICTURE_LINE_STEP;
            break;
        case SB_PAGEUP:
            step = -PICTURE_PAGE_STEP;
            break;
        case SB_PAGEDOWN:
            step = PICTURE_PAGE_STEP;
            break;
        case SB_THUMBTRACK:
            bar.pos = std::clamp(pos, bar.min, bar.max);
            shell.InvalidateWindow(id_, std::nullopt, true);
            shell.SetScrollBar(id_, kind, bar);
            return;
        default:
            return;
    }
    const int wanted = bar.pos + step;
    if (wanted < bar.min || wanted > bar.max) {
        bar.pos = std::clamp(wanted, bar.min, bar.max);
        shell.InvalidateWindow(id_, std::nullopt, kind_.eraseWhenStopped);
    } else {
        const int dx = kind == ScrollBarKind::Horizontal ? -step : 0;
        const int dy = kind == ScrollBarKind::Vertical ? -step : 0;
        shell.ScrollWindowContent(id_, dx, dy);
        bar.pos = wanted;
    }
    shell.SetScrollBar(id_, kind, bar);
}

bool PictureWindow::PaletteToScreen() {
    // A window still waiting for its picture has no colours yet: the screen keeps its own.
    if (!palette_ || palette_->palNumEntries == 0) {
        return false;
    }
    ports_.screenPalette = *palette_;
    return true;
}

PicturePaint PictureWindow::Paint(int clientWidth, int clientHeight) {
    if (active_) {
        PaletteToScreen();
    }
    const int width = PictureWidth();
    const int height = PictureHeight();
    int x = -hBar_.pos;
    int y = -vBar_.pos;
    // A picture smaller than the window is centred.
    if (clientWidth > width) {
        x = (clientWidth - width) / 2;
    }
    if (clientHeight > height) {
        y = (clientHeight - height) / 2;
    }
    return {x, y, width, height};
}

void PictureWindow::MdiActivate(bool active) {
    active_ = active;
    ports_.shell.SetFrameMenu(active ? kind_.menu : MenuBar::Frame);
    if (active && PaletteToScreen()) {
        ports_.shell.InvalidateWindow(id_, std::nullopt, true);
    }
}

void PictureWindow::Command(int id) {
    switch (id) {
        case CMD_SAVE_AS:
            SaveAsOnly();
            ports_.host.AfterSaveAs(id_);  // may close this window: nothing may follow
            return;
        case CMD_COPY_TO_CLIPBOARD:
            CopyToClipboard();
            return;
        case CMD_DATA_OUT_FINE:
        case CMD_DATA_OUT_NORMAL:
            ports_.host.Upload(id_, id, pixels_);
            return;
        default:
            return;
    }
}

bool PictureWindow::SaveAsOnly() {
    lastSave_ = {};
    // A window whose picture never arrived (its download failed) has nothing to save: no file
    // name is asked for, and nothing is lost by closing it.
    if (DibWidth(pixels_) <= 0) {
        return true;
    }
    SaveContext context = ports_.host.MakeSaveContext();
    lastSave_ = SaveAsFlow(context, kind_.save, pixels_, ports_.host.DefaultFileName(position_));
    if (lastSave_.windowTitle) {
        title_ = *lastSave_.windowTitle;
        ports_.shell.SetWindowTitle(id_, title_);
    }
    return lastSave_.written;
}

void PictureWindow::CopyToClipboard() {
    // The whole block: header, rows and the spare bytes at its end.
    auto copy = ports_.host.WindowMemory().AllocateZeroed(pixels_.size());
    if (!copy) {
        ports_.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        return;
    }
    std::copy(pixels_.bytes().begin(), pixels_.bytes().end(), copy->begin());
    ports_.shell.SetClipboardDib(std::move(*copy));
}

bool PictureWindow::Close() {
    if (!modified_) {
        return true;
    }
    if (kind_.activateBeforeAsking) {
        ports_.shell.ActivateChildWindow(id_);
    }
    if (ports_.shell.MessageBox(SaveChangesQuestion(title_), CAPTION_FOTOLYX,
                                MB_YESNO | MB_ICONQUESTION) == IDYES) {
        return SaveAsOnly();
    }
    return true;
}

}  // namespace fotolyx
