#include "camera_index/capture_windows.h"

#include "link/watchdog.h"

namespace fotolyx {

namespace {

constexpr int SAVE_AFTER_DOWNLOAD_POSITION = 5;

}  // namespace

PictureWindow& CaptureWindows::Open(const PictureEntry& entry, PictureCreateData data,
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
    data.title = entry.listText;
    auto window = std::make_unique<PictureWindow>(
        id, CAPTURE_KIND, std::move(data),
        PictureWindowPorts{ports_.shell, *this, ports_.screenPalette, nullptr});
    PictureWindow& created = *window;
    windows_[id] = std::move(window);
    ports_.shell.CreateChildWindow(request);
    created.Create(entry.width, entry.height, 0, 0);
    return created;
}

PictureWindow* CaptureWindows::Find(WindowId window) {
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
    PictureWindow* capture = Find(window);
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

}  // namespace fotolyx
