#include "windows/capture_window.h"

#include <algorithm>
#include <cstdio>

#include "link/link_setup.h"

namespace fotolyx {

CaptureWindow::CaptureWindow(WindowId id, CaptureCreateData data, Shell& shell,
                             CaptureWindowHost& host)
    : id_(id),
      position_(data.position),
      widthLess4_(data.widthLess4),
      heightLess2_(data.heightLess2),
      pixels_(std::move(data.pixels)),
      palette_(std::move(data.palette)),
      shell_(shell),
      host_(host) {}

void CaptureWindow::Create(int clientWidth, int clientHeight, int vScrollWidth, int hScrollHeight) {
    fullClientHeight_ = clientHeight + hScrollHeight;
    fullClientWidth_ = clientWidth + vScrollWidth;
    clientWidth_ = clientWidth;
    clientHeight_ = clientHeight;
    hBar_ = {};
    vBar_ = {};
    shell_.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
    shell_.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
}

void CaptureWindow::Size(int clientWidth, int clientHeight) {
    clientWidth_ = clientWidth;
    clientHeight_ = clientHeight;
    if (clientHeight >= fullClientHeight_) {
        vBar_ = {};
    } else {
        vBar_.min = 0;
        vBar_.max = std::max(0, heightLess2_ - clientHeight);
        vBar_.pos = std::min(vBar_.pos, vBar_.max);
    }
    if (clientWidth >= fullClientWidth_) {
        hBar_ = {};
    } else {
        hBar_.min = 0;
        hBar_.max = std::max(0, widthLess4_ - clientWidth);
        hBar_.pos = std::min(hBar_.pos, hBar_.max);
    }
    shell_.SetScrollBar(id_, ScrollBarKind::Vertical, vBar_);
    shell_.SetScrollBar(id_, ScrollBarKind::Horizontal, hBar_);
}

void CaptureWindow::HScroll(int code, int pos) {
    Scroll(ScrollBarKind::Horizontal, code, pos);
}

void CaptureWindow::VScroll(int code, int pos) {
    Scroll(ScrollBarKind::Vertical, code, pos);
}

void CaptureWindow::Scroll(ScrollBarKind kind, int code, int pos) {
    ScrollBarState& bar = kind == ScrollBarKind::Horizontal ? hBar_ : vBar_;
    int step = 0;
    switch (code) {
        case SB_LINEUP:
            step = -CAPTURE_LINE_STEP;
            break;
        case SB_LINEDOWN:
            step = CAPTURE_LINE_STEP;
            break;
        case SB_PAGEUP:
            step = -CAPTURE_PAGE_STEP;
            break;
        case SB_PAGEDOWN:
            step = CAPTURE_PAGE_STEP;
            break;
        case SB_THUMBTRACK:
            bar.pos = std::clamp(pos, bar.min, bar.max);
            shell_.InvalidateWindow(id_, std::nullopt, true);
            shell_.SetScrollBar(id_, kind, bar);
            return;
        default:
            return;
    }
    const int wanted = bar.pos + step;
    if (wanted < 0) {
        shell_.InvalidateWindow(id_, std::nullopt, true);
        bar.pos = 0;
    } else if (wanted > bar.max) {
        shell_.InvalidateWindow(id_, std::nullopt, true);
        bar.pos = bar.max;
    } else {
        const int dx = kind == ScrollBarKind::Horizontal ? -step : 0;
        const int dy = kind == ScrollBarKind::Vertical ? -step : 0;
        shell_.ScrollWindowContent(id_, dx, dy);
        bar.pos = wanted;
    }
    shell_.SetScrollBar(id_, kind, bar);
}

CapturePaint CaptureWindow::Paint(int clientWidth, int clientHeight) const {
    const int w = PictureWidth();
    const int h = PictureHeight();
    int hPos = hBar_.pos;
    int vPos = vBar_.pos;
    if (clientWidth > w) {
        hPos = -((clientWidth - w) / 2);
    }
    if (clientHeight > h) {
        vPos = -((clientHeight - h) / 2);
    }
    return {-hPos, -vPos, w, h};
}

bool CaptureWindow::Command(int id) {
    switch (id) {
        case CMD_SAVE_AS:
            SaveAs();  // may close this window: nothing may follow
            return true;
        case CMD_COPY_TO_CLIPBOARD:
            CopyToClipboard();
            return true;
        default:
            return false;
    }
}

void CaptureWindow::SaveAs() {
    SaveAsOnly();
    host_.AfterSaveAs(id_);  // may close this window: nothing may follow
}

void CaptureWindow::SaveAsOnly() {
    // A window whose picture never arrived (its download failed) has nothing to save: no file
    // name is asked for.
    if (DibWidth(pixels_) <= 0) {
        return;
    }
    SaveContext context = host_.MakeSaveContext();
    const SaveAsResult result =
        SaveAsFlow(context, SaveWindowKind::Capture, pixels_, host_.DefaultFileName(position_));
    if (result.windowTitle) {
        title_ = *result.windowTitle;
        shell_.SetWindowTitle(id_, title_);
    }
}

void CaptureWindow::CopyToClipboard() {
    // The whole block: header, rows and the spare bytes at its end.
    auto copy = host_.WindowMemory().AllocateZeroed(pixels_.size());
    if (!copy) {
        shell_.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        return;
    }
    std::copy(pixels_.bytes().begin(), pixels_.bytes().end(), copy->begin());
    shell_.SetClipboardDib(std::move(*copy));
}

void CaptureWindow::Close() {
    if (!modified_) {
        return;
    }
    shell_.ActivateChildWindow(id_);
    char text[512];
    std::snprintf(text, sizeof text, SAVE_CHANGES_FORMAT, title_.c_str());
    if (shell_.MessageBox(text, CAPTION_FOTOLYX, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        SaveAsOnly();
    }
}

}  // namespace fotolyx
