#include "camera_index/capture_windows.h"

#include "link/watchdog.h"

namespace fotolyx {

namespace {

constexpr int SAVE_AFTER_DOWNLOAD_POSITION = 5;

}  // namespace

CaptureWindow& CaptureWindows::Open(const PictureEntry& entry, CaptureCreateData data,
                                    bool corner) {
    const WindowId id = nextId_++;
    ChildWindowRequest request;
    request.id = id;
    request.kind = ChildKind::Capture;
    request.title = entry.listText;
    if (corner) {
        request.x = SAVE_AFTER_DOWNLOAD_POSITION;
        request.y = SAVE_AFTER_DOWNLOAD_POSITION;
    }
    request.width = entry.width + CAPTURE_FRAME_EXTRA_WIDTH;
    request.height = entry.height + CAPTURE_FRAME_EXTRA_HEIGHT;
    auto window = std::make_unique<CaptureWindow>(id, std::move(data), ports_.shell, *this);
    window->SetTitle(entry.listText);
    CaptureWindow& created = *window;
    windows_[id] = std::move(window);
    ports_.shell.CreateChildWindow(request);
    created.Create(entry.width, entry.height, 0, 0);
    return created;
}

CaptureWindow* CaptureWindows::Find(WindowId window) {
    const auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : found->second.get();
}

std::vector<WindowId> CaptureWindows::Ids() const {
    std::vector<WindowId> ids;
    for (const auto& [id, window] : windows_) {
        ids.push_back(id);
    }
    return ids;
}

std::string CaptureWindows::DefaultFileName(std::uint32_t position) const {
    return position < INDEX_POSITIONS ? index_.entries[position].fileName : std::string();
}

void CaptureWindows::AfterSaveAs(WindowId window) {
    if (observer_ != nullptr) {
        observer_->CaptureSaved(window);
    }
}

void CaptureWindows::CloseWindow(WindowId window) {
    CaptureWindow* capture = Find(window);
    if (capture == nullptr) {
        return;
    }
    if (!capture->Close()) {
        return;  // its changes were not saved: it stays
    }
    Destroy(window);
}

void CaptureWindows::Destroy(WindowId window) {
    const auto found = windows_.find(window);
    if (found == windows_.end()) {
        return;
    }
    if (observer_ != nullptr) {
        observer_->CaptureClosing(window);
    }
    ports_.timers.KillTimer(window, WATCHDOG_TIMER);
    if (!ports_.trueColourDisplay && found->second->palette()) {
        ports_.screenPalette.reset();
    }
    windows_.erase(found);
    ports_.shell.DestroyChildWindow(window);
}

bool CaptureWindows::PaletteToScreen(WindowId window) {
    if (ports_.trueColourDisplay) {
        return false;
    }
    CaptureWindow* capture = Find(window);
    // A window still waiting for its picture has no colours yet: the screen keeps its own.
    if (capture == nullptr || !capture->palette() || capture->palette()->palNumEntries == 0) {
        return false;
    }
    ports_.screenPalette = *capture->palette();
    return true;
}

void CaptureWindows::Activated(WindowId window, bool active) {
    if (active && PaletteToScreen(window)) {
        ports_.shell.InvalidateWindow(window, std::nullopt, true);
    }
}

void CaptureWindows::Painting(WindowId window, bool active) {
    if (active) {
        PaletteToScreen(window);
    }
}

}  // namespace fotolyx
